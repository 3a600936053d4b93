#include "core/report/ReportGenerator.h"

#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/documents/AgentSurfaceAssessment.h"
#include "core/model/ReportJSON.h"
#include "core/report/PDFCanvas.h"
#include "core/report/ReadinessScorer.h"

#include <cmath>
#include <limits>
#include <string_view>

namespace quorilanth::ReportGenerator {
namespace {

// Report texts separate items with a middle dot between blanks.
constexpr std::string_view dot = " \u00B7 ";
constexpr std::string_view redacted = "[REDACTED]";

// Lower-cased as the transport lower-cases response header names.
bool isHiddenResponseHeader(std::string_view name) {
    const std::string lower = unicodeText::lowercased(name);
    return lower == "set-cookie" || lower == "mcp-session-id";
}

// Tools, resources, prompts and tool results are listed under their servers,
// not among the inspected addresses.
bool isAddressNode(const GraphNode& node) {
    switch (node.kind) {
    case NodeKind::tool:
    case NodeKind::resource:
    case NodeKind::prompt:
    case NodeKind::content:
        return false;
    default:
        return true;
    }
}

std::string number(std::int64_t value) {
    return std::to_string(value);
}
std::string number(std::size_t value) {
    return std::to_string(value);
}

// "VALID · Streamable HTTP · protocol 2025-11-25 · 12 ms"
std::string serverStatusLine(const MCPServer& server) {
    std::string line(toString(server.status));
    line.append(dot).append(server.transport).append(dot).append("protocol ");
    line.append(server.version).append(dot).append(number(wholeMilliseconds(server.latencyMS)));
    return line.append(" ms");
}

std::string inventoryLine(const MCPServer& server) {
    std::string line = "Resources: " + number(server.resources.size());
    line.append(dot).append("Templates: ").append(number(server.resourceTemplates.size()));
    line.append(dot).append("Prompts: ").append(number(server.prompts.size()));
    return line;
}

// Text from a site, a server or a report file, as one line of Markdown that
// reads as text: markup characters are escaped (a backslash first, or it would
// undo the escapes after it), and a line break, carriage return included,
// would start a block of the text's own. In a table cell a bar would end the
// cell too.
std::string escaped(std::string_view value, bool inCell) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == '\n' || c == '\r') {
            out.push_back(' ');
            continue;
        }
        if (std::string_view("\\<>&[]").find(c) != std::string_view::npos || (inCell && c == '|'))
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}
std::string text(std::string_view value) {
    return escaped(value, false);
}
std::string cell(std::string_view value) {
    return escaped(value, true);
}

// A list entry whose text starts the line: what would open a block there (a
// heading, a nested list, a rule, a fence) is escaped too.
std::string listEntry(std::string_view value) {
    std::string line = "- " + text(value);
    constexpr std::size_t start = 2;
    std::size_t end = start;
    while (end < line.size() && end - start < 9 && line[end] >= '0' && line[end] <= '9')
        ++end;
    if (end > start) {
        // "1." and "1)" followed by a blank start an ordered list.
        if (end < line.size() && (line[end] == '.' || line[end] == ')') &&
            (end + 1 == line.size() || line[end + 1] == ' ' || line[end + 1] == '\t'))
            line.insert(end, 1, '\\');
    } else if (start < line.size() &&
               std::string_view("#-+*_=`~").find(line[start]) != std::string_view::npos) {
        line.insert(start, 1, '\\');
    }
    return line;
}

// The host of the scanned site for the title area; the whole domain text when
// it does not parse as a URL with a host.
std::string displayHost(const std::string& domain) {
    const auto url = Url::parse(domain);
    if (url && url->hasHost()) {
        std::string host = url->host();
        if (!host.empty()) return host;
    }
    return domain;
}

class Lines {
public:
    Lines& operator<<(std::string_view line) {
        text_.append(line).push_back('\n');
        return *this;
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
};

} // namespace

std::int64_t wholeMilliseconds(double milliseconds) noexcept {
    using Limits = std::numeric_limits<std::int64_t>;
    if (std::isnan(milliseconds)) return 0;
    // 2^63 is the first double beyond the range; -2^63 itself is in it.
    constexpr double beyond = 9223372036854775808.0;
    if (milliseconds >= beyond) return Limits::max();
    if (milliseconds < -beyond) return Limits::min();
    return static_cast<std::int64_t>(milliseconds);
}

namespace {

// The copy shares every body and value with the report; only header maps are new.
ScanReport withHiddenHeaders(const ScanReport& report) {
    ScanReport copy = report;
    for (Evidence& record : copy.evidence) {
        for (auto& [name, value] : record.responseHeaders) {
            if (isHiddenResponseHeader(name)) value = redacted;
        }
    }
    return copy;
}

} // namespace

std::string json(const ScanReport& report) {
    return ReportJSON::write(withHiddenHeaders(report));
}

void json(const ScanReport& report, const ReportJSON::Sink& sink) {
    ReportJSON::write(withHiddenHeaders(report), sink);
}

std::string markdown(const ScanReport& report) {
    Lines out;
    out << "# Quorilanth \u2014 Agentic Web Report"
        << "";
    out << "Domain: " + text(report.domain) << "";
    out << "Scanned: " + iso8601(report.startedAt) << "";
    out << "Agent Readiness: **" + number(report.score()) + "/100**" + std::string(dot) +
               "scoring v" + text(report.scoringVersion)
        << "";
    out << "Scope: public interfaces observed within a bounded scan. Declarations do not establish "
           "publisher authenticity or tool safety."
        << "";

    out << "## Score and recommendations"
        << "";
    out << "| Category | Earned | Available |"
        << "|---|---:|---:|";
    for (const std::string_view category : ReadinessScorer::categories) {
        const ReadinessScorer::CategoryPoints points =
            ReadinessScorer::categoryPoints(report, category);
        out << "| " + std::string(category) + " | " + number(points.earned) + " | " +
                   number(points.available) + " |";
    }
    out << "";
    for (const ScoreCheck& check : report.checks)
        out << listEntry(check.explanation);
    out << "";

    out << "## Inspected addresses (including unsuccessful probes)"
        << "";
    out << "| Type | Status | URL | Observations |"
        << "|---|---|---|---|";
    for (const GraphNode& node : report.nodes) {
        if (!isAddressNode(node)) continue;
        out << "| " + std::string(toString(node.kind)) + " | " +
                   std::string(toString(node.status)) + " | " + cell(node.url.value_or("")) +
                   " | " + cell(node.summary) + " |";
    }
    out << "";

    const AgentSurfaceAssessment assessment(report);
    out << "## Agent interface verification"
        << "";
    out << "MCP: " + std::string(toString(assessment.mcp)) +
               ". Agent APIs: " + std::string(toString(assessment.endpoints)) +
               ". Manifests: " + std::string(toString(assessment.manifests)) +
               ". Assistant documentation: " + std::string(toString(assessment.documentation)) + "."
        << "";
    out << "Documentation such as llms.txt is not an interactive service. Ordinary links and SEO "
           "indexes do not establish agent capabilities. Not found refers to checked locations; "
           "inconclusive means verification did not succeed."
        << "";

    out << "## Verified MCP servers"
        << "";
    bool anyValid = false;
    for (const MCPServer& server : report.servers) {
        if (server.status != FindingStatus::valid) continue;
        anyValid = true;
        out << "### " + text(server.url) << "" << text(serverStatusLine(server)) << "";
        // Pretty JSON starts every line with a blank or a bracket, so no text in it can
        // close the fence.
        out << "Capabilities:"
            << "```json" << server.capabilities.pretty() << "```"
            << "";
        out << "| Tool | Declared effect | Description |"
            << "|---|---|---|";
        for (const MCPTool& tool : server.tools) {
            out << "| " + cell(tool.name()) + " | " + std::string(toString(tool.safety())) + " | " +
                       cell(tool.description()) + " |";
        }
        out << "" << inventoryLine(server);
    }
    if (!anyValid) out << "No MCP server verified. See HTTP/protocol evidence for probe outcomes.";
    out << "";

    out << "## Issues and scan limits"
        << "";
    for (const std::string& notice : report.notices)
        out << listEntry(notice);
    for (const GraphNode& node : report.nodes) {
        for (const std::string& issue : node.issues)
            out << listEntry(node.label + ": " + issue);
    }
    out << "";

    out << "## Evidence"
        << "";
    out << number(report.evidence.size()) + " recorded HTTP exchanges" + std::string(dot) +
               number(report.nodes.size()) + " nodes" + std::string(dot) +
               number(report.edges.size()) + " evidence-backed relationships."
        << "";
    out << "Full request/response evidence, timings, graph and raw MCP messages are included in "
           "the "
           "JSON export.";
    return out.take();
}

namespace {

// Colours of the PDF report.
constexpr PDFColor ink{0.13, 0.18, 0.22, 1};
constexpr PDFColor accent{0.16, 0.63, 0.6, 1};
constexpr PDFColor white{1, 1, 1, 1};
constexpr PDFColor lightGrey{0.7, 0.7, 0.7, 1};
constexpr PDFColor grey{0.5, 0.5, 0.5, 1};
constexpr PDFColor warningBrown{162.0 / 255, 132.0 / 255, 94.0 / 255, 1};

constexpr double pageWidth = 595;
constexpr double pageHeight = 842;
constexpr double firstBand = 146;
constexpr double laterBand = 72;
constexpr PDFRect firstFrame{38, 48, 519, 622};
constexpr PDFRect laterFrame{38, 48, 519, 697};

constexpr PDFTextStyle style(double size, bool semibold, double paragraphSpacing,
                             PDFFont font = PDFFont::system, PDFColor color = ink) {
    PDFTextStyle s;
    s.font = font;
    s.size = size;
    s.semibold = semibold;
    s.color = color;
    s.paragraphSpacing = paragraphSpacing;
    s.lineSpacing = 3;
    return s;
}

constexpr PDFTextStyle firstHeading = style(13, true, 10);
constexpr PDFTextStyle sectionHeading = style(15, true, 10);
constexpr PDFTextStyle scopeText = style(10, false, 7);
constexpr PDFTextStyle checkEntry = style(9, false, 7);
constexpr PDFTextStyle nodeTitle = style(10, true, 10);
constexpr PDFTextStyle nodeURL = style(8, false, 7, PDFFont::monospaced);
constexpr PDFTextStyle smallText = style(9, false, 7);
constexpr PDFTextStyle serverURL = style(11, true, 10);
constexpr PDFTextStyle capabilitiesJSON = style(8, false, 7, PDFFont::monospaced);
constexpr PDFTextStyle toolTitle = style(10, true, 10, PDFFont::monospaced);
constexpr PDFTextStyle issueText = style(9, false, 7, PDFFont::system, warningBrown);
constexpr PDFTextStyle noticeText = style(10, false, 7, PDFFont::system, warningBrown);

// Single lines of the page furniture.
constexpr PDFTextStyle productName = style(18, true, 0, PDFFont::system, white);
constexpr PDFTextStyle tagLine = style(8, false, 0, PDFFont::system, accent);
constexpr PDFTextStyle hostLine = style(20, false, 0, PDFFont::system, white);
constexpr PDFTextStyle timeLine = style(9, false, 0, PDFFont::system, lightGrey);
constexpr PDFTextStyle scoreLine = style(40, false, 0, PDFFont::system, accent);
constexpr PDFTextStyle scoreCaption = style(8, false, 0, PDFFont::system, white);
constexpr PDFTextStyle footerLine = style(8, false, 0, PDFFont::system, grey);

std::string upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

PDFTextFlow reportFlow(const ScanReport& report) {
    PDFTextFlow flow;
    flow.append("OBSERVED READINESS", firstHeading);
    flow.append("This report describes public interfaces observed within a bounded scan. A "
                "publisher declaration is not proof of identity, and tool annotations are not a "
                "safety guarantee. Scoring v" +
                    report.scoringVersion + " awards only checks supported by recorded evidence.",
                scopeText);

    flow.append("Score evidence & recommendations", firstHeading);
    for (const ScoreCheck& check : report.checks) {
        flow.append(std::string(check.passed ? "PASS" : "REVIEW") + "   " + check.category +
                        std::string(dot) + number(check.earned()) + "/" + number(check.points) +
                        "\n" + check.explanation,
                    checkEntry);
    }

    flow.append("Discovered interfaces", sectionHeading);
    for (const GraphNode& node : report.nodes) {
        if (!isAddressNode(node)) continue;
        flow.append(std::string(toString(node.status)) + "  /  " + upper(toString(node.kind)) +
                        "  /  " + node.label,
                    nodeTitle);
        flow.append(node.url.value_or(""), nodeURL);
        flow.append(node.summary, smallText);
        for (const std::string& issue : node.issues)
            flow.append(issue, issueText);
    }

    flow.append("MCP servers & capabilities", sectionHeading);
    for (const MCPServer& server : report.servers) {
        if (server.status != FindingStatus::valid) continue;
        flow.append(server.url, serverURL);
        flow.append(serverStatusLine(server) + "\n" + inventoryLine(server), smallText);
        flow.append(server.capabilities.pretty(), capabilitiesJSON);
        for (const MCPTool& tool : server.tools) {
            flow.append(std::string(tool.name()) + "  [" + std::string(toString(tool.safety())) +
                            "]",
                        toolTitle);
            flow.append(tool.description(), smallText);
        }
        for (const std::string& issue : server.issues)
            flow.append(issue, issueText);
    }

    flow.append("Scan scope & provenance", sectionHeading);
    flow.append("Started: " + iso8601(report.startedAt) + "\nFinished: " +
                    (report.finishedAt ? iso8601(*report.finishedAt) : "incomplete") + "\n" +
                    number(report.evidence.size()) + " HTTP exchanges" + std::string(dot) +
                    number(report.nodes.size()) + " observations" + std::string(dot) +
                    number(report.edges.size()) + " evidence-backed relationships.",
                scopeText);
    for (const std::string& notice : report.notices)
        flow.append(notice, noticeText);
    flow.append("The JSON export contains request/response bodies, headers, protocol messages, "
                "timings, graph relationships and source locators. Session and cookie headers are "
                "redacted in exported reports.",
                scopeText);
    return flow;
}

} // namespace

std::string pdf(const ScanReport& report) {
    PDFCanvas canvas(pageWidth, pageHeight);
    PDFTextFlow flow = reportFlow(report);
    for (int page = 1; !flow.empty(); ++page) {
        const bool first = page == 1;
        canvas.beginPage();
        canvas.fillRect({0, 0, pageWidth, pageHeight}, white);
        const double band = first ? firstBand : laterBand;
        canvas.fillRect({0, pageHeight - band, pageWidth, band}, ink);
        canvas.drawLine("Quorilanth", productName, 38, 807);
        canvas.drawLine("AGENTIC WEB REPORT", tagLine, 38, 788);
        if (first) {
            canvas.drawLine(displayHost(report.domain), hostLine, 38, 747);
            canvas.drawLine(iso8601(report.startedAt), timeLine, 38, 720);
            canvas.drawLine(number(report.score()), scoreLine, 460, 748);
            canvas.drawLine("/ 100 READINESS", scoreCaption, 460, 726);
        }
        // A frame that takes no line at all ends the document, so a line too
        // tall for any page cannot loop forever.
        if (canvas.drawFrame(flow, first ? firstFrame : laterFrame) == 0) break;
        canvas.drawLine("Quorilanth" + std::string(dot) + "evidence first", footerLine, 38, 23);
        canvas.drawLine(std::to_string(page), footerLine, 545, 23);
        canvas.endPage();
        if (flow.atEnd()) break;
    }
    return canvas.finish();
}

} // namespace quorilanth::ReportGenerator
