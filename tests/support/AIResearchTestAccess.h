#pragma once

// The test-only way to point a research engine at loopback servers: services
// at origins of the test's own, a curl that trusts the test authority, names
// looked up in the test's table.

#include "ai/AIResearchEngine.h"

#include <map>

namespace quorilanth {

struct AIResearchEngineTestAccess {
    enum class Service { openAI, anthropic, deepSeek, zai, braveSearch };

    static void route(AIResearchEngine& engine, const std::map<Service, std::string>& origins,
                      std::string curlPath, std::shared_ptr<const Resolver> resolver) {
        AIResearchEngine::Services& to = engine.services_;
        std::string* fields[] = {&to.openAI, &to.anthropic, &to.deepSeek, &to.zai, &to.braveSearch};
        for (const auto& [service, origin] : origins)
            *fields[static_cast<int>(service)] = origin;
        to.curlPath = std::move(curlPath);
        to.resolver = std::move(resolver);
    }
};

} // namespace quorilanth
