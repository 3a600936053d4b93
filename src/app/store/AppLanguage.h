#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quorilanth {

// Which member of an Italian/English text pair is shown. Decided afresh at every
// use from the first preferred language; nothing is cached or stored.
class AppLanguage {
public:
    enum Value { italian, english };

    static Value select(const QStringList& preferred);

    // The user's preferred languages, most preferred first.
    static QStringList preferredLanguages();
    static Value current() { return select(preferredLanguages()); }
    static QString pick(const QString& italianText, const QString& englishText) {
        return current() == italian ? italianText : englishText;
    }

    // Tests replace the platform's list; std::nullopt restores it.
    static void setPreferredLanguagesForTesting(std::optional<QStringList> languages);
};

} // namespace quorilanth
