#pragma once

// A scripted HTTPInspecting for logic tests that need exact texts rather than
// a real peer: answers are looked up by the exact URL text asked for, every
// call is recorded, and nothing touches the network.

#include "core/net/HTTPInspecting.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace quorilanth::test {

// A result of exactly one hop.
inline HTTPResult oneHop(Evidence evidence) {
    return HTTPResult{{std::move(evidence)}};
}

class FakeHTTPInspector final : public HTTPInspecting {
public:
    struct Call {
        std::string url;
        std::string method;
        HeaderFields headers; // as the caller gave them
        std::optional<std::string> body;
    };
    using Responder = std::function<HTTPResult(const Call&)>;

    // Queues a whole result for a URL. Queued results are used in order; the
    // last one keeps answering once the others are used up.
    void script(const std::string& url, HTTPResult result);
    // Queues a one-hop answer with that status, body and response headers
    // (names lower-cased as the real transport stores them).
    void respond(const std::string& url, std::int64_t status, std::string body,
                 const HeaderFields& headers = {});
    // Queues a one-hop failure: no status, the given error text.
    void fail(const std::string& url, std::string error);
    // Answers URLs without a script; by default a one-hop 404 with an empty body.
    void otherwise(Responder responder);
    std::vector<Call> calls() const;

    HTTPResult request(const std::string& url, const std::string& method,
                       const HeaderFields& headers, const std::optional<std::string>& body,
                       std::stop_token stop = {}) override;

    // A one-hop record as the real transport would build it for that call.
    static Evidence record(const Call& call);

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::deque<HTTPResult>> scripts_;
    Responder fallback_;
    std::vector<Call> calls_;
};

} // namespace quorilanth::test
