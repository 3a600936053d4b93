#include "core/mcp/MCPInspector.h"

#include "core/base/QuorilanthError.h"

#include <exception>
#include <set>
#include <string>
#include <utility>

namespace quorilanth {

namespace {

// The verdict on a server whose negotiation or tool list failed, from the
// last hop the client recorded.
FindingStatus failureStatus(const MCPClient& client, const std::string& description) {
    const std::optional<Evidence> last = client.latestEvidence();
    if (last && last->statusCode) {
        const auto status = *last->statusCode;
        if (status == 401 || status == 403) return FindingStatus::found;
        if (status == 404) return FindingStatus::notFound;
        return description.find("UNSUPPORTED") != std::string::npos ? FindingStatus::unsupported
                                                                    : FindingStatus::invalid;
    }
    if (last && last->error && last->error->starts_with("Blocked:")) return FindingStatus::blocked;
    return FindingStatus::unreachable;
}

// Runs one step of the inspection. A protocol failure comes back as its
// description; a stop request leaves as Cancelled whatever form it took on
// the way (the transport records it as a failed hop).
template <typename Step>
std::optional<std::string> attempt(const std::stop_token& stop, Step&& step) {
    try {
        step();
        return std::nullopt;
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& failure) {
        if (stop.stop_requested()) throw Cancelled();
        return std::string(failure.what());
    }
}

void addTools(MCPServer& server, const std::vector<JSONValue>& items) {
    std::set<std::string, std::less<>> names;
    for (const JSONValue& item : items) {
        const std::optional<std::string_view> name = item["name"].string();
        const bool wellFormed = item.isObject() && name && !name->empty() &&
                                names.emplace(*name).second && item["inputSchema"].isObject();
        if (!wellFormed) {
            server.issues.push_back("Invalid or duplicate tool definition.");
            continue;
        }
        try {
            MCPClient::parameterHeaders(item["inputSchema"], JSONValue::emptyObject());
        } catch (const std::exception& failure) {
            server.issues.push_back(std::string(*name) + ": " + failure.what());
            continue;
        }
        server.tools.emplace_back(server.url, item);
    }
}

} // namespace

MCPServer MCPInspector::inspect(MCPClient& client, std::stop_token stop) {
    MCPServer server(client.endpoint());
    if (auto failure = attempt(stop, [&] { server = client.connect(stop); })) {
        MCPServer failed(client.endpoint());
        failed.status = failureStatus(client, *failure);
        failed.issues.push_back(std::move(*failure));
        return failed;
    }
    const auto announced = [&](std::string_view capability) {
        return server.capabilities.find(capability) != nullptr;
    };

    if (announced("tools")) {
        std::vector<JSONValue> items;
        if (auto failure =
                attempt(stop, [&] { items = client.list("tools/list", "tools", stop); })) {
            server.status = failureStatus(client, *failure);
            server.issues.push_back(std::move(*failure));
            return server;
        }
        addTools(server, items);
    }

    const auto inventory = [&](const std::string& method, const std::string& key,
                               std::vector<JSONValue>& into) {
        if (auto failure = attempt(stop, [&] { into = client.list(method, key, stop); })) {
            into.clear();
            server.issues.push_back(std::move(*failure));
        }
    };
    if (announced("resources")) {
        inventory("resources/list", "resources", server.resources);
        inventory("resources/templates/list", "resourceTemplates", server.resourceTemplates);
    }
    if (announced("prompts")) inventory("prompts/list", "prompts", server.prompts);
    return server;
}

} // namespace quorilanth
