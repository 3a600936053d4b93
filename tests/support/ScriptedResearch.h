#pragma once

#include "ai/ResearchResult.h"

#include <string>
#include <vector>

namespace quorilanth::test {

// An AI research engine that "selects" the given sites, in order, for any request.
class ScriptedResearch final : public AIResearching {
public:
    explicit ScriptedResearch(std::vector<std::string> domains = {})
        : domains_(std::move(domains)) {}
    ResearchResult research(const std::string& query, AIProvider provider, const std::string& model,
                            std::stop_token) override {
        ResearchResult result;
        result.query = query;
        result.provider = provider;
        result.model = model;
        std::int64_t id = 1;
        for (const std::string& domain : domains_)
            result.candidates.push_back(
                {id++, domain, domain, "", domain, "Relevant candidate", true});
        return result;
    }

private:
    std::vector<std::string> domains_;
};

} // namespace quorilanth::test
