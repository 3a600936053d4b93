#pragma once

#include "core/update/UpdateChannelConfiguration.h"
#include "core/update/UpdateRelease.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quorilanth {

struct SystemVersion {
    std::int64_t major = 0;
    std::int64_t minor = 0;
    std::int64_t patch = 0;
    friend auto operator<=>(const SystemVersion&, const SystemVersion&) = default;
};

// Turns the raw bytes of a signed manifest into an outcome for this machine.
// Nothing is offered unless this returns available. Throws only
// UpdateChannelError: tooLarge, unconfigured, invalidSignature (anything wrong
// with the envelope, the key or the signature) or invalidRelease (anything
// wrong with the authenticated content), in that precedence.
class UpdateManifestVerifier {
public:
    static constexpr std::size_t maximumBytes = 131072;

    explicit UpdateManifestVerifier(UpdateChannelConfiguration configuration)
        : configuration_(std::move(configuration)) {}

    UpdateCheckOutcome verify(std::span<const std::uint8_t> manifest, std::int64_t installedBuild,
                              SystemVersion systemVersion, std::string_view architecture) const;
    UpdateCheckOutcome verify(std::string_view manifest, std::int64_t installedBuild,
                              SystemVersion systemVersion, std::string_view architecture) const;

    // "14.0" is 14.0.0; none for anything but two or three dot-separated numbers.
    static std::optional<SystemVersion> parseSystemVersion(std::string_view text);

    // The architecture this build was compiled for: "x86_64" or "arm64".
    static std::string_view currentArchitecture();

    const UpdateChannelConfiguration& configuration() const { return configuration_; }

private:
    UpdateChannelConfiguration configuration_;
};

// The running system's version as the platform reports it, read through the
// system-version rule; 0.0.0 when it cannot be read, which meets no minimum.
SystemVersion runningSystemVersion();
// The same from the text of an os-release file.
SystemVersion systemVersionFromOSRelease(std::string_view osRelease);

} // namespace quorilanth
