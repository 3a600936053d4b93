#include "core/model/ReportJSON.h"

#include "core/base/PrettyJSONWriter.h"
#include "support/SampleReports.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using samples::fullSampleReport;
using samples::minimalSampleReport;
using samples::readFixture;

TEST(ReportJSONGolden, WriterMatchesTheFilesByteForByte) {
    EXPECT_EQ(ReportJSON::write(minimalSampleReport()), readFixture("model/report-minimal.json"));
    EXPECT_EQ(ReportJSON::write(fullSampleReport()), readFixture("model/report-full.json"));
}

TEST(ReportJSONGolden, FilesReadBackAsTheirReports) {
    for (const char* name : {"model/report-minimal.json", "model/report-full.json"})
        EXPECT_EQ(ReportJSON::write(ReportJSON::read(readFixture(name))), readFixture(name));
}

// Saving and opening go through files piece by piece: the pieces must join into
// the very bytes of the whole text, a reading in odd pieces must give the same
// report, and a reader's own failure must reach the caller unchanged.
TEST(ReportJSONPieces, WritingAndReadingInPiecesMatchTheWholeText) {
    ScanReport report = fullSampleReport();
    report.evidence[0].responseBody = std::string(150'000, 'b') + "\"\xC3\xA9";
    const std::string whole = ReportJSON::write(report);
    std::string joined;
    int pieces = 0;
    ReportJSON::write(report, [&](std::string_view piece) { joined += piece, ++pieces; });
    EXPECT_EQ(joined, whole);
    EXPECT_GE(pieces, 2);

    std::size_t at = 0;
    auto reader = [&](char* buffer, std::size_t capacity) {
        std::size_t count = std::min({capacity, std::size_t{4099}, whole.size() - at});
        std::memcpy(buffer, whole.data() + at, count);
        at += count;
        return count;
    };
    EXPECT_EQ(ReportJSON::write(ReportJSON::read(reader)), whole);

    at = 0;
    try {
        ReportJSON::read([&](char* buffer, std::size_t capacity) -> std::size_t {
            if (at > 100'000) throw QuorilanthError("The disk went away.");
            return reader(buffer, capacity);
        });
        ADD_FAILURE() << "read succeeded";
    } catch (const QuorilanthError& error) {
        EXPECT_EQ(error.message(), "The disk went away.");
    }
}

// Replaces the first occurrence of `find` (or the whole text when it is empty).
std::string edited(std::string text, const std::string& find, const std::string& replace) {
    if (find.empty()) return replace;
    auto at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    return at == std::string::npos ? text : text.replace(at, find.size(), replace);
}

TEST(ReportJSONReader, RefusesTheWholeFileNamingThePlace) {
    struct Row {
        const char* find;
        const char* replace;
        const char* place; // expected in the message
    };
    for (const Row& row : {
             Row{R"("serverURL")", R"("serverUrl")",
                 R"($.servers[0].tools[0]: missing key "serverURL")"},
             Row{R"("Root of the scanned site")", "null",
                 "$.nodes[0].summary: expected a string, found null"},
             Row{R"("statusCode" : 200)", R"("statusCode" : "200")",
                 "$.evidence[0].statusCode: expected a number, found a string"},
             Row{R"("points" : 8)", R"("points" : 12.5)",
                 "$.checks[0].points: expected a whole number, found 12.5"},
             Row{R"("startedAt" : "2026-01-31T08:05:09Z")",
                 R"("startedAt" : "2026-01-31T08:05:09.250Z")", "$.startedAt: "},
             Row{R"("NOT FOUND")", R"("notFound")",
                 R"($.nodes[1].status: "notFound" is not a known status)"},
             Row{"\"edges\" : [\n", "\"edges\" : [\n 7,",
                 "$.edges[0]: expected an object, found a number"},
             Row{"", "[]", "$: expected an object, found an array"},
             Row{"", "{} {}", "Cannot read the report: Invalid JSON"},
             Row{"Caf", R"(\udc00)", "Lone surrogate in string"},
         }) {
        SCOPED_TRACE(row.place);
        try {
            ReportJSON::read(edited(readFixture("model/report-full.json"), row.find, row.replace));
            ADD_FAILURE() << "read succeeded";
        } catch (const QuorilanthError& error) {
            EXPECT_NE(std::string(error.what()).find(row.place), std::string::npos) << error.what();
        }
    }
}

// Each change is one the reader forgives and the writer does not reproduce, so
// writing the read report again gives the golden text back.
TEST(ReportJSONReader, ForgivesWhatTheWriterNormalises) {
    const std::string golden = readFixture("model/report-full.json");
    for (const auto& [find, replace] : std::initializer_list<std::pair<const char*, const char*>>{
             {"{\n", R"({"generator" : {"name" : "x"}, )"},
             {R"("latencyMS")", R"("latency" : "fast", "latencyMS")"},
             {R"("2026-01-31T08:05:09Z")", R"("2026-01-31T10:35:09+02:30")"},
             {R"("statusCode" : 200)", R"("statusCode" : 200.0)"},
             {R"("https://shop.example/")", R"("https:\/\/shop.example\/")"},
         }) {
        EXPECT_EQ(ReportJSON::write(ReportJSON::read(edited(golden, find, replace))), golden)
            << replace;
    }
}

TEST(ReportJSONOptionals, NullOrMissingOptionalKeysReadAsAbsent) {
    std::string text = readFixture("model/report-full.json");
    text = edited(text, R"("url" : "https://shop.example/")", R"("url" : null)");
    text = edited(text, R"("statusCode" : 200)", R"("statusCode" : null)");
    text = edited(text, R"("isAgentDocument" : false,)", "");
    ScanReport report = ReportJSON::read(text);
    EXPECT_EQ(report.nodes[0].url, std::nullopt);
    EXPECT_EQ(report.nodes[0].isAgentDocument, std::nullopt);
    EXPECT_EQ(report.evidence[0].statusCode, std::nullopt);

    std::string written = ReportJSON::write(report);
    EXPECT_EQ(written.find("\"statusCode\""), std::string::npos);
    EXPECT_EQ(written.find("\"isAgentDocument\""), std::string::npos);
    EXPECT_EQ(written.find(R"("url" : null)"), std::string::npos);
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
        EXPECT_EQ(ReportJSON::write(ReportJSON::read(text)), text);
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
