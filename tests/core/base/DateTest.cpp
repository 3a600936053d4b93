#include "core/base/Date.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::chrono;

// Reading takes only moments that a nanosecond count in 64 bits can hold.
TEST(ISO8601, WritesWholeSecondsAndReadsTheInternetForm) {
    EXPECT_EQ(iso8601(Date(seconds(1769846709) + milliseconds(999))), "2026-01-31T08:05:09Z");
    EXPECT_EQ(iso8601(Date(milliseconds(-1))), "1969-12-31T23:59:59Z");
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, const char*>>{
             {"2026-01-31T10:05:09+02:00", "2026-01-31T08:05:09Z"},
             {"2026-01-31T03:05:09-0500", "2026-01-31T08:05:09Z"},
             {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00Z"},
             {"2261-12-31T23:59:59Z", "2261-12-31T23:59:59Z"},
             {"1678-01-01T00:00:00Z", "1678-01-01T00:00:00Z"},
             {"2026-01-31T08:05:09.250Z", ""},
             {"2026-01-31T08:05:09", ""},
             {"2026-02-29T00:00:00Z", ""},
             {"2026-01-31T24:00:00Z", ""},
             {"2026-01-31T08:05:09+2:00", ""},
             {"2262-04-12T00:00:00Z", ""},
             {"1013-01-31T08:05:51Z", ""},
         }) {
        const std::optional<Date> date = parseISO8601(text);
        EXPECT_EQ(date ? iso8601(*date) : "", expected) << text;
    }
}

} // namespace
} // namespace quorilanth
