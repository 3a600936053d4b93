#pragma once

// Exact-text tests of the MCP client run over the scripted fake transport.

#include "core/base/QuorilanthError.h"
#include "core/mcp/MCPClient.h"
#include "support/FakeHTTPInspector.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorilanth::testing {

inline constexpr const char* kEndpoint = "http://fake/mcp";

inline Evidence answer(std::int64_t status, std::string contentType, std::string body,
                       HeaderFields headers = {}) {
    Evidence hop(kEndpoint, "POST");
    hop.statusCode = status;
    if (!contentType.empty()) headers["content-type"] = std::move(contentType);
    hop.responseHeaders = std::move(headers);
    hop.responseBody = std::move(body);
    return hop;
}

// A JSON-RPC envelope with that id and the rest of its members.
inline std::string rpc(const std::string& id, const std::string& members) {
    return R"({"jsonrpc":"2.0","id":)" + id + "," + members + "}";
}

inline Evidence result(int id, const std::string& result, std::int64_t status = 200) {
    return answer(status, "application/json", rpc(std::to_string(id), "\"result\":" + result));
}

inline Evidence rpcError(int id, const std::string& error, std::int64_t status = 200) {
    return answer(status, "application/json", rpc(std::to_string(id), "\"error\":" + error));
}

// A client of kEndpoint answered by a script in order; the last answer repeats.
struct Scripted {
    std::shared_ptr<test::FakeHTTPInspector> http = std::make_shared<test::FakeHTTPInspector>();
    MCPClient client{kEndpoint, http};

    explicit Scripted(const std::vector<Evidence>& script = {}) {
        for (const Evidence& hop : script)
            http->script(kEndpoint, HTTPResult{{hop}});
    }
    std::vector<test::FakeHTTPInspector::Call> sent() const { return http->calls(); }
    JSONValue envelope(std::size_t n) const {
        return JSONValue::parse(sent().at(n).body.value_or(""));
    }
    // The methods sent, joined by " | ".
    std::string methods() const {
        std::string names;
        for (std::size_t i = 0; i < sent().size(); ++i)
            names += (i ? " | " : "") + envelope(i)["method"].text();
        return names;
    }
};

// What an operation threw as QuorilanthError, or nothing.
template <typename Operation> std::optional<std::string> failureOf(Operation&& operation) {
    try {
        operation();
    } catch (const QuorilanthError& error) {
        return error.message();
    }
    return std::nullopt;
}

} // namespace quorilanth::testing
