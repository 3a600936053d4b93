#include "ai/ResearchJSON.h"

#include "core/base/PrettyJSONWriter.h"
#include "core/model/ReportJSON.h"

namespace quorilanth::ResearchJSON {

namespace {

void writeCandidate(PrettyJSONWriter& w, const SearchCandidate& c) {
    w.beginObject();
    w.key("domain"), w.string(c.domain);
    w.key("id"), w.integer(c.id);
    w.key("reason"), w.string(c.reason);
    w.key("selectedByAI"), w.boolean(c.selectedByAI);
    w.key("snippet"), w.string(c.snippet);
    w.key("sourceURL"), w.string(c.sourceURL);
    w.key("title"), w.string(c.title);
    w.endObject();
}

using namespace JSONRecord;

SearchCandidate readCandidateAt(const JSONValue& value, const Path& path) {
    const Members m(value, path);
    SearchCandidate c;
    c.id = m.required("id", readInteger);
    c.title = m.required("title", readString);
    c.sourceURL = m.required("sourceURL", readString);
    c.snippet = m.required("snippet", readString);
    c.domain = m.required("domain", readString);
    c.reason = m.required("reason", readString);
    c.selectedByAI = m.required("selectedByAI", readBool);
    return c;
}

AIProvider readProvider(const JSONValue& value, const Path& path) {
    const std::string_view text = readText(value, path);
    if (std::optional<AIProvider> provider = aiProviderFromRawValue(text)) return *provider;
    fail(path, "\"" + std::string(text) + "\" is not a known provider.");
}

JSONValue parsed(std::string_view text, std::string_view document) {
    try {
        return JSONValue::parse(text);
    } catch (const JSONParseError& error) {
        throw QuorilanthError("Cannot read " + std::string(document) + ": " + error.message());
    }
}

constexpr std::string_view kCandidate = "the search candidate";
constexpr std::string_view kResult = "the research result";

} // namespace

std::string write(const SearchCandidate& candidate) {
    std::string out;
    PrettyJSONWriter w(out);
    writeCandidate(w, candidate);
    return out;
}

std::string write(const ResearchResult& result) {
    std::string out;
    PrettyJSONWriter w(out);
    w.beginObject();
    w.key("candidates"), w.beginArray();
    for (const SearchCandidate& candidate : result.candidates)
        writeCandidate(w, candidate);
    w.endArray();
    w.key("model"), w.string(result.model);
    w.key("notice"), w.string(result.notice);
    w.key("provider"), w.string(rawValue(result.provider));
    w.key("query"), w.string(result.query);
    w.key("rawClassification"), w.string(result.rawClassification);
    w.key("searchEvidence"), w.beginArray();
    for (const Evidence& exchange : result.searchEvidence)
        ReportJSON::writeEvidence(w, exchange);
    w.endArray();
    w.key("timestamp"), w.date(result.timestamp);
    w.endObject();
    return out;
}

SearchCandidate readCandidate(std::string_view text) {
    const Path root{nullptr, "$", 0, false, kCandidate};
    return readCandidateAt(parsed(text, kCandidate), root);
}

ResearchResult readResult(std::string_view text) {
    const JSONValue document = parsed(text, kResult);
    const Path root{nullptr, "$", 0, false, kResult};
    const Members m(document, root);
    ResearchResult result;
    result.query = m.required("query", readString);
    result.provider = m.required("provider", readProvider);
    result.model = m.required("model", readString);
    result.timestamp = m.required("timestamp", readDate);
    result.candidates = m.required("candidates", listOf<SearchCandidate>(readCandidateAt));
    result.rawClassification = m.required("rawClassification", readString);
    result.searchEvidence =
        m.required("searchEvidence", listOf<Evidence>(ReportJSON::readEvidence));
    result.notice = m.required("notice", readString);
    return result;
}

} // namespace quorilanth::ResearchJSON
