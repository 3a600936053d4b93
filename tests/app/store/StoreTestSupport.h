#pragma once

#include "app/store/WorkspacePrompts.h"
#include "app/store/WorkspaceStore.h"
#include "support/QtTestKit.h"

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

} // namespace quorilanth::test
