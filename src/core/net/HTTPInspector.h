#pragma once

#include "core/net/HTTPInspecting.h"
#include "core/net/NetworkPolicy.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace quorilanth {

class Url;

// The one transport of the scanner: each hop of a request is vetted by the
// policy, paced, run as one curl child pinned to the vetted address, and
// recorded as one Evidence. Safe to share between threads; hops started by
// concurrent callers are paced too.
class HTTPInspector final : public HTTPInspecting {
public:
    static constexpr std::string_view userAgent =
        "Quorilanth/0.1 (+native macOS agentic web inspector)";
    static constexpr std::string_view defaultCurlPath = "/usr/bin/curl";
    // Least time between the starts of two hops of one transport.
    static constexpr std::chrono::milliseconds pacing{120};

    // curlPath is a seam for tests (a wrapper that adds a test CA or logs its
    // arguments); the application always runs the system's curl.
    explicit HTTPInspector(NetworkPolicy policy,
                           std::string curlPath = std::string(defaultCurlPath));

    HTTPResult request(const std::string& url, const std::string& method,
                       const HeaderFields& headers, const std::optional<std::string>& body,
                       std::stop_token stop = {}) override;

    const NetworkPolicy& policy() const noexcept { return policy_; }

    // The request headers as a hop records them: the caller's, the user agent,
    // "Accept: */*" unless the exact key "Accept" is present, secrets hidden.
    static HeaderFields recordedHeaders(const HeaderFields& headers);

private:
    Evidence perform(const Url& url, const std::string& ip, Evidence evidence,
                     const HeaderFields& headers, const std::optional<std::string>& body,
                     std::stop_token stop) const;
    // Reserves the next start slot and sleeps until it; throws Cancelled.
    void pace(const std::stop_token& stop);

    const NetworkPolicy policy_;
    const std::string curlPath_;
    std::mutex mutex_;
    std::optional<std::chrono::steady_clock::time_point> lastRequest_;
};

} // namespace quorilanth
