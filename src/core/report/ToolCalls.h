#pragma once

#include "core/base/JSONValue.h"
#include "core/model/ScanReport.h"

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorilanth {

// One recorded call of a tool, read back from a finished report.
struct ToolCall {
    // The POST to the tool's server URL whose JSON-RPC body asked for
    // "tools/call" of this tool.
    Evidence request;
    // The exchange that ended the call: the last hop of the redirect chain
    // the transport recorded right after the request, or the request itself.
    Evidence answer;
    // The request body as parsed; the reply to decode carries its "id".
    JSONValue body;
};

// Which exchanges of a report are calls of which tool. Both the technical
// runner and the guided views show "the last answer" of a tool from this one
// reading, so they never disagree about it.
//
// A record is a call of a tool when its method is "POST", its URL is the
// tool's server URL exactly, and its body parses as JSON with "method"
// "tools/call" and "params" -> "name" the tool's name. Matching the body as
// text would take another server's tool of the same name, or any call whose
// arguments mention the name, for this one. Records are taken newest first by
// position in the report.
class ToolCalls {
public:
    // Reads every exchange of the report once. The index keeps copies of what
    // it found and never refers back to the report.
    explicit ToolCalls(const ScanReport& report);

    // The newest call of this tool on its server, or nullptr.
    const ToolCall* latest(const MCPTool& tool) const;

    // The same answer without an index: walks from the newest record and
    // stops at the first call of the tool.
    static std::optional<ToolCall> latest(const ScanReport& report, const MCPTool& tool);

    // The position of the last exchange of the redirect chain that starts at
    // `first` (first itself when it is no followed redirect). The transport
    // records one exchange per hop, the first under the caller's URL, so a
    // redirected call would otherwise look like a failed one.
    static std::size_t chainEnd(const std::vector<Evidence>& evidence, std::size_t first);

private:
    std::unordered_map<std::string, ToolCall> calls_;
};

} // namespace quorilanth
