#pragma once

#include "core/base/JSONValue.h"
#include "core/base/PatternSearch.h"
#include "core/documents/LinkRules.h"
#include "core/model/Evidence.h"
#include "core/model/FindingStatus.h"
#include "core/model/NodeKind.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quorilanth {

// One reference that a document declares.
struct DiscoveredLink {
    // An absolute http(s) URL, or a URL template as written.
    std::string url;
    // "HTTP Link", "declares", "canonical", "declares template", "sitemap entry",
    // "HTML metadata", "text reference", or "HTML " followed by the rel value.
    std::string relation;
    // Where in the document the reference stands.
    std::string locator;
    NodeKind kind = NodeKind::content;

    friend bool operator==(const DiscoveredLink&, const DiscoveredLink&) = default;
};

std::size_t hashValue(const DiscoveredLink& link) noexcept;

// What the parser makes of one fetched location.
struct ParsedDocument {
    // Without duplicates and sorted by url once the content was read.
    std::vector<DiscoveredLink> links;
    // The whole decoded value for JSON, an object of page facts for HTML, null otherwise.
    JSONValue metadata;
    std::vector<std::string> issues;
    FindingStatus status = FindingStatus::pending;
    std::string summary;
    bool isAgentDocument = false;
};

namespace AgentManifestParser {

// The most links one document contributes, counted before duplicates go.
inline constexpr std::size_t maxLinks = 300;
// A JSON walk reads this many elements of each array...
inline constexpr std::size_t maxArrayElements = 100;
// ...and containers at most this many levels below the root.
inline constexpr int maxDepth = 11;

// Turns one recorded exchange into its verdict, metadata and declared links.
// Never throws: every problem becomes the status, the summary or an issue.
ParsedDocument parse(const Evidence& evidence);

// The link rules belong to the parser's vocabulary; callers may name them here.
using LinkRules::discoveryHint;
using LinkRules::kind;
using LinkRules::relevant;
using PatternSearch::captures;

} // namespace AgentManifestParser

} // namespace quorilanth

template <> struct std::hash<quorilanth::DiscoveredLink> {
    std::size_t operator()(const quorilanth::DiscoveredLink& link) const noexcept {
        return quorilanth::hashValue(link);
    }
};
