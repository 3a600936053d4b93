#pragma once

// What the tests of the desktop layers share: readable Qt strings in failure
// messages, waiting on the event loop, and the preferred language for a scope.

#include "app/store/AppLanguage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace quorilanth::test {

// Lets every queued event and deferred deletion run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Runs the event loop until the condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

inline void prefer(const char* language) {
    AppLanguage::setPreferredLanguagesForTesting(QStringList{QString::fromLatin1(language)});
}

// The preferred language for one scope; English again after it.
class Language {
public:
    explicit Language(const QString& tag) {
        AppLanguage::setPreferredLanguagesForTesting(QStringList{tag});
    }
    ~Language() { prefer("en-GB"); }
};

} // namespace quorilanth::test
