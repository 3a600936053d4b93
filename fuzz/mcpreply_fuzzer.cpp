// A hostile MCP reply: the content type on the first line, the body after it.
// Only the documented error may come out, and what is handed back is always a
// JSON-RPC 2.0 response to the request that was made.
#include "FuzzInput.h"
#include "core/mcp/MCPClient.h"

using namespace quorilanth;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto [contentType, body] = fuzz::splitLine(fuzz::text(data, size));
    const JSONValue expectedID(1);
    try {
        const JSONValue reply = MCPClient::decodeReply(body, contentType, expectedID);
        const std::optional<std::string_view> version = reply["jsonrpc"].string();
        if (!version || *version != "2.0" || reply["id"] != expectedID) {
            __builtin_trap();
        }
    } catch (const QuorilanthError&) {
    }
    return 0;
}
