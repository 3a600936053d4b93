// The research engine end to end through the real curl, against loopback HTTPS
// servers that answer with recorded answer shapes of each service.

#include "ai/AIResearchEngine.h"
#include "support/AIResearchTestAccess.h"
#include "support/CurlWrapper.h"
#include "support/FakeResolver.h"
#include "support/InMemorySecretStore.h"
#include "support/LoopbackHTTPServer.h"
#include "support/SampleReports.h"
#include "support/TestCertificateAuthority.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::ReceivedRequest;
using Script = std::vector<std::pair<int, std::string>>; // status and body of each answer

const std::string query = "official museum sites, caf\u00E9s & bars+";
const char* const services[] = {"openai", "anthropic", "deepseek", "zai", "brave"};

template <typename Call> std::string failureOf(Call&& call) {
    try {
        call();
    } catch (const QuorilanthError& error) {
        return error.message();
    }
    return "";
}

class ResearchEngineTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<test::TestCertificateAuthority> ca;
    static void SetUpTestSuite() { ca = std::make_unique<test::TestCertificateAuthority>(); }
    static void TearDownTestSuite() { ca.reset(); }

    // Keys for the accounts given and one server per service; the run's
    // requests, wherever they go, get the script's answers in turn.
    ResearchResult research(AIProvider provider, const std::vector<std::string>& accounts,
                            const Script& script, const std::string& text = query) {
        auto secrets = std::make_shared<test::InMemorySecretStore>();
        AIResearchEngine engine{AIKeychain(secrets)};
        for (const std::string& account : accounts)
            AIKeychain(secrets).save("key:" + account, account);
        auto next = std::make_shared<std::atomic<std::size_t>>(0);
        std::map<AIResearchEngineTestAccess::Service, std::string> origins;
        for (int service = 0; service < 5; ++service) {
            servers[service] = std::make_unique<test::LoopbackHTTPServer>(
                std::vector<std::string>{"127.0.0.1"}, ca.get());
            servers[service]->otherwise(
                [=, this](const ReceivedRequest&, test::ResponseWriter& out) {
                    const auto& [status, body] =
                        script[std::min(next->fetch_add(1), script.size() - 1)];
                    if (status != 0) {
                        out.respond(status, body);
                        return;
                    }
                    // Status 0: the user cancels while the service thinks.
                    stop.request_stop();
                    out.pause(std::chrono::seconds(60));
                });
            origins[AIResearchEngineTestAccess::Service(service)] =
                "https://localhost:" + std::to_string(servers[service]->port());
        }
        // Developer Mode stays off: the services' name must look public.
        resolver->answer("localhost", {std::string("93.184.216.34")});
        AIResearchEngineTestAccess::route(engine, origins, curl.path(), resolver);
        return engine.research(text, provider, std::string(defaultModel(provider)),
                               stop.get_token());
    }

    // What went over the wire, to which service, the port-bearing Host aside.
    std::string transcript() const {
        std::vector<std::pair<ReceivedRequest, const char*>> all;
        for (int service = 0; service < 5; ++service)
            for (ReceivedRequest& request : servers[service]->requests())
                all.emplace_back(std::move(request), services[service]);
        std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
            return a.first.receivedAt < b.first.receivedAt;
        });
        std::string text;
        for (const auto& [request, service] : all) {
            text += std::string(service) + ": " + request.method + " " + request.target + "\n";
            for (const auto& [name, value] : request.headers)
                if (name != "Host") text += name + ": " + value + "\n";
            text += "\n" + request.body + "\n\n";
        }
        return text;
    }

    std::unique_ptr<test::LoopbackHTTPServer> servers[5];
    std::stop_source stop;
    std::shared_ptr<test::FakeResolver> resolver = std::make_shared<test::FakeResolver>();
    test::CurlWrapper curl{{ca->caFile(), true, true}};
};

// Each route's folder holds the services' answers in turn (1.json, 2.json...)
// and the transcript of what was sent and what was selected.
TEST_F(ResearchEngineTest, EachRouteSendsItsGoldenRequestsAndReadsItsAnswers) {
    for (const auto& [provider, folder] :
         {std::pair{AIProvider::openAI, "openai"}, std::pair{AIProvider::claude, "claude"},
          std::pair{AIProvider::deepSeek, "deepseek"}, std::pair{AIProvider::glm, "glm"}}) {
        const std::string path = std::string("ai/") + folder + "/";
        Script script;
        for (int turn = 1; std::filesystem::exists(std::string(QL_TEST_FIXTURES) + "/" + path +
                                                   std::to_string(turn) + ".json");
             ++turn)
            script.emplace_back(200, samples::readFixture(path + std::to_string(turn) + ".json"));
        const ResearchResult result = research(
            provider, {"OpenAI", "Claude", "DeepSeek", "GLM (Z.ai)", "Brave Search"}, script);
        std::string text = transcript();
        for (const SearchCandidate& candidate : result.candidates)
            text += "=> " + std::to_string(candidate.id) + " | " + candidate.domain + " | " +
                    candidate.sourceURL + " | " + candidate.title + " | " + candidate.reason +
                    (candidate.selectedByAI ? "\n" : " (not selected)\n");
        EXPECT_EQ(text, samples::readFixture(path + "transcript")) << folder;
        EXPECT_EQ(result.query, query);
        // Only the search request's exchange is kept.
        EXPECT_EQ(result.searchEvidence.size(), 1u) << folder;
    }
}

TEST_F(ResearchEngineTest, FailuresStopTheRunBeforeAnyNeedlessRequest) {
    const Script search{{200, samples::readFixture("ai/claude/1.json")}};
    const struct {
        AIProvider provider;
        std::vector<std::string> accounts;
        Script script;
        std::string failure; // a part of the message that tells the failures apart
        bool sends;
    } cases[] = {
        // Without a search there is nothing to classify: its key is asked for first.
        {AIProvider::deepSeek, {}, search, "Add a Brave Search API key", false},
        {AIProvider::apple, {"Brave Search"}, search, "Unavailable: ", false},
        // Only status 200 is an answer.
        {AIProvider::claude, {"Claude"}, {{201, search[0].second}}, "(HTTP 201)", true},
    };
    for (const auto& c : cases) {
        const std::string failure = failureOf([&] { research(c.provider, c.accounts, c.script); });
        EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
        EXPECT_EQ(!transcript().empty(), c.sends) << failure;
    }
    EXPECT_EQ(failureOf([&] { research(AIProvider::claude, {"Claude"}, search, " \n\u3000 "); }),
              "Enter a research query.");
}

TEST_F(ResearchEngineTest, CancellingDuringTheSecondRequestEndsTheRunAtOnce) {
    const Script script{{200, samples::readFixture("ai/glm/1.json")}, {0, ""}};
    EXPECT_THROW(research(AIProvider::glm, {"GLM (Z.ai)"}, script), Cancelled);
    EXPECT_EQ(servers[3]->requestCount(), 2u);
}

TEST(ApplyClassification, SelectsKnownIntegralIdsOncePerDomainFromTheFirstSixEntries) {
    std::vector<SearchCandidate> candidates;
    for (int id = 1; id <= 8; ++id) {
        // Candidate 8 shares the domain of candidate 1.
        const std::string domain = "https://s" + std::to_string(id % 7) + ".example";
        candidates.push_back({id, "t", domain + "/" + std::to_string(id), "", domain, "r", false});
    }
    const std::pair<std::string, std::string> cases[] = {
        // answer; the selected ids with their reasons, or the failure
        {"Sure:\n```json\n{\"selections\":[{\"id\":2,\"reason\":\"Its own site\"}]}\n```\nDone.",
         "2 Its own site;"},
        {R"({"selections":[{"id":2,"reason":"a"},{"id":2.5},{"id":"3"},{"id":99},{"id":2}]})",
         "2 a;"},
        // Six entries are read, whatever becomes of them.
        {R"({"selections":[{"id":0},{"id":2,"reason":7},{"id":3,"reason":""},{"id":4},{"id":5},)"
         R"({"id":6},{"id":7}]})",
         "2 Relevant candidate;3 ;4 Relevant candidate;5 Relevant candidate;6 Relevant candidate;"},
        {R"({"selections":[{"id":8,"reason":"first"},{"id":1,"reason":"second"}]})", "8 first;"},
        {"{}", "Missing classification selections."},
        {"[1, 2]", "AI returned no JSON classification."},
    };
    for (const auto& [answer, expected] : cases) {
        std::string selected;
        const std::string failure = failureOf([&] {
            for (const SearchCandidate& c :
                 AIResearchEngine::applyClassification(answer, candidates))
                selected += std::to_string(c.id) + " " + c.reason + (c.selectedByAI ? ";" : "!");
        });
        EXPECT_EQ(failure + selected, expected) << answer;
    }
}

} // namespace
} // namespace quorilanth
