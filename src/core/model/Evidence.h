#pragma once

#include "core/base/Date.h"
#include "core/base/SharedString.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// Header fields of one message, name to value. Kept in byte order of the names,
// which is the order they are written in.
using HeaderFields = std::map<std::string, std::string, std::less<>>;

// One recorded HTTP exchange: one hop of a request. Immutable in spirit once the
// transport has filled it; the response body is shared between copies.
struct Evidence {
    std::string id;
    Date timestamp{};
    std::string url;
    std::string method;
    HeaderFields requestHeaders;
    std::optional<std::string> requestBody;
    std::optional<std::int64_t> statusCode;
    // Names in lower case (the transport stores them so).
    HeaderFields responseHeaders;
    SharedString responseBody;
    double durationMS = 0;
    std::optional<std::string> remoteIP;
    bool tlsVerified = false;
    std::optional<std::string> error;
    bool truncated = false;

    // Empty id and the epoch; for readers that fill every field themselves.
    Evidence() = default;
    // A new record: a fresh UUID, stamped now, every other field at its empty value.
    Evidence(std::string url, std::string method);

    // The "content-type" response header exactly as stored (no case folding),
    // or the empty text.
    std::string_view contentType() const noexcept;

    friend bool operator==(const Evidence&, const Evidence&) = default;
};

std::size_t hashValue(const Evidence& evidence) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::Evidence> {
    std::size_t operator()(const quorilanth::Evidence& e) const noexcept {
        return quorilanth::hashValue(e);
    }
};
