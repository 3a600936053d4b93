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

// Status and body of each answer; a negative status sends the body as the raw
// response, with "{port}" standing for the port of the server that answers.
using Script = std::vector<std::pair<int, std::string>>;

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
            const std::string port = std::to_string(servers[service]->port());
            servers[service]->otherwise([=, this](const test::ReceivedRequest& request,
                                                  test::ResponseWriter& out) {
                std::unique_lock lock(mutex);
                sent += services[service] + (": " + request.method) + " " + request.target + "\n";
                for (const auto& [name, value] : request.headers)
                    if (name != "Host") sent += name + ": " + value + "\n";
                sent += "\n" + request.body + "\n\n";
                auto [status, body] = script[std::min(answered++, script.size() - 1)];
                lock.unlock();
                if (const std::size_t at = body.find("{port}"); at != std::string::npos)
                    body.replace(at, 6, port);
                if (status < 0) return void(out.send(body));
                if (status != 0) return void(out.respond(status, body));
                stop.request_stop(); // status 0: the user cancels while the service thinks
                out.pause(std::chrono::seconds(60));
            });
            origins[AIResearchEngineTestAccess::Service(service)] = "https://localhost:" + port;
        }
        // Developer Mode stays off: the services' name must look public.
        resolver->answer("localhost", {std::string("93.184.216.34")});
        resolver->answer("127.0.0.2", {std::string("127.0.0.2")});
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

// The answer of a chat model whose message content is the given text.
std::string chatAnswer(const std::string& content) {
    return JSONValue::emptyObject()
        .set("choices", JSONValue::Array{JSONValue::emptyObject().set(
                            "message", JSONValue::emptyObject().set("content", content))})
        .pretty();
}

TEST_F(ResearchEngineTest, EachFailureEndsTheRunWithItsOwnText) {
    const std::string claudeSearch = samples::readFixture("ai/claude/1.json");
    const Script refused{{500, ""}};
    // clang-format off
    const std::tuple<AIProvider, std::vector<std::string>, Script, std::string, std::size_t> cases[] = {
        // provider, accounts with keys, answers, the failure, requests sent
        {AIProvider::openAI, {"Claude"}, refused, "Configure OpenAI in Settings to use its integrated web search. Domain Mode remains available without keys.", 0},
        {AIProvider::glm, {"Brave Search"}, refused, "Add your GLM key in Settings. Research uses the Z.ai APIs for Web Search and the model.", 0},
        {AIProvider::deepSeek, {"Brave Search"}, refused, "Configure the DeepSeek API key in Settings. Domain Mode is available without AI.", 0},
        {AIProvider::claude, {"Claude"}, {{200, claudeSearch}, {529, "{}"}}, "Claude request failed (HTTP 529). Check model, key and account availability.", 2},
        // a service cannot lead the engine to this machine's network
        {AIProvider::openAI, {"OpenAI"}, {{-1, "HTTP/1.1 307 Temporary Redirect\r\nLocation: https://127.0.0.2:{port}/v1/responses\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}, {200, samples::readFixture("ai/openai/1.json")}}, "Web research failed (HTTP 0). Check provider model, search availability and API key.", 1},
        // a 200 whose body stops short is a transport failure
        {AIProvider::openAI, {"OpenAI"}, {{-1, "HTTP/1.1 200 OK\r\nContent-Length: 90\r\nConnection: close\r\n\r\n{}"}}, "Web research failed (HTTP 200). Check provider model, search availability and API key.", 1},
        {AIProvider::openAI, {"OpenAI"}, {{200, R"({"output":[{"type":"web_search_call","action":{"sources":[{"url":"http://a.example/"}]}}]})"}}, "Web search returned no usable candidates. Try a more specific query; no domains have been invented.", 1},
        // a DeepSeek answer without choices classifies as the empty text
        {AIProvider::deepSeek, everyAccount, {{200, chatAnswer("{}")}, {200, samples::readFixture("ai/deepseek/2.json")}, {200, "{}"}}, "AI returned no JSON classification.", 3},
        {AIProvider::glm, {"GLM (Z.ai)"}, {{200, R"({"error":{"code":"1113"},"choices":[{"message":{"content":"{}"}}]})"}}, "GLM returned no usable answer. Check your model and Z.ai account API access.", 1}};
    // clang-format on
    for (const auto& [provider, accounts, script, expected, requests] : cases) {
        const std::string failure = failureOf([&] { research(provider, script, accounts); });
        EXPECT_EQ(std::tuple(failure, answered), std::tuple(expected, requests));
    }
}

// Requests are cut by characters where they are sent: a cut never splits a
// character made of several code points, nor a UTF-8 sequence.
TEST_F(ResearchEngineTest, LongRequestsAreCutByCharactersWhereTheyAreSent) {
    const std::string flag = "\U0001F1EE\U0001F1F9"; // one character, two code points
    const std::string request = std::string(1999, 'a') + flag + std::string(3000, 'b');
    auto rewrite = [](const std::string& query) {
        return chatAnswer(JSONValue::emptyObject().set("query", query).pretty());
    };
    const std::string brave = samples::readFixture("ai/deepseek/2.json");
    const std::string choice = samples::readFixture("ai/deepseek/3.json");
    const std::string search = std::string(1999, 'c') + "e\u0301" + "tail";
    // clang-format off
    const std::tuple<AIProvider, Script, std::vector<std::string>> cases[] = {
        // provider, answers, texts the requests hold
        {AIProvider::openAI, {{200, samples::readFixture("ai/openai/1.json")}, {200, samples::readFixture("ai/openai/2.json")}},
         {"matching: " + request + ". Use web search.", "user request: " + std::string(1999, 'a') + flag + "\\nThe following"}},
        {AIProvider::deepSeek, {{200, rewrite(std::string(499, 'c') + flag + "tail")}, {200, brave}, {200, choice}},
         {"named query: " + std::string(1999, 'a') + flag + "\"", "?q=" + std::string(499, 'c') + "%F0%9F%87%AE%F0%9F%87%B9&count=20\n"}},
        {AIProvider::deepSeek, {{200, rewrite("")}, {200, brave}, {200, choice}}, {"?q=&count=20\n"}},
        {AIProvider::glm, {{200, rewrite(search)}, {200, samples::readFixture("ai/glm/2.json")}, {200, samples::readFixture("ai/glm/3.json")}},
         {"\"search_query\" : \"" + std::string(1999, 'c') + "e\u0301\"\n"}}};
    // clang-format on
    for (const auto& [provider, script, texts] : cases) {
        EXPECT_EQ(research(provider, script, everyAccount, request).query, request);
        for (const std::string& text : texts)
            EXPECT_NE(sent.find(text), std::string::npos) << text;
    }
}

// What each service's answer yields: hits validated, each URL once, ids consecutive.
TEST(SourceCandidates, KeepValidatedDistinctHitsNumberedInOrderUpToTwenty) {
    std::string manyResults, twenty;
    for (int n = 1; n <= 25; ++n) {
        const std::string url = "https://s" + std::to_string(n) + ".example/";
        manyResults += std::string(n > 1 ? "," : "") + R"({"url":")" + url + R"(","title":"t"})";
        if (n <= 20)
            twenty += std::to_string(n) + " " + url.substr(0, url.size() - 1) + " " + url + " t ;";
    }
    const std::string cited = std::string(599, 'x') + "e\u0301";
    // clang-format off
    const std::tuple<AIProvider, std::string, std::string> cases[] = {
        // provider, answer; each candidate's id, domain, URL, title and snippet
        {AIProvider::glm, R"({"search_result":[{"link":"http://plain.example/"},{"link":"https://user:pw@x.example/"},{"link":"https://a b.example/"},{"link":42},)"
                          R"({"link":"https://[2001:db8::1]:8443/a#top","title":"v6","content":"c"},{"link":"https://same.example/a"},{"link":"https://same.example/b","title":7},{"link":"https://same.example/a"}]})",
         "1 https://[2001:db8::1] https://[2001:db8::1]:8443/a v6 c;2 https://same.example https://same.example/a https://same.example/a ;"
         "3 https://same.example https://same.example/b https://same.example/b ;"},
        {AIProvider::claude, R"({"content":[{"type":"text","content":[{"type":"web_search_result","url":"https://no.example/"}]},)"
                             R"({"type":"web_search_tool_result","content":[{"type":"web_search_result","url":"https://a.example/","title":"A"}],"citations":[{"url":"https://a.example/","cited_text":"again"}]},)"
                             R"({"type":"text","citations":[{"url":"https://b.example/x","title":"B","cited_text":"quoted"}]}]})",
         "1 https://a.example https://a.example/ A Web search source;2 https://b.example https://b.example/x B quoted;"},
        {AIProvider::openAI, R"({"output":[{"type":"message","content":[{"text":")" + cited + R"(tail","annotations":[{"type":"file_citation","url":"https://f.example/"},{"type":"url_citation","url":"https://c.example/","title":"C"}]}]}]})",
         "1 https://c.example https://c.example/ C " + cited + ";"},
        {AIProvider::apple, R"({"web":{"results":[)" + manyResults + "]}}", twenty}};
    // clang-format on
    for (const auto& [provider, answer, expected] : cases) {
        std::string found;
        for (const SearchCandidate& c :
             AIResearchEngine::sourceCandidates(JSONValue::parse(answer), provider))
            found += std::to_string(c.id) + " " + c.domain + " " + c.sourceURL + " " + c.title +
                     " " + c.snippet + (c.selectedByAI ? "!" : ";");
        EXPECT_EQ(found, expected) << answer;
    }
}

TEST(GLMAPI, AsksForLowReasoningOnlyOfItsNewestModelsAndReadsOnlyAUsableAnswer) {
    const std::pair<std::string, bool> models[] = {{"glm-5.3", true},
                                                   {"glm-5.2-air", true},
                                                   {"glm-5.1", false},
                                                   {"GLM-5.3", false},
                                                   {"x-glm-5.3", false}};
    for (const auto& [model, low] : models)
        EXPECT_EQ(GLMAPI::completionBody("p", model)["reasoning_effort"].string(),
                  low ? std::optional<std::string_view>("low") : std::nullopt)
            << model;

    const std::string unusable =
        "GLM returned no usable answer. Check your model and Z.ai account API access.";
    const std::string incomplete =
        "The GLM answer is empty or incomplete. Try a shorter request or a different GLM model.";
    // clang-format off
    const std::pair<std::string, std::string> answers[] = {
        {R"({"error":null,"choices":[{"message":{"content":" kept as sent\n"}}]})", " kept as sent\n"},
        {R"({"error":{"code":"1211"},"choices":[{"message":{"content":"ok"}}]})", unusable},
        {R"({"error":false,"choices":[{"message":{"content":"ok"}}]})", unusable},
        {R"({"choices":[]})", unusable},
        {R"({"choices":{"message":{"content":"ok"}}})", unusable},
        {"[]", unusable},
        {R"({"choices":[{"finish_reason":"length","message":{"content":"ok"}}]})", incomplete},
        {R"({"choices":[{"message":{"content":" \n\u3000"}}]})", incomplete},
        {R"({"choices":[{"message":{"content":7}}]})", incomplete}};
    // clang-format on
    for (const auto& [answer, expected] : answers) {
        std::string text;
        const std::string failure =
            failureOf([&] { text = GLMAPI::completionText(JSONValue::parse(answer)); });
        EXPECT_EQ(failure + text, expected) << answer;
    }
}

} // namespace
} // namespace quorilanth
