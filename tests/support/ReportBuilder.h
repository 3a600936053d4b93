#pragma once

// Small scan reports for the tests of the surface assessment, the readiness
// scorer and the schema views: exchanges, nodes and edges with readable defaults.

#include "core/model/ScanReport.h"

#include <initializer_list>

namespace quorilanth::testsupport {

// A successful GET answer with the given content type, body and Link header
// (none of those headers when empty).
inline Evidence answer(const std::string& url, const std::string& contentType, std::string body,
                       std::string link = {}) {
    Evidence e(url, "GET");
    e.statusCode = 200;
    if (!contentType.empty()) e.responseHeaders["content-type"] = contentType;
    if (!link.empty()) e.responseHeaders["link"] = std::move(link);
    e.responseBody = std::move(body);
    return e;
}

// A "tools/call" POST of the named tool, answered with a JSON-RPC result body
// (application/json) unless the caller changes it.
inline Evidence toolCall(const std::string& serverURL, const std::string& name,
                         std::string reply = R"({"jsonrpc":"2.0","id":1,"result":{}})",
                         const std::string& arguments = "{}") {
    Evidence e = answer(serverURL, "application/json", std::move(reply));
    e.method = "POST";
    e.requestBody = R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":")" + name +
                    R"(","arguments":)" + arguments + "}}";
    return e;
}

class ReportBuilder {
public:
    explicit ReportBuilder(std::string domain = "https://x.example/") : report_(std::move(domain)) {
        report_.finishedAt = report_.startedAt + std::chrono::seconds(1);
    }

    // Records one exchange and returns its id.
    std::string exchange(const std::string& url, std::int64_t status = 200,
                         const std::string& contentType = "", std::string body = {},
                         const std::string& method = "GET") {
        Evidence& e = report_.evidence.emplace_back(answer(url, contentType, std::move(body)));
        e.statusCode = status;
        e.method = method;
        return e.id;
    }
    Evidence& lastExchange() { return report_.evidence.back(); }

    GraphNode& node(const std::string& id, NodeKind kind, FindingStatus status,
                    std::initializer_list<std::string> evidenceIDs = {}) {
        GraphNode& n = report_.nodes.emplace_back(id, kind, id, id, status);
        n.evidenceIDs.assign(evidenceIDs.begin(), evidenceIDs.end());
        return n;
    }

    // A fetched document: its GET exchange and its node, with the parser's verdict.
    GraphNode& document(const std::string& url, NodeKind kind, bool isAgentDocument = true,
                        FindingStatus status = FindingStatus::found) {
        const std::string id = exchange(url);
        GraphNode& n = node(url, kind, status, {id});
        n.isAgentDocument = isAgentDocument;
        return n;
    }

    void edge(const std::string& source, const std::string& target, const std::string& relation,
              const std::string& evidenceID, const std::string& locator = "") {
        report_.edges.push_back(GraphEdge{source, target, relation, evidenceID, locator});
    }

    ReportBuilder& open() {
        report_.finishedAt.reset();
        return *this;
    }
    ScanReport& report() { return report_; }

private:
    ScanReport report_;
};

} // namespace quorilanth::testsupport
