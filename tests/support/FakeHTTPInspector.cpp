#include "support/FakeHTTPInspector.h"

#include "core/base/QuorilanthError.h"
#include "core/net/HTTPInspector.h"

#include <algorithm>
#include <cctype>

namespace quorilanth::test {

HTTPResult oneHop(Evidence evidence) {
    HTTPResult result;
    result.exchanges.push_back(std::move(evidence));
    return result;
}

Evidence FakeHTTPInspector::record(const Call& call) {
    Evidence evidence(call.url, call.method);
    evidence.requestHeaders = HTTPInspector::recordedHeaders(call.headers);
    evidence.requestBody = call.body;
    return evidence;
}

void FakeHTTPInspector::script(const std::string& url, HTTPResult result) {
    std::lock_guard guard(mutex_);
    scripts_[url].push_back(std::move(result));
}

void FakeHTTPInspector::respond(const std::string& url, std::int64_t status, std::string body,
                                HeaderFields headers) {
    Evidence evidence(url, "GET");
    evidence.statusCode = status;
    for (const auto& [name, value] : headers) {
        std::string lower = name;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        evidence.responseHeaders[lower] = value;
    }
    evidence.responseBody = std::move(body);
    evidence.remoteIP = "127.0.0.1";
    evidence.tlsVerified = url.rfind("https:", 0) == 0;
    script(url, oneHop(std::move(evidence)));
}

void FakeHTTPInspector::fail(const std::string& url, std::string error) {
    Evidence evidence(url, "GET");
    evidence.error = std::move(error);
    script(url, oneHop(std::move(evidence)));
}

void FakeHTTPInspector::otherwise(Responder responder) {
    std::lock_guard guard(mutex_);
    fallback_ = std::move(responder);
}

std::vector<FakeHTTPInspector::Call> FakeHTTPInspector::calls() const {
    std::lock_guard guard(mutex_);
    return calls_;
}

HTTPResult FakeHTTPInspector::request(const std::string& url, const std::string& method,
                                      const HeaderFields& headers,
                                      const std::optional<std::string>& body,
                                      std::stop_token stop) {
    Call call{url, method, headers, body};
    Responder fallback;
    std::optional<HTTPResult> scripted;
    {
        std::lock_guard guard(mutex_);
        calls_.push_back(call);
        if (auto found = scripts_.find(url); found != scripts_.end() && !found->second.empty()) {
            scripted = found->second.front();
            if (found->second.size() > 1) found->second.pop_front();
        }
        fallback = fallback_;
    }
    if (stop.stop_requested()) {
        Evidence evidence = record(call);
        evidence.error = Cancelled().what();
        return oneHop(std::move(evidence));
    }
    if (!scripted) {
        if (fallback) return fallback(call);
        Evidence evidence = record(call);
        evidence.statusCode = 404;
        evidence.remoteIP = "127.0.0.1";
        return oneHop(std::move(evidence));
    }
    // The scripted records answer this call: they carry its request side.
    HTTPResult result = std::move(*scripted);
    for (Evidence& evidence : result.exchanges) {
        Evidence fresh = record(call);
        evidence.id = fresh.id;
        evidence.timestamp = fresh.timestamp;
        if (&evidence == &result.exchanges.front()) {
            evidence.method = call.method;
            evidence.requestHeaders = fresh.requestHeaders;
            evidence.requestBody = call.body;
        }
    }
    return result;
}

} // namespace quorilanth::test
