#pragma once

// AI mode end to end without the internet: a loopback stand-in of the OpenAI
// service whose web search finds a site and a private address and whose model
// selects both, and the store's engines that reach it through the real curl.
// Every connection lands on the one loopback server while the names look
// public, so the policy decides as it would for real hosts.

#include "ai/AIResearchEngine.h"
#include "app/store/WorkspaceStore.h"
#include "core/engine/DiscoveryEngine.h"
#include "core/net/HTTPInspector.h"
#include "support/AIResearchTestAccess.h"
#include "support/CurlWrapper.h"
#include "support/FakeResolver.h"
#include "support/InMemorySecretStore.h"
#include "support/LoopbackHTTPServer.h"
#include "support/TestCertificateAuthority.h"

#include <memory>
#include <vector>

namespace quorilanth::test {

class LoopbackAIService {
public:
    LoopbackAIService() {
        server.on("/v1/responses", [](const ReceivedRequest& request, ResponseWriter& out) {
            out.respond(200,
                        request.body.find("Classify") == std::string::npos
                            ? R"({"output":[{"type":"web_search_call","action":{"sources":[)"
                              R"({"url":"https://localhost/a"},{"url":"https://10.0.0.5/"}]}}]})"
                            : R"({"output":[{"content":[{"text":"{\"selections\":[{\"id\":1},)"
                              R"({\"id\":2}]}"}]}]})");
        });
        server.on("/llms.txt", respond::text(200, "# Museum\n", {{"Content-Type", "text/plain"}}));
        resolver->answer("localhost", {std::string("93.184.216.34")});
        resolver->answer("10.0.0.5", {std::string("10.0.0.5")});
        AIKeychain(secrets).save("sk-test", "OpenAI");
    }
    LoopbackAIService(const LoopbackAIService&) = delete;
    LoopbackAIService& operator=(const LoopbackAIService&) = delete;

    // The engines of a store that searches and scans here; this service must
    // outlive that store. The Developer Mode of each scan engine is noted.
    WorkspaceStore::Dependencies dependencies() {
        WorkspaceStore::Dependencies dependencies;
        dependencies.makeEngine = [this](NetworkPolicy policy) {
            developerModes.push_back(policy.developerMode);
            policy.resolver = resolver;
            return std::make_shared<DiscoveryEngine>(
                policy, std::make_shared<HTTPInspector>(policy, curl.path()));
        };
        dependencies.makeResearchEngine = [this] {
            auto engine = std::make_unique<AIResearchEngine>(AIKeychain(secrets));
            AIResearchEngineTestAccess::route(
                *engine, {{AIResearchEngineTestAccess::Service::openAI, "https://localhost"}},
                curl.path(), resolver);
            return engine;
        };
        return dependencies;
    }

    TestCertificateAuthority ca;
    LoopbackHTTPServer server{{"127.0.0.1"}, &ca};
    std::shared_ptr<FakeResolver> resolver = std::make_shared<FakeResolver>();
    CurlWrapper curl{{ca.caFile(), true, false, false, server.port()}};
    std::shared_ptr<InMemorySecretStore> secrets = std::make_shared<InMemorySecretStore>();
    std::vector<bool> developerModes;
};

} // namespace quorilanth::test
