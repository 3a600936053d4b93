// The scripted transport that logic tests of other components stand on.

#include "support/FakeHTTPInspector.h"

#include "core/model/QuorilanthError.h"

#include <gtest/gtest.h>

namespace quorilanth::test {
namespace {

TEST(FakeHTTPInspector, AnswersInScriptedOrderAndRecordsCalls) {
    FakeHTTPInspector fake;
    fake.respond("https://a.test/", 200, "first", {{"Content-Type", "text/plain"}});
    fake.respond("https://a.test/", 500, "second");
    fake.fail("https://b.test/", "curl: (7) Failed to connect");

    struct Case {
        std::string url;
        std::optional<std::int64_t> status;
        std::string body;
        std::optional<std::string> error;
    } cases[] = {
        {"https://a.test/", 200, "first", std::nullopt},
        {"https://a.test/", 500, "second", std::nullopt},
        {"https://a.test/", 500, "second", std::nullopt}, // the last script keeps answering
        {"https://b.test/", std::nullopt, "", "curl: (7) Failed to connect"},
        {"https://unscripted.test/", 404, "", std::nullopt},
    };
    std::vector<HTTPResult> results;
    for (const Case& c : cases) {
        HTTPResult result =
            fake.request(c.url, "POST", {{"Authorization", "k"}}, std::string("{}"));
        results.push_back(result);
        ASSERT_EQ(result.exchanges.size(), 1u) << c.url;
        const Evidence& hop = result.final();
        EXPECT_EQ(hop.statusCode, c.status) << c.url;
        EXPECT_EQ(hop.responseBody.str(), c.body) << c.url;
        EXPECT_EQ(hop.error, c.error) << c.url;
        // The request side is the caller's, recorded as the real transport does.
        EXPECT_EQ(hop.url, c.url);
        EXPECT_EQ(hop.method, "POST");
        EXPECT_EQ(hop.requestHeaders.at("Authorization"), "[REDACTED]");
        EXPECT_EQ(hop.requestBody, "{}");
    }
    EXPECT_EQ(fake.calls().size(), std::size(cases));
    // Response header names come back lower-cased, as from the real transport.
    EXPECT_EQ(results.front().final().responseHeaders.at("content-type"), "text/plain");
    EXPECT_EQ(fake.calls().front().headers.at("Authorization"), "k");
}

TEST(FakeHTTPInspector, MultiHopScriptsKeepTheirIdsDistinct) {
    FakeHTTPInspector fake;
    HTTPResult redirect;
    redirect.exchanges.emplace_back("https://a.test/", "GET");
    redirect.exchanges.back().statusCode = 301;
    redirect.exchanges.emplace_back("https://a.test/next", "GET");
    redirect.exchanges.back().statusCode = 200;
    fake.script("https://a.test/", redirect);
    HTTPResult first = fake.get("https://a.test/");
    HTTPResult second = fake.get("https://a.test/");
    ASSERT_EQ(first.exchanges.size(), 2u);
    EXPECT_NE(first.exchanges[0].id, first.exchanges[1].id);
    EXPECT_NE(first.exchanges[0].id, second.exchanges[0].id);
    EXPECT_EQ(first.final().url, "https://a.test/next");

    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(fake.get("https://a.test/", stop.get_token()).final().error, Cancelled().what());
}

} // namespace
} // namespace quorilanth::test
