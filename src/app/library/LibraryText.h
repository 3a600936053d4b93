#pragma once

#include <QString>
#include <chrono>

namespace quorilanth {

// The title of a library section key in the current language; any other key
// is shown as it is.
QString libraryTitle(const QString& section);

// How a saved scan names its site: the host when the domain reads as a URL
// with one, else the domain as stored.
QString siteName(const QString& domain);

// A scan's date in the user's locale: abbreviated month, hours and minutes.
QString scanDate(std::chrono::system_clock::time_point date);

} // namespace quorilanth
