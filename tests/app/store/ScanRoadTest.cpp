#include "StoreTestSupport.h"
#include "core/engine/DiscoveryEngine.h"
#include "support/FakeHTTPInspector.h"
#include "support/FakeResolver.h"
#include "support/LoopbackAIService.h"
#include "support/McpPeer.h"
#include "support/ScriptedResearch.h"

#include <QDir>
#include <QFileInfo>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <thread>

namespace quorilanth {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

// A store whose engines scan through a fake transport that answers 404
// everywhere, slowly for one host, and whose research engine names candidates.
class ScanRoadTest : public ::testing::Test {
protected:
    std::unique_ptr<WorkspaceStore> makeStore(std::vector<std::string> candidates = {}) {
        for (const char* host : {"a.example", "b.example", "c.example"})
            resolver->answer(host, {std::string("93.184.216.34")});
        transport->otherwise([this](const test::FakeHTTPInspector::Call& call) {
            if (slowHost && call.url.find(*slowHost) != std::string::npos)
                std::this_thread::sleep_for(60ms);
            Evidence record = test::FakeHTTPInspector::record(call);
            record.statusCode = 404;
            return test::oneHop(std::move(record));
        });
        WorkspaceStore::Dependencies dependencies;
        dependencies.prompts = std::make_shared<test::ScriptedPrompts>();
        dependencies.makeEngine = [this](NetworkPolicy policy) {
            policy.resolver = resolver;
            return std::make_shared<DiscoveryEngine>(policy, transport);
        };
        dependencies.makeResearchEngine = [candidates] {
            return std::make_unique<test::ScriptedResearch>(candidates);
        };
        auto store = std::make_unique<WorkspaceStore>(folder.path(), QStringList{"quorilanth"},
                                                      std::move(dependencies));
        QObject::connect(store.get(), &WorkspaceStore::statusChanged, store.get(),
                         [this, raw = store.get()] { statuses.push_back(raw->status()); });
        return store;
    }
    void start(WorkspaceStore& store, const QString& input, bool discovery = false) {
        store.setDiscoveryMode(discovery);
        store.setInput(input);
        store.start();
    }

    QTemporaryDir folder;
    std::shared_ptr<test::FakeResolver> resolver = std::make_shared<test::FakeResolver>();
    std::shared_ptr<test::FakeHTTPInspector> transport =
        std::make_shared<test::FakeHTTPInspector>();
    std::optional<std::string> slowHost;
    QStringList statuses;
};

// A new start forgets the last search and its report before anything runs; a
// refused input then stops with an alert.
TEST_F(ScanRoadTest, ARefusedStartForgetsTheLastSearchAndAlerts) {
    const auto store = makeStore({"https://a.example"});
    start(*store, "x", true);
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    ASSERT_TRUE(store->report() && store->research() && store->selectedID());
    store->setSelectedEvidenceID(std::string("E"));
    start(*store, "ftp://a.example/");
    EXPECT_FALSE(store->report() || store->research() || store->selectedID() ||
                 store->selectedEvidenceID());
    EXPECT_TRUE(store->candidateReports().empty());
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    EXPECT_TRUE(store->error().value_or("").startsWith("Blocked: "));
    EXPECT_EQ(store->status(), "Scan stopped");
    EXPECT_FALSE(store->report());
    EXPECT_EQ(store->history().size(), 1u);
}

// STOP says "Cancelling…" until the operation ends, raises no alert and keeps
// what was found: the partial scan, or the candidates verified so far.
TEST_F(ScanRoadTest, CancellingKeepsWhatWasFound) {
    for (const bool search : {false, true}) {
        slowHost = search ? "b.example" : "a.example";
        const auto store =
            makeStore({"https://a.example", "https://b.example", "https://c.example"});
        statuses.clear();
        start(*store, search ? "x" : "a.example", search);
        ASSERT_TRUE(waitUntil([&] {
            return search ? statuses.contains("Verifying https://b.example") : statuses.size() >= 3;
        }));
        store->cancel();
        EXPECT_EQ(store->status(), QStringLiteral("Cancelling\u2026"));
        ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
        EXPECT_EQ(store->status(), "Cancelled");
        EXPECT_FALSE(store->error());
        ASSERT_TRUE(store->report());
        EXPECT_TRUE(store->report()->cancelled);
        EXPECT_FALSE(statuses.contains("Verifying https://c.example"));
        EXPECT_EQ(store->candidateReports().size(), search ? 2u : 0u);
        EXPECT_EQ(store->history().size(), search ? 2u : 1u);
        QDir(folder.path()).removeRecursively();
    }
}

TEST_F(ScanRoadTest, AnAISearchThatSelectsNothingAndAStoreDestroyedMidScan) {
    const auto store = makeStore({});
    start(*store, "official sites of museums", true);
    EXPECT_EQ(store->status(),
              QStringLiteral("Searching the web and classifying candidates\u2026"));
    EXPECT_EQ(store->tab(), WorkspaceTab::discovery);
    ASSERT_TRUE(waitUntil([&] { return !store->busy(); }));
    EXPECT_TRUE(store->research());
    EXPECT_EQ(store->status(), "No relevant candidates selected from web results");
    EXPECT_FALSE(store->report());

    // The destructor must return: the worker sees the stop and its posts are dropped.
    slowHost = "a.example";
    auto scanning = makeStore();
    start(*scanning, "a.example");
    ASSERT_TRUE(waitUntil([&] { return scanning->status().startsWith("Inspecting"); }));
    scanning.reset();
    QCoreApplication::processEvents();
}

// The real SDK peer, scanned at its endpoint: progress comes while the store is
// busy (a second start is ignored, even for its status), the report begins with
// the site's root, lands in the library, and the scan ends on the server it verified.
TEST(StoreEndToEnd, ADeveloperModeScanOfAnMCPPeerLandsInTheLibraryWithTheServerSelected) {
    testing::McpPeer peer(testing::McpPeer::Kind::Modern);
    QTemporaryDir folder;
    WorkspaceStore store(
        folder.path(), {"quorilanth"},
        WorkspaceStore::Dependencies{{}, {}, std::make_shared<test::ScriptedPrompts>(), {}, {}});
    QStringList statuses;
    QObject::connect(&store, &WorkspaceStore::statusChanged, &store,
                     [&] { statuses.push_back(store.status()); });
    store.setDeveloperMode(true);
    store.setInput(QString::fromStdString(peer.endpoint()));
    store.setError(QStringLiteral("old"));
    const int command = store.graphCommand();
    store.start();
    EXPECT_TRUE(store.busy());
    EXPECT_FALSE(store.error());
    store.setInput("b.example");
    store.start();
    EXPECT_EQ(store.status(), "Ready to explore"); // kept until the first progress message
    ASSERT_TRUE(test::waitUntil([&] { return !store.busy(); }, 60000));
    EXPECT_EQ(statuses.front(), "Resolving domain");
    EXPECT_EQ(store.status(), "Scan complete");
    EXPECT_EQ(store.graphCommand(), command + 1);
    ASSERT_EQ(store.history().size(), 1u);
    ASSERT_TRUE(store.report());
    EXPECT_TRUE(QFileInfo::exists(
        QDir(folder.path()).filePath(QString::fromStdString(store.report()->id) + ".json")));
    const GraphNode* server = store.report()->findNode(peer.endpoint());
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->status, FindingStatus::valid);
    EXPECT_NE(store.report()->nodes.front().id, server->id);
    EXPECT_EQ(store.selectedID(), server->id);
}

// AI mode end to end: the real research engine asks a loopback stand-in of the
// OpenAI service, then the real discovery engine scans what the model picked.
TEST(StoreEndToEnd, AnAISearchScansTheSelectedSitesWithDeveloperModeOff) {
    test::LoopbackAIService service;
    WorkspaceStore::Dependencies dependencies = service.dependencies();
    dependencies.prompts = std::make_shared<test::ScriptedPrompts>();
    QTemporaryDir folder;
    WorkspaceStore store(folder.path(), {"quorilanth"}, std::move(dependencies));
    store.setProvider(AIProvider::openAI);
    store.setDeveloperMode(true);
    store.setDiscoveryMode(true);
    store.setInput("official museum sites");
    store.start();
    ASSERT_TRUE(test::waitUntil([&] { return !store.busy(); }, 60000));

    EXPECT_FALSE(store.error());
    EXPECT_EQ(store.status(), "Scan complete");
    EXPECT_FALSE(service.developerModes.back());
    EXPECT_EQ(store.tab(), WorkspaceTab::discovery);
    ASSERT_TRUE(store.research() && store.report());
    EXPECT_EQ(store.research()->candidates.size(), 2u);
    EXPECT_EQ(store.candidateReports().size(), 2u);
    EXPECT_EQ(store.history().size(), 2u);
    // The site was scanned; the private address that the web named was
    // refused before any connection.
    const auto requests = service.server.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(),
                            [](const auto& request) { return request.target == "/llms.txt"; }));
    EXPECT_EQ(store.report()->domain, "https://10.0.0.5/");
    EXPECT_THAT(*store.report()->evidence.front().error,
                ::testing::StartsWith("Blocked: DNS resolves to a private"));
}

} // namespace
} // namespace quorilanth
