#include "core/update/ApplicationBundle.h"

#include "core/update/BuildInfo.h"

#include <charconv>

namespace quorilanth {

std::optional<std::string_view> ApplicationBundle::value(std::string_view key) const {
    auto found = info.find(key);
    if (found == info.end()) return std::nullopt;
    return std::string_view(found->second);
}

const ApplicationBundle& ApplicationBundle::main() {
    static const ApplicationBundle bundle = [] {
        ApplicationBundle result;
        auto put = [&](const char* key, std::string_view value) {
            if (!value.empty()) result.info.emplace(key, value);
        };
        put("CFBundleShortVersionString", buildinfo::kVersion);
        put("CFBundleVersion", buildinfo::kBuildNumber);
        put("QuorilanthUpdateFeedURL", buildinfo::kUpdateFeedMarker);
        put("QuorilanthUpdateKeyID", buildinfo::kUpdateKeyID);
        put("QuorilanthUpdatePublicKey", buildinfo::kUpdatePublicKey);
        return result;
    }();
    return bundle;
}

std::optional<std::int64_t> parseBuildNumber(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    // Parse the magnitude unsigned so that the most negative value still fits.
    std::uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    constexpr std::uint64_t maxPositive = static_cast<std::uint64_t>(INT64_MAX);
    if (!negative) {
        if (magnitude > maxPositive) return std::nullopt;
        return static_cast<std::int64_t>(magnitude);
    }
    if (magnitude > maxPositive + 1) return std::nullopt;
    if (magnitude == maxPositive + 1) return INT64_MIN;
    return -static_cast<std::int64_t>(magnitude);
}

} // namespace quorilanth
