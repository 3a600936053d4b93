#include "core/net/HTTPInspector.h"

#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/net/CurlHop.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <exception>

namespace quorilanth {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::array<std::string_view, 5> redactedHeaders{
    "authorization", "x-api-key", "x-subscription-token", "cookie", "mcp-session-id"};
// Credentials that must not follow a redirect to another origin.
constexpr std::array<std::string_view, 5> originBoundHeaders{
    "authorization", "cookie", "x-api-key", "x-subscription-token", "mcp-session-id"};
constexpr std::array<int, 5> redirectStatuses{301, 302, 303, 307, 308};

// Names are lower-cased as response header names are, beyond ASCII too: a
// name that reads as a secret's once lower-cased is treated as that secret.
template <std::size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view name) {
    std::string lower = unicodeText::lowercased(name);
    return std::find(list.begin(), list.end(), lower) != list.end();
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Scheme compared without regard to case, port with the scheme's default
// filled in, so "https://h/" and "HTTPS://h:443/" are one origin.
struct Origin {
    std::string scheme;
    std::string host;
    int port;
    bool operator==(const Origin&) const = default;
};

Origin originOf(const Url& url) {
    std::string scheme = asciiLowercase(url.scheme());
    return {scheme, url.host(), url.port().value_or(scheme == "https" ? 443 : 80)};
}

std::string messageOf(const std::exception& error) {
    if (auto* quorilanth = dynamic_cast<const QuorilanthError*>(&error))
        return quorilanth->message();
    return error.what();
}

} // namespace

HTTPInspector::HTTPInspector(NetworkPolicy policy, std::string curlPath)
    : policy_(std::move(policy)), curlPath_(std::move(curlPath)) {}

HeaderFields HTTPInspector::recordedHeaders(const HeaderFields& headers) {
    HeaderFields recorded = headers;
    recorded["User-Agent"] = std::string(userAgent);
    recorded.try_emplace("Accept", "*/*");
    for (auto& [name, value] : recorded)
        if (listed(redactedHeaders, name)) value = "[REDACTED]";
    return recorded;
}

void HTTPInspector::pace(const std::stop_token& stop) {
    Clock::time_point slot;
    {
        // The slot is taken before sleeping, so callers that arrive together
        // line up behind each other instead of all starting at once.
        std::lock_guard guard(mutex_);
        Clock::time_point now = Clock::now();
        slot = lastRequest_ ? std::max(now, *lastRequest_ + pacing) : now;
        lastRequest_ = slot;
    }
    if (slot <= Clock::now()) return;
    std::mutex sleepMutex;
    std::condition_variable_any wake;
    std::unique_lock lock(sleepMutex);
    wake.wait_until(lock, stop, slot, [] { return false; });
    if (stop.stop_requested()) throw Cancelled();
}

Evidence HTTPInspector::perform(const Url& url, const std::string& ip, Evidence evidence,
                                const HeaderFields& headers, const std::optional<std::string>& body,
                                std::stop_token stop) const {
    CurlHopSettings settings{curlPath_, policy_.developerMode, policy_.timeout, policy_.maxBytes};
    return curlhop::run(settings, url, ip, std::move(evidence), headers, body, std::move(stop));
}

HTTPResult HTTPInspector::request(const std::string& url, const std::string& method,
                                  const HeaderFields& headers,
                                  const std::optional<std::string>& body, std::stop_token stop) {
    HTTPResult result;
    std::string currentURL = url;
    std::string currentMethod = method;
    HeaderFields currentHeaders = headers;
    std::optional<std::string> currentBody = body;

    for (std::int64_t hop = 0;; ++hop) {
        Evidence record(currentURL, currentMethod);
        record.requestHeaders = recordedHeaders(currentHeaders);
        record.requestBody = currentBody;
        const Clock::time_point start = Clock::now();

        std::optional<Url> validated;
        try {
            if (stop.stop_requested()) throw Cancelled();
            validated = Url::parse(policy_.validate(currentURL));
            if (!validated) throw QuorilanthError("Blocked: invalid URL.");
            std::vector<std::string> addresses = policy_.addresses(validated->text());
            pace(stop);
            // A copy goes in: when the hop throws, this record is what gets the error.
            record =
                perform(*validated, addresses.front(), record, currentHeaders, currentBody, stop);
        } catch (const std::exception& error) {
            record.durationMS = millisecondsSince(start);
            record.error = messageOf(error);
            result.exchanges.push_back(std::move(record));
            return result;
        }
        record.durationMS = millisecondsSince(start);
        result.exchanges.push_back(std::move(record));

        const Evidence& answer = result.exchanges.back();
        auto location = answer.responseHeaders.find("location");
        if (!answer.statusCode ||
            std::find(redirectStatuses.begin(), redirectStatuses.end(), *answer.statusCode) ==
                redirectStatuses.end() ||
            location == answer.responseHeaders.end())
            return result;

        if (hop >= policy_.maxRedirects) {
            result.exchanges.back().error = "Redirect limit reached.";
            return result;
        }
        // A redirect that cannot be followed is the redirect's own failure.
        std::optional<Url> target;
        try {
            // An empty reference resolves to the page itself, which would be
            // asked again until the redirect limit: it names no target at all.
            if (!location->second.empty()) target = validated->resolve(location->second);
            if (!target) throw QuorilanthError("Invalid redirect location.");
            target = Url::parse(policy_.validate(target->text()));
            if (!target) throw QuorilanthError("Blocked: invalid URL.");
        } catch (const std::exception& error) {
            Evidence& own = result.exchanges.back();
            own.durationMS = millisecondsSince(start);
            own.error = messageOf(error);
            return result;
        }

        // Credentials stay with the origin they were given for: another host,
        // but also a downgrade to http or another port, would hand them to a
        // different party or send them in clear.
        if (!(originOf(*validated) == originOf(*target)))
            std::erase_if(currentHeaders, [](const auto& entry) {
                return listed(originBoundHeaders, entry.first);
            });
        const std::int64_t status = *answer.statusCode;
        if (status == 303 || ((status == 301 || status == 302) && currentMethod == "POST")) {
            currentMethod = "GET";
            currentBody.reset();
        }
        currentURL = target->text();
    }
}

} // namespace quorilanth
