#include "core/guided/GuidedReplies.h"

#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/guided/GuidedText.h"
#include "core/mcp/JSONSchemaValidator.h"
#include "core/mcp/MCPClient.h"
#include "core/mcp/ToolInput.h"
#include "core/net/NetworkPolicy.h"

#include <algorithm>
#include <array>
#include <unordered_set>

namespace quorilanth {

// A reply as decoded once; the sentence of an incomplete one is written in
// the language of the moment it is shown.
struct GuidedReplies::Decoded {
    Evidence evidence;
    JSONValue value;
    bool isError = true;
    bool incomplete = true;
};

struct GuidedReplies::Cached {
    std::string serverURL;
    std::string key;
    JSONValue schema;
    std::vector<ParameterSuggestion> suggestions;
};

namespace {

using guidedText::Pair;

constexpr Pair kIncomplete{
    "Non è arrivata una risposta completa. Puoi riprovare o consultare i dettagli tecnici.",
    "A complete answer did not arrive. Try again or inspect the technical details."};

struct SuggestionKey {
    std::string_view key;
    std::array<std::string_view, 3> types; // object types whose "id" counts; empty slots unused
};

constexpr std::array<SuggestionKey, 4> kSuggestionKeys{{
    {"app_id", {"app"}},
    {"article_id", {"article"}},
    {"content_id", {"app", "article", "content"}},
    {"slug", {}},
}};

constexpr std::array<std::string_view, 7> kFollowed{"results", "items", "apps",   "articles",
                                                    "data",    "app",   "article"};
constexpr std::size_t kMaxWalkDepth = 7;
constexpr std::size_t kMaxGathered = 100;
constexpr std::size_t kMaxElements = 100;
// Characters of a title a menu shows; a megabyte title would also make every
// comparison of the sort read a megabyte.
constexpr std::size_t kMaxTitleCharacters = 200;

constexpr std::array<std::string_view, 4> kPageKeys{"official_page_url", "canonical_url", "website",
                                                    "url"};
constexpr std::array<std::string_view, 6> kRefusedExtensions{"dmg", "zip", "pkg",
                                                             "exe", "app", "gz"};

GuidedReplies::Decoded decode(const ToolCall& call) {
    GuidedReplies::Decoded decoded{call.answer, {}, true, true};
    const Evidence& answer = call.answer;
    const bool complete = !answer.error && !answer.truncated && answer.statusCode &&
                          *answer.statusCode >= 200 && *answer.statusCode <= 299;
    if (!complete) return decoded;
    JSONValue reply;
    try {
        reply = MCPClient::decodeReply(answer.responseBody.view(), answer.contentType(),
                                       call.body["id"]);
    } catch (const QuorilanthError&) {
        return decoded;
    }
    decoded.incomplete = false;
    if (!reply["error"].isNull()) {
        decoded.value = reply["error"];
        return decoded;
    }
    const JSONValue& result = reply["result"];
    decoded.isError = result["isError"].boolean().value_or(false);
    if (!result["structuredContent"].isNull()) {
        decoded.value = result["structuredContent"];
        return decoded;
    }
    JSONValue::Array texts;
    for (const JSONValue& item : result["content"].array()) {
        std::optional<std::string_view> type = item["type"].string();
        if (type && *type == "text" && item["text"].isString()) texts.push_back(item["text"]);
    }
    if (texts.size() == 1) {
        try {
            decoded.value = JSONValue::parse(*texts.front().string());
        } catch (const JSONParseError&) {
            decoded.value = texts.front();
        }
    } else {
        decoded.value = JSONValue(std::move(texts));
    }
    return decoded;
}

GuidedReply replyOf(const GuidedReplies::Decoded& decoded, Language language) {
    if (decoded.incomplete)
        return GuidedReply{decoded.evidence, JSONValue(kIncomplete.in(language)), true};
    return GuidedReply{decoded.evidence, decoded.value, decoded.isError};
}

const SuggestionKey* suggestionKey(std::string_view key) {
    const auto found = std::find_if(kSuggestionKeys.begin(), kSuggestionKeys.end(),
                                    [&](const SuggestionKey& entry) { return entry.key == key; });
    return found == kSuggestionKeys.end() ? nullptr : &*found;
}

// Gathers identifiers from one answer into the list shared by all answers.
class Walk {
public:
    Walk(const SuggestionKey& key, const JSONValue& schema, std::vector<ParameterSuggestion>& list)
        : key_(key), schema_(schema), list_(list) {}

    void walk(const JSONValue& value, const std::string& evidenceID, std::size_t depth) {
        if (depth > kMaxWalkDepth || list_.size() >= kMaxGathered) return;
        if (!value.isObject()) {
            const JSONValue::Array& elements = value.array();
            const std::size_t count = std::min(elements.size(), kMaxElements);
            for (std::size_t i = 0; i < count; ++i)
                walk(elements[i], evidenceID, depth + 1);
            return;
        }
        if (const std::optional<std::string_view> candidate = candidateIn(value);
            candidate && !candidate->empty() && valid(*candidate)) {
            std::optional<std::string_view> title = value["name"].string();
            if (!title) title = value["title"].string();
            list_.push_back({std::string(*candidate),
                             guidedText::capped(title ? *title : *candidate, kMaxTitleCharacters),
                             evidenceID});
        }
        for (std::string_view member : kFollowed)
            if (const JSONValue* inner = value.find(member)) walk(*inner, evidenceID, depth + 1);
    }

private:
    std::optional<std::string_view> candidateIn(const JSONValue& object) const {
        if (std::optional<std::string_view> own = object[key_.key].string()) return own;
        std::optional<std::string_view> type = object["type"].string();
        if (!type) return std::nullopt;
        for (std::string_view counted : key_.types)
            if (!counted.empty() && counted == *type) return object["id"].string();
        return std::nullopt;
    }

    // Only the schema's errors refuse a value: a keyword the checker cannot
    // verify says nothing against it.
    bool valid(std::string_view candidate) const {
        return JSONSchemaValidator::validate(JSONValue(candidate), schema_).errors.empty();
    }

    const SuggestionKey& key_;
    const JSONValue& schema_;
    std::vector<ParameterSuggestion>& list_;
};

} // namespace

GuidedReplies::GuidedReplies(const ScanReport& report)
    : calls_(report), offered_(GuidedPresentation::tools(report)) {}

GuidedReplies::~GuidedReplies() = default;

const GuidedReplies::Decoded* GuidedReplies::decoded(const MCPTool& tool) const {
    const ToolCall* call = calls_.latest(tool);
    if (!call) return nullptr;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = replies_.find(call); found != replies_.end())
            return found->second.get();
    }
    // Decoding takes long for a large answer: other callers go on meanwhile,
    // and if one decoded the same answer first, its copy is kept.
    auto fresh = std::make_unique<Decoded>(decode(*call));
    std::lock_guard lock(mutex_);
    std::unique_ptr<Decoded>& slot = replies_[call];
    if (!slot) slot = std::move(fresh);
    return slot.get();
}

std::optional<GuidedReply> GuidedReplies::lastReply(const MCPTool& tool, Language language) const {
    const Decoded* found = decoded(tool);
    if (!found) return std::nullopt;
    return replyOf(*found, language);
}

std::vector<ParameterSuggestion> GuidedReplies::suggestions(std::string_view key,
                                                            const MCPTool& tool) const {
    const SuggestionKey* suggested = suggestionKey(key);
    const JSONValue& schema = ToolInput::property(tool, key);
    if (!suggested || GuidedPresentation::fieldType(schema) != "string") return {};

    {
        std::lock_guard lock(mutex_);
        for (const Cached& cached : suggestions_)
            if (cached.serverURL == tool.serverURL && cached.key == key && cached.schema == schema)
                return cached.suggestions;
    }

    std::vector<ParameterSuggestion> list;
    Walk walk(*suggested, schema, list);
    // A server listing one name twice has one answer for both: walking it
    // again would only spend the gathering limit on duplicates.
    std::unordered_set<const Decoded*> walked;
    for (const MCPTool& offered : offered_) {
        // Once the list is full no answer is walked, so none needs decoding.
        if (list.size() >= kMaxGathered) break;
        if (offered.serverURL != tool.serverURL) continue;
        const Decoded* reply = decoded(offered);
        if (!reply || reply->isError || !walked.insert(reply).second) continue;
        walk.walk(reply->value, reply->evidence.id, 0);
    }
    // Owned copies: a view into an entry would change under it once the entry
    // is moved out, for short values held inside the string itself.
    std::unordered_set<std::string> seen;
    std::vector<ParameterSuggestion> unique;
    for (ParameterSuggestion& entry : list)
        if (seen.insert(entry.value).second) unique.push_back(std::move(entry));
    const unicodeText::StandardOrder order;
    std::stable_sort(unique.begin(), unique.end(),
                     [&](const auto& a, const auto& b) { return order(a.title, b.title); });
    std::lock_guard lock(mutex_);
    suggestions_.push_back({tool.serverURL, std::string(key), schema, unique});
    return unique;
}

namespace GuidedPresentation {

std::optional<GuidedReply> lastReply(const MCPTool& tool, const ScanReport& report,
                                     Language language) {
    const std::optional<ToolCall> call = ToolCalls::latest(report, tool);
    if (!call) return std::nullopt;
    return replyOf(decode(*call), language);
}

std::vector<ParameterSuggestion> suggestions(std::string_view key, const MCPTool& tool,
                                             const ScanReport& report) {
    if (!suggestionKey(key) || fieldType(ToolInput::property(tool, key)) != "string") return {};
    return GuidedReplies(report).suggestions(key, tool);
}

std::optional<std::string> pageURL(const JSONValue& value) {
    // Its own policy, Developer Mode off, whatever the user has switched on:
    // a page offered to a reader is never a plain-HTTP or private address.
    const NetworkPolicy policy(false);
    for (std::string_view key : kPageKeys) {
        std::optional<std::string_view> text = value[key].string();
        if (!text) continue;
        std::string url;
        try {
            url = policy.validate(*text);
        } catch (const QuorilanthError&) {
            continue;
        }
        const std::optional<Url> parsed = Url::parse(url);
        if (!parsed) continue;
        const std::string last = parsed->lastPathComponent();
        const std::size_t dot = last.rfind('.');
        // A leading dot names a hidden file, not an extension.
        const std::string extension = dot == std::string::npos || dot == 0
                                          ? ""
                                          : unicodeText::lowercased(last.substr(dot + 1));
        if (std::find(kRefusedExtensions.begin(), kRefusedExtensions.end(), extension) !=
            kRefusedExtensions.end())
            continue;
        return url;
    }
    return std::nullopt;
}

} // namespace GuidedPresentation
} // namespace quorilanth
