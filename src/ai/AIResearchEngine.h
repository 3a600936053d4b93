#pragma once

#include "ai/AIKeychain.h"
#include "ai/ResearchResult.h"
#include "core/base/JSONValue.h"
#include "core/net/HTTPInspecting.h"
#include "core/net/NetworkPolicy.h"

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// A language model that runs on this machine, for the on-device provider.
// This platform has none of its own: the system's model is always unavailable,
// so that provider fails with its availability text before anything is sent.
class OnDeviceModel {
public:
    virtual ~OnDeviceModel() = default;
    // Nothing when the model can answer; otherwise why it cannot.
    virtual std::optional<std::string> unavailableReason() const = 0;
    // The model's answer at temperature 0, without tools, under the instructions.
    virtual std::string respond(const std::string& instructions, const std::string& prompt,
                                std::stop_token stop) = 0;
};

std::shared_ptr<OnDeviceModel> systemOnDeviceModel();

// AI-assisted discovery: a real web search whose numbered hits a language model
// classifies. The model only ever picks among the hits, so no site it names can
// be invented. One engine serves one run; it keeps nothing between calls.
// Every request goes through its own transport with Developer Mode off.
class AIResearchEngine final : public AIResearching {
public:
    explicit AIResearchEngine(AIKeychain keychain = AIKeychain());

    // The selected candidates of a search for the query. Throws QuorilanthError
    // with the search's or the model's fixed text, JSONParseError for an
    // answer that is not JSON, Cancelled when the stop token fires.
    ResearchResult research(const std::string& query, AIProvider provider, const std::string& model,
                            std::stop_token stop) override;

    // The candidates the model's answer selects, in its order: at most the
    // first six entries are read, one selection per domain.
    static std::vector<SearchCandidate>
    applyClassification(std::string_view answer, const std::vector<SearchCandidate>& candidates);

    // The validated hits of a search service's answer, at most 20, ids 1 to n.
    static std::vector<SearchCandidate> sourceCandidates(const JSONValue& answer,
                                                         AIProvider provider);

    // Whether the on-device model can classify, as the settings sheet shows it.
    static std::string appleAvailability();

private:
    friend struct AIResearchEngineTestAccess;
    friend struct GLMAPI;

    // Where the requests go. Always the public services for the application;
    // only test code, through AIResearchEngineTestAccess, points them elsewhere.
    struct Services {
        std::string openAI = "https://api.openai.com";
        std::string anthropic = "https://api.anthropic.com";
        std::string deepSeek = "https://api.deepseek.com";
        std::string zai = "https://api.z.ai";
        std::string braveSearch = "https://api.search.brave.com";
        std::string curlPath = "/usr/bin/curl";
        std::shared_ptr<const Resolver> resolver = systemResolver();
        std::shared_ptr<OnDeviceModel> onDevice = systemOnDeviceModel();
    };

    struct SearchOutcome {
        std::vector<SearchCandidate> candidates;
        std::vector<Evidence> evidence;
    };

    SearchOutcome webCandidates(const std::string& query, AIProvider provider,
                                const std::string& model, std::stop_token stop);
    std::string classify(const std::string& prompt, AIProvider provider, const std::string& model,
                         std::stop_token stop);
    // The request the model's rewrite of the query asks for, or the query itself.
    std::string rewrittenQuery(const std::string& query, std::string_view instruction,
                               AIProvider provider, const std::string& model, std::stop_token stop);
    // The first user-perceived characters of the text; none is ever split.
    static std::string_view firstCharacters(std::string_view text, std::size_t count);
    // The stored key, or nothing when the account has none or an empty one.
    std::optional<std::string> key(std::string_view account) const;
    // A model's request body: the fixed members given as JSON text, the model,
    // and the prompt as "input" or as the one user message.
    static JSONValue modelRequest(std::string_view fixed, const std::string& model,
                                  const std::string& prompt, bool asMessage);
    // One request on a transport of its own, a body sent as JSON; Cancelled
    // when stopped meanwhile.
    HTTPResult send(const std::string& url, const std::string& method, const HeaderFields& headers,
                    const std::optional<JSONValue>& body, std::stop_token stop) const;

    AIKeychain keychain_;
    Services services_;
};

// The GLM chat-completions request body and the reading of its answer.
struct GLMAPI {
    static JSONValue completionBody(const std::string& prompt, const std::string& model);
    // Throws QuorilanthError when the answer carries an error, no choice, or
    // no text.
    static std::string completionText(const JSONValue& answer);
};

} // namespace quorilanth
