#pragma once

#include "ai/AIProvider.h"
#include "core/base/Date.h"
#include "core/model/Evidence.h"

#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// One candidate site of an AI site search. Identified in lists by id; equal when
// every field is.
struct SearchCandidate {
    // The reason of a search hit that no model has looked at yet.
    static constexpr std::string_view awaitingClassification =
        "Search result \u00B7 awaiting classification";

    std::int64_t id = 0;
    std::string title;
    std::string sourceURL;
    std::string snippet;
    // "https://" and the host: what the workspace scans.
    std::string domain;
    std::string reason;
    bool selectedByAI = false;

    friend bool operator==(const SearchCandidate&, const SearchCandidate&) = default;
};

// One AI site search; kept in memory only.
struct ResearchResult {
    // The caution every result carries.
    static constexpr std::string_view standardNotice =
        "AI selected candidates from fetched web search results. Official identity and agent "
        "capabilities require subsequent HTTP/protocol evidence.";

    std::string query;
    AIProvider provider = AIProvider::apple;
    std::string model;
    Date timestamp{};
    std::vector<SearchCandidate> candidates;
    std::string rawClassification;
    std::vector<Evidence> searchEvidence;
    std::string notice;
};

// The engine that turns a request into selected candidate sites. Throws
// QuorilanthError on a failure of the search or the classification, Cancelled
// when the stop token fires.
class AIResearching {
public:
    virtual ~AIResearching() = default;
    virtual ResearchResult research(const std::string& query, AIProvider provider,
                                    const std::string& model, std::stop_token stop) = 0;
};

} // namespace quorilanth
