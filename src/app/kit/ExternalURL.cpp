#include "app/kit/ExternalURL.h"

#include <QDesktopServices>

namespace quorilanth {
namespace {

std::optional<std::function<void(const QUrl&)>>& replacement() {
    static std::optional<std::function<void(const QUrl&)>> opener;
    return opener;
}

} // namespace

void openExternalURL(const QUrl& url) {
    if (!url.isValid()) return;
    if (replacement())
        (*replacement())(url);
    else
        QDesktopServices::openUrl(url);
}

void setExternalURLOpenerForTesting(std::optional<std::function<void(const QUrl&)>> opener) {
    replacement() = std::move(opener);
}

} // namespace quorilanth
