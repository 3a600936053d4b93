#include "core/mcp/MCPClient.h"

#include "core/base/QuorilanthError.h"
#include "core/mcp/JSONSchemaValidator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>
#include <utility>

namespace quorilanth {

namespace {

JSONValue clientInformation() {
    JSONValue info = JSONValue::emptyObject();
    info.set("name", "Quorilanth");
    info.set("version", "0.1.0");
    return info;
}

// True when the text is empty after trimming white space and line ends
// (ASCII controls and the Unicode space separators).
bool blankText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == ' ' || (byte >= 0x09 && byte <= 0x0D)) {
            ++i;
            continue;
        }
        const auto rest = text.substr(i);
        static constexpr std::string_view kWideSpaces[] = {
            "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\xA8",
            "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"};
        std::size_t matched = 0;
        for (const std::string_view space : kWideSpaces) {
            if (rest.starts_with(space)) matched = space.size();
        }
        // U+2000 to U+200A
        if (!matched && rest.size() >= 3 && rest[0] == '\xE2' && rest[1] == '\x80' &&
            static_cast<unsigned char>(rest[2]) >= 0x80 &&
            static_cast<unsigned char>(rest[2]) <= 0x8A) {
            matched = 3;
        }
        if (!matched) return false;
        i += matched;
    }
    return true;
}

std::string statusText(const Evidence& final) {
    return std::to_string(final.statusCode.value_or(0));
}

// A member as it appears in an error text: itself when a string, else its JSON.
std::string memberText(const JSONValue& member) {
    if (const auto text = member.string()) return std::string(*text);
    return member.pretty();
}

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) throw Cancelled();
}

} // namespace

MCPClient::MCPClient(std::string endpoint, std::shared_ptr<HTTPInspecting> http)
    : http_(std::move(http)), endpoint_(std::move(endpoint)) {}

std::string MCPClient::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

std::optional<std::string> MCPClient::sessionID() const {
    std::lock_guard lock(mutex_);
    return sessionID_;
}

std::int64_t MCPClient::sequence() const {
    std::lock_guard lock(mutex_);
    return sequence_;
}

std::vector<Evidence> MCPClient::evidence() const {
    std::lock_guard lock(mutex_);
    return evidence_;
}

std::vector<Evidence> MCPClient::drainEvidence() {
    std::lock_guard lock(mutex_);
    return std::exchange(evidence_, {});
}

std::optional<Evidence> MCPClient::latestEvidence() const {
    std::lock_guard lock(mutex_);
    if (evidence_.empty()) return std::nullopt;
    return evidence_.back();
}

void MCPClient::setVersion(std::string version) {
    std::lock_guard lock(mutex_);
    version_ = std::move(version);
}

JSONValue MCPClient::exchange(const std::string& method, JSONValue params, bool notification,
                              bool allowRPCError, HeaderFields extraHeaders, std::stop_token stop) {
    throwIfStopped(stop);

    std::int64_t id = 0;
    std::string version;
    std::optional<std::string> session;
    {
        std::lock_guard lock(mutex_);
        id = ++sequence_;
        version = version_;
        session = sessionID_;
    }
    const bool modern = version == kModernVersion;

    HeaderFields headers = std::move(extraHeaders);
    headers["Content-Type"] = "application/json";
    headers["Accept"] = "application/json, text/event-stream";
    headers["MCP-Protocol-Version"] = version;
    if (!params.isObject()) params = JSONValue::emptyObject();
    if (!modern) {
        if (session) headers["Mcp-Session-Id"] = *session;
    } else {
        JSONValue meta = JSONValue::emptyObject();
        meta.set("io.modelcontextprotocol/protocolVersion", version);
        meta.set("io.modelcontextprotocol/clientInfo", clientInformation());
        meta.set("io.modelcontextprotocol/clientCapabilities", JSONValue::emptyObject());
        params.set("_meta", std::move(meta));
        headers["Mcp-Method"] = method;
        if (const auto name = params["name"].string()) {
            headers["Mcp-Name"] = headerValue(std::string(*name));
        } else if (const auto uri = params["uri"].string()) {
            headers["Mcp-Name"] = headerValue(std::string(*uri));
        }
    }

    JSONValue envelope = JSONValue::emptyObject();
    envelope.set("jsonrpc", "2.0");
    envelope.set("method", method);
    envelope.set("params", std::move(params));
    if (!notification) envelope.set("id", id);

    HTTPResult result = http_->request(endpoint_, "POST", headers, envelope.pretty(), stop);
    if (result.exchanges.empty()) {
        // The transport promises at least one record; without one there is
        // nothing to check the answer against.
        throwIfStopped(stop);
        throw QuorilanthError("MCP request failed: HTTP 0.");
    }
    const Evidence final = result.exchanges.back();
    {
        std::lock_guard lock(mutex_);
        for (Evidence& hop : result.exchanges)
            evidence_.push_back(std::move(hop));
        if (version_ != kModernVersion) {
            if (const auto found = final.responseHeaders.find("mcp-session-id");
                found != final.responseHeaders.end()) {
                sessionID_ = found->second;
            }
        }
    }
    // The transport turns a stop into a failed hop; the caller must see it as a stop.
    throwIfStopped(stop);

    if (notification) {
        if (final.statusCode == 202 && blankText(final.responseBody.view())) return JSONValue();
        throw QuorilanthError(
            "Invalid initialized acknowledgment: expected HTTP 202 and empty body.");
    }

    if (final.statusCode == 401 || final.statusCode == 403) {
        throw QuorilanthError("Authentication required (HTTP " + statusText(final) + ").");
    }
    if (final.truncated) throw QuorilanthError("MCP response exceeds byte limit.");

    JSONValue reply;
    try {
        reply = decodeReply(final.responseBody.view(), final.contentType(), JSONValue(id));
    } catch (const std::exception& failure) {
        const auto status = final.statusCode.value_or(0);
        if (allowRPCError && (status == 400 || status == 404 || status == 405)) {
            JSONValue error = JSONValue::emptyObject();
            error.set("code", -32601);
            error.set("message", "Legacy protocol probe");
            JSONValue probe = JSONValue::emptyObject();
            probe.set("error", std::move(error));
            return probe;
        }
        if (final.error) throw QuorilanthError(*final.error);
        throw QuorilanthError(std::string("Invalid MCP response: ") + failure.what());
    }

    if (const JSONValue* error = reply.find("error"); error && !error->isNull()) {
        if (allowRPCError) return reply;
        throw QuorilanthError("MCP " + memberText((*error)["code"]) + ": " +
                              memberText((*error)["message"]));
    }
    if (final.statusCode != 200) {
        throw QuorilanthError("MCP request failed: HTTP " + statusText(final) + ".");
    }
    if (final.error) throw QuorilanthError(*final.error);
    return reply;
}

MCPServer MCPClient::connect(std::stop_token stop) {
    const auto started = std::chrono::steady_clock::now();
    MCPServer server(endpoint_);
    const auto finish = [&](MCPServer record, const JSONValue& capabilities, std::string version) {
        if (!capabilities.isObject()) {
            throw QuorilanthError("Invalid MCP response: capabilities must be an object.");
        }
        record.version = std::move(version);
        record.capabilities = capabilities;
        record.status = FindingStatus::valid;
        record.latencyMS =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        return record;
    };

    const JSONValue reply =
        exchange("server/discover", JSONValue::emptyObject(), false, true, {}, stop);
    const JSONValue& result = reply["result"];
    const JSONValue::Array& offered = result["supportedVersions"].array();
    const bool modern = std::any_of(offered.begin(), offered.end(), [](const JSONValue& v) {
        return v.string() && *v.string() == kModernVersion;
    });
    if (modern) {
        const JSONValue& meta = result["_meta"];
        server.info = meta["io.modelcontextprotocol/serverInfo"];
        return finish(std::move(server), result["capabilities"], std::string(kModernVersion));
    }
    if (!offered.empty()) {
        throw QuorilanthError("UNSUPPORTED: server offers " + result["supportedVersions"].pretty());
    }
    const JSONValue& error = reply["error"];
    if (error.isObject()) {
        if (const auto code = error["code"].number(); code && std::isfinite(*code)) {
            const double whole = std::trunc(*code);
            if (whole == -32020 || whole == -32021 || whole == -32022) {
                throw QuorilanthError("UNSUPPORTED: modern MCP negotiation: " + error.pretty());
            }
        }
    }

    setVersion(std::string(kLegacyVersions[0]));
    JSONValue params = JSONValue::emptyObject();
    params.set("protocolVersion", std::string(kLegacyVersions[0]));
    params.set("capabilities", JSONValue::emptyObject());
    params.set("clientInfo", clientInformation());
    const JSONValue answer = exchange("initialize", std::move(params), false, false, {}, stop);
    const JSONValue& legacy = answer["result"];
    const JSONValue& offeredVersion = legacy["protocolVersion"];
    const std::optional<std::string_view> version = offeredVersion.string();
    if (!version || std::find(kLegacyVersions.begin(), kLegacyVersions.end(), *version) ==
                        kLegacyVersions.end()) {
        throw QuorilanthError("UNSUPPORTED: protocol version " +
                              (version ? std::string(*version) : offeredVersion.pretty()));
    }
    const std::string chosen(*version);
    setVersion(chosen);
    server.info = legacy["serverInfo"];
    exchange("notifications/initialized", JSONValue::emptyObject(), true, false, {}, stop);
    return finish(std::move(server), legacy["capabilities"], chosen);
}

std::vector<JSONValue> MCPClient::list(const std::string& method, const std::string& key,
                                       std::stop_token stop) {
    constexpr std::size_t kMaxItems = 1000;
    constexpr int kMaxFollowUps = 19;
    std::vector<JSONValue> items;
    std::set<std::string, std::less<>> seenCursors;
    int pages = 0;
    JSONValue params = JSONValue::emptyObject();
    while (true) {
        const JSONValue reply = exchange(method, params, false, false, {}, stop);
        const JSONValue& result = reply["result"];
        const JSONValue* page = result.find(key);
        if (!result.object() || result.object()->empty() || !page || !page->isArray()) {
            throw QuorilanthError("Invalid " + method + ": missing " + key + " array.");
        }
        if (items.size() + page->array().size() > kMaxItems) {
            throw QuorilanthError(method + ": item limit reached.");
        }
        items.insert(items.end(), page->array().begin(), page->array().end());
        const std::optional<std::string_view> cursor = result["nextCursor"].string();
        if (!cursor) return items;
        if (!seenCursors.emplace(*cursor).second) {
            throw QuorilanthError(method + ": repeated pagination cursor.");
        }
        if (pages == kMaxFollowUps) throw QuorilanthError(method + ": page limit reached.");
        ++pages;
        params = JSONValue::emptyObject();
        params.set("cursor", *cursor);
    }
}

JSONValue MCPClient::call(const MCPTool& tool, const JSONValue& arguments, bool approved,
                          bool confirmedRisk, std::stop_token stop) {
    if (!approved) throw QuorilanthError("Tool invocation requires an explicit RUN action.");
    const ToolSafety safety = tool.safety();
    if (safety != ToolSafety::readOnly && !confirmedRisk) {
        throw QuorilanthError(std::string(toString(safety)) +
                              " tool requires explicit confirmation.");
    }
    if (tool.serverURL != endpoint_) throw QuorilanthError("Tool belongs to a different server.");

    const JSONValue& schema = tool.inputSchema();
    SchemaValidation validation;
    JSONSchemaValidator::check(arguments, schema, "$", schema, 0, validation);
    if (!validation.isValid()) {
        std::string message;
        for (const auto* list : {&validation.errors, &validation.unsupported}) {
            for (const std::string& line : *list)
                message += (message.empty() ? "" : "\n") + line;
        }
        throw QuorilanthError(message);
    }
    HeaderFields headers = parameterHeaders(schema, arguments);

    JSONValue params = JSONValue::emptyObject();
    params.set("name", tool.definition["name"].string().value_or("Unnamed tool"));
    params.set("arguments", arguments);
    const JSONValue reply =
        exchange("tools/call", std::move(params), false, false, std::move(headers), stop);
    const JSONValue& result = reply["result"];
    if (const std::optional<std::string_view> kind = result["resultType"].string();
        kind && *kind == "input_required") {
        throw QuorilanthError("UNSUPPORTED: this tool requires multi-round input/authorization. "
                              "The request and response remain in RAW.");
    }
    const JSONValue* structured = result.find("structuredContent");
    if (!result["content"].isArray() && !(structured && !structured->isNull())) {
        throw QuorilanthError("Invalid tool result: missing content/structuredContent.");
    }
    return result;
}

} // namespace quorilanth
