#include "core/model/ReportJSON.h"

#include "core/model/PrettyJSONWriter.h"
#include "support/SampleReports.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using samples::fullSampleReport;
using samples::minimalSampleReport;
using samples::readFixture;

Date wholeSeconds(Date date) {
    return std::chrono::floor<std::chrono::seconds>(date);
}

// What a report must read back as: the same records with dates cut to the second.
void expectSameReport(const ScanReport& read, ScanReport expected) {
    expected.startedAt = wholeSeconds(expected.startedAt);
    if (expected.finishedAt) expected.finishedAt = wholeSeconds(*expected.finishedAt);
    for (Evidence& e : expected.evidence)
        e.timestamp = wholeSeconds(e.timestamp);
    EXPECT_EQ(read.id, expected.id);
    EXPECT_EQ(read.domain, expected.domain);
    EXPECT_EQ(read.startedAt, expected.startedAt);
    EXPECT_EQ(read.finishedAt, expected.finishedAt);
    EXPECT_EQ(read.nodes, expected.nodes);
    EXPECT_EQ(read.edges, expected.edges);
    EXPECT_EQ(read.evidence, expected.evidence);
    EXPECT_EQ(read.servers, expected.servers);
    EXPECT_EQ(read.checks, expected.checks);
    EXPECT_EQ(read.notices, expected.notices);
    EXPECT_EQ(read.cancelled, expected.cancelled);
    EXPECT_EQ(read.scoringVersion, expected.scoringVersion);
}

TEST(ReportJSONGolden, WriterMatchesTheFilesByteForByte) {
    EXPECT_EQ(ReportJSON::write(minimalSampleReport()), readFixture("model/report-minimal.json"));
    EXPECT_EQ(ReportJSON::write(fullSampleReport()), readFixture("model/report-full.json"));
}

TEST(ReportJSONGolden, FilesReadBackAsTheirReports) {
    expectSameReport(ReportJSON::read(readFixture("model/report-minimal.json")),
                     minimalSampleReport());
    expectSameReport(ReportJSON::read(readFixture("model/report-full.json")), fullSampleReport());
}

struct Rejection {
    const char* name;
    std::string find; // empty: replace the whole text
    std::string replace;
    std::string place; // expected in the message
};

void PrintTo(const Rejection& row, std::ostream* out) {
    *out << row.name;
}

class ReportJSONRejects : public ::testing::TestWithParam<Rejection> {};

TEST_P(ReportJSONRejects, FailsTheWholeReadNamingThePlace) {
    std::string text = readFixture("model/report-full.json");
    const Rejection& row = GetParam();
    if (row.find.empty()) {
        text = row.replace;
    } else {
        auto at = text.find(row.find);
        ASSERT_NE(at, std::string::npos) << row.find;
        text.replace(at, row.find.size(), row.replace);
    }
    try {
        ReportJSON::read(text);
        FAIL() << "read succeeded";
    } catch (const QuorilanthError& error) {
        EXPECT_NE(std::string(error.what()).find(row.place), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Mutations, ReportJSONRejects,
    testing::Values(
        Rejection{"MissingScoringVersion", R"("scoringVersion")", R"("scoringversion")",
                  R"($: missing key "scoringVersion")"},
        Rejection{"MissingToolKey", R"("serverURL")", R"("serverUrl")",
                  R"($.servers[0].tools[0]: missing key "serverURL")"},
        Rejection{"MissingEvidenceFlag", R"("truncated" : false)", R"("Truncated" : false)",
                  R"($.evidence[1]: missing key "truncated")"},
        Rejection{"NullForNonOptionalString", R"("Root of the scanned site")", "null",
                  "$.nodes[0].summary: expected a string, found null"},
        Rejection{"NullForNonOptionalList", R"("notices" : [)", R"("notices" : null, "x" : [)",
                  "$.notices: expected an array, found null"},
        Rejection{"StringForStatusCode", R"("statusCode" : 200)", R"("statusCode" : "200")",
                  "$.evidence[0].statusCode: expected a number, found a string"},
        Rejection{"NumberForCancelled", R"("cancelled" : true)", R"("cancelled" : 1)",
                  "$.cancelled: expected a boolean, found a number"},
        Rejection{"FractionalInteger", R"("points" : 8)", R"("points" : 12.5)",
                  "$.checks[0].points: expected a whole number, found 12.5"},
        Rejection{"FractionalSecondDate", R"("startedAt" : "2026-01-31T08:05:09Z")",
                  R"("startedAt" : "2026-01-31T08:05:09.250Z")", "$.startedAt: "},
        Rejection{"ImpossibleDate", "2026-01-31T08:05:51Z", "2026-02-30T08:05:51Z",
                  "$.finishedAt: "},
        Rejection{"StatusByCaseName", R"("NOT FOUND")", R"("notFound")",
                  R"($.nodes[1].status: "notFound" is not a known status)"},
        Rejection{"ServerStatusInLowerCase", R"("VALID")", R"("valid")", "$.servers[0].status"},
        Rejection{"KindCapitalised", R"("discovery")", R"("Discovery")", "$.nodes[1].kind"},
        Rejection{"HeaderValueNotAString", R"("application/json",)", "1,",
                  "$.evidence[0].requestHeaders.Accept: expected a string"},
        Rejection{"ListGivenAsString", "[\n        \"No llms.txt\"\n      ]", R"("No llms.txt")",
                  "$.nodes[0].issues: expected an array"},
        Rejection{"EdgeNotAnObject", "\"edges\" : [\n", "\"edges\" : [\n 7,",
                  "$.edges[0]: expected an object, found a number"},
        Rejection{"ArrayAtTopLevel", "", "[]", "$: expected an object, found an array"},
        Rejection{"StringAtTopLevel", "", R"("report")", "$: expected an object"},
        Rejection{"TrailingContent", "", "{} {}", "Cannot read the report: Invalid JSON"},
        Rejection{"LoneSurrogateInBody", "Caf", R"(\udc00)", "Lone surrogate in string"}),
    [](const auto& info) { return info.param.name; });

struct Acceptance {
    const char* name;
    std::string find;
    std::string replace;
};

void PrintTo(const Acceptance& row, std::ostream* out) {
    *out << row.name;
}

class ReportJSONAccepts : public ::testing::TestWithParam<Acceptance> {};

// Each change is one the reader forgives and the writer does not reproduce, so
// writing the read report again gives the golden text back.
TEST_P(ReportJSONAccepts, ReadsAndWritesTheGoldenFormAgain) {
    const std::string golden = readFixture("model/report-full.json");
    std::string text = golden;
    auto at = text.find(GetParam().find);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, GetParam().find.size(), GetParam().replace);
    EXPECT_EQ(ReportJSON::write(ReportJSON::read(text)), golden);
}

INSTANTIATE_TEST_SUITE_P(
    Mutations, ReportJSONAccepts,
    testing::Values(Acceptance{"ExtraTopLevelKey", "{\n", R"({"generator" : {"name" : "x"}, )"},
                    Acceptance{"ExtraKeyInNestedRecord", R"("latencyMS")",
                               R"("latency" : "fast", "latencyMS")"},
                    Acceptance{"DateWithNumericOffset", R"("2026-01-31T08:05:09Z")",
                               R"("2026-01-31T10:35:09+02:30")"},
                    Acceptance{"IntegerWrittenWithFraction", R"("statusCode" : 200)",
                               R"("statusCode" : 200.0)"},
                    Acceptance{"EscapedSlashes", R"("https://shop.example/")",
                               R"("https:\/\/shop.example\/")"}),
    [](const auto& info) { return info.param.name; });

TEST(ReportJSONOptionals, NullOrMissingOptionalKeysReadAsAbsent) {
    std::string text = readFixture("model/report-full.json");
    for (auto [find, replace] : {std::pair<std::string, std::string>{
                                     R"("url" : "https://shop.example/")", R"("url" : null)"},
                                 {R"("statusCode" : 200)", R"("statusCode" : null)"},
                                 {R"("isAgentDocument" : false,)", ""}}) {
        auto at = text.find(find);
        ASSERT_NE(at, std::string::npos) << find;
        text.replace(at, find.size(), replace);
    }
    ScanReport report = ReportJSON::read(text);
    EXPECT_EQ(report.nodes[0].url, std::nullopt);
    EXPECT_EQ(report.nodes[0].isAgentDocument, std::nullopt);
    EXPECT_EQ(report.evidence[0].statusCode, std::nullopt);

    std::string written = ReportJSON::write(report);
    EXPECT_EQ(written.find("\"statusCode\""), std::string::npos);
    EXPECT_EQ(written.find("\"isAgentDocument\""), std::string::npos);
    EXPECT_EQ(written.find(R"("url" : null)"), std::string::npos);
}

TEST(ReportJSONWriter, NonFiniteNumbersFailTheWrite) {
    ScanReport withNaN = minimalSampleReport();
    GraphNode node("n", NodeKind::content, "n", std::nullopt, FindingStatus::found);
    node.metadata = JSONValue(JSONValue::Object{{"x", std::nan("")}});
    withNaN.nodes.push_back(node);
    EXPECT_THROW(ReportJSON::write(withNaN), QuorilanthError);

    ScanReport withInfinity = minimalSampleReport();
    withInfinity.evidence.emplace_back("https://a.example/", "GET");
    withInfinity.evidence.back().durationMS = std::numeric_limits<double>::infinity();
    EXPECT_THROW(ReportJSON::write(withInfinity), QuorilanthError);
}

TEST(ReportJSONWriter, BrokenUTF8IsWrittenAsReplacementCharactersSoTheFileStaysReadable) {
    ScanReport report = minimalSampleReport();
    Evidence e("https://a.example/", "GET");
    e.responseBody = std::string("ok \xFF\xC3 end \xED\xA0\x80");
    report.evidence.push_back(e);
    ScanReport back = ReportJSON::read(ReportJSON::write(report));
    EXPECT_EQ(back.evidence[0].responseBody,
              "ok \xEF\xBF\xBD\xEF\xBF\xBD end \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ReportJSONNesting, ValuesAtTheParseLimitSurviveInsideAReport) {
    std::string deep =
        std::string(JSONValue::kMaxNesting, '[') + std::string(JSONValue::kMaxNesting, ']');
    ScanReport report = minimalSampleReport();
    MCPServer server("https://a.example/mcp");
    server.tools.emplace_back(server.url, JSONValue::parse(deep));
    report.servers.push_back(server);
    ScanReport back = ReportJSON::read(ReportJSON::write(report));
    EXPECT_EQ(back.servers[0].tools[0].definition.depth(), JSONValue::kMaxNesting);
}

JSONValue builtNesting(std::size_t levels) {
    JSONValue value = JSONValue::emptyArray();
    for (std::size_t i = 1; i < levels; ++i)
        value = JSONValue(JSONValue::Array{value});
    return value;
}

// Values built in code may wrap parsed ones; whatever gets written must read back.
TEST(ReportJSONNesting, TheWriterNeverProducesWhatTheReaderRefuses) {
    const std::size_t limit = PrettyJSONWriter::kMaxNesting;
    EXPECT_FALSE(builtNesting(limit).pretty().empty());
    EXPECT_EQ(builtNesting(limit + 1).pretty(), "");

    // Node metadata sits three levels inside the report (report, nodes, node).
    for (std::size_t levels : {limit - 3, limit - 2}) {
        ScanReport report = minimalSampleReport();
        report.nodes.emplace_back("n", NodeKind::content, "n", std::nullopt, FindingStatus::found);
        report.nodes.back().metadata = builtNesting(levels);
        if (levels + 3 <= limit) {
            EXPECT_EQ(ReportJSON::read(ReportJSON::write(report)).nodes[0].metadata.depth(),
                      levels);
        } else {
            EXPECT_THROW(ReportJSON::write(report), QuorilanthError);
        }
    }
}

TEST(ReportJSONNesting, AHostileFileIsRefusedWithoutCrashing) {
    std::string text = readFixture("model/report-minimal.json");
    text.replace(text.find("[]"), 2, std::string(2'000'000, '['));
    EXPECT_THROW(ReportJSON::read(text), QuorilanthError);
}

TEST(ReportJSONRoundTrip, GeneratedReportsReadBackAndWriteAgainIdentically) {
    for (std::uint64_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(seed);
        ScanReport report = samples::randomReport(seed);
        std::string text = ReportJSON::write(report);
        ScanReport back = ReportJSON::read(text);
        expectSameReport(back, report);
        EXPECT_EQ(ReportJSON::write(back), text);
        // A parsed value keeps its members sorted, so its pretty form is the
        // writer's layout with every key in order: the report's text must match.
        EXPECT_EQ(JSONValue::parse(text).pretty(), text);
        if (HasFailure()) break;
    }
}

TEST(ReportJSONRoundTrip, GeneratedValuesReadBackEqual) {
    for (std::uint64_t seed = 1; seed <= 500; ++seed) {
        JSONValue value = samples::randomJSONValue(seed, 5);
        std::string text = value.pretty();
        ASSERT_EQ(JSONValue::parse(text), value) << text;
        ASSERT_EQ(JSONValue::parse(text).pretty(), text);
    }
}

} // namespace
} // namespace quorilanth
