#include "core/net/HTTPTextDecoder.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::string_literals;

const std::string kPrivet1251 = "\xCF\xF0\xE8\xE2\xE5\xF2"s;
const std::string kPrivet = "Привет";
const std::string kPrivetAs1252 = "Ïðèâåò";
const std::string kMeta1251 = "<meta charset=\"windows-1251\">";

// The meta element ends exactly `end` bytes into the body.
std::string metaEndingAt(std::size_t end) {
    return std::string(end - kMeta1251.size(), ' ') + kMeta1251;
}

TEST(Decode, GivesTheTextOfTheBody) {
    const struct {
        const char* name;
        std::string body;
        const char* contentType;
        std::string expected;
    } cases[] = {
        // Byte order marks win over everything declared.
        {"utf-16be mark", "\xFE\xFF\0h\0i"s, "text/html; charset=windows-1251", "hi"},
        {"utf-8 mark", "\xEF\xBB\xBFh\xC3\xA9"s, "", "h\xC3\xA9"},
        {"utf-32be mark", "\0\0\xFE\xFF\0\0\0h\0\x01\xF6\x00"s, "", "h\xF0\x9F\x98\x80"},
        // Not UTF-32: the same mark is tried again as UTF-16 little-endian.
        {"utf-32le mark, utf-16le text", "\xFF\xFE\0\0h\0"s, "", "\0h"s},
        {"broken utf-8 after mark", "\xEF\xBB\xBF\xE9"s, "text/plain", "ï»¿é"},
        {"odd utf-16 length", "\xFE\xFF\0h\0"s, "text/plain", "þÿ\0h\0"s},
        {"lone surrogate", "\xFF\xFE\x00\xD8h\0"s, "text/plain", "ÿþ\0Øh\0"s},
        // JSON and event streams ignore any charset; one replacement per
        // maximal ill-formed subsequence.
        {"json", "\xF0\x9F\x98|\xE2\x82|\xC0\xAF", "application/json; charset=iso-8859-1",
         "\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"event stream", "data: \xE9\n", "TEXT/EVENT-STREAM;charset=windows-1252",
         "data: \xEF\xBF\xBD\n"},
        // Declared charsets.
        {"meta charset", "<head>" + kMeta1251 + kPrivet1251, "text/html",
         "<head>" + kMeta1251 + kPrivet},
        {"meta http-equiv",
         "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">" +
             kPrivet1251,
         "text/html",
         "<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">" +
             kPrivet},
        {"first meta naming a charset",
         "<meta name=x><meta charset=windows-1251><meta charset=utf-8>" + kPrivet1251, "text/html",
         "<meta name=x><meta charset=windows-1251><meta charset=utf-8>" + kPrivet},
        {"content type wins over meta", kMeta1251 + kPrivet1251, "text/html; charset=utf-8",
         kMeta1251 + kPrivetAs1252},
        {"quoted charset parameter", kPrivet1251, "text/plain; charset=\"WINDOWS-1251\"", kPrivet},
        {"meta ignored outside html", kMeta1251 + kPrivet1251, "text/plain",
         kMeta1251 + kPrivetAs1252},
        {"meta ending at byte 8192", metaEndingAt(8192) + kPrivet1251, "text/html",
         metaEndingAt(8192) + kPrivet},
        {"meta ending at byte 8193", metaEndingAt(8193) + kPrivet1251, "text/html",
         metaEndingAt(8193) + kPrivetAs1252},
        {"xml declaration", "\n <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\x80</a>",
         "application/rss+xml",
         "\n <?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC2\x80</a>"},
        {"xml declaration not at the start", "<a/><?xml encoding=\"windows-1251\"?>" + kPrivet1251,
         "text/xml", "<a/><?xml encoding=\"windows-1251\"?>" + kPrivetAs1252},
        // A document read as ASCII cannot truthfully claim UTF-16; a header can.
        {"meta claiming utf-16", "<meta charset=utf-16>caf\xC3\xA9", "text/html",
         "<meta charset=utf-16>caf\xC3\xA9"},
        {"header naming utf-16", "h\0i\0"s, "text/plain; charset=utf-16le", "hi"},
        // Fallbacks: UTF-8, then Windows-1252.
        {"unknown charset, utf-8 body", "caf\xC3\xA9", "text/html; charset=x-nonexistent", "café"},
        {"wrong charset falls back", "caf\xE9", "text/plain; charset=us-ascii", "café"},
        {"plain text in windows-1252", "\x93quoted\x94 \x80", "text/plain", "“quoted” €"},
        // The five bytes Windows-1252 leaves unassigned keep their C1 reading
        // rather than being lost.
        {"unassigned 1252 bytes", "a\x81\x8D\x8F\x90\x9D\xE9", "text/plain",
         "a\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HTTPTextDecoder::decode(c.body, c.contentType), c.expected) << c.name;
}

TEST(Decode, KeepsATwoMegabyteBodyWhole) {
    std::string body = "<html><head>" + kMeta1251 + "</head><body>";
    while (body.size() < 2'000'000) {
        body += kPrivet1251 + " ";
    }
    const std::string text = HTTPTextDecoder::decode(body, "text/html");
    EXPECT_EQ(text.size(), body.size() + (body.size() - 54) / 7 * 6);
    EXPECT_TRUE(text.ends_with(kPrivet + " "));
}

} // namespace
} // namespace quorilanth
