#include "app/store/SavedScan.h"
#include "core/base/QuorilanthError.h"

#include <gtest/gtest.h>
#include <limits>

namespace quorilanth {
namespace {

using namespace std::chrono;

// Dates are seconds since 2001, the collection is optional, and every text
// survives escaping; the index is one line.
TEST(LibraryIndex, WritesWhatItReadsBack) {
    const std::vector<SavedScan> scans{{"A", "https://a.example/",
                                        system_clock::time_point(seconds(978307200 + 90)), 42,
                                        false, std::nullopt},
                                       {"B", "https://x.example/\"quoted\"\\ \t\n\x01 caf\u00e9/",
                                        system_clock::time_point(milliseconds(978307200500LL)), -3,
                                        true, QStringLiteral("\u00e9t\u00e9 / 2026")}};
    std::vector<SavedScan> limits;
    // A score is any 64-bit sum of a report's points.
    for (const long long score : {std::numeric_limits<long long>::max(),
                                  std::numeric_limits<long long>::min(), 9007199254740993LL})
        limits.push_back({"L", "https://l.example/", system_clock::time_point(seconds(978307200)),
                          score, false, std::nullopt});
    EXPECT_EQ(decodeLibraryIndex(encodeLibraryIndex(limits)), limits);
    const QByteArray written = encodeLibraryIndex(scans);
    for (const char* piece : {"\"date\":90", "\"date\":0.5", "https:\\/\\/x.example\\/"})
        EXPECT_TRUE(written.contains(piece)) << piece;
    EXPECT_EQ(written.count("collection"), 1);
    EXPECT_FALSE(written.contains('\n'));
    EXPECT_EQ(decodeLibraryIndex(written), scans);
}

TEST(LibraryIndex, RejectsEveryMalformedIndex) {
    for (const char* text : {
             "{}",
             "not json",
             "[1]",
             R"([{"domain":"d","date":1,"score":1,"favorite":false}])",
             R"([{"id":"a","domain":"d","date":"2024-01-01","score":1,"favorite":false}])",
             R"([{"id":"a","domain":"d","date":1,"score":1.5,"favorite":false}])",
             R"([{"id":"a","domain":"d","date":1,"score":9223372036854775808,"favorite":false}])",
             R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":"yes"}])",
             R"([{"id":"a","domain":"d","date":1e11,"score":1,"favorite":false}])",
             R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":false,"collection":3}])",
             R"([{"id":null,"domain":"d","date":1,"score":1,"favorite":false}])",
         })
        EXPECT_THROW(decodeLibraryIndex(QByteArray(text)), QuorilanthError) << text;
}

} // namespace
} // namespace quorilanth
