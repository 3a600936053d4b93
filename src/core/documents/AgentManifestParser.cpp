#include "core/documents/AgentManifestParser.h"

#include "core/base/Hashing.h"
#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/documents/MarkupDocument.h"

#include <algorithm>
#include <array>
#include <exception>
#include <unordered_set>
#include <utility>

namespace quorilanth {

std::size_t hashValue(const DiscoveredLink& link) noexcept {
    std::size_t seed = 0;
    detail::hashField(seed, link.url);
    detail::hashField(seed, link.relation);
    detail::hashField(seed, link.locator);
    detail::hashField(seed, link.kind);
    return seed;
}

namespace AgentManifestParser {
namespace {

using unicodeText::lowercased;

constexpr std::array<std::string_view, 9> interfaceKeys{
    "endpoints",  "capabilities",        "tools", "skills", "openapi", "swagger", "mcp",
    "interfaces", "additionalinterfaces"};
constexpr std::array<std::string_view, 4> identityKeys{"name", "publisher", "schema_version",
                                                       "protocolversion"};
constexpr std::array<std::string_view, 4> pageFactKeys{"description", "og:site_name", "og:locale",
                                                       "og:url"};
constexpr std::array<std::string_view, 6> neverLinkKeys{"@context", "$schema", "icon",
                                                        "icon_url", "image",   "download_url"};
constexpr std::array<std::string_view, 6> neverLinkEndings{".dmg", ".zip", ".pkg",
                                                           ".png", ".jpg", ".svg"};

constexpr std::string_view linkHeaderPattern = R"(<([^>]+)>\s*;([^,]*))";
constexpr std::string_view textReferencePattern = R"(https?://[^\s<>\)\]\"`]+)";

template <std::size_t N>
bool isOneOf(std::string_view word, const std::array<std::string_view, N>& list) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool isWebReference(std::string_view text) {
    return text.starts_with("https://") || text.starts_with("http://") || text.starts_with("/");
}

// The document under construction together with what every reader needs.
struct Builder {
    const Url& base;
    ParsedDocument& doc;

    bool full() const { return doc.links.size() >= maxLinks; }

    void add(std::string_view candidate, std::string_view relation, std::string locator,
             std::string_view hint) {
        if (full()) {
            return;
        }
        const bool hasBraces = contains(candidate, "{") && contains(candidate, "}");
        if (hasBraces && (candidate.starts_with("https://") || candidate.starts_with("/"))) {
            std::string text;
            if (candidate.starts_with("/")) {
                // The base's port is deliberately not carried over.
                text = (base.hasScheme() ? std::string(base.scheme()) : std::string("https")) +
                       "://" + base.host();
            }
            text += candidate;
            doc.links.push_back(
                {std::move(text), "declares template", std::move(locator), NodeKind::endpoint});
            return;
        }
        if (candidate.starts_with("#") || contains(candidate, "{") || contains(candidate, "}")) {
            return;
        }
        if (!base.hasScheme()) {
            return;
        }
        const auto resolved = base.resolve(candidate);
        if (!resolved || (resolved->scheme() != "https" && resolved->scheme() != "http")) {
            return;
        }
        const std::string& absolute = resolved->text();
        NodeKind linkKind = kind(absolute, hint);
        doc.links.push_back({absolute, std::string(relation), std::move(locator), linkKind});
    }

    // Collects the URL-bearing string members of a JSON value. Recursion is
    // bounded by maxDepth, so even a hostile document cannot exhaust the stack.
    void walk(const JSONValue& value, const std::string& path, int depth,
              bool agentReferencesOnly) {
        if (depth > maxDepth || doc.links.size() > maxLinks - 1) {
            return;
        }
        if (value.isArray()) {
            const auto& elements = value.array();
            const std::size_t count = std::min(elements.size(), maxArrayElements);
            for (std::size_t i = 0; i < count; ++i) {
                walk(elements[i], path + "/" + std::to_string(i), depth + 1, agentReferencesOnly);
            }
            return;
        }
        const JSONValue::Object* members = value.object();
        if (members == nullptr) {
            return;
        }
        for (const auto& [key, member] : *members) {
            // Nothing more can be added; the rest of a huge object is not worth reading.
            if (full()) {
                return;
            }
            std::string childPath = path + "/" + escapePointer(key);
            const std::optional<std::string_view> text = member.string();
            if (!text) {
                walk(member, childPath, depth + 1, agentReferencesOnly);
                continue;
            }
            if (!isWebReference(*text) || text->starts_with("//")) {
                continue;
            }
            const std::string lowerKey = lowercased(key);
            if (agentReferencesOnly && !relevant(*text) && !discoveryHint(lowerKey)) {
                continue;
            }
            if (isOneOf(lowerKey, neverLinkKeys)) {
                continue;
            }
            const std::string lowerText = lowercased(*text);
            if (std::any_of(neverLinkEndings.begin(), neverLinkEndings.end(),
                            [&](std::string_view ending) { return lowerText.ends_with(ending); })) {
                continue;
            }
            add(*text, key == "canonical_url" ? "canonical" : "declares", std::move(childPath),
                key);
        }
    }

    static std::string escapePointer(std::string_view key) {
        std::string out;
        out.reserve(key.size());
        for (char c : key) {
            if (c == '~') {
                out += "~0";
            } else if (c == '/') {
                out += "~1";
            } else {
                out += c;
            }
        }
        return out;
    }
};

std::optional<JSONValue> decodeJSON(std::string_view text, std::string* error) {
    try {
        return JSONValue::parse(text);
    } catch (const QuorilanthError& e) {
        if (error != nullptr) {
            *error = e.message();
        }
    } catch (const std::exception& e) {
        // Only the decoder's own error is expected; anything else (memory) is
        // still a document we could not read, never a reason to fail the scan.
        if (error != nullptr) {
            *error = e.what();
        }
    }
    return std::nullopt;
}

void readJSON(Builder& b, std::string_view body, std::string_view contentType,
              std::string_view rawContentType) {
    ParsedDocument& doc = b.doc;
    if (!contains(contentType, "json")) {
        doc.issues.push_back("Expected a JSON content type; received " +
                             std::string(rawContentType) + ".");
    }
    std::string error;
    std::optional<JSONValue> value = decodeJSON(body, &error);
    if (value && !value->isObject() && !(value->isArray() && !value->array().empty())) {
        value.reset();
        error = "Expected a structured JSON object or array.";
    }
    if (!value) {
        doc.status = FindingStatus::invalid;
        doc.issues.push_back("JSON parse failed: " + error);
        return;
    }
    doc.metadata = std::move(*value);
    b.walk(doc.metadata, "", 0, false);
    doc.status = doc.issues.empty() ? FindingStatus::found : FindingStatus::invalid;
    const JSONValue* schema = doc.metadata.find("$schema");
    doc.summary = "JSON parsed · " + std::to_string(doc.links.size()) + " declared references" +
                  (schema != nullptr && schema->isString()
                       ? " · declared schema retained (not fetched automatically)"
                       : " · no authoritative schema declared");
}

void readSitemap(Builder& b, std::string_view body) {
    ParsedDocument& doc = b.doc;
    MarkupParseResult parsed = MarkupDocument::parseXML(body);
    if (!parsed.document) {
        doc.status = FindingStatus::invalid;
        doc.issues = {"XML parse failed."};
        return;
    }
    for (const MarkupNode& node : parsed.document->elementsNamed({"loc"})) {
        // Once the list is full nothing more can be added; the rest is not worth classifying.
        if (b.full()) {
            break;
        }
        const std::string text = node.stringValue();
        if (relevant(text)) {
            b.add(text, "sitemap entry", "//loc", "");
        }
    }
    doc.status = FindingStatus::valid;
    doc.summary = "XML parsed; relevant sitemap references extracted";
}

using FoldedAttributes = std::vector<std::pair<std::string, std::string>>;

// Attribute names lower-cased; when two differ only in case the first one wins.
FoldedAttributes foldedAttributes(const HTMLHandler::Attributes& attributes) {
    FoldedAttributes folded;
    folded.reserve(attributes.size());
    for (const auto& [name, value] : attributes) {
        // The HTML reader already lower-cases ASCII names; fold only what is left.
        const bool alreadyLower = std::none_of(name.begin(), name.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c & 0x80) != 0;
        });
        std::string lower = alreadyLower ? std::string(name) : lowercased(name);
        const bool seen = std::any_of(folded.begin(), folded.end(),
                                      [&](const auto& a) { return a.first == lower; });
        if (!seen) {
            folded.emplace_back(std::move(lower), std::string(value));
        }
    }
    return folded;
}

template <typename List> const auto* attribute(const List& attributes, std::string_view name) {
    for (const auto& attribute : attributes) {
        if (attribute.first == name) {
            return &attribute.second;
        }
    }
    return static_cast<decltype(&attributes.front().second)>(nullptr);
}

// Collects a page's facts and references as the HTML reader streams it. The
// elements of interest are handled in document order: link, a and meta at their
// start, an ld+json script at its end (its content is raw text, so no other
// element can start before it closes).
class PageReader : public HTMLHandler {
public:
    explicit PageReader(Builder& b) : b_(b) {}

    void startElement(std::string_view name, const HTMLHandler::Attributes& attributes) override {
        if (titleDepth_ > 0) {
            ++titleDepth_;
        } else if (name == "title" && !titleSeen_) {
            titleSeen_ = true;
            titleDepth_ = 1;
        }
        if (name == "html" && !rootSeen_) {
            rootSeen_ = true;
            if (const auto* lang = attribute(attributes, "lang")) {
                facts_.insert_or_assign("language", JSONValue(*lang));
            }
        } else if (name == "script") {
            const auto* type = attribute(attributes, "type");
            if (type != nullptr && *type == "application/ld+json") {
                script_ = foldedAttributes(attributes);
                scriptText_.clear();
                inScript_ = true;
            }
        } else if (name == "link" || name == "a" || name == "meta") {
            element(name, foldedAttributes(attributes), nullptr);
        }
    }

    void endElement(std::string_view name) override {
        if (titleDepth_ > 0 && --titleDepth_ == 0) {
            facts_.insert_or_assign("title", JSONValue(titleText_));
        }
        if (inScript_ && name == "script") {
            inScript_ = false;
            element(name, script_, &scriptText_);
        }
    }

    void text(std::string_view text) override {
        if (titleDepth_ > 0) {
            titleText_ += text;
        }
        if (inScript_) {
            scriptText_ += text;
        }
    }

    JSONValue facts() {
        if (hasLanguages_) {
            facts_.insert_or_assign("languages", JSONValue(std::move(languages_)));
        }
        return JSONValue(std::move(facts_));
    }

private:
    void element(std::string_view name, const FoldedAttributes& attributes,
                 const std::string* scriptText) {
        if (scriptText != nullptr) {
            std::optional<JSONValue> value = decodeJSON(*scriptText, nullptr);
            if (!value) {
                b_.doc.issues.push_back("Malformed application/ld+json block.");
            } else {
                facts_.insert_or_assign("jsonLD", *value);
                b_.walk(*value, "/html/jsonLD", 0, true);
            }
        }
        if (name == "meta" && !attributes.empty()) {
            meta(attributes);
        }
        const std::string* href = attribute(attributes, "href");
        if (href == nullptr) {
            return;
        }
        const std::string* relAttribute = attribute(attributes, "rel");
        const std::string* type = attribute(attributes, "type");
        const std::string rel = relAttribute != nullptr ? *relAttribute : "link";
        if (rel == "canonical") {
            const auto resolved = b_.base.hasScheme() ? b_.base.resolve(*href) : std::nullopt;
            facts_.insert_or_assign("canonical_url",
                                    JSONValue(resolved ? resolved->text() : *href));
        }
        if (const std::string* hreflang = attribute(attributes, "hreflang")) {
            languages_.emplace_back(*hreflang);
            hasLanguages_ = true;
        }
        if (!b_.full() && (relevant(*href) || discoveryHint(rel))) {
            const std::string hint = (type != nullptr ? *type : "") + " " +
                                     (relAttribute != nullptr ? *relAttribute : "");
            const std::string element = name.empty() ? std::string("link") : std::string(name);
            b_.add(*href, "HTML " + rel, element + "[href=" + *href + "]", hint);
        }
    }

    void meta(const FoldedAttributes& attributes) {
        const std::string* key = attribute(attributes, "name");
        if (key == nullptr) {
            key = attribute(attributes, "property");
        }
        const std::string* content = attribute(attributes, "content");
        if (key == nullptr || content == nullptr) {
            return;
        }
        if (isOneOf(*key, pageFactKeys)) {
            facts_.insert_or_assign(*key, JSONValue(*content));
        }
        if (isWebReference(*content) && !b_.full() && (relevant(*key) || relevant(*content))) {
            b_.add(*content, "HTML metadata", "meta[" + *key + "]", *key);
        }
    }

    Builder& b_;
    JSONValue::Object facts_;
    JSONValue::Array languages_;
    bool hasLanguages_ = false;
    bool titleSeen_ = false;
    int titleDepth_ = 0;
    std::string titleText_;
    bool rootSeen_ = false;
    bool inScript_ = false;
    FoldedAttributes script_;
    std::string scriptText_;
};

void readPage(Builder& b, std::string_view body) {
    ParsedDocument& doc = b.doc;
    PageReader reader(b);
    if (const auto failure = readHTML(body, reader)) {
        doc.status = FindingStatus::invalid;
        doc.issues = {"HTML parse failed: " + *failure};
        return;
    }
    doc.metadata = reader.facts();
    doc.status = FindingStatus::valid;
    doc.summary = "HTML inspected · " + std::to_string(doc.links.size()) + " relevant links";
}

void readText(Builder& b, std::string_view body) {
    for (const auto& match : captures(textReferencePattern, body)) {
        if (b.full()) {
            break;
        }
        if (!match.empty() && relevant(match[0])) {
            b.add(match[0], "text reference", "text URL: " + match[0], "");
        }
    }
    b.doc.status = FindingStatus::found;
    b.doc.summary = "Text read · " + std::to_string(b.doc.links.size()) +
                    " references; no normative schema validation";
}

std::string_view header(const Evidence& evidence, std::string_view name) {
    const auto it = evidence.responseHeaders.find(name);
    return it == evidence.responseHeaders.end() ? std::string_view() : std::string_view(it->second);
}

bool agentDocumentVerdict(ParsedDocument& doc, const Evidence& evidence, std::string_view path,
                          std::string_view contentType) {
    if (contains(contentType, "json") || path.ends_with(".json")) {
        const JSONValue::Object* members = doc.metadata.object();
        if (members == nullptr) {
            return false;
        }
        std::vector<std::string> keys;
        keys.reserve(members->size());
        for (const auto& member : *members) {
            keys.push_back(lowercased(member.first));
        }
        const auto anyOf = [&](const auto& list) {
            return std::any_of(keys.begin(), keys.end(),
                               [&](const std::string& k) { return isOneOf(k, list); });
        };
        if (anyOf(interfaceKeys)) {
            return true;
        }
        return kind(evidence.url, "") == NodeKind::manifest && anyOf(identityKeys);
    }
    if (path == "/llms.txt" || path == "/llms-full.txt") {
        return !unicodeText::isBlank(evidence.responseBody.view()) &&
               (contains(contentType, "text/plain") || contains(contentType, "markdown"));
    }
    std::string_view trimmed = path;
    while (!trimmed.empty() && trimmed.front() == '/') {
        trimmed.remove_prefix(1);
    }
    while (!trimmed.empty() && trimmed.back() == '/') {
        trimmed.remove_suffix(1);
    }
    if (trimmed == "agents") {
        const bool declaresInterface =
            std::any_of(doc.links.begin(), doc.links.end(), [](const DiscoveredLink& l) {
                return l.kind == NodeKind::manifest || l.kind == NodeKind::mcp ||
                       l.kind == NodeKind::endpoint;
            });
        if (!declaresInterface) {
            doc.status = FindingStatus::unsupported;
            doc.issues.push_back("HTML is reachable, but contains no verifiable agent interface "
                                 "references (possible fallback page).");
        }
        return declaresInterface;
    }
    return false;
}

void removeDuplicatesAndSort(std::vector<DiscoveredLink>& links) {
    std::unordered_set<DiscoveredLink> seen;
    std::vector<DiscoveredLink> unique;
    unique.reserve(links.size());
    for (DiscoveredLink& link : links) {
        if (seen.insert(link).second) {
            unique.push_back(std::move(link));
        }
    }
    std::stable_sort(
        unique.begin(), unique.end(),
        [](const DiscoveredLink& a, const DiscoveredLink& b) { return a.url < b.url; });
    links = std::move(unique);
}

} // namespace

ParsedDocument parse(const Evidence& evidence) {
    ParsedDocument doc;
    const auto finish = [&](FindingStatus status, std::vector<std::string> issues,
                            std::string summary = {}) {
        doc.status = status;
        doc.issues = std::move(issues);
        doc.summary = std::move(summary);
        return doc;
    };
    if (evidence.error && evidence.error->starts_with("Blocked:")) {
        return finish(FindingStatus::blocked, {*evidence.error});
    }
    if (!evidence.statusCode) {
        return finish(FindingStatus::unreachable, {evidence.error.value_or("No HTTP response")});
    }
    const std::int64_t code = *evidence.statusCode;
    const std::string codeText = "HTTP " + std::to_string(code);
    if (code == 401 || code == 403) {
        return finish(FindingStatus::found,
                      {codeText + ": authentication or access authorization required."});
    }
    if (code == 404 || code == 410) {
        return finish(FindingStatus::notFound, {}, codeText);
    }
    if (evidence.error || code < 200 || code > 299 || evidence.truncated) {
        // A truncated body is never parsed: half a document says nothing reliable.
        return finish(FindingStatus::invalid, {evidence.error.value_or(codeText)});
    }
    const std::optional<Url> base = Url::parse(evidence.url);
    if (!base) {
        return finish(FindingStatus::invalid, {});
    }
    const std::string path = lowercased(base->path());
    const std::string_view rawContentType = header(evidence, "content-type");
    const std::string contentType = lowercased(rawContentType);
    const std::string_view body = evidence.responseBody.view();
    Builder builder{*base, doc};

    const std::string_view linkHeader = header(evidence, "link");
    if (evidence.responseHeaders.count("link") != 0) {
        for (const auto& match : captures(linkHeaderPattern, linkHeader)) {
            if (match.size() >= 3 && (relevant(match[1]) || discoveryHint(match[2]))) {
                builder.add(match[1], "HTTP Link", "response.headers.link", match[2]);
            }
        }
    }

    if (contains(contentType, "json") || path.ends_with(".json")) {
        readJSON(builder, body, contentType, rawContentType);
    } else if (contains(contentType, "html")) {
        if (path.ends_with(".txt")) {
            doc.status = FindingStatus::invalid;
            doc.issues.push_back("Expected text; server returned HTML (possible soft 404).");
            return doc;
        }
        readPage(builder, body);
    } else if (contains(contentType, "xml") || contains(path, "sitemap")) {
        readSitemap(builder, body);
    } else if (contains(contentType, "text/plain") || contains(contentType, "markdown")) {
        readText(builder, body);
    } else {
        doc.status = FindingStatus::unsupported;
        doc.summary = "Unsupported content type: " + std::string(rawContentType);
    }

    if (doc.status == FindingStatus::found || doc.status == FindingStatus::valid) {
        doc.isAgentDocument = agentDocumentVerdict(doc, evidence, path, contentType);
    }
    removeDuplicatesAndSort(doc.links);
    return doc;
}

} // namespace AgentManifestParser
} // namespace quorilanth
