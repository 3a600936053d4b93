#pragma once

// Helpers for exact-text tests of the MCP client over the scripted fake
// transport: canned final hops, and a client bound to one scripted endpoint.

#include "core/mcp/MCPClient.h"
#include "core/model/QuorilanthError.h"
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

// A JSON reply with that id and result text.
inline Evidence result(int id, const std::string& result, std::int64_t status = 200) {
    return answer(status, "application/json",
                  R"({"jsonrpc":"2.0","id":)" + std::to_string(id) + R"(,"result":)" + result +
                      "}");
}

inline Evidence accepted() {
    return answer(202, "", "");
}

inline Evidence failedHop(std::string error) {
    Evidence hop(kEndpoint, "POST");
    hop.error = std::move(error);
    return hop;
}

// A client of kEndpoint whose answers come from a script, in order (the last
// answer repeats once the script is used up).
struct Scripted {
    std::shared_ptr<test::FakeHTTPInspector> http = std::make_shared<test::FakeHTTPInspector>();
    MCPClient client{kEndpoint, http};

    void push(Evidence hop) { http->script(kEndpoint, HTTPResult{{std::move(hop)}}); }
    void pushAll(const std::vector<Evidence>& hops) {
        for (const Evidence& hop : hops)
            push(hop);
    }
    std::vector<test::FakeHTTPInspector::Call> sent() const { return http->calls(); }
    JSONValue envelope(std::size_t n) const {
        return JSONValue::parse(sent().at(n).body.value_or(""));
    }
    std::vector<std::string> methods() const {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < sent().size(); ++i)
            names.push_back(envelope(i)["method"].text());
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
