#pragma once

#include "core/model/ScanReport.h"

#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorilanth {

// The plain verdict on what a scanned site offers to software agents, computed on
// demand from a finished or partial report and never stored.
class AgentSurfaceAssessment {
public:
    enum class Presence { found, notFound, inconclusive };

    // Answers isVerifiedAgentDocument for many nodes of one report: the evidence
    // is indexed once and each exchange is parsed again at most once. It refers to
    // the report it was made from, which must outlive it and stay unchanged.
    class Verifier {
    public:
        explicit Verifier(const ScanReport& report);
        bool isVerifiedAgentDocument(const GraphNode& node);
        // The latest GET exchange among the node's evidence, whatever its outcome.
        const Evidence* latestGet(const GraphNode& node) const;

    private:
        const ScanReport& report_;
        // Evidence id -> index of the last GET record with that id.
        mutable std::unordered_map<std::string_view, std::size_t> lastGet_;
        mutable bool indexed_ = false;
        // Evidence index -> the parser's agent-document verdict for it.
        std::unordered_map<std::size_t, bool> verdicts_;
    };

    Presence mcp = Presence::inconclusive;
    Presence endpoints = Presence::inconclusive;
    Presence manifests = Presence::inconclusive;
    Presence documentation = Presence::inconclusive;
    // Verified agent documents, one per address, in node order.
    std::vector<GraphNode> documents;

    explicit AgentSurfaceAssessment(const ScanReport& report);

    bool hasInteractiveServices() const noexcept {
        return mcp == Presence::found || endpoints == Presence::found;
    }
    bool hasUnresolvedChecks() const noexcept;

    // Robots and sitemap files, which never count as agent surfaces.
    static bool isAuxiliary(const GraphNode& node);
    // Whether an observed document of the report counts as a verified agent document.
    static bool isVerifiedAgentDocument(const GraphNode& node, const ScanReport& report);
};

// Raw values "found", "notFound", "inconclusive"; any other text gives none.
std::string_view toString(AgentSurfaceAssessment::Presence presence) noexcept;
std::optional<AgentSurfaceAssessment::Presence> presenceFromString(std::string_view text) noexcept;

} // namespace quorilanth
