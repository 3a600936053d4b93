#include "core/base/Date.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::chrono;

TEST(ISO8601, WritesWholeUTCSecondsRoundingDown) {
    EXPECT_EQ(iso8601(Date(seconds(1769846709) + milliseconds(999))), "2026-01-31T08:05:09Z");
    // Before the epoch the fraction still rounds down, not toward zero.
    EXPECT_EQ(iso8601(Date(milliseconds(-1))), "1969-12-31T23:59:59Z");
}

TEST(ISO8601, ReadsTheInternetFormWithoutFractions) {
    struct Row {
        const char* text;
        std::optional<long long> secondsSinceEpoch;
    };
    for (const Row& row : {
             Row{"2026-01-31T10:05:09+02:00", 1769846709},
             Row{"2026-01-31T03:05:09-0500", 1769846709},
             Row{"2024-02-29T00:00:00Z", 1709164800},
             Row{"2026-01-31T08:05:09.250Z", std::nullopt},
             Row{"2026-01-31T08:05:09", std::nullopt},
             Row{"2026-02-29T00:00:00Z", std::nullopt},
             Row{"2026-01-31T24:00:00Z", std::nullopt},
             Row{"2026-01-31T08:05:09+2:00", std::nullopt},
             // Only moments a nanosecond count in 64 bits can hold are read.
             Row{"2261-12-31T23:59:59Z", 9214646399},
             Row{"1678-01-01T00:00:00Z", -9214560000},
             Row{"2262-04-12T00:00:00Z", std::nullopt},
             Row{"1013-01-31T08:05:51Z", std::nullopt},
             Row{"9999-12-31T23:59:59Z", std::nullopt},
             Row{"0001-01-01T00:00:00Z", std::nullopt},
         }) {
        SCOPED_TRACE(row.text);
        std::optional<Date> date = parseISO8601(row.text);
        ASSERT_EQ(date.has_value(), row.secondsSinceEpoch.has_value());
        if (date) {
            EXPECT_EQ(duration_cast<seconds>(date->time_since_epoch()).count(),
                      *row.secondsSinceEpoch);
        }
    }
}

} // namespace
} // namespace quorilanth
