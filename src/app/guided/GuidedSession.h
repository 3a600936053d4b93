#pragma once

#include "core/guided/GuidedReplies.h"
#include "core/guided/ReadableValue.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorilanth {

class WorkspaceStore;

// What the guide keeps beside the store for as long as the store lives: the
// typed values of the open form, so that they survive the page being rebuilt
// when the user visits another tab, and the report's answers, decoded on a
// worker thread because a report can hold fifty answers of 2 MB each.
class GuidedSession : public QObject {
    Q_OBJECT
public:
    // The store's session, made on first use and owned by the store.
    static GuidedSession& of(WorkspaceStore& store);
    ~GuidedSession() override;

    // The typed values of the form of one tool. They live while that tool
    // stays selected: choosing another tool, or none, drops them.
    struct Draft {
        std::string toolKey;
        std::string toolID;
        GuidedPresentation::FormValues values;
        GuidedPresentation::ChoicePositions positions = {};
    };
    const std::optional<Draft>& draft() const { return draft_; }
    void keepDraft(Draft draft) { draft_ = std::move(draft); }

    // The card pressed last: two offered tools may share one id, and the
    // selection alone cannot tell which of them the user chose.
    const std::optional<std::string>& chosenKey() const { return chosenKey_; }
    void choose(const std::string& toolKey);

    // What the form of one tool shows from the report's answers.
    struct Answers {
        std::string toolKey;
        Language language = Language::english;
        std::uint64_t generation = 0;
        // The tool's last answer and its readable form, once decoded.
        bool replyReady = false;
        std::optional<GuidedReply> reply;
        std::shared_ptr<const ReadableNode> tree;
        // Identifiers for the form's identifier fields, once gathered.
        bool suggestionsReady = false;
        std::map<std::string, std::vector<ParameterSuggestion>> suggestions;
    };

    // Asks for the answers of a form. Parts arrive through answersChanged;
    // a request for the same form and report as the last one does nothing.
    void request(const MCPTool& tool, const std::string& toolKey,
                 const std::vector<std::string>& identifierKeys, Language language);
    // The newest answers for this form, possibly of an earlier report while
    // the current one is being read; nullptr when there are none yet.
    const Answers* answers(const std::string& toolKey, Language language) const;
    // Whether the answers shown are those of the report shown.
    bool isCurrent(const Answers& answers) const { return answers.generation == generation_; }

signals:
    void answersChanged();

private:
    explicit GuidedSession(WorkspaceStore& store);

    struct Job {
        std::uint64_t serial = 0;
        std::uint64_t generation = 0;
        std::shared_ptr<const ScanReport> report;
        MCPTool tool;
        std::string toolKey;
        std::vector<std::string> keys;
        Language language = Language::english;
    };
    void work();
    // One job's answers, posted as their parts are ready; a newer request
    // supersedes it.
    void answer(const Job& job, std::shared_ptr<GuidedReplies>& index,
                std::uint64_t& indexGeneration);
    bool superseded(const Job& job) const;
    void post(const Job& job, const Answers& answers);
    void receive(std::uint64_t serial, Answers answers);

    WorkspaceStore& store_;
    std::optional<Draft> draft_;
    std::optional<std::string> chosenKey_;

    // GUI thread only.
    std::uint64_t generation_ = 1;
    std::optional<Answers> answers_;
    std::optional<Job> requested_;

    // Shared with the worker.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> next_;
    std::atomic<bool> quit_{false};
    std::atomic<std::uint64_t> latest_{0};
    std::thread worker_;
};

} // namespace quorilanth
