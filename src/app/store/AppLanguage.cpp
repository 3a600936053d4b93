#include "app/store/AppLanguage.h"

#include <QLocale>
#include <QMutex>
#include <QRegularExpression>

namespace quorilanth {
namespace {

QMutex overrideLock;
std::optional<QStringList> preferredOverride;

} // namespace

AppLanguage::Value AppLanguage::select(const QStringList& preferred) {
    if (preferred.isEmpty()) return english;
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    const QStringList pieces = preferred.first().toLower().split(separators, Qt::SkipEmptyParts);
    if (pieces.isEmpty()) return english;
    return pieces.first() == QLatin1String("it") ? italian : english;
}

QStringList AppLanguage::preferredLanguages() {
    {
        QMutexLocker locker(&overrideLock);
        if (preferredOverride) return *preferredOverride;
    }
    return QLocale::system().uiLanguages();
}

void AppLanguage::setPreferredLanguagesForTesting(std::optional<QStringList> languages) {
    QMutexLocker locker(&overrideLock);
    preferredOverride = std::move(languages);
}

} // namespace quorilanth
