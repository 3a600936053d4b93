#include "core/report/ReadinessScorer.h"

#include "core/base/Url.h"
#include "core/documents/AgentSurfaceAssessment.h"

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace quorilanth::ReadinessScorer {
namespace {

using Nodes = std::vector<const GraphNode*>;

struct CheckText {
    std::string_view id;
    std::string_view category;
    std::int64_t points;
    std::string_view pass;
    std::string_view fail;
};

// Fail texts begin with U+2212 MINUS SIGN, not an ASCII hyphen.
constexpr std::array<CheckText, 16> checkTexts{{
    {"discovery.links", "Discovery", 8, "Agent discovery links observed in HTML/headers.",
     "\u22128: no agent discovery links observed in HTML/headers."},
    {"discovery.entry", "Discovery", 7, "Readable agent entry document found.",
     "\u22127: no readable agent entry document found."},
    {"structured.json", "Structured Data", 8, "Structured JSON document parsed.",
     "\u22128: no parseable structured manifest/catalog observed."},
    {"structured.identity", "Structured Data", 7,
     "Structured identity fields are present (self-declared).",
     "\u22127: no structured identity fields observed."},
    {"mcp.protocol", "MCP", 12, "MCP version and capabilities exchanged successfully.",
     "\u221212: no successful MCP protocol negotiation."},
    {"mcp.list", "MCP", 8, "MCP inventory returned actual entries.",
     "\u22128: no MCP tools/resources/prompts enumerated."},
    {"provenance.domain", "Provenance", 8,
     "Publisher and canonical domain declared consistently with origin.",
     "\u22128: no origin-consistent publisher/canonical-domain declaration."},
    {"provenance.canonical", "Provenance", 7, "Canonical URL observed in fetched content.",
     "\u22127: no canonical URL observed in fetched content."},
    {"localization.declared", "Localization", 5, "Language metadata observed.",
     "\u22125: no language metadata observed."},
    {"localization.multiple", "Localization", 5,
     "At least two languages declared; translation quality is not scored.",
     "\u22125: fewer than two languages declared."},
    {"reliability.tls", "Reliability", 6,
     "HTTPS certificate validation succeeded for a fetched document.",
     "\u22126: no successful HTTPS document fetch with certificate validation."},
    {"reliability.cache", "Reliability", 4, "HTTP cache validators observed.",
     "\u22124: no ETag or Last-Modified observed."},
    {"reliability.links", "Reliability", 5,
     "Fetched declared interfaces have no observed failures (within scan budget).",
     "\u22125: no declared interface was verified. Expose a reachable discovery reference."},
    {"actions.schemas", "Actions", 5, "Tools expose input schemas.",
     "\u22125: no tool input schema observed."},
    {"actions.safety", "Actions", 3,
     "Tool effect annotations observed; these remain untrusted declarations.",
     "\u22123: no tool effect annotations observed."},
    {"actions.result", "Actions", 2, "An explicitly requested tool call returned a valid result.",
     "\u22122: no successful explicitly requested tool call observed; scanning never invokes tools "
     "automatically."},
}};

constexpr std::string_view failingDeclarationsPrefix =
    "\u22125: repair or remove these failing declarations: ";
constexpr std::size_t namedFailingDeclarations = 4;

// The evidence of a set of nodes: every id once, in plain code-point order.
std::vector<std::string> ids(const Nodes& nodes) {
    std::vector<std::string_view> all;
    for (const GraphNode* node : nodes) {
        all.insert(all.end(), node->evidenceIDs.begin(), node->evidenceIDs.end());
    }
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return {all.begin(), all.end()};
}

template <typename Predicate> Nodes filter(const Nodes& nodes, Predicate keep) {
    Nodes kept;
    std::copy_if(nodes.begin(), nodes.end(), std::back_inserter(kept),
                 [&](const GraphNode* n) { return keep(*n); });
    return kept;
}

bool isFoundOrValid(FindingStatus status) {
    return status == FindingStatus::found || status == FindingStatus::valid;
}

bool hasString(const GraphNode& node, std::string_view key) {
    return node.metadata[key].isString();
}

bool hasNonEmptyArray(const JSONValue& value, std::string_view key) {
    const JSONValue& member = value[key];
    return member.isArray() && !member.array().empty();
}

std::optional<std::string> originHost(const std::string& domain) {
    const auto url = Url::parse(domain);
    if (!url || !url->hasHost() || url->host().empty()) {
        return std::nullopt;
    }
    return url->host();
}

bool isLinkTarget(const GraphNode& node) {
    const NodeKind k = node.kind;
    return !AgentSurfaceAssessment::isAuxiliary(node) &&
           (k == NodeKind::manifest || k == NodeKind::mcp || k == NodeKind::discovery ||
            k == NodeKind::endpoint);
}

std::vector<std::string> discoveryLinks(const ScanReport& report) {
    std::unordered_map<std::string_view, bool> qualifyingTarget;
    for (const GraphNode& node : report.nodes) {
        bool& qualifies = qualifyingTarget[node.id];
        qualifies = qualifies || isLinkTarget(node);
    }
    std::vector<std::string> evidence;
    for (const GraphEdge& edge : report.edges) {
        if (edge.relation != "HTTP Link" && !edge.relation.starts_with("HTML")) {
            continue;
        }
        const auto it = qualifyingTarget.find(edge.target);
        if (it != qualifyingTarget.end() && it->second) {
            evidence.push_back(edge.evidenceID);
        }
    }
    return evidence;
}

bool declaresLanguage(const GraphNode& node) {
    const JSONValue& m = node.metadata;
    return m.isObject() && (hasNonEmptyArray(m, "languages") ||
                            (m["about"].isObject() && hasNonEmptyArray(m["about"], "languages")) ||
                            m["language"].isString());
}

bool declaresSeveralLanguages(const GraphNode& node) {
    std::unordered_set<std::string_view> distinct;
    for (const JSONValue* list :
         {&node.metadata["languages"], &node.metadata["about"]["languages"]}) {
        for (const JSONValue& element : list->array()) {
            const std::optional<std::string_view> text = element.string();
            if (text && *text != "x-default") {
                distinct.insert(*text);
            }
        }
    }
    return distinct.size() > 1;
}

bool isFailing(FindingStatus status) {
    return status == FindingStatus::invalid || status == FindingStatus::unreachable ||
           status == FindingStatus::blocked || status == FindingStatus::notFound;
}

} // namespace

std::unordered_set<std::string_view> toolAnswers(const ScanReport& report) {
    std::unordered_set<std::string_view> answers;
    for (const GraphEdge& edge : report.edges)
        if (edge.relation == "returned" || edge.relation == "contains") answers.insert(edge.target);
    return answers;
}

std::vector<ScoreCheck> score(const ScanReport& report) {
    Nodes all;
    all.reserve(report.nodes.size());
    for (const GraphNode& node : report.nodes) {
        all.push_back(&node);
    }
    const Nodes observed = filter(all, [](const GraphNode& n) {
        return isFoundOrValid(n.status) && !n.summary.starts_with("Declared reference");
    });
    AgentSurfaceAssessment::Verifier verifier(report);
    const Nodes verified =
        filter(observed, [&](const GraphNode& n) { return verifier.isVerifiedAgentDocument(n); });
    const Nodes structured = filter(verified, [](const GraphNode& n) {
        return n.kind == NodeKind::manifest && n.metadata.isObject();
    });
    const auto ofKind = [](std::initializer_list<NodeKind> kinds) {
        return [kinds](const GraphNode& n) {
            return std::find(kinds.begin(), kinds.end(), n.kind) != kinds.end();
        };
    };

    std::array<std::vector<std::string>, 16> evidence;
    evidence[0] = discoveryLinks(report);
    evidence[1] = ids(filter(verified, ofKind({NodeKind::discovery})));
    evidence[2] = ids(structured);
    evidence[3] = ids(filter(structured, [](const GraphNode& n) {
        return hasString(n, "name") || hasString(n, "publisher");
    }));
    evidence[4] = ids(filter(all, [](const GraphNode& n) {
        return n.kind == NodeKind::mcp && n.status == FindingStatus::valid;
    }));
    evidence[5] = ids(filter(all, [&](const GraphNode& n) {
        return ofKind({NodeKind::tool, NodeKind::resource, NodeKind::prompt})(n) &&
               isFoundOrValid(n.status);
    }));
    // An origin without a host matches nothing: a document that declares no
    // canonical domain must not pass merely because the origin has none either.
    const std::optional<std::string> host = originHost(report.domain);
    evidence[6] = ids(filter(structured, [&](const GraphNode& n) {
        const std::optional<std::string_view> declared = n.metadata["canonical_domain"].string();
        return hasString(n, "publisher") && host && declared && *declared == *host;
    }));
    const std::unordered_set<std::string_view> answered = toolAnswers(report);
    const Nodes served =
        filter(observed, [&](const GraphNode& n) { return answered.count(n.id) == 0; });
    evidence[7] = ids(filter(served, [](const GraphNode& n) {
        return n.kind != NodeKind::manifest && hasString(n, "canonical_url");
    }));
    evidence[8] = ids(filter(served, declaresLanguage));
    evidence[9] = ids(filter(served, declaresSeveralLanguages));
    for (const Evidence& record : report.evidence) {
        if (record.tlsVerified && record.method == "GET" && record.statusCode &&
            *record.statusCode >= 200 && *record.statusCode <= 299) {
            evidence[10].push_back(record.id);
        }
        if (record.responseHeaders.count("etag") != 0 ||
            record.responseHeaders.count("last-modified") != 0) {
            evidence[11].push_back(record.id);
        }
    }

    std::unordered_set<std::string_view> declaredTargets;
    for (const GraphEdge& edge : report.edges) {
        if (edge.relation == "declares" || edge.relation == "HTTP Link") {
            declaredTargets.insert(edge.target);
        }
    }
    const auto isDeclared = [&](const GraphNode& n) { return declaredTargets.count(n.id) != 0; };
    const Nodes failing =
        filter(all, [&](const GraphNode& n) { return isDeclared(n) && isFailing(n.status); });
    std::string failingExplanation;
    if (failing.empty()) {
        evidence[12] = ids(filter(observed, isDeclared));
    } else {
        failingExplanation = failingDeclarationsPrefix;
        for (std::size_t i = 0; i < std::min(failing.size(), namedFailingDeclarations); ++i) {
            if (i > 0) {
                failingExplanation += "; ";
            }
            failingExplanation += failing[i]->url.value_or(failing[i]->label);
            failingExplanation += " [" + std::string(toString(failing[i]->status)) + "]";
        }
    }

    evidence[13] = ids(filter(all, [](const GraphNode& n) {
        return n.kind == NodeKind::tool && n.metadata["inputSchema"].isObject();
    }));
    std::unordered_set<std::string> declaredSafety;
    for (const MCPServer& server : report.servers) {
        for (const MCPTool& tool : server.tools) {
            if (tool.safety() != ToolSafety::unknown) {
                declaredSafety.insert(tool.id());
            }
        }
    }
    evidence[14] =
        ids(filter(all, [&](const GraphNode& n) { return declaredSafety.count(n.id) != 0; }));
    evidence[15] = ids(filter(all, [](const GraphNode& n) {
        return n.id.find("#result:") != std::string::npos && n.status == FindingStatus::valid &&
               n.metadata.isObject() && hasNonEmptyArray(n.metadata, "content");
    }));

    std::vector<ScoreCheck> checks;
    checks.reserve(checkTexts.size());
    for (std::size_t i = 0; i < checkTexts.size(); ++i) {
        const CheckText& text = checkTexts[i];
        const bool passed = !evidence[i].empty();
        std::string explanation(passed ? text.pass : text.fail);
        if (i == 12 && !failingExplanation.empty()) {
            explanation = failingExplanation;
        }
        checks.push_back(ScoreCheck{std::string(text.id), std::string(text.category), text.points,
                                    passed, std::move(explanation), std::move(evidence[i])});
    }
    return checks;
}

namespace {

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    return sum;
}

} // namespace

std::int64_t CategoryPoints::percent() const noexcept {
    // Twice the width, so that the product by 100 cannot overflow.
    __extension__ using Wide = __int128;
    const Wide quotient = Wide(earned) * 100 / std::max<std::int64_t>(available, 1);
    return std::int64_t(std::clamp<Wide>(quotient, std::numeric_limits<std::int64_t>::min(),
                                         std::numeric_limits<std::int64_t>::max()));
}

double CategoryPoints::fraction() const noexcept {
    return double(earned) / double(std::max<std::int64_t>(available, 1));
}

CategoryPoints categoryPoints(const ScanReport& report, std::string_view category) noexcept {
    CategoryPoints points;
    for (const ScoreCheck& check : report.checks) {
        if (check.category != category) continue;
        points.available = saturatingAdd(points.available, check.points);
        points.earned = saturatingAdd(points.earned, check.earned());
    }
    return points;
}

} // namespace quorilanth::ReadinessScorer
