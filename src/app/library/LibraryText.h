#pragma once

#include "app/store/SavedScan.h"

#include <QString>
#include <chrono>

class QKeyEvent;

namespace quorilanth {

// The title of a library section key in the current language; any other key
// is shown as it is.
QString libraryTitle(const QString& section);

// How a saved scan names its site. Its controls are shown: a dropped override
// would make one site's row read as another's.
QString scanSite(const SavedScan& scan);

// A scan's date in the user's locale: abbreviated month, hours and minutes.
QString scanDate(std::chrono::system_clock::time_point date);

// Whether the key opens the focused scan: on this desktop Return opens the
// focused item of a list, as Space does.
bool opensScan(const QKeyEvent* event);

} // namespace quorilanth
