#pragma once

#include <memory>
#include <string>
#include <string_view>

// Unicode-aware text helpers of the discovery code. Remote text is UTF-8 of any
// quality; malformed sequences are carried through, never a reason to fail.
namespace quorilanth::unicodeText {

// Full Unicode lower-casing (root locale), with an ASCII fast path.
std::string lowercased(std::string_view text);

// Whether the text holds nothing but Unicode white space and line breaks.
bool isBlank(std::string_view text) noexcept;

// The text without Unicode white space and line breaks at either end.
std::string_view trimmed(std::string_view text) noexcept;

// A case-insensitive search that follows the user's locale, in two steps so
// that a list of texts is prepared once: searchKey folds case (with the Turkic
// dotted and dotless i under a Turkish or Azeri locale) and decomposes accents;
// keyContains finds a needle key in a text key, never matching part of an
// accented letter ("cafe" is not in "café").
std::string searchKey(std::string_view text);
bool keyContains(std::string_view textKey, std::string_view needleKey) noexcept;

// Bytes taken by the first `limit` user-perceived characters (extended
// grapheme clusters); the whole size when the text has no more than that.
// Reads no further than it needs, so a 2 MB text costs what its prefix costs.
std::size_t graphemePrefix(std::string_view text, std::size_t limit);

// The order of lists shown to a reader, as a file browser sorts names: by the
// user's locale, without regard to case, runs of digits by their value.
class StandardOrder {
public:
    StandardOrder();
    ~StandardOrder();
    StandardOrder(const StandardOrder&) = delete;
    StandardOrder& operator=(const StandardOrder&) = delete;

    // Whether a sorts before b; texts that compare equal are neither.
    bool operator()(std::string_view a, std::string_view b) const;

private:
    struct Collator;
    std::unique_ptr<Collator> collator_;
};

} // namespace quorilanth::unicodeText
