#include "ReportFixtures.h"
#include "core/model/ReportGenerator.h"
#include "core/model/ReportJSON.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using test::exchange;
using test::reportFor;

ScanReport reportWithHeaders() {
    ScanReport report = reportFor("https://a.example/");
    Evidence record = exchange("E-1", "https://a.example/mcp", "POST", 200);
    record.requestHeaders = {
        {"Cookie", "[REDACTED]"}, {"set-cookie", "sent=1"}, {"mcp-session-id", "request-side"}};
    record.responseHeaders = {
        {"Set-Cookie", "session=secret"}, {"MCP-SESSION-ID", "abc123"},
        {"mcp-session-id", "lower"},      {"set-cookie2", "kept"},
        {"x-set-cookie", "kept too"},     {"content-type", "application/json"}};
    record.responseBody = "{\"set-cookie\":\"in the body stays\"}";
    report.evidence.push_back(record);
    return report;
}

TEST(ReportGeneratorJSON, HidesSessionResponseHeadersWhateverTheirCase) {
    const JSONValue written = JSONValue::parse(ReportGenerator::json(reportWithHeaders()));
    const JSONValue& record = written["evidence"][std::size_t{0}];
    struct Case {
        const char* name;
        const char* value;
    };
    const Case response[] = {
        {"Set-Cookie", "[REDACTED]"},     {"MCP-SESSION-ID", "[REDACTED]"},
        {"mcp-session-id", "[REDACTED]"}, {"set-cookie2", "kept"},
        {"x-set-cookie", "kept too"},     {"content-type", "application/json"},
    };
    for (const auto& c : response) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(record["responseHeaders"][c.name].isString());
        EXPECT_EQ(*record["responseHeaders"][c.name].string(), c.value);
    }
    const Case request[] = {
        {"Cookie", "[REDACTED]"}, {"set-cookie", "sent=1"}, {"mcp-session-id", "request-side"}};
    for (const auto& c : request) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(record["requestHeaders"][c.name].isString());
        EXPECT_EQ(*record["requestHeaders"][c.name].string(), c.value);
    }
    EXPECT_EQ(*record["responseBody"].string(), "{\"set-cookie\":\"in the body stays\"}");
}

TEST(ReportGeneratorJSON, LeavesTheInputUnchangedAndRepeatsItsBytes) {
    const ScanReport report = reportWithHeaders();
    const std::string first = ReportGenerator::json(report);
    EXPECT_EQ(first, ReportGenerator::json(report));
    EXPECT_EQ(report.evidence.front().responseHeaders.at("Set-Cookie"), "session=secret");
    EXPECT_EQ(report.evidence.front().responseHeaders.at("MCP-SESSION-ID"), "abc123");
}

TEST(ReportGeneratorJSON, IsTheSavedFormWhenNothingIsHidden) {
    const ScanReport report = test::richReport();
    const std::string exported = ReportGenerator::json(report);
    EXPECT_EQ(exported, ReportJSON::write(report));
    const ScanReport back = ReportJSON::read(exported);
    EXPECT_EQ(back.nodes, report.nodes);
    EXPECT_EQ(back.servers, report.servers);
}

TEST(ReportGeneratorJSON, ANumberThatIsNotFiniteFailsTheWrite) {
    ScanReport report = reportFor("https://a.example/");
    report.servers.push_back(test::server("https://a.example/mcp", FindingStatus::valid,
                                          std::numeric_limits<double>::infinity()));
    EXPECT_THROW((void)ReportGenerator::json(report), QuorilanthError);
    // The other two forms still render such a report.
    EXPECT_NO_THROW((void)ReportGenerator::markdown(report));
    EXPECT_NO_THROW((void)ReportGenerator::pdf(report));
}

} // namespace
} // namespace quorilanth
