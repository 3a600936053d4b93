#include "core/model/NodeKind.h"

namespace quorilanth {

namespace {
constexpr std::array<std::string_view, 9> kRawValues{
    "domain", "discovery", "manifest", "endpoint", "mcp", "tool", "resource", "prompt", "content"};
}

std::string_view toString(NodeKind kind) noexcept {
    return kRawValues[static_cast<std::size_t>(kind)];
}

std::optional<NodeKind> nodeKindFromString(std::string_view text) noexcept {
    for (NodeKind kind : allNodeKinds)
        if (toString(kind) == text) return kind;
    return std::nullopt;
}

} // namespace quorilanth
