#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// The information keys a build carries about itself ("CFBundleVersion",
// "QuorilanthUpdateKeyID", ...), as text by key. The running build's values are
// fixed when it is configured; tests build their own bundles.
struct ApplicationBundle {
    std::map<std::string, std::string, std::less<>> info;

    std::optional<std::string_view> value(std::string_view key) const;

    // This build's bundle. Keys without a configured value are absent.
    static const ApplicationBundle& main();
};

// A build number as the bundle and the command line write it: decimal digits
// with an optional sign; nothing else, and nothing beyond 64 bits.
std::optional<std::int64_t> parseBuildNumber(std::string_view text);

} // namespace quorilanth
