#pragma once

#include "core/base/JSONValue.h"
#include "core/model/Evidence.h"
#include "core/model/MCPServer.h"
#include "core/model/MCPTool.h"
#include "core/net/HTTPInspecting.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// The MCP client of one endpoint: JSON-RPC 2.0 over HTTP POST through the
// shared transport, replies as plain JSON or as an event stream. Every hop of
// every exchange is kept as evidence, recorded before the answer is checked, so
// a failed exchange stays visible. Operations are meant to be called one at a
// time from one worker thread; the state is guarded all the same.
//
// Failures throw QuorilanthError with a fixed text; a stop request throws
// Cancelled (after recording the evidence of the exchange in flight).
class MCPClient {
public:
    static constexpr std::string_view kModernVersion = "2026-07-28";
    // Accepted from a server, in order of preference; the first is offered.
    static constexpr std::array<std::string_view, 3> kLegacyVersions{"2025-11-25", "2025-06-18",
                                                                     "2025-03-26"};

    MCPClient(std::string endpoint, std::shared_ptr<HTTPInspecting> http);
    MCPClient(const MCPClient&) = delete;
    MCPClient& operator=(const MCPClient&) = delete;

    const std::string& endpoint() const noexcept { return endpoint_; }
    // The protocol version in force: the modern one until negotiation falls back.
    std::string version() const;
    // The session id the server last announced in legacy mode.
    std::optional<std::string> sessionID() const;
    // Exchanges made so far, notifications included; the last request's id.
    std::int64_t sequence() const;
    std::vector<Evidence> evidence() const;
    // Hands over the evidence recorded so far and forgets it.
    std::vector<Evidence> drainEvidence();
    std::optional<Evidence> latestEvidence() const;

    // Negotiates: "server/discover" under the modern version, else the legacy
    // initialize handshake. Returns the server's header data with status valid.
    MCPServer connect(std::stop_token stop = {});
    // Reads a paginated list to its end: at most 1000 items, 20 requests, and
    // no cursor twice.
    std::vector<JSONValue> list(const std::string& method, const std::string& key,
                                std::stop_token stop = {});
    // Runs one tool with "tools/call" and returns the reply's result. Refuses,
    // before sending anything, an unapproved call, a risky tool without
    // confirmation, a tool of another server and arguments the schema rejects.
    JSONValue call(const MCPTool& tool, const JSONValue& arguments, bool approved,
                   bool confirmedRisk, std::stop_token stop = {});

    // The value as it may be sent in an HTTP header: unchanged when it is plain
    // printable ASCII, else "=?base64?" + base64 of its UTF-8 bytes + "?=".
    static std::string headerValue(std::string_view value);
    // The JSON-RPC response with the expected id from a JSON or event-stream
    // body. Throws QuorilanthError (JSONParseError for a JSON body that does
    // not parse).
    static JSONValue decodeReply(std::string_view body, std::string_view contentType,
                                 const JSONValue& expectedID);
    // The "Mcp-Param-" headers of one tool call, from the "x-mcp-header"
    // annotations of its input schema. Throws QuorilanthError on a bad annotation.
    static HeaderFields parameterHeaders(const JSONValue& schema, const JSONValue& arguments);

private:
    JSONValue exchange(const std::string& method, JSONValue params, bool notification,
                       bool allowRPCError, HeaderFields extraHeaders, std::stop_token stop);
    MCPServer negotiateLegacy(MCPServer server, std::stop_token stop);
    void setVersion(std::string version);

    const std::shared_ptr<HTTPInspecting> http_;
    const std::string endpoint_;

    mutable std::mutex mutex_;
    std::string version_{kModernVersion};
    std::optional<std::string> sessionID_;
    std::int64_t sequence_ = 0;
    std::vector<Evidence> evidence_;
};

} // namespace quorilanth
