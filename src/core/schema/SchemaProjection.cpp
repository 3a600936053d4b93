#include "core/schema/SchemaProjection.h"

#include "core/base/Hashing.h"
#include "core/base/UnicodeText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

namespace quorilanth {

SchemaScope SchemaScope::group(NodeKind kind) {
    SchemaScope scope;
    scope.case_ = Case::group;
    scope.kind_ = kind;
    return scope;
}

SchemaScope SchemaScope::branch(std::string nodeID) {
    SchemaScope scope;
    scope.case_ = Case::branch;
    scope.nodeID_ = std::move(nodeID);
    return scope;
}

SchemaCard::ID SchemaCard::ID::observation(std::string nodeID) {
    ID id;
    id.nodeID_ = std::move(nodeID);
    return id;
}

SchemaCard::ID SchemaCard::ID::group(NodeKind kind) {
    ID id;
    id.group_ = true;
    id.kind_ = kind;
    return id;
}

std::size_t SchemaCard::ID::hash() const noexcept {
    std::size_t seed = group_ ? 1 : 0;
    detail::hashCombine(seed, static_cast<std::size_t>(kind_));
    detail::hashField(seed, nodeID_);
    return seed;
}

bool operator==(const SchemaScene& a, const SchemaScene& b) {
    // The canvas asks this on every render; the cheap fields settle most
    // differences before the cards and their members are compared.
    return a.page == b.page && a.pageCount == b.pageCount && a.totalItems == b.totalItems &&
           a.eligibleNodeCount == b.eligibleNodeCount &&
           a.eligibleEdgeCount == b.eligibleEdgeCount && a.bounds == b.bounds &&
           a.scope == b.scope && a.cards.size() == b.cards.size() &&
           a.connections.size() == b.connections.size() && a.frames == b.frames &&
           a.internalEdges == b.internalEdges && a.connections == b.connections &&
           a.cards == b.cards;
}

namespace {

int lane(NodeKind kind) {
    switch (kind) {
    case NodeKind::domain:
        return 0;
    case NodeKind::discovery:
    case NodeKind::manifest:
        return 1;
    case NodeKind::endpoint:
    case NodeKind::mcp:
        return 2;
    case NodeKind::tool:
    case NodeKind::resource:
    case NodeKind::prompt:
    case NodeKind::content:
        return 3;
    }
    return 3;
}

// Top to bottom inside a lane: servers stand above plain endpoints.
int laneRank(NodeKind kind) {
    return kind == NodeKind::mcp ? 3 : kind == NodeKind::endpoint ? 4 : static_cast<int>(kind);
}

class QueryFilter {
public:
    explicit QueryFilter(std::string_view query)
        : needle_(unicodeText::searchKey(unicodeText::trimmed(query))) {}

    bool matches(const GraphNode& node) const {
        if (needle_.empty()) return true;
        std::string text = node.label;
        text += ' ';
        if (node.url) text += *node.url;
        return unicodeText::keyContains(unicodeText::searchKey(text), needle_);
    }

private:
    std::string needle_;
};

// Clamps before multiplying, so no requested page can overflow the offset.
struct PageWindow {
    std::int64_t page = 0;
    std::int64_t pageCount = 1;
    std::size_t begin = 0;
    std::size_t end = 0;
};

PageWindow pageWindow(std::size_t itemCount, std::int64_t size, std::int64_t requested) {
    const auto count = static_cast<std::int64_t>(itemCount);
    PageWindow window;
    window.pageCount = std::max<std::int64_t>(1, (count + size - 1) / size);
    window.page = std::clamp<std::int64_t>(requested, 0, window.pageCount - 1);
    window.begin = static_cast<std::size_t>(window.page * size);
    window.end = std::min(itemCount, window.begin + static_cast<std::size_t>(size));
    return window;
}

SchemaCard observationCard(const GraphNode& node, const std::shared_ptr<const void>& storage) {
    SchemaCard card{SchemaCard::ID::observation(node.id), node.kind,
                    SharedRefs<GraphNode>(storage)};
    card.members.push_back(node);
    return card;
}

void layOutOverview(SchemaScene& scene) {
    std::array<std::vector<std::size_t>, 4> lanes;
    for (std::size_t i = 0; i < scene.cards.size(); ++i)
        lanes[static_cast<std::size_t>(lane(scene.cards[i].kind))].push_back(i);
    std::size_t tallest = 0;
    for (const auto& cards : lanes)
        tallest = std::max(tallest, cards.size());
    const double height = std::max(610.0, 172.0 * static_cast<double>(tallest) + 90);
    for (std::size_t l = 0; l < lanes.size(); ++l) {
        auto& cards = lanes[l];
        std::sort(cards.begin(), cards.end(), [&](std::size_t a, std::size_t b) {
            return laneRank(scene.cards[a].kind) < laneRank(scene.cards[b].kind);
        });
        const double n = static_cast<double>(cards.size());
        const double step = cards.size() == 2 ? 286 : 172;
        const double block = step * (n - 1) + 144;
        for (std::size_t i = 0; i < cards.size(); ++i)
            scene.frames.emplace(scene.cards[cards[i]].id,
                                 GraphRect{35.0 + 322.0 * static_cast<double>(l),
                                           (height - block) / 2 + step * static_cast<double>(i),
                                           252, 144});
    }
    scene.bounds = {0, 0, 1290, height};
}

// Visible node ids to their index, in one allocation: a node-based map would
// allocate once per node on every render. Linear probing over a table at most
// half full.
class IdIndex {
public:
    static constexpr std::uint32_t missing = std::numeric_limits<std::uint32_t>::max();

    explicit IdIndex(std::size_t count) : slots_(std::bit_ceil(2 * count + 2)) {}

    // False when the id is there already.
    bool insert(std::string_view id, std::uint32_t index) {
        const std::size_t hash = std::hash<std::string_view>{}(id);
        Slot& slot = find(id, hash);
        if (slot.index != missing) return false;
        slot = {hash, id, index};
        return true;
    }
    std::uint32_t find(std::string_view id) const {
        return const_cast<IdIndex*>(this)->find(id, std::hash<std::string_view>{}(id)).index;
    }

private:
    struct Slot {
        std::size_t hash = 0;
        std::string_view id;
        std::uint32_t index = missing;
    };
    Slot& find(std::string_view id, std::size_t hash) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            Slot& slot = slots_[i];
            if (slot.index == missing || (slot.hash == hash && slot.id == id)) return slot;
        }
    }
    std::vector<Slot> slots_;
};

} // namespace

namespace SchemaProjection {

SchemaScene scene(const ScanReport& report, const SchemaScope& scope, std::int64_t page,
                  std::string_view query, bool includeContent, bool includeMissing) {
    return scene(std::make_shared<const ScanReport>(report), scope, page, query, includeContent,
                 includeMissing);
}

SchemaScene scene(std::shared_ptr<const ScanReport> shared, const SchemaScope& scope,
                  std::int64_t page, std::string_view query, bool includeContent,
                  bool includeMissing) {
    SchemaScene scene;
    scene.scope = scope;
    if (!shared) shared = std::make_shared<const ScanReport>();
    const ScanReport& report = *shared;
    const std::shared_ptr<const void> storage = std::move(shared);
    scene.internalEdges = SharedRefs<GraphEdge>(storage);

    // Visible nodes. A report file may repeat an id; its first node stands for
    // it, so that no two cards share an id.
    std::vector<const GraphNode*> visible;
    IdIndex indexOf(report.nodes.size());
    for (const GraphNode& node : report.nodes)
        if (SchemaGraphEngine::isVisible(node, includeContent, includeMissing) &&
            indexOf.insert(node.id, static_cast<std::uint32_t>(visible.size())))
            visible.push_back(&node);

    // Member order: label lower-cased, then id. Ids are unique by now, so the
    // order is total and needs no stable sort. Only the lists a scope shows
    // are sorted, each label lower-cased at most once.
    std::vector<std::string> lowered;
    lowered.reserve(visible.size());
    std::vector<std::optional<std::string_view>> keys(visible.size());
    auto key = [&](std::uint32_t index) {
        std::optional<std::string_view>& known = keys[index];
        if (!known) {
            const std::string& label = visible[index]->label;
            if (std::any_of(label.begin(), label.end(), [](char c) {
                    return (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
                })) {
                lowered.push_back(unicodeText::lowercased(label));
                known = lowered.back();
            } else {
                known = label;
            }
        }
        return *known;
    };
    // The keys are copied next to each other, with their first sixteen bytes
    // as two numbers that order like the text: most comparisons end there,
    // without a call or a visit to the node.
    struct SortKey {
        std::uint64_t head[2];
        std::string_view label;
        std::string_view id;
        std::uint32_t index;
    };
    auto bigEndian = [](std::string_view text, std::size_t from) {
        unsigned char bytes[8] = {};
        if (from < text.size())
            std::memcpy(bytes, text.data() + from, std::min<std::size_t>(8, text.size() - from));
        std::uint64_t value = 0;
        for (unsigned char byte : bytes)
            value = value << 8 | byte;
        return value;
    };
    std::vector<SortKey> sortKeys;
    auto sortMembers = [&](std::vector<std::uint32_t>& indices) {
        sortKeys.clear();
        for (std::uint32_t index : indices) {
            const std::string_view label = key(index);
            sortKeys.push_back(
                {{bigEndian(label, 0), bigEndian(label, 8)}, label, visible[index]->id, index});
        }
        std::sort(sortKeys.begin(), sortKeys.end(), [](const SortKey& a, const SortKey& b) {
            if (a.head[0] != b.head[0]) return a.head[0] < b.head[0];
            if (a.head[1] != b.head[1]) return a.head[1] < b.head[1];
            const int order = a.label.compare(b.label);
            return order != 0 ? order < 0 : a.id < b.id;
        });
        for (std::size_t i = 0; i < indices.size(); ++i)
            indices[i] = sortKeys[i].index;
    };

    struct Eligible {
        std::uint32_t source;
        std::uint32_t target;
        const GraphEdge* edge;
    };
    std::vector<Eligible> eligible;
    eligible.reserve(report.edges.size());
    // Scans record a document's references one after another, so an end is
    // often the same as that end of the previous edge: that look-up is kept,
    // not hashed again. Each end keeps its own, and a target is only known
    // once it was looked up.
    constexpr std::uint32_t hidden = IdIndex::missing;
    struct LastLookUp {
        const std::string* id = nullptr;
        std::uint32_t index = hidden;
    };
    auto lookUp = [&](const std::string& id, LastLookUp& last) {
        if (!last.id || *last.id != id) last = {&id, indexOf.find(id)};
        return last.index;
    };
    LastLookUp lastSource, lastTarget;
    for (const GraphEdge& edge : report.edges) {
        const std::uint32_t source = lookUp(edge.source, lastSource);
        if (source == hidden) continue;
        const std::uint32_t target = lookUp(edge.target, lastTarget);
        if (target != hidden) eligible.push_back({source, target, &edge});
    }
    scene.eligibleNodeCount = static_cast<std::int64_t>(visible.size());
    scene.eligibleEdgeCount = static_cast<std::int64_t>(eligible.size());

    // The card of each visible node on this page, by index; -1 off the page.
    std::vector<std::int32_t> cardOf(visible.size(), -1);
    auto addObservation = [&](std::uint32_t index, GraphRect frame) {
        cardOf[index] = static_cast<std::int32_t>(scene.cards.size());
        scene.cards.push_back(observationCard(*visible[index], storage));
        scene.frames.emplace(scene.cards.back().id, frame);
    };

    std::optional<std::uint32_t> centre;
    switch (scope.which()) {
    case SchemaScope::Case::overview: {
        std::array<std::vector<std::uint32_t>, allNodeKinds.size()> byKind;
        for (std::uint32_t index = 0; index < visible.size(); ++index)
            byKind[static_cast<std::size_t>(visible[index]->kind)].push_back(index);
        for (NodeKind kind : allNodeKinds) {
            auto& indices = byKind[static_cast<std::size_t>(kind)];
            sortMembers(indices);
            if (indices.size() == 1) {
                cardOf[indices.front()] = static_cast<std::int32_t>(scene.cards.size());
                scene.cards.push_back(observationCard(*visible[indices.front()], storage));
            } else if (indices.size() > 1) {
                SchemaCard card{SchemaCard::ID::group(kind), kind, SharedRefs<GraphNode>(storage)};
                card.members.reserve(indices.size());
                for (std::uint32_t index : indices) {
                    cardOf[index] = static_cast<std::int32_t>(scene.cards.size());
                    card.members.push_back(*visible[index]);
                }
                scene.cards.push_back(std::move(card));
            }
        }
        scene.totalItems = scene.eligibleNodeCount;
        layOutOverview(scene);
        break;
    }
    case SchemaScope::Case::group: {
        const QueryFilter filter(query);
        std::vector<std::uint32_t> items;
        for (std::uint32_t index = 0; index < visible.size(); ++index)
            if (visible[index]->kind == scope.kind() && filter.matches(*visible[index]))
                items.push_back(index);
        sortMembers(items);
        const PageWindow window = pageWindow(items.size(), groupPageSize, page);
        for (std::size_t i = window.begin; i < window.end; ++i) {
            const auto slot = static_cast<double>(i - window.begin);
            addObservation(items[i], {38.0 + 334.0 * std::fmod(slot, 3.0),
                                      40.0 + 142.0 * std::floor(slot / 3), 314, 118});
        }
        const double rows =
            std::max(1.0, std::ceil(static_cast<double>(window.end - window.begin) / 3));
        scene.totalItems = static_cast<std::int64_t>(items.size());
        scene.page = window.page;
        scene.pageCount = window.pageCount;
        scene.bounds = {0, 0, 1060, std::max(370.0, 142.0 * rows + 80)};
        // A group shows its members side by side; their references are
        // reachable through each member's branch.
        return scene;
    }
    case SchemaScope::Case::branch: {
        if (const std::uint32_t found = indexOf.find(scope.nodeID()); found != IdIndex::missing)
            centre = found;
        std::vector<bool> neighbour(visible.size(), false);
        for (const Eligible& edge : eligible) {
            if (edge.source == centre) neighbour[edge.target] = true;
            if (edge.target == centre) neighbour[edge.source] = true;
        }
        const QueryFilter filter(query);
        std::vector<std::uint32_t> items;
        for (std::uint32_t index = 0; index < visible.size(); ++index)
            if (neighbour[index] && index != centre && filter.matches(*visible[index]))
                items.push_back(index);
        sortMembers(items);
        const PageWindow window = pageWindow(items.size(), branchPageSize, page);
        const double height =
            std::max(420.0, 100.0 * static_cast<double>(window.end - window.begin) + 80);
        if (centre) addObservation(*centre, {65, height / 2 - 72, 280, 144});
        for (std::size_t i = window.begin; i < window.end; ++i)
            addObservation(items[i],
                           {610, 40.0 + 100.0 * static_cast<double>(i - window.begin), 324, 84});
        scene.totalItems = static_cast<std::int64_t>(items.size());
        scene.page = window.page;
        scene.pageCount = window.pageCount;
        scene.bounds = {0, 0, 1000, height};
        break;
    }
    }

    // Connections: the edges between the cards of this page, one connection
    // per ordered pair of cards. A page holds a dozen cards at most, so the
    // pairs fit a small table. The first pass finds where each edge goes and
    // how many each list takes, so the second copies every edge once, into
    // lists of their final size.
    const std::size_t cardCount = scene.cards.size();
    std::vector<std::int32_t> connectionOf(cardCount * cardCount, -1);
    constexpr std::int32_t dropped = -2, internal = -1;
    std::vector<std::int32_t> destination(eligible.size(), dropped);
    std::vector<std::size_t> sizes;
    std::size_t internalCount = 0;
    for (std::size_t i = 0; i < eligible.size(); ++i) {
        const Eligible& edge = eligible[i];
        if (scope.which() == SchemaScope::Case::branch && edge.source != centre &&
            edge.target != centre)
            continue;
        const std::int32_t source = cardOf[edge.source];
        const std::int32_t target = cardOf[edge.target];
        if (source < 0 || target < 0) continue;
        if (source == target) {
            destination[i] = internal;
            ++internalCount;
            continue;
        }
        std::int32_t& slot = connectionOf[static_cast<std::size_t>(source) * cardCount +
                                          static_cast<std::size_t>(target)];
        if (slot < 0) {
            slot = static_cast<std::int32_t>(scene.connections.size());
            scene.connections.push_back({scene.cards[static_cast<std::size_t>(source)].id,
                                         scene.cards[static_cast<std::size_t>(target)].id,
                                         SharedRefs<GraphEdge>(storage)});
            sizes.push_back(0);
        }
        destination[i] = slot;
        ++sizes[static_cast<std::size_t>(slot)];
    }
    scene.internalEdges.reserve(internalCount);
    for (std::size_t c = 0; c < scene.connections.size(); ++c)
        scene.connections[c].evidence.reserve(sizes[c]);
    for (std::size_t i = 0; i < eligible.size(); ++i) {
        if (destination[i] == internal)
            scene.internalEdges.push_back(*eligible[i].edge);
        else if (destination[i] >= 0)
            scene.connections[static_cast<std::size_t>(destination[i])].evidence.push_back(
                *eligible[i].edge);
    }
    return scene;
}

} // namespace SchemaProjection
} // namespace quorilanth
