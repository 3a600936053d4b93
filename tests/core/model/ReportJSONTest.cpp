#include "core/model/ReportJSON.h"

#include "core/base/PrettyJSONWriter.h"
#include "support/SampleReports.h"

#include <cstring>
#include <gmock/gmock.h>

namespace quorilanth {
namespace {

using samples::readFixture;
using ::testing::Eq, ::testing::HasSubstr, ::testing::ThrowsMessage;

// The full golden text with the first `find` replaced (the whole text when
// `find` is empty, unless `replace` is empty too).
std::string editedGolden(const std::string& find, const std::string& replace) {
    std::string text = readFixture("model/report-full.json");
    if (find.empty()) return replace.empty() ? text : replace;
    const auto at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    return at == std::string::npos ? text : text.replace(at, find.size(), replace);
}

TEST(ReportJSON, GoldenFilesAreWrittenAndReadByteForByte) {
    for (const auto& [name, report] :
         {std::pair{"model/report-minimal.json", samples::minimalSampleReport()},
          std::pair{"model/report-full.json", samples::fullSampleReport()}}) {
        EXPECT_EQ(ReportJSON::write(report), readFixture(name));
        EXPECT_EQ(ReportJSON::write(ReportJSON::read(readFixture(name))), readFixture(name));
    }
}

// Saving and opening go through files piece by piece: the pieces join into the
// whole text, odd pieces read back the same report (broken UTF-8 written as
// replacement characters), and a reader's own failure reaches the caller.
TEST(ReportJSON, WritingAndReadingInPiecesMatchTheWholeText) {
    ScanReport report = samples::fullSampleReport();
    const std::string body(150'000, 'b');
    report.evidence[0].responseBody = body + "\"ok \xFF\xC3 end \xED\xA0\x80";
    const std::string whole = ReportJSON::write(report);
    std::string joined;
    int pieces = 0;
    ReportJSON::write(report, [&](std::string_view piece) { joined += piece, ++pieces; });
    EXPECT_EQ(joined, whole);
    EXPECT_GE(pieces, 2);

    std::size_t at = 0;
    auto reader = [&](char* buffer, std::size_t capacity) -> std::size_t {
        if (at > 100'000 && joined.empty()) throw QuorilanthError("The disk went away.");
        std::size_t count = std::min({capacity, std::size_t{4099}, whole.size() - at});
        std::memcpy(buffer, whole.data() + at, count);
        return at += count, count;
    };
    const ScanReport back = ReportJSON::read(reader);
    EXPECT_EQ(ReportJSON::write(back), whole);
    EXPECT_EQ(back.evidence[0].responseBody.view(),
              body + "\"ok \xEF\xBF\xBD\xEF\xBF\xBD end \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    at = 0, joined.clear();
    EXPECT_THAT([&] { ReportJSON::read(reader); },
                ThrowsMessage<QuorilanthError>(Eq("The disk went away.")));
}

// Each edit of the golden file is refused whole with the place named, or read
// and written back as the golden text less what follows "-": the writer
// normalises what the reader forgives, and a null or missing optional is absent.
TEST(ReportJSON, ReaderRefusesOrForgivesEachEdit) {
    for (const auto& [find, replace, outcome] : std::initializer_list<std::array<std::string, 3>>{
             {R"("serverURL")", "\"x\"", R"($.servers[0].tools[0]: missing key "serverURL")"},
             {R"("Root of the scanned site")", "null", "$.nodes[0].summary: expected a string"},
             {R"("points" : 8)", R"("points" : 12.5)", "$.checks[0].points: expected a whole"},
             {R"(:09Z")", R"(:09.250Z")", "$.startedAt: "},
             {R"("NOT FOUND")", R"("notFound")", R"($.nodes[1].status: "notFound" is not a)"},
             {"", "[]", "$: expected an object, found an array"},
             {"\"edges\" : [", "\"edges\" : " + std::string(2'000'000, '['),
              "Cannot read the report: "},
             {"{\n", R"({"generator" : {"name" : "x"}, )", "-"},
             {R"("2026-01-31T08:05:09Z")", R"("2026-01-31T10:35:09+02:30")", "-"},
             {R"("statusCode" : 200)", R"("statusCode" : 200.0)", "-"},
             {R"("statusCode" : 200)", R"("statusCode" : null)", "-      \"statusCode\" : 200,\n"},
             {R"("isAgentDocument" : false,)", "", "-      \"isAgentDocument\" : false,\n"},
             {R"("url" : "https://shop.example/")", R"("url" : null)",
              "-,\n      \"url\" : \"https://shop.example/\""},
         }) {
        const std::string edited = editedGolden(find, replace);
        if (outcome.starts_with("-"))
            EXPECT_EQ(ReportJSON::write(ReportJSON::read(edited)),
                      editedGolden(outcome.substr(1), ""));
        else
            EXPECT_THAT([&] { ReportJSON::read(edited); },
                        ThrowsMessage<QuorilanthError>(HasSubstr(outcome)));
    }
}

TEST(ReportJSON, IntegersAtTheLimitsOfTheirWidthReadBackExactly) {
    using Limits = std::numeric_limits<std::int64_t>;
    for (const std::int64_t limit :
         {Limits::max(), Limits::min(), Limits::max() - 1, std::int64_t{9007199254740993}}) {
        SCOPED_TRACE(limit);
        ScanReport report("https://x.example/");
        report.checks = {ScoreCheck{"a", "Discovery", limit, true, "", {}}};
        report.evidence = {Evidence("https://x.example/", "GET")};
        report.evidence[0].statusCode = limit;
        const std::string written = ReportJSON::write(report);
        const ScanReport read = ReportJSON::read(written);
        EXPECT_EQ(read.checks.at(0).points, limit);
        EXPECT_EQ(read.evidence.at(0).statusCode, limit);
        EXPECT_EQ(ReportJSON::write(read), written);
    }
    EXPECT_THAT(
        [] {
            ReportJSON::read(editedGolden(R"("points" : 8)", R"("points" : 9223372036854775808)"));
        },
        ThrowsMessage<QuorilanthError>(HasSubstr("$.checks[0].points: expected a whole")));
}

// Values built in code may wrap parsed ones: what the writer produces always reads back.
TEST(ReportJSON, NestingStaysWithinWhatTheReaderAccepts) {
    auto nested = [](std::size_t levels) {
        JSONValue value = JSONValue::emptyArray();
        for (std::size_t i = 1; i < levels; ++i)
            value = JSONValue(JSONValue::Array{value});
        return value;
    };
    const std::size_t limit = PrettyJSONWriter::kMaxNesting;
    EXPECT_EQ(nested(limit + 1).pretty(), "");
    // Node metadata sits three levels inside the report (report, nodes, node).
    for (std::size_t levels : {JSONValue::kMaxNesting, limit - 3, limit - 2}) {
        ScanReport report = samples::minimalSampleReport();
        report.nodes.emplace_back("n", NodeKind::content, "n", std::nullopt, FindingStatus::found);
        report.nodes[0].metadata = nested(levels);
        if (levels + 3 <= limit)
            EXPECT_EQ(ReportJSON::read(ReportJSON::write(report)).nodes[0].metadata.depth(),
                      levels);
        else
            EXPECT_THROW(ReportJSON::write(report), QuorilanthError);
    }
}

TEST(ReportJSON, GeneratedReportsReadBackAndWriteAgainIdentically) {
    for (std::uint64_t seed = 1; seed <= 300 && !HasFailure(); ++seed) {
        const std::string text = ReportJSON::write(samples::randomReport(seed));
        EXPECT_EQ(ReportJSON::write(ReportJSON::read(text)), text) << seed;
        // A parsed value keeps its members sorted, so its pretty form is the
        // writer's layout: the report's text must match it.
        EXPECT_EQ(JSONValue::parse(text).pretty(), text) << seed;
    }
}

} // namespace
} // namespace quorilanth
