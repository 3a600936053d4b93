#pragma once

#include "core/guided/GuidedPresentation.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorilanth {

// One piece of a JSON value as a non-technical reader sees it: every text,
// order and limit decided here, so the view only lays it out.
struct ReadableNode {
    enum class Kind : std::uint8_t {
        text,    // a scalar: `text` is its display text
        list,    // an array: `children` are its items, or `text` says there are none
        object,  // an object: title, description, page, and its fields as `children`
        omitted, // too deep, or past what one tree shows: `text` is the sentence saying so
        folded,  // a closed group: nothing built until ReadableValue::open
    };
    // How the node sits in its parent, which decides its frame.
    enum class Slot : std::uint8_t {
        top,    // the value shown on its own
        item,   // an element of a list, drawn as it is
        card,   // an object element of a list, drawn on a card
        row,    // a scalar field: its label in a column, then its text
        open,   // an object or list field shown under its label
        folded, // any other object or list field, in a group closed at first
    };

    Kind kind = Kind::text;
    Slot slot = Slot::top;
    std::size_t depth = 0;
    // Positions from the top ("", "/3", "/3/0"), unique within one tree and
    // stable while the value is: what a view keys open groups by. Positions
    // rather than keys, which may be megabytes long.
    std::string id;
    // A field's plain label.
    std::string label;
    std::string text;
    std::optional<std::string> title;
    std::optional<std::string> description;
    // The page an object points to, the host shown beside its button, and the button's text.
    std::optional<std::string> page;
    std::string pageHost;
    std::string pageButton;
    std::vector<ReadableNode> children;
    // Under the children or the text: what was left out, and where it is.
    std::optional<std::string> note;
    // A folded node's member, kept for opening.
    JSONValue value;
};

namespace ReadableValue {

inline constexpr std::size_t kMaxDepth = 5;
inline constexpr std::size_t kMaxFields = 30;
inline constexpr std::size_t kMaxItems = 20;
// Per-level limits alone let a 2 MB answer of nested lists become a million
// rows; one tree shows at most this many nodes.
inline constexpr std::size_t kMaxNodes = 2000;
// Characters of one text shown inline, and of a label in its narrow column.
inline constexpr std::size_t kMaxTextCharacters = 4000;
inline constexpr std::size_t kMaxLabelCharacters = 200;

// The one-line text of a scalar: a string as it is, yes, no, not specified,
// or the JSON text of anything else.
std::string display(const JSONValue& value, Language language);

// The readable form of a value shown at the given depth.
ReadableNode tree(const JSONValue& value, Language language, std::size_t depth = 0);

// The content of a folded node, built when the reader opens it, with a
// budget of its own; any other node comes back unchanged.
ReadableNode open(const ReadableNode& folded, Language language);

} // namespace ReadableValue
} // namespace quorilanth
