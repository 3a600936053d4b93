#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quorilanth {

// The kind of an observation in the graph.
enum class NodeKind { domain, discovery, manifest, endpoint, mcp, tool, resource, prompt, content };

// Every case in declaration order.
inline constexpr std::array<NodeKind, 9> allNodeKinds{
    NodeKind::domain, NodeKind::discovery, NodeKind::manifest, NodeKind::endpoint, NodeKind::mcp,
    NodeKind::tool,   NodeKind::resource,  NodeKind::prompt,   NodeKind::content};

// The raw value: the lower-case case name, also the written form.
std::string_view toString(NodeKind kind) noexcept;
// Exact, case-sensitive match of a raw value; anything else gives no value.
std::optional<NodeKind> nodeKindFromString(std::string_view text) noexcept;

} // namespace quorilanth
