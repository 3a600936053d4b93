#include "app/store/SavedScan.h"
#include "core/base/QuorilanthError.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::chrono;

TEST(LibraryIndex, DatesAreSecondsSince2001AndCollectionIsOptional) {
    SavedScan plain{
        "A",   "https://a.example/", system_clock::time_point(seconds(978307200 + 90)), 42,
        false, std::nullopt};
    SavedScan collected{
        "B",  "https://b.example/",  system_clock::time_point(milliseconds(978307200500LL)), 7,
        true, QStringLiteral("Work")};
    const QByteArray written = encodeLibraryIndex({plain, collected});
    EXPECT_TRUE(written.contains("\"date\":90,") || written.contains("\"date\":90}"));
    EXPECT_TRUE(written.contains("\"date\":0.5"));
    EXPECT_EQ(written.count("collection"), 1);
    EXPECT_FALSE(written.contains('\n'));
    EXPECT_EQ(decodeLibraryIndex(written), (std::vector<SavedScan>{plain, collected}));
}

TEST(LibraryIndex, TextSurvivesEscaping) {
    SavedScan odd{"C",
                  QStringLiteral("https://x.example/\"quoted\"\\ \t\n\x01 caf\u00e9/"),
                  system_clock::time_point(seconds(978307200)),
                  -3,
                  false,
                  QStringLiteral("\u00e9t\u00e9 / 2026")};
    const QByteArray written = encodeLibraryIndex({odd});
    EXPECT_TRUE(written.contains("https:\\/\\/x.example\\/"));
    EXPECT_EQ(decodeLibraryIndex(written), std::vector<SavedScan>{odd});
}

TEST(LibraryIndex, RejectsEveryMalformedIndex) {
    const char* cases[] = {
        "{}",
        "not json",
        "[1]",
        R"([{"domain":"d","date":1,"score":1,"favorite":false}])",
        R"([{"id":"a","domain":"d","date":"2024-01-01","score":1,"favorite":false}])",
        R"([{"id":"a","domain":"d","date":1,"score":1.5,"favorite":false}])",
        R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":"yes"}])",
        R"([{"id":"a","domain":"d","date":1e11,"score":1,"favorite":false}])",
        R"([{"id":"a","domain":"d","date":1,"score":1,"favorite":false,"collection":3}])",
        R"([{"id":null,"domain":"d","date":1,"score":1,"favorite":false}])",
    };
    for (const char* text : cases)
        EXPECT_THROW(decodeLibraryIndex(QByteArray(text)), QuorilanthError) << text;
}

} // namespace
} // namespace quorilanth
