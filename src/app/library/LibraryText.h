#pragma once

#include "app/store/SavedScan.h"

#include <QString>
#include <chrono>

namespace quorilanth {

// The title of a library section key in the current language; any other key
// is shown as it is.
QString libraryTitle(const QString& section);

// How a saved scan names its site. Its controls are shown: a dropped override
// would make one site's row read as another's.
QString scanSite(const SavedScan& scan);

// A scan's date in the user's locale: abbreviated month, hours and minutes.
QString scanDate(std::chrono::system_clock::time_point date);

} // namespace quorilanth
