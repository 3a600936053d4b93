#include "core/base/PatternSearch.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(Captures, ReturnsEveryRangeOfEveryMatch) {
    const struct {
        const char* pattern;
        const char* text;
        PatternSearch::Matches expected;
    } cases[] = {
        {"a(b)?c", "ac ABC", {{"ac", ""}, {"ABC", "B"}}},
        {"(x)|(y)", "yx", {{"y", "", "y"}, {"x", "x", ""}}},
        {"\xC3\xA9(.)",
         "\xC3\x89\xF0\x9F\x98\x80",
         {{"\xC3\x89\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"}}},
        {"a(.)b",
         "a\xFF"
         "b",
         {{"a\xEF\xBF\xBD"
           "b",
           "\xEF\xBF\xBD"}}},
        {"", "ab", {}},
        {"(", "((", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PatternSearch::captures(c.pattern, c.text), c.expected)
            << c.pattern << " / " << c.text;
    }
    EXPECT_EQ(PatternSearch::captures("x", std::string(600, 'x')).size(), 500u);
}

TEST(Captures, KeepsWhatItFoundWhenAHostileBodyExhaustsTheBudget) {
    // Each "x" is found only after exponential backtracking over the a's
    // before it; the budget covers the whole search, not each match.
    std::string text;
    for (int i = 0; i < 500; ++i) {
        text += std::string(18, 'a') + "!x";
    }
    const PatternSearch::Matches found = PatternSearch::captures("(a+)+$|x", text);
    EXPECT_GT(found.size(), 0u);
    EXPECT_LT(found.size(), 500u);
    // The next search starts with a budget of its own.
    EXPECT_EQ(PatternSearch::captures("(a+)!", text).size(), 500u);
}

} // namespace
} // namespace quorilanth
