// The first step of a research run: one real web search, by the service that
// goes with the provider, and the reading of its hits into numbered candidates.

#include "ai/AIResearchEngine.h"
#include "core/base/QuorilanthError.h"
#include "core/base/Url.h"

#include <unordered_set>

namespace quorilanth {
namespace {

constexpr std::size_t maxCandidates = 20;
constexpr std::string_view webSearchSource = "Web search source";

// Everything but the unreserved characters is escaped, so the service reads
// back exactly the text sent ("+" and "&" included).
std::string queryItemEncoded(std::string_view text) {
    constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 0x0F];
        }
    }
    return out;
}

// Turns hits into candidates as they are found: validated, each URL once,
// and no further work once the list is full.
class CandidateList {
public:
    bool full() const { return candidates_.size() >= maxCandidates; }

    // A hit whose URL member is not a string is no hit.
    void add(const JSONValue& url, const JSONValue& title, std::string_view snippet) {
        std::optional<std::string_view> urlText = url.string();
        if (!urlText || full()) return;
        std::string validated;
        try {
            validated = NetworkPolicy(false).validate(*urlText);
        } catch (const QuorilanthError&) {
            return;
        }
        const std::optional<Url> parsed = Url::parse(validated);
        if (!parsed || parsed->encodedHost().empty() || !seen_.insert(validated).second) return;
        std::optional<std::string_view> titleText = title.string();
        candidates_.push_back(SearchCandidate{
            static_cast<std::int64_t>(candidates_.size() + 1),
            std::string(titleText ? *titleText : *urlText), validated, std::string(snippet),
            // As written: an IPv6 host keeps its brackets and stays a URL.
            "https://" + std::string(parsed->encodedHost()),
            std::string(SearchCandidate::awaitingClassification), false});
    }

    std::vector<SearchCandidate> take() { return std::move(candidates_); }

private:
    std::vector<SearchCandidate> candidates_;
    std::unordered_set<std::string> seen_;
};

std::string_view stringOrEmpty(const JSONValue& value) {
    std::optional<std::string_view> text = value.string();
    return text ? std::string_view(*text) : std::string_view();
}

} // namespace

std::vector<SearchCandidate> AIResearchEngine::sourceCandidates(const JSONValue& answer,
                                                                AIProvider provider) {
    CandidateList list;
    switch (provider) {
    case AIProvider::glm:
        for (const JSONValue& hit : answer["search_result"].array()) {
            if (list.full()) break;
            list.add(hit["link"], hit["title"], stringOrEmpty(hit["content"]));
        }
        break;
    case AIProvider::claude:
        for (const JSONValue& block : answer["content"].array()) {
            if (list.full()) break;
            if (stringOrEmpty(block["type"]) == "web_search_tool_result")
                for (const JSONValue& item : block["content"].array())
                    if (stringOrEmpty(item["type"]) == "web_search_result")
                        list.add(item["url"], item["title"], webSearchSource);
            for (const JSONValue& citation : block["citations"].array())
                list.add(citation["url"], citation["title"], stringOrEmpty(citation["cited_text"]));
        }
        break;
    case AIProvider::openAI:
        for (const JSONValue& item : answer["output"].array()) {
            if (list.full()) break;
            if (stringOrEmpty(item["type"]) == "web_search_call")
                for (const JSONValue& source : item["action"]["sources"].array())
                    list.add(source["url"], source["title"], webSearchSource);
            for (const JSONValue& part : item["content"].array()) {
                // Cut once per part, and only for a part that is cited.
                std::optional<std::string_view> snippet;
                for (const JSONValue& annotation : part["annotations"].array()) {
                    if (list.full()) break;
                    if (stringOrEmpty(annotation["type"]) != "url_citation") continue;
                    if (!snippet) snippet = firstCharacters(stringOrEmpty(part["text"]), 600);
                    list.add(annotation["url"], annotation["title"], *snippet);
                }
            }
        }
        break;
    case AIProvider::apple:
    case AIProvider::deepSeek:
        for (const JSONValue& hit : answer["web"]["results"].array()) {
            if (list.full()) break;
            list.add(hit["url"], hit["title"], stringOrEmpty(hit["description"]));
        }
        break;
    }
    return list.take();
}

std::string AIResearchEngine::rewrittenQuery(const std::string& query, std::string_view instruction,
                                             AIProvider provider, const std::string& model,
                                             std::stop_token stop) {
    const std::string answer =
        classify(std::string(instruction) + std::string(firstCharacters(query, 2000)), provider,
                 model, stop);
    // The rewrite is a convenience: an answer that is no such JSON object
    // leaves the request to be searched as the user wrote it.
    JSONValue parsed;
    try {
        parsed = JSONValue::parse(answer);
    } catch (const JSONParseError&) {
    }
    std::optional<std::string_view> rewritten = parsed["query"].string();
    return rewritten ? std::string(*rewritten) : query;
}

AIResearchEngine::SearchOutcome AIResearchEngine::webCandidates(const std::string& query,
                                                                AIProvider provider,
                                                                const std::string& model,
                                                                std::stop_token stop) {
    HTTPResult result;
    switch (provider) {
    case AIProvider::glm: {
        const std::optional<std::string> secret = key(rawValue(AIProvider::glm));
        if (!secret)
            throw QuorilanthError("Add your GLM key in Settings. Research uses the Z.ai APIs for "
                                  "Web Search and the model.");
        const std::string search = rewrittenQuery(
            query,
            "Convert this request into one concise web search query. Return ONLY a JSON object "
            "with one string field named query: ",
            provider, model, stop);
        JSONValue body = JSONValue::parse(R"({"search_engine":"search-prime","count":20})");
        body.set("search_query", firstCharacters(search, 2000));
        result = send(services_.zai + "/api/paas/v4/web_search", "POST",
                      {{"Authorization", "Bearer " + *secret}}, body, stop);
        break;
    }
    case AIProvider::apple:
    case AIProvider::deepSeek: {
        // The search key is asked for first: without a search there is
        // nothing for any model to classify.
        const std::optional<std::string> secret = key(AIKeychain::braveSearchAccount);
        if (!secret)
            throw QuorilanthError(
                "Apple and DeepSeek require a web search service. Add a Brave Search API key in "
                "Settings, or select OpenAI/Claude for integrated search. No ungrounded domain "
                "suggestions will be generated.");
        const std::string search = rewrittenQuery(
            query,
            "Convert this request into one concise web search query. Return a JSON object with "
            "one string field named query: ",
            provider, model, stop);
        result = send(services_.braveSearch + "/res/v1/web/search?q=" +
                          queryItemEncoded(firstCharacters(search, 500)) + "&count=20",
                      "GET", {{"Accept", "application/json"}, {"X-Subscription-Token", *secret}},
                      std::nullopt, stop);
        break;
    }
    case AIProvider::openAI:
    case AIProvider::claude: {
        const std::string name(rawValue(provider));
        const std::optional<std::string> secret = key(name);
        if (!secret)
            throw QuorilanthError("Configure " + name +
                                  " in Settings to use its integrated web search. Domain Mode "
                                  "remains available without keys.");
        const std::string instruction =
            "Search the live web for candidate OFFICIAL publisher or service websites matching: " +
            query +
            ". Use web search. Provide original official website sources, not aggregators. Do not "
            "assert MCP or API support has been verified. Distinguish software described through "
            "agent interfaces from software that itself implements MCP. Return concise "
            "descriptions with source citations.";
        if (provider == AIProvider::openAI)
            result = send(services_.openAI + "/v1/responses", "POST",
                          {{"Authorization", "Bearer " + *secret}},
                          modelRequest(R"({"store":false,"tools":[{"type":"web_search"}],)"
                                       R"("include":["web_search_call.action.sources"]})",
                                       model, instruction, false),
                          stop);
        else
            result =
                send(services_.anthropic + "/v1/messages", "POST",
                     {{"x-api-key", *secret}, {"anthropic-version", "2023-06-01"}},
                     modelRequest(R"({"max_tokens":3000,"tools":[{"type":)"
                                  R"("web_search_20250305","name":"web_search","max_uses":3}]})",
                                  model, instruction, true),
                     stop);
        break;
    }
    }

    const Evidence& answer = result.final();
    if (answer.statusCode != 200 || answer.error)
        throw QuorilanthError("Web research failed (HTTP " +
                              std::to_string(answer.statusCode.value_or(0)) +
                              "). Check provider model, search availability and API key.");
    std::vector<SearchCandidate> candidates =
        sourceCandidates(JSONValue::parse(answer.responseBody.view()), provider);
    return {std::move(candidates), std::move(result.exchanges)};
}

} // namespace quorilanth
