#include "core/model/Evidence.h"

#include "core/base/Hashing.h"
#include "core/base/UUID.h"

namespace quorilanth {

Evidence::Evidence(std::string url, std::string method)
    : id(newUUIDText()), timestamp(std::chrono::system_clock::now()), url(std::move(url)),
      method(std::move(method)) {}

std::string_view Evidence::contentType() const noexcept {
    auto it = responseHeaders.find("content-type");
    return it == responseHeaders.end() ? std::string_view() : std::string_view(it->second);
}

std::size_t hashValue(const Evidence& e) noexcept {
    using detail::hashField;
    std::size_t seed = 0;
    hashField(seed, e.id);
    hashField(seed, e.timestamp.time_since_epoch().count());
    hashField(seed, e.url);
    hashField(seed, e.method);
    for (const auto& [name, value] : e.requestHeaders) {
        hashField(seed, name);
        hashField(seed, value);
    }
    hashField(seed, e.requestBody);
    hashField(seed, e.statusCode);
    for (const auto& [name, value] : e.responseHeaders) {
        hashField(seed, name);
        hashField(seed, value);
    }
    hashField(seed, e.responseBody);
    hashField(seed, e.durationMS == 0 ? 0.0 : e.durationMS);
    hashField(seed, e.remoteIP);
    hashField(seed, e.tlsVerified);
    hashField(seed, e.error);
    hashField(seed, e.truncated);
    return seed;
}

} // namespace quorilanth
