#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// A point in time with sub-second precision; its written form keeps whole seconds.
using Date = std::chrono::system_clock::time_point;

// "2026-01-31T08:05:09Z": UTC, to the second, the fraction dropped (rounded down).
std::string iso8601(Date date);

// Reads the form above. A fraction of a second is refused; a numeric offset
// ("+02:00", "-0530") in place of "Z" is accepted and applied. Moments a Date
// cannot hold (before 1678 or after 2261) are refused.
std::optional<Date> parseISO8601(std::string_view text);

// The moment as the user's locale writes a date and time (medium date, short
// time, local time zone), e.g. "Jan 31, 2026, 9:05 AM" or "31 gen 2026, 09:05".
// A language code ("it", "en") names the language of the sentence the date
// sits in: the date then speaks it too, in that language's own style (a
// region's habits, such as a 12-hour clock, belong to its own language).
std::string localizedDateTime(Date date, std::string_view language = {});

// The time of day alone as the user's locale writes it, with seconds
// ("9:05:09 AM", "09:05:09"), in the local time zone.
std::string localizedTime(Date date);

} // namespace quorilanth
