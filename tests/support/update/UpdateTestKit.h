#pragma once

// Manifests for tests of the update channel: a fixed test signing key, a
// release and payload kept as raw JSON members so that a test can replace,
// drop or mistype any one of them, and the signing of the result.

#include "core/update/UpdateChannelClient.h"
#include "core/update/UpdateChannelConfiguration.h"

#include <array>
#include <cstdint>
#include <map>
#include <sodium.h>
#include <string>
#include <vector>

namespace quorilanth {

// The test-only way to point a client at a loopback server: trust the test's
// own authority and connect to 127.0.0.1:port whenever the update host is asked for.
struct UpdateSessionTestAccess {
    static UpdateSessionConfiguration loopback(const std::string& authorityFile,
                                               std::uint16_t port) {
        auto session = UpdateSessionConfiguration::ephemeral();
        session.trustedAuthorityFile_ = authorityFile;
        session.connectTo_ = std::string(UpdateChannelConfiguration::updateHost()) +
                             ":443:127.0.0.1:" + std::to_string(port);
        return session;
    }
};

namespace test {

inline std::vector<std::uint8_t> fromHex(std::string_view hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    return bytes;
}

inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// An Ed25519 key pair derived from a seed, so tests and test executables agree on it.
struct TestKey {
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> publicKey{};
    std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> secretKey{};

    explicit TestKey(std::uint8_t seedByte) {
        std::array<std::uint8_t, crypto_sign_SEEDBYTES> seed{};
        seed.fill(seedByte);
        if (sodium_init() < 0) throw std::runtime_error("libsodium");
        crypto_sign_seed_keypair(publicKey.data(), secretKey.data(), seed.data());
    }
    std::string sign(std::string_view message) const {
        std::array<std::uint8_t, crypto_sign_BYTES> signature{};
        crypto_sign_detached(signature.data(), nullptr, bytesOf(message).data(), message.size(),
                             secretKey.data());
        return encodeBase64(signature);
    }
    UpdateChannelConfiguration configuration(std::string keyID = "quorilanth-test") const {
        return *UpdateChannelConfiguration::make(std::move(keyID), publicKey);
    }
};

inline const TestKey& channelKey() {
    static const TestKey key(0x42);
    return key;
}

inline std::string jsonString(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Members as raw JSON text; the map keeps keys sorted.
inline std::string jsonObject(const std::map<std::string, std::string>& members) {
    std::string text = "{";
    for (const auto& [key, value] : members) {
        if (text.size() > 1) text += ",";
        text += jsonString(key) + ":" + value;
    }
    return text + "}";
}

inline std::string releaseURL(std::string_view fileName) {
    return "https://" + std::string(UpdateChannelConfiguration::updateHost()) +
           "/quorilanth/downloads/" + std::string(fileName);
}

struct ManifestBuilder {
    std::map<std::string, std::string> release{
        {"version", jsonString("0.1.1")},
        {"build", "8"},
        {"minimumSystemVersion", jsonString("0.1")},
        {"architectures", R"(["arm64"])"},
        {"mandatory", "false"},
        {"publishedAt", jsonString("2026-09-13T12:00:00Z")},
        {"notes", R"({"en":"Verified update.","it":"Aggiornamento verificato."})"},
        {"downloadURL", jsonString(releaseURL("Quorilanth-0.1.1-macOS-arm64.dmg"))},
        {"sha256", jsonString(std::string(64, 'a'))},
        {"size", "1048576"},
    };
    std::map<std::string, std::string> payload{
        {"schema", "1"},
        {"channel", jsonString("stable")},
        {"generatedAt", jsonString("2026-09-13T12:00:00Z")},
    };
    std::map<std::string, std::string> envelope{
        {"schema", "1"},
        {"algorithm", jsonString("Ed25519")},
        {"keyId", jsonString("quorilanth-test")},
    };
    const TestKey* key = &channelKey();

    // A release for one file with the given bytes, for this machine's architecture.
    ManifestBuilder& forFile(std::string_view version, std::int64_t build, std::string_view sha256,
                             std::int64_t size, std::string_view architecture) {
        release["version"] = jsonString(version);
        release["build"] = std::to_string(build);
        release["architectures"] = "[" + jsonString(architecture) + "]";
        release["downloadURL"] = jsonString(releaseURL(
            "Quorilanth-" + std::string(version) + "-macOS-" + std::string(architecture) + ".dmg"));
        release["sha256"] = jsonString(sha256);
        release["size"] = std::to_string(size);
        return *this;
    }

    std::string payloadText() const {
        auto members = payload;
        members.try_emplace("release", jsonObject(release));
        return jsonObject(members);
    }
    std::string build() const { return signed_(payloadText()); }
    std::string signed_(const std::string& payloadBytes) const {
        auto members = envelope;
        members.try_emplace("payload", jsonString(encodeBase64(bytesOf(payloadBytes))));
        members.try_emplace("signature", jsonString(key->sign(payloadBytes)));
        return jsonObject(members);
    }
};

} // namespace test
} // namespace quorilanth
