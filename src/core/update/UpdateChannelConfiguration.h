#pragma once

#include "core/update/ApplicationBundle.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// Which key signs the channel's manifests. Where the manifest lives and which
// download addresses are acceptable are constants of the build, not of a value.
class UpdateChannelConfiguration {
public:
    using PublicKey = std::array<std::uint8_t, 32>;

    // None unless the key id is 1 to 100 of [A-Za-z0-9._-] and the key is 32 bytes.
    static std::optional<UpdateChannelConfiguration> make(std::string keyID,
                                                          std::span<const std::uint8_t> publicKey);

    // None means the channel is not configured in this build.
    static std::optional<UpdateChannelConfiguration> load(const ApplicationBundle& bundle);

    static std::string_view updateHost();
    static const std::string& feedURL();
    static constexpr std::string_view downloadPrefix = "/quorilanth/downloads/";

    // Compares text only: a URL is acceptable when it is spelled exactly as
    // "https://" + host + prefix + a release file name, so no spelling that a
    // URL parser would normalise into an acceptable one can pass.
    static bool allowsReleaseURL(std::string_view url);

    const std::string& keyID() const { return keyID_; }
    const PublicKey& publicKey() const { return publicKey_; }

    friend bool operator==(const UpdateChannelConfiguration&,
                           const UpdateChannelConfiguration&) = default;

private:
    UpdateChannelConfiguration(std::string keyID, const PublicKey& key)
        : keyID_(std::move(keyID)), publicKey_(key) {}

    std::string keyID_;
    PublicKey publicKey_{};
};

// Standard base64 (RFC 4648 alphabet, padded), refusing white space, any other
// character and non-zero padding bits.
std::optional<std::vector<std::uint8_t>> decodeStrictBase64(std::string_view text);
std::string encodeBase64(std::span<const std::uint8_t> bytes);

} // namespace quorilanth
