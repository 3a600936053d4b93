#include "support/FakeHTTPInspector.h"

#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/net/HTTPInspector.h"

namespace quorilanth::test {

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
                                const HeaderFields& headers) {
    Evidence evidence(url, "GET");
    evidence.statusCode = status;
    for (const auto& [name, value] : headers)
        evidence.responseHeaders[asciiLowercase(name)] = value;
    evidence.responseBody = std::move(body);
    evidence.remoteIP = "127.0.0.1";
    evidence.tlsVerified = url.starts_with("https:");
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
    const Call call{url, method, headers, body};
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
    Evidence fresh = record(call);
    if (stop.stop_requested()) {
        fresh.error = Cancelled().what();
        return oneHop(std::move(fresh));
    }
    if (!scripted && fallback) return fallback(call);
    if (!scripted) {
        fresh.statusCode = 404;
        fresh.remoteIP = "127.0.0.1";
        return oneHop(std::move(fresh));
    }
    // The scripted records answer this call: they carry its request side.
    for (Evidence& evidence : scripted->exchanges) {
        const Evidence stamp(call.url, call.method);
        evidence.id = stamp.id;
        evidence.timestamp = stamp.timestamp;
    }
    Evidence& first = scripted->exchanges.front();
    first.method = call.method;
    first.requestHeaders = fresh.requestHeaders;
    first.requestBody = call.body;
    return std::move(*scripted);
}

} // namespace quorilanth::test
