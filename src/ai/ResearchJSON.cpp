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

// One record's members, each required with its type; `where` is the record's
// place in the document ("$", "$.candidates[1]").
class Record {
public:
    Record(const JSONValue& value, std::string_view document, std::string where)
        : value_(value), document_(document), where_(std::move(where)) {
        if (!value.isObject()) fail(where_, "expected an object.");
    }

    const JSONValue& member(std::string_view key) const {
        const JSONValue* found = value_.find(key);
        if (!found) fail(where_, "missing key \"" + std::string(key) + "\".");
        return *found;
    }
    std::string text(std::string_view key) const {
        const std::optional<std::string_view> text = member(key).string();
        if (!text) wrong(key, "a string");
        return std::string(*text);
    }
    std::int64_t integer(std::string_view key) const {
        const std::optional<std::int64_t> whole = member(key).integer();
        if (!whole) wrong(key, "a whole number");
        return *whole;
    }
    bool flag(std::string_view key) const {
        const std::optional<bool> flag = member(key).boolean();
        if (!flag) wrong(key, "a boolean");
        return *flag;
    }
    const JSONValue::Array& list(std::string_view key) const {
        if (!member(key).isArray()) wrong(key, "an array");
        return member(key).array();
    }
    std::string place(std::string_view key) const { return where_ + "." + std::string(key); }
    // A text that stands for a value of another type, read by `read`.
    template <typename Read>
    auto textAs(std::string_view key, Read read, std::string_view kind) const {
        const std::string text = this->text(key);
        if (auto value = read(text)) return *value;
        fail(place(key), "\"" + text + "\" is not " + std::string(kind) + ".");
    }

private:
    [[noreturn]] void fail(const std::string& where, const std::string& fault) const {
        throw QuorilanthError("Cannot read " + std::string(document_) + ": " + where + ": " +
                              fault);
    }
    [[noreturn]] void wrong(std::string_view key, std::string_view expected) const {
        fail(place(key), "expected " + std::string(expected) + ".");
    }

    const JSONValue& value_;
    std::string_view document_;
    std::string where_;
};

SearchCandidate candidateOf(const JSONValue& value, std::string_view document, std::string where) {
    const Record r(value, document, std::move(where));
    SearchCandidate c;
    c.id = r.integer("id");
    c.title = r.text("title");
    c.sourceURL = r.text("sourceURL");
    c.snippet = r.text("snippet");
    c.domain = r.text("domain");
    c.reason = r.text("reason");
    c.selectedByAI = r.flag("selectedByAI");
    return c;
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
    return candidateOf(parsed(text, kCandidate), kCandidate, "$");
}

ResearchResult readResult(std::string_view text) {
    const JSONValue document = parsed(text, kResult);
    const Record r(document, kResult, "$");
    ResearchResult result;
    result.query = r.text("query");
    result.provider = r.textAs("provider", aiProviderFromRawValue, "a known provider");
    result.model = r.text("model");
    result.timestamp =
        r.textAs("timestamp", parseISO8601, "a date of the form 2026-01-31T08:05:09Z");
    const JSONValue::Array& candidates = r.list("candidates");
    for (std::size_t i = 0; i < candidates.size(); ++i)
        result.candidates.push_back(candidateOf(
            candidates[i], kResult, r.place("candidates") + "[" + std::to_string(i) + "]"));
    result.rawClassification = r.text("rawClassification");
    const JSONValue::Array& exchanges = r.list("searchEvidence");
    for (std::size_t i = 0; i < exchanges.size(); ++i)
        result.searchEvidence.push_back(ReportJSON::readEvidence(
            exchanges[i], kResult, r.place("searchEvidence") + "[" + std::to_string(i) + "]"));
    result.notice = r.text("notice");
    return result;
}

} // namespace quorilanth::ResearchJSON
