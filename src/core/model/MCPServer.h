#pragma once

#include "core/base/JSONValue.h"
#include "core/model/FindingStatus.h"
#include "core/model/MCPTool.h"

#include <string>
#include <vector>

namespace quorilanth {

// One probed MCP server with what it negotiated and listed.
struct MCPServer {
    std::string url;
    std::string transport = "Streamable HTTP";
    std::string version;
    JSONValue info;
    JSONValue capabilities;
    FindingStatus status = FindingStatus::found;
    double latencyMS = 0;
    std::vector<MCPTool> tools;
    std::vector<JSONValue> resources;
    std::vector<JSONValue> resourceTemplates;
    std::vector<JSONValue> prompts;
    std::vector<std::string> issues;

    MCPServer() = default;
    explicit MCPServer(std::string url) : url(std::move(url)) {}

    // The endpoint URL is the server's identity.
    const std::string& id() const noexcept { return url; }

    friend bool operator==(const MCPServer&, const MCPServer&) = default;
};

std::size_t hashValue(const MCPServer& server) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::MCPServer> {
    std::size_t operator()(const quorilanth::MCPServer& s) const noexcept {
        return quorilanth::hashValue(s);
    }
};
