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
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

namespace quorilanth {
namespace {

using Script = std::vector<std::pair<int, std::string>>; // status and body of each answer

const std::string query = "official museum sites, caf\u00E9s & bars+";
const char* const services[] = {"openai", "anthropic", "deepseek", "zai", "brave"};
const std::vector<std::string> everyAccount{"OpenAI", "Claude", "DeepSeek", "GLM (Z.ai)",
                                            "Brave Search"};

template <typename Call> std::string failureOf(Call&& call) try {
    call();
    return "";
} catch (const QuorilanthError& error) {
    return error.message();
} catch (const Cancelled&) {
    return "Cancelled";
}

class ResearchEngineTest : public ::testing::Test {
protected:
    // Keys for the accounts given; one server per service, all answering the script in turn
    // and writing each request down with its service, the port-bearing Host aside.
    ResearchResult research(AIProvider provider, const Script& script,
                            const std::vector<std::string>& accounts = everyAccount,
                            const std::string& text = query) {
        auto secrets = std::make_shared<test::InMemorySecretStore>();
        for (const std::string& account : accounts)
            AIKeychain(secrets).save("key:" + account, account);
        AIResearchEngine engine{AIKeychain(secrets)};
        sent.clear();
        answered = 0;
        std::map<AIResearchEngineTestAccess::Service, std::string> origins;
        std::unique_ptr<test::LoopbackHTTPServer> servers[5];
        for (int service = 0; service < 5; ++service) {
            servers[service] = std::make_unique<test::LoopbackHTTPServer>(
                std::vector<std::string>{"127.0.0.1"}, &ca);
            servers[service]->otherwise([=, this](const test::ReceivedRequest& request,
                                                  test::ResponseWriter& out) {
                std::unique_lock lock(mutex);
                sent += services[service] + (": " + request.method) + " " + request.target + "\n";
                for (const auto& [name, value] : request.headers)
                    if (name != "Host") sent += name + ": " + value + "\n";
                sent += "\n" + request.body + "\n\n";
                const auto& [status, body] = script[std::min(answered++, script.size() - 1)];
                lock.unlock();
                if (status != 0) return void(out.respond(status, body));
                stop.request_stop(); // status 0: the user cancels while the service thinks
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

    test::TestCertificateAuthority ca;
    test::CurlWrapper curl{{ca.caFile(), true, true}};
    std::mutex mutex;
    std::string sent; // what went over the wire, read once the run and its servers are over
    std::size_t answered = 0;
    std::stop_source stop;
    std::shared_ptr<test::FakeResolver> resolver = std::make_shared<test::FakeResolver>();
};

// Each route's folder holds the services' answers in turn and the run's transcript.
TEST_F(ResearchEngineTest, EachRouteSendsItsGoldenRequestsAndReadsItsAnswers) {
    for (const auto& [provider, path] :
         {std::pair{AIProvider::openAI, "ai/openai/"}, std::pair{AIProvider::claude, "ai/claude/"},
          std::pair{AIProvider::deepSeek, "ai/deepseek/"}, std::pair{AIProvider::glm, "ai/glm/"}}) {
        Script script;
        for (std::string turn = "1.json";
             std::filesystem::exists(QL_TEST_FIXTURES "/" + (path + turn)); ++turn[0])
            script.emplace_back(200, samples::readFixture(path + turn));
        const ResearchResult result = research(provider, script);
        for (const SearchCandidate& candidate : result.candidates)
            sent += "=> " + std::to_string(candidate.id) + " | " + candidate.domain + " | " +
                    candidate.sourceURL + " | " + candidate.title + " | " + candidate.reason +
                    (candidate.selectedByAI ? "\n" : " (not selected)\n");
        EXPECT_EQ(std::tuple(sent, result.searchEvidence.size()), // only the search's exchange kept
                  std::tuple(samples::readFixture(path + std::string("transcript")), 1u));
    }
}

TEST_F(ResearchEngineTest, FailuresAndCancellingStopTheRunBeforeAnyNeedlessRequest) {
    const Script search{{200, samples::readFixture("ai/claude/1.json")}};
    // clang-format off
    const std::tuple<AIProvider, std::vector<std::string>, Script, std::string, std::size_t> cases[] = {
        // provider, accounts with keys, answers, a part of the message that tells them apart, requests sent
        {AIProvider::deepSeek, {}, search, "Add a Brave Search API key", 0}, // asked for before a search
        {AIProvider::apple, {"Brave Search"}, search, "Unavailable: ", 0},
        {AIProvider::claude, {"Claude"}, {{201, search[0].second}}, "(HTTP 201)", 1}, // only 200 answers
        {AIProvider::glm, {"GLM (Z.ai)"}, {{200, samples::readFixture("ai/glm/1.json")}, {0, ""}}, "Cancelled", 2}}; // cancelled in the second request
    // clang-format on
    for (const auto& [provider, accounts, script, part, requests] : cases) {
        const std::string failure = failureOf([&] { research(provider, script, accounts); });
        EXPECT_EQ(std::tuple(failure.find(part) != std::string::npos, answered),
                  std::tuple(true, requests))
            << failure;
    }
    EXPECT_EQ(failureOf([&] { research(AIProvider::claude, search, {"Claude"}, " \n\u3000 "); }),
              "Enter a research query.");
}

TEST(ApplyClassification, SelectsKnownIntegralIdsOncePerDomainFromTheFirstSixEntries) {
    std::vector<SearchCandidate> candidates;
    for (int id = 1; id <= 8; ++id) { // candidate 8 shares the domain of candidate 1
        const std::string domain = "https://s" + std::to_string(id % 7) + ".example";
        candidates.push_back({id, "t", domain + "/" + std::to_string(id), "", domain, "r", false});
    }
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        // answer; the selected ids with their reasons, or the failure
        {"Sure:\n```json\n{\"selections\":[{\"id\":2,\"reason\":\"Its own site\"}]}\n```\nDone.", "2 Its own site;"},
        {R"({"selections":[{"id":2,"reason":"a"},{"id":2.5},{"id":"3"},{"id":99},{"id":2}]})", "2 a;"},
        {R"({"selections":[{"id":0},{"id":2,"reason":7},{"id":3,"reason":""},{"id":4},{"id":5},{"id":6},{"id":7}]})",
         "2 Relevant candidate;3 ;4 Relevant candidate;5 Relevant candidate;6 Relevant candidate;"}, // six read
        {R"({"selections":[{"id":8,"reason":"first"},{"id":1,"reason":"second"}]})", "8 first;"},
        {"{}", "Missing classification selections."},
        {"[1, 2]", "AI returned no JSON classification."}};
    // clang-format on
    for (const auto& [answer, expected] : cases) {
        std::string selected;
        const std::string failure = failureOf([&] {
            for (const auto& c : AIResearchEngine::applyClassification(answer, candidates))
                selected += std::to_string(c.id) + " " + c.reason + (c.selectedByAI ? ";" : "!");
        });
        EXPECT_EQ(failure + selected, expected) << answer;
    }
}

} // namespace
} // namespace quorilanth
