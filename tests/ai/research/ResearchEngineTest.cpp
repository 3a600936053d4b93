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
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using Service = AIResearchEngineTestAccess::Service;
using test::ReceivedRequest;

template <typename Call> std::string failureOf(Call&& call) {
    try {
        call();
    } catch (const QuorilanthError& error) {
        return error.message();
    }
    return "(no failure)";
}

const std::string query = "official museum sites, caf\u00E9s & bars+";

// Each request on the path gets the next reply, the last one repeated.
test::Handler inTurn(std::vector<std::pair<int, std::string>> replies) {
    auto next = std::make_shared<std::atomic<std::size_t>>(0);
    return [=](const ReceivedRequest&, test::ResponseWriter& out) {
        const auto& [status, body] = replies[std::min(next->fetch_add(1), replies.size() - 1)];
        out.respond(status, body, {{"Content-Type", "application/json"}});
    };
}

std::string fixture(const std::string& name) {
    return samples::readFixture("ai/" + name);
}

struct Reply {
    Service service;
    std::string path;
    std::vector<std::pair<int, std::string>> replies;
};

class ResearchEngineTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<test::TestCertificateAuthority> ca;
    static void SetUpTestSuite() { ca = std::make_unique<test::TestCertificateAuthority>(); }
    static void TearDownTestSuite() { ca.reset(); }

    void SetUp() override {
        // Developer Mode stays off: the services' name must look public.
        resolver->answer("localhost", {std::string("93.184.216.34")});
        reset();
    }

    // Fresh servers and no keys, for the next row of a table.
    void reset() {
        secrets = std::make_shared<test::InMemorySecretStore>();
        keychain = AIKeychain(secrets);
        for (Service service : {Service::openAI, Service::anthropic, Service::deepSeek,
                                Service::zai, Service::braveSearch})
            servers[service] = std::make_unique<test::LoopbackHTTPServer>(
                std::vector<std::string>{"127.0.0.1"}, ca.get());
    }

    void withKeys(const std::vector<std::string>& accounts) {
        for (const std::string& account : accounts)
            keychain.save("key:" + account, account);
    }

    void serve(const std::vector<Reply>& replies) {
        for (const Reply& reply : replies)
            servers[reply.service]->on(reply.path, inTurn(reply.replies));
    }

    ResearchResult research(AIProvider provider, const std::string& text,
                            std::stop_token stop = {}) {
        AIResearchEngine engine(keychain);
        std::map<Service, std::string> origins;
        for (const auto& [service, server] : servers)
            origins[service] = "https://localhost:" + std::to_string(server->port());
        AIResearchEngineTestAccess::route(engine, origins, curl.path(), resolver);
        return engine.research(text, provider, std::string(defaultModel(provider)), stop);
    }

    std::vector<ReceivedRequest> received() const {
        std::vector<ReceivedRequest> all;
        for (const auto& [service, server] : servers)
            for (ReceivedRequest& request : server->requests())
                all.push_back(std::move(request));
        std::sort(all.begin(), all.end(),
                  [](const auto& a, const auto& b) { return a.receivedAt < b.receivedAt; });
        return all;
    }

    std::map<Service, std::unique_ptr<test::LoopbackHTTPServer>> servers;
    std::shared_ptr<test::FakeResolver> resolver = std::make_shared<test::FakeResolver>();
    std::shared_ptr<test::InMemorySecretStore> secrets;
    AIKeychain keychain{secrets};
    test::CurlWrapper curl{{ca->caFile(), true, true}};
};

// What went over the wire (the port-bearing Host aside) and what came of it.
std::string transcript(const std::vector<ReceivedRequest>& requests, const ResearchResult& result) {
    std::string text;
    for (const ReceivedRequest& request : requests) {
        text += request.method + " " + request.target + "\n";
        for (const auto& [name, value] : request.headers)
            if (name != "Host") text += name + ": " + value + "\n";
        text += "\n" + request.body + "\n\n";
    }
    for (const SearchCandidate& candidate : result.candidates)
        text += "=> " + std::to_string(candidate.id) + " | " + candidate.domain + " | " +
                candidate.sourceURL + " | " + candidate.title + " | " + candidate.reason + "\n";
    return text;
}

TEST_F(ResearchEngineTest, EachRouteSendsItsGoldenRequestsAndReadsItsAnswers) {
    const struct {
        AIProvider provider;
        std::vector<std::string> accounts;
        std::vector<Reply> replies;
        std::string golden;
    } routes[] = {
        {AIProvider::openAI,
         {"OpenAI"},
         {{Service::openAI,
           "/v1/responses",
           {{200, fixture("openai-search.json")}, {200, fixture("openai-classify.json")}}}},
         "openai.golden"},
        {AIProvider::claude,
         {"Claude"},
         {{Service::anthropic,
           "/v1/messages",
           {{200, fixture("claude-search.json")}, {200, fixture("claude-classify.json")}}}},
         "claude.golden"},
        {AIProvider::deepSeek,
         {"Brave Search", "DeepSeek"},
         {{Service::deepSeek,
           "/chat/completions",
           {{200, fixture("deepseek-rewrite.json")}, {200, fixture("deepseek-classify.json")}}},
          {Service::braveSearch, "/res/v1/web/search", {{200, fixture("brave-search.json")}}}},
         "deepseek.golden"},
        {AIProvider::glm,
         {"GLM (Z.ai)"},
         {{Service::zai,
           "/api/paas/v4/chat/completions",
           {{200, fixture("glm-rewrite.json")}, {200, fixture("glm-classify.json")}}},
          {Service::zai, "/api/paas/v4/web_search", {{200, fixture("glm-search.json")}}}},
         "glm.golden"},
    };
    for (const auto& route : routes) {
        reset();
        withKeys(route.accounts);
        serve(route.replies);
        const ResearchResult result = research(route.provider, query);
        EXPECT_EQ(result.query, query);
        EXPECT_EQ(result.notice, ResearchResult::standardNotice);
        // Only the search request's exchange is kept, its key hidden.
        ASSERT_EQ(result.searchEvidence.size(), 1u) << route.golden;
        EXPECT_EQ(result.searchEvidence[0].statusCode, 200);
        for (const auto& [name, value] : result.searchEvidence[0].requestHeaders)
            EXPECT_EQ(value.find("key:"), std::string::npos) << name;
        EXPECT_EQ(transcript(received(), result), fixture(route.golden)) << route.golden;
    }
}

TEST_F(ResearchEngineTest, FailuresCarryTheirFixedTextsAndStopEarly) {
    const std::string searchFailed = "). Check provider model, search availability and API key.";
    const struct {
        const char* name;
        AIProvider provider;
        std::vector<std::string> accounts;
        std::vector<Reply> replies;
        std::string query;
        std::string message;
        std::size_t requests;
    } cases[] = {
        {"blank query",
         AIProvider::openAI,
         {"OpenAI"},
         {},
         " \n\u3000 ",
         "Enter a research query.",
         0},
        {"the search key is asked for first",
         AIProvider::deepSeek,
         {},
         {},
         query,
         "Apple and DeepSeek require a web search service. Add a Brave Search API key in "
         "Settings, or select OpenAI/Claude for integrated search. No ungrounded domain "
         "suggestions will be generated.",
         0},
        {"then the model's",
         AIProvider::deepSeek,
         {"Brave Search"},
         {},
         query,
         "Configure the DeepSeek API key in Settings. Domain Mode is available without AI.",
         0},
        {"no on-device model",
         AIProvider::apple,
         {"Brave Search"},
         {},
         query,
         AIResearchEngine::appleAvailability(),
         0},
        {"integrated search without key",
         AIProvider::openAI,
         {},
         {},
         query,
         "Configure OpenAI in Settings to use its integrated web search. Domain Mode remains "
         "available without keys.",
         0},
        {"GLM without key",
         AIProvider::glm,
         {},
         {},
         query,
         "Add your GLM key in Settings. Research uses the Z.ai APIs for Web Search and the model.",
         0},
        {"a search answer other than 200",
         AIProvider::claude,
         {"Claude"},
         {{Service::anthropic, "/v1/messages", {{201, fixture("claude-search.json")}}}},
         query,
         "Web research failed (HTTP 201" + searchFailed,
         1},
        {"a search without usable hits",
         AIProvider::openAI,
         {"OpenAI"},
         {{Service::openAI, "/v1/responses", {{200, R"({"output":[]})"}}}},
         query,
         "Web search returned no usable candidates. Try a more specific query; no domains have "
         "been invented.",
         1},
        {"a classification answer other than 200",
         AIProvider::claude,
         {"Claude"},
         {{Service::anthropic,
           "/v1/messages",
           {{200, fixture("claude-search.json")}, {529, R"({"type":"error"})"}}}},
         query,
         "Claude request failed (HTTP 529). Check model, key and account availability.",
         2},
        {"a GLM rewrite that fails",
         AIProvider::glm,
         {"GLM (Z.ai)"},
         {{Service::zai, "/api/paas/v4/chat/completions", {{200, R"({"error":{"code":"1113"}})"}}}},
         query,
         "GLM returned no usable answer. Check your model and Z.ai account API access.",
         1},
    };
    for (const auto& c : cases) {
        reset();
        withKeys(c.accounts);
        serve(c.replies);
        EXPECT_EQ(failureOf([&] { research(c.provider, c.query); }), c.message) << c.name;
        EXPECT_EQ(received().size(), c.requests) << c.name;
    }
    secrets->failWith(test::InMemorySecretStore::Operation::copy, -128);
    EXPECT_EQ(failureOf([&] { research(AIProvider::claude, query); }),
              "Keychain read failed (-128).");
}

TEST_F(ResearchEngineTest, CancellingDuringTheSecondRequestEndsTheRunAtOnce) {
    withKeys({"GLM (Z.ai)"});
    std::stop_source stop;
    serve({{Service::zai, "/api/paas/v4/chat/completions", {{200, fixture("glm-rewrite.json")}}}});
    servers[Service::zai]->on("/api/paas/v4/web_search",
                              [&](const ReceivedRequest&, test::ResponseWriter& out) {
                                  stop.request_stop();
                                  out.pause(std::chrono::seconds(60));
                              });
    EXPECT_THROW(research(AIProvider::glm, query, stop.get_token()), Cancelled);
    EXPECT_EQ(received().size(), 2u);
}

TEST(ApplyClassification, SelectsKnownIntegralIdsOncePerDomainFromTheFirstSixEntries) {
    std::vector<SearchCandidate> candidates;
    for (int id = 1; id <= 8; ++id)
        candidates.push_back(
            {id, "t", "https://s" + std::to_string(id % 7) + ".example/p" + std::to_string(id), "",
             "https://s" + std::to_string(id % 7) + ".example", "r", false});
    const struct {
        std::string answer;
        std::vector<std::pair<int, std::string>> selected; // id, reason
    } cases[] = {
        {"Sure:\n```json\n{\"selections\":[{\"id\":2,\"reason\":\"Its own site\"}]}\n```\nDone.",
         {{2, "Its own site"}}},
        {R"({"selections":[{"id":2,"reason":"a"},{"id":2.5},{"id":"3"},{"id":99},{"id":2}]})",
         {{2, "a"}}},
        {R"({"selections":[{"id":1},{"id":2},{"id":3},{"id":4},{"id":5},{"id":6},{"id":7}]})",
         {{1, "Relevant candidate"},
          {2, "Relevant candidate"},
          {3, "Relevant candidate"},
          {4, "Relevant candidate"},
          {5, "Relevant candidate"},
          {6, "Relevant candidate"}}},
        {R"({"selections":[{"id":0},{"id":2,"reason":7},{"id":3,"reason":""},{"id":4},{"id":5},)"
         R"({"id":6},{"id":7}]})",
         {{2, "Relevant candidate"},
          {3, ""},
          {4, "Relevant candidate"},
          {5, "Relevant candidate"},
          {6, "Relevant candidate"}}},
        // Candidate 8 shares the domain of candidate 1: the first selection wins.
        {R"({"selections":[{"id":8,"reason":"first"},{"id":1,"reason":"second"}]})",
         {{8, "first"}}},
        {R"({"selections":[]})", {}},
        {R"({"selections":{"id":1}})", {}},
    };
    for (const auto& c : cases) {
        const auto selected = AIResearchEngine::applyClassification(c.answer, candidates);
        std::vector<std::pair<int, std::string>> got;
        for (const SearchCandidate& candidate : selected) {
            EXPECT_TRUE(candidate.selectedByAI);
            got.emplace_back(static_cast<int>(candidate.id), candidate.reason);
        }
        EXPECT_EQ(got, c.selected) << c.answer;
    }
    const std::pair<std::string, std::string> failures[] = {
        {"{}", "Missing classification selections."},
        {R"(I found {"choices":[]})", "Missing classification selections."},
        {"[1, 2]", "AI returned no JSON classification."},
        {"} then {", "AI returned no JSON classification."},
    };
    for (const auto& [answer, message] : failures)
        EXPECT_EQ(failureOf([&] { AIResearchEngine::applyClassification(answer, candidates); }),
                  message);
    EXPECT_THROW(AIResearchEngine::applyClassification("{id: 1}", candidates), JSONParseError);
}

TEST(SourceCandidates, KeepTheFirstTwentyDistinctHits) {
    JSONValue results = JSONValue::emptyArray();
    for (int n = 1; n <= 25; ++n)
        results.append(JSONValue(JSONValue::Object{
            {"url", JSONValue("https://site" + std::to_string(n) + ".example/")}}));
    const JSONValue answer(
        JSONValue::Object{{"web", JSONValue(JSONValue::Object{{"results", results}})}});
    const auto candidates = AIResearchEngine::sourceCandidates(answer, AIProvider::apple);
    ASSERT_EQ(candidates.size(), 20u);
    EXPECT_EQ(candidates.back().id, 20);
    EXPECT_EQ(candidates.back().domain, "https://site20.example");
    EXPECT_EQ(candidates.back().title, "https://site20.example/");
}

TEST(GLMAPI, ReasoningEffortAndAnswerChecks) {
    for (const auto& [model, low] : {std::pair{"glm-5.3", true},
                                     {"glm-5.2-air", true},
                                     {"glm-5.1", false},
                                     {"GLM-5.3", false}})
        EXPECT_EQ(GLMAPI::completionBody("p", model).find("reasoning_effort") != nullptr, low)
            << model;
    const std::string incomplete =
        "The GLM answer is empty or incomplete. Try a shorter request or a different GLM model.";
    const std::pair<std::string, std::string> answers[] = {
        {R"({"error":null,"choices":[{"message":{"content":" x "}}]})", " x "},
        {R"({"error":{},"choices":[{"message":{"content":"x"}}]})",
         "GLM returned no usable answer. Check your model and Z.ai account API access."},
        {R"({"choices":[]})",
         "GLM returned no usable answer. Check your model and Z.ai account API access."},
        {R"({"choices":[{"finish_reason":"length","message":{"content":"x"}}]})", incomplete},
        {R"({"choices":[{"message":{"content":" \n "}}]})", incomplete},
    };
    for (const auto& [answer, expected] : answers) {
        std::string text;
        const std::string failure =
            failureOf([&] { text = GLMAPI::completionText(JSONValue::parse(answer)); });
        EXPECT_EQ(text.empty() ? failure : text, expected) << answer;
    }
}

} // namespace
} // namespace quorilanth
