#pragma once

// The update channel's tests: a fixed signing key, signed manifests whose
// members are raw JSON (so that a test can replace, drop or mistype any one),
// and a route to a loopback server whose certificate names the real update host.

#include "core/base/UUID.h"
#include "core/update/Sha256.h"
#include "core/update/UpdateChannelClient.h"
#include "support/TestCertificateAuthority.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sodium.h>

namespace quorilanth {

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

inline std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A fresh folder in the temporary folder, removed with everything in it.
struct TempFolder {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("ql-update-" + newUUIDText());
    TempFolder() { std::filesystem::create_directory(path); }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// An Ed25519 key pair from a repeated seed byte, so tests and test programs agree on it.
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
    UpdateChannelConfiguration configuration() const {
        return *UpdateChannelConfiguration::make("quorilanth-test", publicKey);
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
    std::string text;
    for (const auto& [key, value] : members)
        text += (text.empty() ? "{" : ",") + jsonString(key) + ":" + value;
    return text + "}";
}

inline std::string releaseURL(std::string_view version, std::string_view architecture) {
    return "https://" + std::string(UpdateChannelConfiguration::updateHost()) +
           "/quorilanth/downloads/Quorilanth-" + std::string(version) + "-macOS-" +
           std::string(architecture) + ".dmg";
}

// Release 0.1.1, build 8: a disk image of these bytes for one architecture.
struct ManifestBuilder {
    explicit ManifestBuilder(std::string_view image = "image", std::string_view arch = "arm64") {
        Sha256 hash;
        hash.update(bytesOf(image));
        const std::string date = jsonString("2026-09-13T12:00:00Z");
        release = {{"version", jsonString("0.1.1")},
                   {"build", "8"},
                   {"minimumSystemVersion", jsonString("0.1")},
                   {"architectures", "[" + jsonString(arch) + "]"},
                   {"mandatory", "false"},
                   {"publishedAt", date},
                   {"notes", R"({"en":"Verified update.","it":"Aggiornamento verificato."})"},
                   {"downloadURL", jsonString(releaseURL("0.1.1", arch))},
                   {"sha256", jsonString(hash.finishHex())},
                   {"size", std::to_string(image.size())}};
        payload = {{"schema", "1"}, {"channel", jsonString("stable")}, {"generatedAt", date}};
        envelope = {{"schema", "1"},
                    {"algorithm", jsonString("Ed25519")},
                    {"keyId", jsonString("quorilanth-test")}};
    }
    std::map<std::string, std::string> release, payload, envelope;
    const TestKey* key = &channelKey();

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
