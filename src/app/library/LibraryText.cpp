#include "app/library/LibraryText.h"

#include "app/kit/RemoteText.h"
#include "app/store/AppLanguage.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QLocale>
#include <memory>
#include <unicode/datefmt.h>
#include <unicode/locid.h>

namespace quorilanth {

QString libraryTitle(const QString& section) {
    if (section == QLatin1String("Recent"))
        return AppLanguage::pick(QStringLiteral("Recenti"), QStringLiteral("Recent"));
    if (section == QLatin1String("Favorites"))
        return AppLanguage::pick(QStringLiteral("Preferiti"), QStringLiteral("Favorites"));
    if (section == QLatin1String("Collections"))
        return AppLanguage::pick(QStringLiteral("Raccolte"), QStringLiteral("Collections"));
    if (section == QLatin1String("History"))
        return AppLanguage::pick(QStringLiteral("Cronologia"), QStringLiteral("History"));
    return section;
}

QString scanSite(const SavedScan& scan) {
    return siteName(scan.domain.toStdString(), DirectionControls::shown);
}

QString scanDate(std::chrono::system_clock::time_point date) {
    // ICU's medium date style is the one with the abbreviated month name; the
    // formatter is kept while the locale stays the same, since a list formats
    // many dates in a row.
    static QString cachedLocale;
    static std::unique_ptr<icu::DateFormat> format;
    const QString locale = QLocale().name();
    if (!format || locale != cachedLocale) {
        format.reset(icu::DateFormat::createDateTimeInstance(
            icu::DateFormat::kMedium, icu::DateFormat::kShort,
            icu::Locale(locale.toLatin1().constData())));
        cachedLocale = locale;
    }
    const double milliseconds = double(
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
    if (!format)
        return QLocale().toString(QDateTime::fromMSecsSinceEpoch(qint64(milliseconds)),
                                  QLocale::ShortFormat);
    icu::UnicodeString text;
    format->format(milliseconds, text);
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

bool opensScan(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace quorilanth
