#pragma once

// Helpers shared by the guided texts, arguments, replies and readable values.
#include "core/guided/GuidedPresentation.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace quorilanth::guidedText {

// One text in both languages.
struct Pair {
    std::string_view italian;
    std::string_view english;

    std::string_view in(Language language) const noexcept {
        return language == Language::italian ? italian : english;
    }
};

// Bytes kept per user-perceived character. One character may hold any number
// of code points (a letter under a million accents), so a cut text is bounded
// in bytes too; eight leaves room for the longest emoji sequences in use.
inline constexpr std::size_t kMaxBytesPerCharacter = 8;

// The start of a text: at most `limit` user-perceived characters and
// `limit` × kMaxBytesPerCharacter bytes, ending between code points.
std::string_view head(std::string_view text, std::size_t limit);

// The text cut to its head, with "…" added when anything was cut; unchanged
// otherwise.
std::string capped(std::string_view text, std::size_t limit);

} // namespace quorilanth::guidedText
