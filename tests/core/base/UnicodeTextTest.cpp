#include "core/base/UnicodeText.h"

#include <gtest/gtest.h>
#include <tuple>

namespace quorilanth {
namespace {

TEST(UnicodeSearch, IgnoresCaseButNotAccents) {
    // clang-format off
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"Stra\u00DFe", "STRASSE", true},             // full case folding
        {"\u212Aelvin", "kelvin", true},              // the Kelvin sign folds to k
        {"Cafe\u0301 Noir", "caf\u00C9", true},       // composed and decomposed agree
        {"Caf\u00E9", "cafe", false},                 // the accent belongs to its letter
        {"Cafe\u0301 and cafe", "cafe", true},        // a later match still counts
        {"plain ascii", "ASCII", true},
        {"", "a", false},
    };
    // clang-format on
    for (const auto& [text, needle, found] : cases)
        EXPECT_EQ(
            unicodeText::keyContains(unicodeText::searchKey(text), unicodeText::searchKey(needle)),
            found)
            << text << " / " << needle;
}

TEST(UnicodeSearch, TrimsUnicodeWhiteSpaceOnly) {
    EXPECT_EQ(unicodeText::trimmed(" \t\u00A0\u2028 a b \r\n\u3000"), "a b");
    EXPECT_EQ(unicodeText::trimmed("\u200Bx\xFF "), "\u200Bx\xFF"); // zero-width space, bad UTF-8
}

} // namespace
} // namespace quorilanth
