#pragma once

// Reports for the export tests and the export benchmark. Every id and date is
// fixed so that the exports are reproducible byte for byte.

#include "core/model/ReportJSON.h"
#include "support/SampleReports.h"

#include <string>

namespace quorilanth::test {

inline Date fixedDate(const char* text) {
    return parseISO8601(text).value();
}

inline ScanReport reportFor(std::string domain) {
    ScanReport report;
    report.id = "6F1C2A4E-0B7D-4C1E-9A3F-2D5B8E7C1A90";
    report.domain = std::move(domain);
    report.startedAt = fixedDate("2026-03-01T09:15:00Z");
    return report;
}

inline Evidence exchange(std::string id, std::string url, std::string method, int status) {
    Evidence record;
    record.id = std::move(id);
    record.timestamp = fixedDate("2026-03-01T09:15:01Z");
    record.url = std::move(url);
    record.method = std::move(method);
    record.statusCode = status;
    record.durationMS = 41.5;
    record.tlsVerified = true;
    return record;
}

inline GraphNode node(std::string id, NodeKind kind, std::string label,
                      std::optional<std::string> url, FindingStatus status, std::string summary,
                      std::vector<std::string> evidenceIDs = {}) {
    GraphNode n(std::move(id), kind, std::move(label), std::move(url), status);
    n.summary = std::move(summary);
    n.evidenceIDs = std::move(evidenceIDs);
    return n;
}

inline MCPServer server(std::string url, FindingStatus status, double latencyMS) {
    MCPServer s(std::move(url));
    s.status = status;
    s.version = "2025-11-25";
    s.latencyMS = latencyMS;
    s.capabilities = JSONValue::parse(R"({"tools":{"listChanged":true},"resources":{}})");
    return s;
}

// Everything the Markdown and PDF exports show, with the awkward cases inside:
// bars and line feeds in table cells, a node without URL, kinds that are not
// listed, a valid server without tools, an invalid server, a 12.9 ms latency.
inline ScanReport richReport() {
    return ReportJSON::read(samples::readFixture("report/rich-report.json"));
}

} // namespace quorilanth::test
