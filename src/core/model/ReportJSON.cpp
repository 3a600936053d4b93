#include "core/model/ReportJSON.h"

#include "core/base/JSONRecord.h"
#include "core/base/PrettyJSONWriter.h"

#include <cmath>
#include <functional>

namespace quorilanth::ReportJSON {

namespace {

// ---- writing --------------------------------------------------------------
// Members go out in ascending byte order of their keys; each function below
// lists them so by hand.

void writeStrings(PrettyJSONWriter& w, const std::vector<std::string>& texts) {
    w.beginArray();
    for (const std::string& text : texts)
        w.string(text);
    w.endArray();
}

void writeValues(PrettyJSONWriter& w, const std::vector<JSONValue>& values) {
    w.beginArray();
    for (const JSONValue& value : values)
        w.value(value);
    w.endArray();
}

void writeHeaders(PrettyJSONWriter& w, const HeaderFields& headers) {
    w.beginObject();
    for (const auto& [name, value] : headers) {
        w.key(name);
        w.string(value);
    }
    w.endObject();
}

void writeNode(PrettyJSONWriter& w, const GraphNode& node) {
    w.beginObject();
    w.key("evidenceIDs"), writeStrings(w, node.evidenceIDs);
    w.key("id"), w.string(node.id);
    if (node.isAgentDocument) w.key("isAgentDocument"), w.boolean(*node.isAgentDocument);
    w.key("issues"), writeStrings(w, node.issues);
    w.key("kind"), w.string(toString(node.kind));
    w.key("label"), w.string(node.label);
    w.key("metadata"), w.value(node.metadata);
    w.key("status"), w.string(toString(node.status));
    w.key("summary"), w.string(node.summary);
    if (node.url) w.key("url"), w.string(*node.url);
    w.endObject();
}

void writeEdge(PrettyJSONWriter& w, const GraphEdge& edge) {
    w.beginObject();
    w.key("evidenceID"), w.string(edge.evidenceID);
    w.key("locator"), w.string(edge.locator);
    w.key("relation"), w.string(edge.relation);
    w.key("source"), w.string(edge.source);
    w.key("target"), w.string(edge.target);
    w.endObject();
}

} // namespace

void writeEvidence(PrettyJSONWriter& w, const Evidence& e) {
    w.beginObject();
    w.key("durationMS"), w.number(e.durationMS);
    if (e.error) w.key("error"), w.string(*e.error);
    w.key("id"), w.string(e.id);
    w.key("method"), w.string(e.method);
    if (e.remoteIP) w.key("remoteIP"), w.string(*e.remoteIP);
    if (e.requestBody) w.key("requestBody"), w.string(*e.requestBody);
    w.key("requestHeaders"), writeHeaders(w, e.requestHeaders);
    w.key("responseBody"), w.string(e.responseBody);
    w.key("responseHeaders"), writeHeaders(w, e.responseHeaders);
    if (e.statusCode) w.key("statusCode"), w.integer(*e.statusCode);
    w.key("timestamp"), w.date(e.timestamp);
    w.key("tlsVerified"), w.boolean(e.tlsVerified);
    w.key("truncated"), w.boolean(e.truncated);
    w.key("url"), w.string(e.url);
    w.endObject();
}

namespace {

void writeTool(PrettyJSONWriter& w, const MCPTool& tool) {
    w.beginObject();
    w.key("definition"), w.value(tool.definition);
    w.key("serverURL"), w.string(tool.serverURL);
    w.endObject();
}

void writeServer(PrettyJSONWriter& w, const MCPServer& s) {
    w.beginObject();
    w.key("capabilities"), w.value(s.capabilities);
    w.key("info"), w.value(s.info);
    w.key("issues"), writeStrings(w, s.issues);
    w.key("latencyMS"), w.number(s.latencyMS);
    w.key("prompts"), writeValues(w, s.prompts);
    w.key("resourceTemplates"), writeValues(w, s.resourceTemplates);
    w.key("resources"), writeValues(w, s.resources);
    w.key("status"), w.string(toString(s.status));
    w.key("tools");
    w.beginArray();
    for (const MCPTool& tool : s.tools)
        writeTool(w, tool);
    w.endArray();
    w.key("transport"), w.string(s.transport);
    w.key("url"), w.string(s.url);
    w.key("version"), w.string(s.version);
    w.endObject();
}

void writeCheck(PrettyJSONWriter& w, const ScoreCheck& c) {
    w.beginObject();
    w.key("category"), w.string(c.category);
    w.key("evidenceIDs"), writeStrings(w, c.evidenceIDs);
    w.key("explanation"), w.string(c.explanation);
    w.key("id"), w.string(c.id);
    w.key("passed"), w.boolean(c.passed);
    w.key("points"), w.integer(c.points);
    w.endObject();
}

template <typename T, typename WriteOne>
void writeList(PrettyJSONWriter& w, const std::vector<T>& items, WriteOne writeOne) {
    w.beginArray();
    for (const T& item : items)
        writeOne(w, item);
    w.endArray();
}

// ---- reading --------------------------------------------------------------

using namespace JSONRecord;

SharedString readSharedString(const JSONValue& value, const Path& path) {
    if (std::optional<SharedString> text = value.sharedString()) return std::move(*text);
    wrongType(value, path, "a string");
}

std::vector<JSONValue> readValues(const JSONValue& value, const Path& path) {
    return readList<JSONValue>(value, path, [](const JSONValue& v, const Path&) { return v; });
}

HeaderFields readHeaders(const JSONValue& value, const Path& path) {
    HeaderFields headers;
    for (const auto& [name, field] : readObject(value, path))
        headers.emplace_hint(headers.end(), name, readString(field, path.member(name)));
    return headers;
}

JSONValue readAny(const JSONValue& value, const Path&) {
    return value;
}

NodeKind readKind(const JSONValue& value, const Path& path) {
    const std::string_view text = readText(value, path);
    if (std::optional<NodeKind> kind = nodeKindFromString(text)) return *kind;
    fail(path, "\"" + std::string(text) + "\" is not a known node kind.");
}

FindingStatus readStatus(const JSONValue& value, const Path& path) {
    const std::string_view text = readText(value, path);
    if (std::optional<FindingStatus> status = findingStatusFromString(text)) return *status;
    fail(path, "\"" + std::string(text) + "\" is not a known status.");
}

GraphNode readNode(const JSONValue& value, const Path& path) {
    Members m(value, path);
    GraphNode node;
    node.id = m.required("id", readString);
    node.kind = m.required("kind", readKind);
    node.label = m.required("label", readString);
    node.url = m.optional("url", readString);
    node.status = m.required("status", readStatus);
    node.summary = m.required("summary", readString);
    node.isAgentDocument = m.optional("isAgentDocument", readBool);
    node.evidenceIDs = m.required("evidenceIDs", readStrings);
    node.metadata = m.required("metadata", readAny);
    node.issues = m.required("issues", readStrings);
    return node;
}

GraphEdge readEdge(const JSONValue& value, const Path& path) {
    Members m(value, path);
    GraphEdge edge;
    edge.source = m.required("source", readString);
    edge.target = m.required("target", readString);
    edge.relation = m.required("relation", readString);
    edge.evidenceID = m.required("evidenceID", readString);
    edge.locator = m.required("locator", readString);
    return edge;
}

Evidence readEvidenceAt(const JSONValue& value, const Path& path) {
    Members m(value, path);
    Evidence e;
    e.id = m.required("id", readString);
    e.timestamp = m.required("timestamp", readDate);
    e.url = m.required("url", readString);
    e.method = m.required("method", readString);
    e.requestHeaders = m.required("requestHeaders", readHeaders);
    e.requestBody = m.optional("requestBody", readString);
    e.statusCode = m.optional("statusCode", readInteger);
    e.responseHeaders = m.required("responseHeaders", readHeaders);
    // Taken over from the parsed text without a copy of the body.
    e.responseBody = m.required("responseBody", readSharedString);
    e.durationMS = m.required("durationMS", readDouble);
    e.remoteIP = m.optional("remoteIP", readString);
    e.tlsVerified = m.required("tlsVerified", readBool);
    e.error = m.optional("error", readString);
    e.truncated = m.required("truncated", readBool);
    return e;
}

MCPTool readTool(const JSONValue& value, const Path& path) {
    Members m(value, path);
    return MCPTool(m.required("serverURL", readString), m.required("definition", readAny));
}

MCPServer readServer(const JSONValue& value, const Path& path) {
    Members m(value, path);
    MCPServer s;
    s.url = m.required("url", readString);
    s.transport = m.required("transport", readString);
    s.version = m.required("version", readString);
    s.info = m.required("info", readAny);
    s.capabilities = m.required("capabilities", readAny);
    s.status = m.required("status", readStatus);
    s.latencyMS = m.required("latencyMS", readDouble);
    s.tools = m.required("tools", [](const JSONValue& v, const Path& p) {
        return readList<MCPTool>(v, p, readTool);
    });
    s.resources = m.required("resources", readValues);
    s.resourceTemplates = m.required("resourceTemplates", readValues);
    s.prompts = m.required("prompts", readValues);
    s.issues = m.required("issues", readStrings);
    return s;
}

ScoreCheck readCheck(const JSONValue& value, const Path& path) {
    Members m(value, path);
    ScoreCheck c;
    c.id = m.required("id", readString);
    c.category = m.required("category", readString);
    c.points = m.required("points", readInteger);
    c.passed = m.required("passed", readBool);
    c.explanation = m.required("explanation", readString);
    c.evidenceIDs = m.required("evidenceIDs", readStrings);
    return c;
}

void writeReport(PrettyJSONWriter& w, const ScanReport& report) {
    w.beginObject();
    w.key("cancelled"), w.boolean(report.cancelled);
    w.key("checks"), writeList(w, report.checks, writeCheck);
    w.key("domain"), w.string(report.domain);
    w.key("edges"), writeList(w, report.edges, writeEdge);
    w.key("evidence"), writeList(w, report.evidence, writeEvidence);
    if (report.finishedAt) w.key("finishedAt"), w.date(*report.finishedAt);
    w.key("id"), w.string(report.id);
    w.key("nodes"), writeList(w, report.nodes, writeNode);
    w.key("notices"), writeStrings(w, report.notices);
    w.key("scoringVersion"), w.string(report.scoringVersion);
    w.key("servers"), writeList(w, report.servers, writeServer);
    w.key("startedAt"), w.date(report.startedAt);
    w.endObject();
}

ScanReport readReport(const std::function<JSONValue()>& parse) {
    JSONValue document;
    try {
        document = parse();
    } catch (const JSONParseError& error) {
        throw QuorilanthError("Cannot read the report: " + error.message());
    }
    const Path root;
    Members m(document, root);
    ScanReport report;
    report.id = m.required("id", readString);
    report.domain = m.required("domain", readString);
    report.startedAt = m.required("startedAt", readDate);
    report.finishedAt = m.optional("finishedAt", readDate);
    report.nodes = m.required("nodes", listOf<GraphNode>(readNode));
    report.edges = m.required("edges", listOf<GraphEdge>(readEdge));
    report.evidence = m.required("evidence", listOf<Evidence>(readEvidenceAt));
    report.servers = m.required("servers", listOf<MCPServer>(readServer));
    report.checks = m.required("checks", listOf<ScoreCheck>(readCheck));
    report.notices = m.required("notices", readStrings);
    report.cancelled = m.required("cancelled", readBool);
    report.scoringVersion = m.required("scoringVersion", readString);
    return report;
}

} // namespace

Evidence readEvidence(const JSONValue& value, const JSONRecord::Path& path) {
    return readEvidenceAt(value, path);
}

std::string write(const ScanReport& report) {
    std::string out;
    std::size_t bodies = 0;
    for (const Evidence& e : report.evidence)
        bodies += e.responseBody.size();
    out.reserve(bodies + bodies / 16 + 64 * 1024);
    PrettyJSONWriter w(out);
    writeReport(w, report);
    return out;
}

void write(const ScanReport& report, const Sink& sink) {
    std::string buffer;
    buffer.reserve(2 * PrettyJSONWriter::kPiece);
    PrettyJSONWriter w(buffer, sink);
    writeReport(w, report);
    w.finish();
}

ScanReport read(std::string_view bytes) {
    return readReport([bytes] { return JSONValue::parse(bytes, PrettyJSONWriter::kMaxNesting); });
}

ScanReport read(const JSONValue::Reader& reader) {
    return readReport(
        [&reader] { return JSONValue::parse(reader, PrettyJSONWriter::kMaxNesting); });
}

} // namespace quorilanth::ReportJSON
