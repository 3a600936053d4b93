#pragma once

#include "app/store/WorkspacePrompts.h"
#include "app/store/WorkspaceStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <deque>
#include <functional>

namespace quorilanth::test {

// Answers the store's questions from a script; nothing answered means "cancel".
class ScriptedPrompts final : public WorkspacePrompts {
public:
    std::deque<std::optional<QString>> openAnswers, saveAnswers, collectionAnswers;
    std::vector<QString> suggestedNames;

    std::optional<QString> openReportPath() override { return next(openAnswers); }
    std::optional<QString> savePath(const QString& suggested) override {
        suggestedNames.push_back(suggested);
        return next(saveAnswers);
    }
    std::optional<QString> collectionName(const QString&) override {
        return next(collectionAnswers);
    }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// Runs the event loop until the condition holds or ten seconds pass.
inline bool waitUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace quorilanth::test
