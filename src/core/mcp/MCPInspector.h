#pragma once

#include "core/mcp/MCPClient.h"
#include "core/model/MCPServer.h"

#include <stop_token>

namespace quorilanth {

// Builds the server part of a scan from one client: negotiates, reads the
// inventories the server announces and vets every listed tool definition.
class MCPInspector {
public:
    MCPInspector() = delete;

    // Protocol and transport failures become the record's status and issues;
    // only a stop request escapes, as Cancelled, so a cancelled scan is never
    // recorded as a failing server.
    static MCPServer inspect(MCPClient& client, std::stop_token stop = {});
};

} // namespace quorilanth
