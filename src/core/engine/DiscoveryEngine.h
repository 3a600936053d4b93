#pragma once

#include "core/base/JSONValue.h"
#include "core/model/Evidence.h"
#include "core/model/MCPTool.h"
#include "core/model/NodeKind.h"
#include "core/model/ScanReport.h"
#include "core/net/NetworkPolicy.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

namespace quorilanth {

class HTTPInspecting;
class MCPClient;

// One entry of a scan's work queue.
struct QueuedLocation {
    std::string url;
    NodeKind kind = NodeKind::content;
    // True for the well-known locations of an origin, false for the root, the
    // entered page and declared references.
    bool conventional = false;
};

// Runs bounded scans of one site at a time. The store makes a fresh engine per
// SCAN action; the MCP clients of verified servers outlive each scan so that a
// later approved tool call can reuse the negotiated session.
class DiscoveryEngine {
public:
    // Receives a copy of the report as it stands and the status text. Called on
    // the scanning thread; the scan waits for it to return.
    using ProgressCallback = std::function<void(ScanReport report, const std::string& message)>;

    // Without a transport the engine makes its own curl-backed one under the
    // same policy.
    explicit DiscoveryEngine(NetworkPolicy policy, std::shared_ptr<HTTPInspecting> http = nullptr);
    ~DiscoveryEngine();
    DiscoveryEngine(const DiscoveryEngine&) = delete;
    DiscoveryEngine& operator=(const DiscoveryEngine&) = delete;

    // Throws QuorilanthError only before the first request: when a scan is
    // already running on this engine, or when the policy refuses the input.
    // Every later failure is recorded in the report; a cancelled scan returns
    // its partial report marked cancelled.
    ScanReport scan(const std::string& input, const ProgressCallback& progress = {},
                    std::stop_token stop = {});

    // Runs one tool call that the user approved and returns a copy of the report
    // holding the exchanges, the result, the items it declares with their
    // canonical pages (fetched under the policy) and fresh checks. The first
    // call to a server connects a client of its own. Failures of the client
    // pass through unchanged, Cancelled included; their exchanges wait for
    // drainToolEvidence.
    ScanReport run(const MCPTool& tool, const JSONValue& arguments, const ScanReport& report,
                   bool confirmedRisk, std::stop_token stop = {});
    // The exchanges a failed run left for that server, handed over once.
    std::vector<Evidence> drainToolEvidence(const std::string& serverURL);

    // The kept client of a verified server, or null.
    std::shared_ptr<MCPClient> client(const std::string& serverURL) const;
    void setClient(const std::string& serverURL, std::shared_ptr<MCPClient> client);

private:
    struct ScanState;
    void documentStep(ScanState& state, const QueuedLocation& entry, const std::string& key,
                      std::stop_token stop);
    void mcpStep(ScanState& state, const QueuedLocation& entry, const std::string& key,
                 std::stop_token stop);
    // Hands the exchanges the copy gained since `recordedBefore` to the caller's
    // drain and throws Cancelled.
    [[noreturn]] void strandAndCancel(const std::string& serverURL, ScanReport& copy,
                                      std::size_t recordedBefore);

    std::shared_ptr<HTTPInspecting> http_;
    NetworkPolicy policy_;
    mutable std::mutex clientsMutex_;
    std::map<std::string, std::shared_ptr<MCPClient>> clients_;
    // Exchanges of clients dropped after a failed connect, or of a run stopped
    // after its call, until the caller drains them.
    std::map<std::string, std::vector<Evidence>> strandedEvidence_;
    std::atomic<bool> running_{false};
};

} // namespace quorilanth
