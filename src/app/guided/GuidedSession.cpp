#include "app/guided/GuidedSession.h"

#include "app/store/WorkspaceStore.h"

namespace quorilanth {

GuidedSession& GuidedSession::of(WorkspaceStore& store) {
    if (auto* session = store.findChild<GuidedSession*>(QString(), Qt::FindDirectChildrenOnly))
        return *session;
    return *new GuidedSession(store);
}

GuidedSession::GuidedSession(WorkspaceStore& store) : QObject(&store), store_(store) {
    connect(&store_, &WorkspaceStore::reportChanged, this, [this] { ++generation_; });
    connect(&store_, &WorkspaceStore::selectedIDChanged, this, [this] {
        const std::optional<std::string>& selected = store_.selectedID();
        if (draft_ && draft_->toolID != selected) draft_.reset();
        if (!selected) chosenKey_.reset();
    });
}

GuidedSession::~GuidedSession() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    // At most one answer is being decoded when asked to stop.
    if (worker_.joinable()) worker_.join();
}

void GuidedSession::choose(const std::string& toolKey) {
    if (chosenKey_ != toolKey && draft_ && draft_->toolKey != toolKey) draft_.reset();
    chosenKey_ = toolKey;
}

void GuidedSession::request(const MCPTool& tool, const std::string& toolKey,
                            const std::vector<std::string>& identifierKeys, Language language) {
    if (!store_.report()) return;
    if (requested_ && requested_->generation == generation_ && requested_->toolKey == toolKey &&
        requested_->language == language && requested_->tool == tool &&
        requested_->keys == identifierKeys)
        return;
    // The store never changes a report in place, so the worker can read the
    // shown one through a share while the store moves on.
    Job job{latest_ + 1,    generation_, store_.sharedReport(), tool, toolKey,
            identifierKeys, language};
    requested_ = job;
    latest_ = job.serial;
    {
        std::lock_guard lock(mutex_);
        next_ = std::move(job);
    }
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    wake_.notify_one();
}

const GuidedSession::Answers* GuidedSession::answers(const std::string& toolKey,
                                                     Language language) const {
    if (!answers_ || answers_->toolKey != toolKey || answers_->language != language) return nullptr;
    return &*answers_;
}

void GuidedSession::receive(std::uint64_t serial, Answers answers) {
    // A newer request for the same form keeps showing what it had until its
    // own answers arrive.
    if (serial != latest_) return;
    answers_ = std::move(answers);
    emit answersChanged();
}

bool GuidedSession::superseded(const Job& job) const {
    return quit_ || latest_ != job.serial;
}

void GuidedSession::post(const Job& job, const Answers& answers) {
    QMetaObject::invokeMethod(
        this, [this, serial = job.serial, answers] { receive(serial, answers); },
        Qt::QueuedConnection);
}

void GuidedSession::answer(const Job& job, std::shared_ptr<GuidedReplies>& index,
                           std::uint64_t& indexGeneration) {
    if (!index || indexGeneration != job.generation) {
        index = std::make_shared<GuidedReplies>(*job.report);
        indexGeneration = job.generation;
    }
    if (superseded(job)) return;

    Answers answers;
    answers.toolKey = job.toolKey;
    answers.language = job.language;
    answers.generation = job.generation;
    answers.reply = index->lastReply(job.tool, job.language);
    if (answers.reply)
        answers.tree = std::make_shared<const ReadableNode>(
            ReadableValue::tree(answers.reply->value, job.language));
    answers.replyReady = true;
    answers.suggestionsReady = job.keys.empty();
    post(job, answers);
    if (job.keys.empty()) return;

    // The answers a field's suggestions are gathered from, decoded one at
    // a time, so a newer request waits for one answer at most.
    for (const MCPTool& offered : GuidedPresentation::tools(*job.report)) {
        if (superseded(job)) break;
        if (offered.serverURL == job.tool.serverURL) index->lastReply(offered, job.language);
    }
    if (superseded(job)) return;
    for (const std::string& key : job.keys)
        answers.suggestions[key] = index->suggestions(key, job.tool);
    answers.suggestionsReady = true;
    post(job, answers);
}

void GuidedSession::work() {
    std::shared_ptr<GuidedReplies> index;
    std::uint64_t indexGeneration = 0;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || next_; });
            if (quit_) return;
            job = std::move(*next_);
            next_.reset();
        }
        try {
            answer(job, index, indexGeneration);
        } catch (const std::exception&) {
            // Reading answers never fails by design; should it, the form shows
            // no answer rather than the application ending with the worker.
            index.reset();
            Answers empty;
            empty.toolKey = job.toolKey;
            empty.language = job.language;
            empty.generation = job.generation;
            empty.replyReady = empty.suggestionsReady = true;
            post(job, empty);
        }
    }
}

} // namespace quorilanth
