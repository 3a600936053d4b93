// The wire forms of the client that need no state: header values and replies.
#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/mcp/MCPClient.h"

#include <algorithm>
#include <cctype>
#include <sodium.h>

namespace quorilanth {

namespace {

constexpr std::string_view kEncodedPrefix = "=?base64?";
constexpr std::string_view kEncodedSuffix = "?=";

std::string base64(std::string_view bytes) {
    std::string out(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::char_traits<char>::length(out.c_str()));
    return out;
}

bool needsEncoding(std::string_view value) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!value.empty() && (blank(value.front()) || blank(value.back()))) return true;
    const bool printable = std::all_of(value.begin(), value.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte <= 0x7E;
    });
    if (!printable) return true;
    return value.starts_with(kEncodedPrefix) && value.ends_with(kEncodedSuffix);
}

// The data of each event in order, CR LF and lone CR read as LF; an event
// without data lines gives an empty text.
std::vector<std::string> eventData(std::string_view body) {
    std::string text;
    text.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r') {
            text += '\n';
            if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
        } else {
            text += body[i];
        }
    }
    std::vector<std::string> events;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t gap = text.find("\n\n", start);
        const std::string_view event = std::string_view(text).substr(
            start, gap == std::string::npos ? std::string::npos : gap - start);
        std::string data;
        bool first = true;
        std::size_t lineStart = 0;
        while (lineStart <= event.size()) {
            const std::size_t lineEnd = event.find('\n', lineStart);
            std::string_view line =
                event.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                          : lineEnd - lineStart);
            if (line.starts_with("data:")) {
                line.remove_prefix(5);
                if (line.starts_with(' ')) line.remove_prefix(1);
                if (!first) data += '\n';
                data += line;
                first = false;
            }
            if (lineEnd == std::string_view::npos) break;
            lineStart = lineEnd + 1;
        }
        events.push_back(std::move(data));
        if (gap == std::string::npos) break;
        start = gap + 2;
    }
    return events;
}

const JSONValue& checkedEnvelope(const JSONValue& candidate) {
    const bool wellFormed =
        candidate.isObject() && candidate["jsonrpc"].string() &&
        *candidate["jsonrpc"].string() == "2.0" &&
        (candidate.find("result") != nullptr) != (candidate.find("error") != nullptr);
    if (!wellFormed) {
        throw QuorilanthError(
            "No matching JSON-RPC 2.0 response ID, or invalid result/error envelope.");
    }
    return candidate;
}

} // namespace

std::string MCPClient::headerValue(std::string_view value) {
    if (!needsEncoding(value)) return std::string(value);
    return std::string(kEncodedPrefix) + base64(value) + std::string(kEncodedSuffix);
}

JSONValue MCPClient::decodeReply(std::string_view body, std::string_view contentType,
                                 const JSONValue& expectedID) {
    const std::string type = asciiLowercase(contentType);
    if (type.find("text/event-stream") != std::string::npos) {
        // Events are looked at in order and the first with the expected id
        // decides, so a long stream of unrelated events costs one pass.
        for (const std::string& data : eventData(body)) {
            JSONValue candidate;
            try {
                candidate = JSONValue::parse(data);
            } catch (const JSONParseError&) {
                continue;
            }
            if (candidate["id"] == expectedID) return checkedEnvelope(candidate);
        }
    } else if (type.find("application/json") != std::string::npos) {
        JSONValue candidate = JSONValue::parse(body);
        if (candidate["id"] == expectedID) return checkedEnvelope(candidate);
    } else {
        throw QuorilanthError("Expected application/json or text/event-stream.");
    }
    throw QuorilanthError(
        "No matching JSON-RPC 2.0 response ID, or invalid result/error envelope.");
}

} // namespace quorilanth
