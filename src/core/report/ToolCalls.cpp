#include "core/report/ToolCalls.h"

#include "core/base/Url.h"
#include "core/net/NetworkPolicy.h"

#include <algorithm>
#include <array>

namespace quorilanth {
namespace {

constexpr std::array<std::int64_t, 5> kRedirectStatuses{301, 302, 303, 307, 308};

// The parsed body of a "tools/call" POST and the tool name it asks for.
struct Call {
    JSONValue body;
    std::string name;
};

std::optional<Call> callIn(const Evidence& record) {
    if (record.method != "POST" || !record.requestBody) return std::nullopt;
    Call call;
    try {
        call.body = JSONValue::parse(*record.requestBody);
    } catch (const JSONParseError&) {
        return std::nullopt;
    }
    std::optional<std::string_view> method = call.body["method"].string();
    std::optional<std::string_view> name = call.body["params"]["name"].string();
    if (!method || *method != "tools/call" || !name) return std::nullopt;
    call.name = *name;
    return call;
}

// Server URLs hold no NUL, but a hand-edited report may: the length prefix
// keeps every (URL, name) pair apart whatever they hold.
std::string keyOf(std::string_view serverURL, std::string_view name) {
    std::string key = std::to_string(serverURL.size());
    key += ':';
    key += serverURL;
    key += name;
    return key;
}

// Where the transport went after this hop, and with which method, when the
// hop is a redirect it followed: the same resolution and normalisation it
// applies, under the widest policy, so a chain recorded in Developer Mode is
// read the same way.
struct NextHop {
    std::string url;
    std::string method;
};

std::optional<NextHop> nextHop(const Evidence& hop) {
    if (hop.error || !hop.statusCode ||
        std::find(kRedirectStatuses.begin(), kRedirectStatuses.end(), *hop.statusCode) ==
            kRedirectStatuses.end())
        return std::nullopt;
    const auto location = hop.responseHeaders.find("location");
    if (location == hop.responseHeaders.end()) return std::nullopt;
    const NetworkPolicy widest(true);
    try {
        const std::optional<Url> base = Url::parse(widest.validate(hop.url));
        if (!base) return std::nullopt;
        const std::optional<Url> target = base->resolve(location->second);
        if (!target) return std::nullopt;
        NextHop next{widest.validate(target->text()), hop.method};
        const std::int64_t status = *hop.statusCode;
        if (status == 303 || ((status == 301 || status == 302) && hop.method == "POST"))
            next.method = "GET";
        return next;
    } catch (const QuorilanthError&) {
        return std::nullopt;
    }
}

ToolCall callAt(const std::vector<Evidence>& evidence, std::size_t index, JSONValue body) {
    return ToolCall{evidence[index], evidence[ToolCalls::chainEnd(evidence, index)],
                    std::move(body)};
}

} // namespace

std::size_t ToolCalls::chainEnd(const std::vector<Evidence>& evidence, std::size_t first) {
    // The transport never follows more redirects than its policy allows.
    const auto limit = static_cast<std::size_t>(NetworkPolicy().maxRedirects);
    std::size_t at = first;
    for (std::size_t hop = 0; hop < limit && at + 1 < evidence.size(); ++hop) {
        const std::optional<NextHop> next = nextHop(evidence[at]);
        const Evidence& following = evidence[at + 1];
        if (!next || following.url != next->url || following.method != next->method) break;
        ++at;
    }
    return at;
}

ToolCalls::ToolCalls(const ScanReport& report) {
    const std::vector<Evidence>& evidence = report.evidence;
    for (std::size_t index = evidence.size(); index-- > 0;) {
        std::optional<Call> call = callIn(evidence[index]);
        if (!call) continue;
        const std::string key = keyOf(evidence[index].url, call->name);
        if (calls_.contains(key)) continue; // a newer call of this tool is already known
        calls_.emplace(key, callAt(evidence, index, std::move(call->body)));
    }
}

const ToolCall* ToolCalls::latest(const MCPTool& tool) const {
    const auto found = calls_.find(keyOf(tool.serverURL, tool.name()));
    return found == calls_.end() ? nullptr : &found->second;
}

std::optional<ToolCall> ToolCalls::latest(const ScanReport& report, const MCPTool& tool) {
    const std::vector<Evidence>& evidence = report.evidence;
    for (std::size_t index = evidence.size(); index-- > 0;) {
        if (evidence[index].url != tool.serverURL) continue;
        std::optional<Call> call = callIn(evidence[index]);
        if (call && call->name == tool.name())
            return callAt(evidence, index, std::move(call->body));
    }
    return std::nullopt;
}

} // namespace quorilanth
