#pragma once

// What the tests of the desktop layers share: readable Qt strings in failure
// messages, waiting on the event loop, and the preferred language for a scope.

#include "app/store/AppLanguage.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace quorilanth::test {

// Runs the event loop, deferred deletions too, until the condition holds or
// the time is up; with no condition, a few turns.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
    const QDeadlineTimer deadline(milliseconds);
    for (int turn = 0; condition ? !condition() : turn < 3; ++turn) {
        if (condition && deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

// Lets every queued event and deferred deletion run.
inline void settle() {
    waitUntil(nullptr);
}

inline void prefer(const char* language) {
    AppLanguage::setPreferredLanguagesForTesting(QStringList{QString::fromLatin1(language)});
}

// The preferred language for one scope; English again after it.
struct Language {
    explicit Language(const QString& tag) {
        AppLanguage::setPreferredLanguagesForTesting(QStringList{tag});
    }
    ~Language() { prefer("en-GB"); }
};

} // namespace quorilanth::test
