#pragma once

// The test-only way to point a research engine at loopback servers: each
// service at an origin of the test's own, through a curl that trusts the test
// authority, with names looked up in the test's table.

#include "ai/AIResearchEngine.h"

#include <map>

namespace quorilanth {

struct AIResearchEngineTestAccess {
    enum class Service { openAI, anthropic, deepSeek, zai, braveSearch };

    static void route(AIResearchEngine& engine, const std::map<Service, std::string>& origins,
                      std::string curlPath, std::shared_ptr<const Resolver> resolver) {
        AIResearchEngine::Services& services = engine.services_;
        std::string* fields[] = {&services.openAI, &services.anthropic, &services.deepSeek,
                                 &services.zai, &services.braveSearch};
        for (const auto& [service, origin] : origins)
            *fields[static_cast<int>(service)] = origin;
        services.curlPath = std::move(curlPath);
        services.resolver = std::move(resolver);
    }
};

} // namespace quorilanth
