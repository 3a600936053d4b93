#include "core/base/Date.h"

#include <cstdio>
#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace quorilanth {

namespace {

// Reads exactly `count` digits at text[at...]; nullopt when any is not a digit.
std::optional<int> digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool charAt(std::string_view text, std::size_t at, char expected) {
    return at < text.size() && text[at] == expected;
}

} // namespace

std::string iso8601(Date date) {
    using namespace std::chrono;
    auto seconds = floor<std::chrono::seconds>(date);
    auto day = floor<days>(seconds);
    year_month_day ymd{day};
    hh_mm_ss time{seconds - day};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return buffer;
}

std::optional<Date> parseISO8601(std::string_view text) {
    using namespace std::chrono;
    auto year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    auto hour = digits(text, 11, 2), minute = digits(text, 14, 2), second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    if (!charAt(text, 4, '-') || !charAt(text, 7, '-') || !charAt(text, 10, 'T') ||
        !charAt(text, 13, ':') || !charAt(text, 16, ':'))
        return std::nullopt;
    if (*year < 1 || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
    year_month_day ymd{std::chrono::year(*year), std::chrono::month(unsigned(*month)),
                       std::chrono::day(unsigned(*day))};
    if (!ymd.ok()) return std::nullopt;

    std::string_view zone = text.substr(19);
    minutes offset{0};
    if (zone != "Z") {
        // "+HH:MM" or "+HHMM"; a fraction of a second never gets here as a zone.
        bool colon = zone.size() == 6 && zone[3] == ':';
        if (zone.size() != (colon ? 6u : 5u) || (zone[0] != '+' && zone[0] != '-'))
            return std::nullopt;
        auto zoneHours = digits(zone, 1, 2), zoneMinutes = digits(zone, colon ? 4 : 3, 2);
        if (!zoneHours || !zoneMinutes || *zoneHours > 23 || *zoneMinutes > 59) return std::nullopt;
        offset = hours(*zoneHours) + minutes(*zoneMinutes);
        if (zone[0] == '-') offset = -offset;
    }
    const sys_seconds instant =
        sys_days(ymd) + hours(*hour) + minutes(*minute) + seconds(*second) - offset;
    // A Date counts nanoseconds in 64 bits (about 1678 to 2261); a text naming a
    // moment outside that span cannot be held and is refused rather than wrapped.
    constexpr auto earliest = duration_cast<seconds>(Date::duration::min()) + seconds(1);
    constexpr auto latest = duration_cast<seconds>(Date::duration::max()) - seconds(1);
    if (instant.time_since_epoch() < earliest || instant.time_since_epoch() > latest)
        return std::nullopt;
    return time_point_cast<Date::duration>(instant);
}

namespace {

std::string localized(Date date, icu::DateFormat* format) {
    // Without locale data the stamp still has to say when: the written form serves.
    if (!format) return iso8601(date);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
    icu::UnicodeString text;
    format->format(static_cast<UDate>(milliseconds), text);
    std::string out;
    return text.toUTF8String(out);
}

} // namespace

std::string localizedDateTime(Date date, std::string_view language) {
    icu::Locale locale = icu::Locale::getDefault();
    if (!language.empty() && language != locale.getLanguage())
        locale = icu::Locale(std::string(language).c_str());
    std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kMedium, icu::DateFormat::kShort, locale));
    return localized(date, format.get());
}

std::string localizedTime(Date date) {
    std::unique_ptr<icu::DateFormat> format(
        icu::DateFormat::createTimeInstance(icu::DateFormat::kMedium, icu::Locale::getDefault()));
    return localized(date, format.get());
}

} // namespace quorilanth
