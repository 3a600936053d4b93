#include "ReportFixtures.h"
#include "core/model/ReportJSON.h"
#include "core/report/ReportGenerator.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using test::reportFor;

TEST(ReportGeneratorJSON, HidesSessionResponseHeadersWhateverTheirCase) {
    ScanReport report = reportFor("https://a.example/");
    Evidence record = test::exchange("E-1", "https://a.example/mcp", "POST", 200);
    record.requestHeaders = {{"set-cookie", "sent=1"}, {"mcp-session-id", "request-side"}};
    record.responseHeaders = {{"Set-Cookie", "session=secret"}, {"MCP-SESSION-ID", "abc123"},
                              {"mcp-session-id", "lower"},      {"SET-COO\u212AIE", "kelvin sign"},
                              {"set-cookie2", "kept"},          {"x-set-cookie", "kept too"}};
    record.responseBody = "{\"set-cookie\":\"in the body stays\"}";
    report.evidence.push_back(record);

    const std::string exported = ReportGenerator::json(report);
    const JSONValue parsed = JSONValue::parse(exported);
    const JSONValue& written = parsed["evidence"][std::size_t{0}];
    for (const auto& [side, name, value] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"responseHeaders", "Set-Cookie", "[REDACTED]"},
             {"responseHeaders", "MCP-SESSION-ID", "[REDACTED]"},
             {"responseHeaders", "mcp-session-id", "[REDACTED]"},
             {"responseHeaders", "SET-COO\u212AIE", "[REDACTED]"},
             {"responseHeaders", "set-cookie2", "kept"},
             {"responseHeaders", "x-set-cookie", "kept too"},
             {"requestHeaders", "set-cookie", "sent=1"},
             {"requestHeaders", "mcp-session-id", "request-side"},
             {"responseBody", nullptr, "{\"set-cookie\":\"in the body stays\"}"}}) {
        const JSONValue& shown = name ? written[side][name] : written[side];
        ASSERT_TRUE(shown.isString()) << name;
        EXPECT_EQ(*shown.string(), value);
    }
    // The report itself keeps what it recorded.
    EXPECT_EQ(report.evidence.front().responseHeaders.at("Set-Cookie"), "session=secret");
    EXPECT_EQ(ReportGenerator::json(report), exported);
    // Without such headers the export is the saved form.
    EXPECT_EQ(ReportGenerator::json(test::richReport()), ReportJSON::write(test::richReport()));
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
