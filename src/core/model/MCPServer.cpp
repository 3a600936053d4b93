#include "core/model/MCPServer.h"

#include "core/base/Hashing.h"

namespace quorilanth {

std::size_t hashValue(const MCPServer& s) noexcept {
    using detail::hashField;
    std::size_t seed = 0;
    hashField(seed, s.url);
    hashField(seed, s.transport);
    hashField(seed, s.version);
    hashField(seed, s.info);
    hashField(seed, s.capabilities);
    hashField(seed, s.status);
    hashField(seed, s.latencyMS == 0 ? 0.0 : s.latencyMS);
    for (const MCPTool& tool : s.tools)
        hashField(seed, tool);
    for (const auto* list : {&s.resources, &s.resourceTemplates, &s.prompts})
        for (const JSONValue& item : *list)
            hashField(seed, item);
    for (const std::string& issue : s.issues)
        hashField(seed, issue);
    return seed;
}

} // namespace quorilanth
