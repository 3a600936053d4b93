#include "core/base/Date.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

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

// A date inside an Italian sentence speaks Italian whatever the user's own
// locale, and one in an English sentence English; without a language the
// user's locale decides.
TEST(LocalizedDateTime, SpeaksTheLanguageOfItsSentence) {
    const icu::Locale before = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("GMT"));
    const Date date(seconds(1769846709));
    for (const auto& [userLocale, language, month] :
         std::initializer_list<std::tuple<const char*, const char*, const char*>>{
             {"en_US", "", "Jan"},
             {"en_US", "it", "gen"},
             {"it_IT", "", "gen"},
             {"it_IT", "en", "Jan"},
             {"en_GB", "en", "Jan"},
         }) {
        icu::Locale::setDefault(icu::Locale(userLocale), status);
        const std::string text = localizedDateTime(date, language);
        EXPECT_NE(text.find(month), std::string::npos)
            << userLocale << " " << language << ": " << text;
        EXPECT_NE(text.find("2026"), std::string::npos) << text;
        // An Italian sentence never takes an American clock.
        if (std::string_view(language) == "it") {
            EXPECT_EQ(text.find("AM"), std::string::npos) << text;
        }
    }
    icu::Locale::setDefault(before, status);
}

} // namespace
} // namespace quorilanth
