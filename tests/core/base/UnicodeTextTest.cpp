#include "core/base/UnicodeText.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(UnicodeSearch, IgnoresCaseButNotAccents) {
    const struct {
        const char* text;
        const char* needle;
        bool found;
    } cases[] = {
        {"Stra\u00DFe", "STRASSE", true},       // full case folding
        {"\u212Aelvin", "kelvin", true},        // Kelvin sign folds to k
        {"Cafe\u0301 Noir", "caf\u00C9", true}, // composed and decomposed agree
        {"Caf\u00E9", "cafe", false},           // the accent belongs to its letter
        {"Cafe\u0301 and cafe", "cafe", true},  // a later match may still count
        {"\u00C5ngstr\u00F6m", "\u00E5NG", true},
        {"plain ascii", "ASCII", true},
        {"plain ascii", "", true},
        {"", "a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(unicodeText::keyContains(unicodeText::searchKey(c.text),
                                           unicodeText::searchKey(c.needle)),
                  c.found)
            << c.text << " / " << c.needle;
}

TEST(UnicodeSearch, TrimsUnicodeWhiteSpaceAtBothEnds) {
    EXPECT_EQ(unicodeText::trimmed(" \t\u00A0\u2028 a b \r\n\u3000"), "a b");
    EXPECT_EQ(unicodeText::trimmed("\u200Bx"), "\u200Bx"); // a zero-width space is no blank
    EXPECT_EQ(unicodeText::trimmed(" \n "), "");
    EXPECT_EQ(unicodeText::trimmed("\xFF "), "\xFF");
}

} // namespace
} // namespace quorilanth
