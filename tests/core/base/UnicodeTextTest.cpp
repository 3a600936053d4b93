#include "core/base/UnicodeText.h"

#include "core/base/PatternSearch.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

// Case folds fully, an accent stays with its letter; trimming takes Unicode spaces only.
TEST(UnicodeText, SearchIgnoresCaseButNotAccentsAndTrimsWhiteSpaceOnly) {
    using namespace unicodeText;
    for (const auto& [text, needle, found] :
         std::initializer_list<std::tuple<const char*, const char*, bool>>{
             {"Stra\u00DFe", "STRASSE", true},
             {"\u212Aelvin", "kelvin", true},
             {"Cafe\u0301 Noir", "caf\u00C9", true},
             {"Caf\u00E9", "cafe", false},
             {"Cafe\u0301 and cafe", "cafe", true},
         })
        EXPECT_EQ(keyContains(searchKey(text), searchKey(needle)), found)
            << text << " / " << needle;
    EXPECT_EQ(trimmed(" \t\u00A0\u2028 a b \r\n\u3000"), "a b");
    EXPECT_EQ(trimmed("\u200Bx\xFF "), "\u200Bx\xFF");
}

// Broken bytes read as U+FFFD; an emoji is two units to ICU.
TEST(PatternSearch, CapturesEveryRangeOfEveryMatch) {
    for (const auto& [pattern, text, expected] :
         std::initializer_list<std::tuple<const char*, const char*, PatternSearch::Matches>>{
             {"a(b)?c", "ac ABC", {{"ac", ""}, {"ABC", "B"}}},
             {"(x)|(y)", "yx", {{"y", "", "y"}, {"x", "x", ""}}},
             {"\xC3\xA9(.)",
              "\xC3\x89\xF0\x9F\x98\x80",
              {{"\xC3\x89\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}}},
             {"a(.)b", "a\xFF\x62", {{"a\xEF\xBF\xBD\x62", "\xEF\xBF\xBD"}}},
             {"", "ab", {}},
             {"(", "((", {}},
         })
        EXPECT_EQ(PatternSearch::captures(pattern, text), expected) << pattern << " / " << text;
    EXPECT_EQ(PatternSearch::captures("x", std::string(600, 'x')).size(), 500u);
}

// Each "x" is found only after exponential backtracking over the a's before it:
// the budget covers the whole search and the next search has its own.
TEST(PatternSearch, KeepsWhatItFoundWhenAHostileBodyExhaustsTheBudget) {
    std::string text;
    for (int i = 0; i < 500; ++i)
        text += std::string(18, 'a') + "!x";
    const std::size_t found = PatternSearch::captures("(a+)+$|x", text).size();
    EXPECT_TRUE(found > 0 && found < 500) << found;
    EXPECT_EQ(PatternSearch::captures("(a+)!", text).size(), 500u);
}

} // namespace
} // namespace quorilanth
