#pragma once

#include <QUrl>
#include <functional>
#include <optional>

namespace quorilanth {

// Opens an address in the user's default browser. Every view that leads out of
// the window goes through here, so tests can see what would have opened
// instead of starting a browser.
void openExternalURL(const QUrl& url);

// Tests capture the addresses; std::nullopt restores the desktop's opener.
void setExternalURLOpenerForTesting(std::optional<std::function<void(const QUrl&)>> opener);

} // namespace quorilanth
