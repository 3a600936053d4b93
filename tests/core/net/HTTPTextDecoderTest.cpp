#include "core/net/HTTPTextDecoder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::string_literals;

struct DecodeCase {
    const char* name;
    std::string body;
    std::string contentType;
    std::string expected;
};

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, GivesTheTextOfTheBody) {
    EXPECT_EQ(HTTPTextDecoder::decode(GetParam().body, GetParam().contentType), GetParam().expected)
        << GetParam().name;
}

const std::string kPrivet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2"s;
const std::string kPrivet = "Привет";
const std::string kPrivetAs1252 = "Ïðèâåò";

std::string html(const std::string& head, const std::string& body) {
    return "<html><head>" + head + "</head><body>" + body + "</body></html>";
}

// A meta element that ends exactly at `end` bytes into the body.
std::string metaEndingAt(std::size_t end) {
    const std::string meta = "<meta charset=\"windows-1251\">";
    return std::string(end - meta.size(), ' ') + meta + kPrivet1251;
}

INSTANTIATE_TEST_SUITE_P(
    ByteOrderMarks, Decode,
    ::testing::Values(
        DecodeCase{"utf-16le", "\xFF\xFEh\0i\0"s, "", "hi"},
        DecodeCase{"utf-16be", "\xFE\xFF\0h\0i"s, "text/html; charset=windows-1251", "hi"},
        DecodeCase{"utf-8", "\xEF\xBB\xBFh\xC3\xA9"s, "", "h\xC3\xA9"},
        DecodeCase{"utf-32be", "\0\0\xFE\xFF\0\0\0h\0\x01\xF6\x00"s, "", "h\xF0\x9F\x98\x80"},
        DecodeCase{"utf-32le", "\xFF\xFE\0\0h\0\0\0"s, "application/json", "h"},
        // Not UTF-32: the same mark is tried again as UTF-16 little-endian.
        DecodeCase{"utf-32le mark, utf-16le text", "\xFF\xFE\0\0h\0"s, "", "\0h"s},
        // A UTF-8 mark before bytes that are not UTF-8 is just text.
        DecodeCase{"broken utf-8 after mark", "\xEF\xBB\xBF\xE9"s, "text/plain", "ï»¿é"},
        DecodeCase{"odd utf-16 length", "\xFE\xFF\0h\0"s, "text/plain", "þÿ\0h\0"s},
        DecodeCase{"lone surrogate", "\xFF\xFE\x00\xD8h\0"s, "text/plain", "ÿþ\0Øh\0"s}));

INSTANTIATE_TEST_SUITE_P(
    JsonAndEventStreams, Decode,
    ::testing::Values(
        DecodeCase{"json ignores its charset", "{\"a\":\"caf\xE9\"}",
                   "application/json; charset=iso-8859-1", "{\"a\":\"caf\xEF\xBF\xBD\"}"},
        DecodeCase{"ld+json", "\xE9", "application/ld+json", "\xEF\xBF\xBD"},
        DecodeCase{"event stream", "data: \xE9\xE9\n", "TEXT/EVENT-STREAM;charset=windows-1252",
                   "data: \xEF\xBF\xBD\xEF\xBF\xBD\n"},
        // One replacement per maximal ill-formed subsequence.
        DecodeCase{"truncated sequences", "\xF0\x9F\x98|\xE2\x82|\xC0\xAF", "application/json",
                   "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD"}));

INSTANTIATE_TEST_SUITE_P(
    DeclaredCharsets, Decode,
    ::testing::Values(
        DecodeCase{"meta charset", html("<meta charset=\"windows-1251\">", kPrivet1251),
                   "text/html", html("<meta charset=\"windows-1251\">", kPrivet)},
        DecodeCase{
            "meta http-equiv",
            html("<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">",
                 kPrivet1251),
            "text/html",
            html("<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">",
                 kPrivet)},
        DecodeCase{"content type wins over meta", html("<meta charset=windows-1251>", kPrivet1251),
                   "text/html; charset=utf-8", html("<meta charset=windows-1251>", kPrivetAs1252)},
        DecodeCase{"quoted charset parameter", kPrivet1251, "text/plain; charset=\"WINDOWS-1251\"",
                   kPrivet},
        DecodeCase{"encoding parameter", kPrivet1251, "text/plain; encoding='windows-1251'",
                   kPrivet},
        DecodeCase{
            "first meta that names a charset",
            html("<meta name=x><meta charset=windows-1251><meta charset=utf-8>", kPrivet1251),
            "text/html",
            html("<meta name=x><meta charset=windows-1251><meta charset=utf-8>", kPrivet)},
        DecodeCase{"meta ignored outside html", "<meta charset=windows-1251>" + kPrivet1251,
                   "text/plain", "<meta charset=windows-1251>" + kPrivetAs1252},
        DecodeCase{"meta ending at byte 8192", metaEndingAt(8192), "text/html",
                   std::string(8192 - 29, ' ') + "<meta charset=\"windows-1251\">" + kPrivet},
        DecodeCase{"meta ending at byte 8193", metaEndingAt(8193), "text/html",
                   std::string(8193 - 29, ' ') + "<meta charset=\"windows-1251\">" + kPrivetAs1252},
        DecodeCase{"xml declaration",
                   "\n <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\x80</a>",
                   "application/rss+xml",
                   "\n <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC2\x80</a>"},
        DecodeCase{"xml declaration not at the start",
                   "<a/><?xml encoding=\"windows-1251\"?>" + kPrivet1251, "text/xml",
                   "<a/><?xml encoding=\"windows-1251\"?>" + kPrivetAs1252},
        // The document's own claim to be UTF-16 is false by construction: it
        // was read as ASCII. A header may still say so truthfully.
        DecodeCase{"meta claiming utf-16", "<meta charset=utf-16>caf\xC3\xA9", "text/html",
                   "<meta charset=utf-16>caf\xC3\xA9"},
        DecodeCase{"xml declaration claiming utf-16",
                   "<?xml version='1.0' encoding='UTF-16'?><a/>\n", "text/xml",
                   "<?xml version='1.0' encoding='UTF-16'?><a/>\n"},
        DecodeCase{"header naming utf-16", "h\0i\0"s, "text/plain; charset=utf-16le", "hi"},
        DecodeCase{"content type wins over xml declaration",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\x80",
                   "text/xml; charset=windows-1252",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>€"}));

INSTANTIATE_TEST_SUITE_P(
    Fallbacks, Decode,
    ::testing::Values(
        DecodeCase{"empty", "", "text/html", ""},
        DecodeCase{"unknown charset, utf-8 body", "caf\xC3\xA9", "text/html; charset=x-nonexistent",
                   "café"},
        DecodeCase{"unknown charset, 1252 body", "caf\xE9", "text/html; charset=x-nonexistent",
                   "café"},
        DecodeCase{"wrong charset falls back", "caf\xE9", "text/plain; charset=us-ascii", "café"},
        DecodeCase{"plain text in windows-1252", "\x93quoted\x94 \x80", "text/plain", "“quoted” €"},
        DecodeCase{"no content type, utf-8", "\xE2\x9C\x93", "", "✓"},
        // The five bytes Windows-1252 leaves unassigned keep their C1 reading
        // rather than being lost.
        DecodeCase{"unassigned 1252 bytes", "a\x81\x8D\x8F\x90\x9D\xE9", "text/plain",
                   "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC3\xA9"}));

TEST(Decode, KeepsATwoMegabyteBodyWhole) {
    std::string body = "<html><head><meta charset=\"windows-1251\"></head><body>";
    while (body.size() < 2'000'000) {
        body += kPrivet1251 + " ";
    }
    const std::string text = HTTPTextDecoder::decode(body, "text/html");
    EXPECT_EQ(text.size(), body.size() + (body.size() - 54) / 7 * 6);
    EXPECT_TRUE(text.ends_with(kPrivet + " "));
}

} // namespace
} // namespace quorilanth
