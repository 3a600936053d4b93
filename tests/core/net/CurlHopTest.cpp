// The text rules of one hop: what goes into curl's header file and what comes
// back from its header stream, including hostile bytes.

#include "core/net/CurlHop.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(CurlHop, RequestHeaderLines) {
    const struct {
        const char* name;
        HeaderFields headers;
        std::string expected;
    } cases[] = {
        {"sorted by code point", {{"b", "2"}, {"B", "1"}, {"a", "3"}}, "B: 1\na: 3\nb: 2"},
        {"empty value in curl's own form",
         {{"Accept", ""}, {"X-Blank", " \t"}},
         "Accept;\nX-Blank;"},
        {"line breaks and colons are never sent",
         {{"X-CR", "a\rb"},
          {"X-LF", "a\nb"},
          {"Bad:Name", "v"},
          {"Bad\nName", "v"},
          {"", "v"},
          {"X-Good", "v"}},
         "X-Good: v"},
        {"value kept as given", {{"X-Spaced", "  inner  value "}}, "X-Spaced:   inner  value "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(curlhop::requestHeaderLines(c.headers), c.expected) << c.name;
}

TEST(CurlHop, ResponseHeaderBlocks) {
    const struct {
        const char* name;
        std::string bytes;
        HeaderFields expected;
    } cases[] = {
        {"last block wins",
         "HTTP/1.1 100 Continue\r\nX-A: 1\r\n\r\nHTTP/1.1 200 OK\r\nX-B: 2\r\n\r\n",
         {{"x-b", "2"}}},
        {"repeated names joined in order",
         "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSET-COOKIE: b=2\r\n",
         {{"set-cookie", "a=1, b=2"}}},
        {"value trimmed of Unicode blanks, name kept",
         "HTTP/1.1 200 OK\r\nX-Pad :\t \xC2\xA0value\xE2\x80\x83 \r\n",
         {{"x-pad ", "value"}}},
        {"first colon splits",
         "HTTP/1.1 200 OK\r\nLocation: https://a.example:8443/x\r\n",
         {{"location", "https://a.example:8443/x"}}},
        {"stray byte spoils only its line",
         "HTTP/1.1 302 Found\r\nX-Odd: caf\xE9\r\nLocation: /next\r\n\r\n",
         {{"x-odd", "caf\xEF\xBF\xBD"}, {"location", "/next"}}},
        {"Unicode separators and bare CRs split lines",
         "HTTP/1.1 200 OK\r\nX-A: 1\xE2\x80\xA8X-B: 2\xC2\x85X-C: 3\rX-D: 4",
         {{"x-a", "1"}, {"x-b", "2"}, {"x-c", "3"}, {"x-d", "4"}}},
        {"non-ASCII names lower-cased",
         "HTTP/1.1 200 OK\r\nX-\xC3\x89T\xC3\x89: v\r\n",
         {{"x-\xC3\xA9t\xC3\xA9", "v"}}},
        {"lines without a colon ignored",
         "HTTP/1.1 200 OK\r\ngarbage\r\n\r\nX-A: 1\r\n",
         {{"x-a", "1"}}},
        {"empty stream", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(curlhop::parseResponseHeaders(c.bytes), c.expected) << c.name;
}

// Large limits must not come out in exponent notation.
TEST(CurlHop, TimeLimitIsWrittenWithAFraction) {
    EXPECT_EQ(curlhop::decimalSeconds(15), "15.0");
    EXPECT_EQ(curlhop::decimalSeconds(0.25), "0.25");
    EXPECT_EQ(curlhop::decimalSeconds(100000), "100000.0");
}

} // namespace
} // namespace quorilanth
