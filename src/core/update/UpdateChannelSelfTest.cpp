#include "core/update/UpdateChannelSelfTest.h"

#include "core/update/UpdateChannelError.h"
#include "core/update/UpdateManifestVerifier.h"

#include <algorithm>
#include <array>
#include <sodium.h>
#include <stdexcept>

namespace quorilanth {
namespace {

using Error = UpdateChannelError;

constexpr std::string_view kEmDash = "\xE2\x80\x94";

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string envelope(std::string_view keyID, std::string_view payload,
                     std::span<const std::uint8_t> signature) {
    return R"({"algorithm":"Ed25519","keyId":")" + std::string(keyID) + R"(","payload":")" +
           encodeBase64(bytesOf(payload)) + R"(","schema":1,"signature":")" +
           encodeBase64(signature) + R"("})";
}

// The argument right after the first occurrence of the option, if any.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments,
                                       std::string_view option) {
    auto found = std::find(arguments.begin(), arguments.end(), option);
    if (found == arguments.end() || std::next(found) == arguments.end()) return std::nullopt;
    return *std::next(found);
}

bool contains(const std::vector<std::string>& arguments, std::string_view option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

int runLive(const std::vector<std::string>& arguments, const ApplicationBundle& bundle,
            const UpdateSessionConfiguration& session, std::ostream& out) {
    auto configuration = UpdateChannelConfiguration::load(bundle);
    if (!configuration) throw Error(Error::Case::unconfigured);
    std::int64_t installedBuild = 0;
    if (auto value = bundle.value("CFBundleVersion"))
        installedBuild = parseBuildNumber(*value).value_or(0);
    if (auto value = optionValue(arguments, "--installed-build"))
        installedBuild = parseBuildNumber(*value).value_or(installedBuild);

    UpdateChannelClient client(*configuration, session);
    UpdateCheckOutcome outcome = client.check(installedBuild);
    switch (outcome.kind()) {
    case UpdateCheckOutcome::Kind::available: {
        const UpdateRelease& release = *outcome.release();
        out << "PASS: AVAILABLE " << kEmDash << " verified " << release.version << ", build "
            << release.build << ", installed build " << installedBuild << ".\n"
            << std::flush;
        if (auto folder = optionValue(arguments, "--download-directory")) {
            auto file = client.download(release, *folder, [](double) {});
            UpdateChannelClient::verifyDownloadedFile(file, release);
            out << "PASS: DOWNLOAD " << kEmDash << " SHA-256 and size verified: " << file.string()
                << "\n";
        }
        return 0;
    }
    case UpdateCheckOutcome::Kind::incompatible:
        throw Error(Error::Case::invalidRelease);
    case UpdateCheckOutcome::Kind::current:
        out << "PASS: CURRENT " << kEmDash << " signed live channel matches installed build "
            << installedBuild << ".\n";
        return 0;
    case UpdateCheckOutcome::Kind::notPublished:
        out << "PASS: NOT PUBLISHED " << kEmDash << " channel responds HTTP 204.\n";
        return 0;
    }
    throw Error(Error::Case::unavailable);
}

} // namespace

void UpdateChannelSelfTest::run() {
    if (sodium_init() < 0) throw std::runtime_error("The signing library could not start.");
    std::array<std::uint8_t, crypto_sign_PUBLICKEYBYTES> publicKey{};
    std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> secretKey{};
    crypto_sign_keypair(publicKey.data(), secretKey.data());
    auto configuration = UpdateChannelConfiguration::make("selftest", publicKey);
    if (!configuration) throw Error(Error::Case::unconfigured);

    UpdateRelease release;
    release.version = "0.1.1";
    release.build = 8;
    release.minimumSystemVersion = "14.0";
    release.architectures = {"arm64"};
    release.mandatory = false;
    release.publishedAt = "2026-09-13T12:00:00Z";
    release.notes = {{"it", "Aggiornamento verificato."}, {"en", "Verified update."}};
    release.downloadURL = "https://" + std::string(UpdateChannelConfiguration::updateHost()) +
                          "/quorilanth/downloads/Quorilanth-0.1.1-macOS-arm64.dmg";
    release.sha256 = std::string(64, 'a');
    release.size = 1048576;
    // Keys sorted, compact.
    const std::string payload = R"({"channel":"stable","generatedAt":"2026-09-13T12:00:00Z",)"
                                R"("release":)" +
                                release.toJSON() + R"(,"schema":1})";

    std::array<std::uint8_t, crypto_sign_BYTES> signature{};
    int signedOK = crypto_sign_detached(signature.data(), nullptr, bytesOf(payload).data(),
                                        payload.size(), secretKey.data());
    sodium_memzero(secretKey.data(), secretKey.size());
    if (signedOK != 0) throw std::runtime_error("Signing the test manifest failed.");
    const std::string manifest = envelope("selftest", payload, signature);

    UpdateManifestVerifier verifier(*configuration);
    const SystemVersion fixedSystem{14, 0, 0};
    auto offered = verifier.verify(manifest, 7, fixedSystem, "arm64");
    if (offered.kind() != UpdateCheckOutcome::Kind::available || offered.release()->build != 8)
        throw Error(Error::Case::invalidRelease);
    for (std::int64_t installed : {8, 9})
        if (verifier.verify(manifest, installed, fixedSystem, "arm64") !=
            UpdateCheckOutcome::current())
            throw Error(Error::Case::invalidRelease);

    std::array<std::uint8_t, crypto_sign_BYTES> forged{};
    try {
        verifier.verify(envelope("selftest", payload, forged), 7, runningSystemVersion(), "arm64");
    } catch (const Error& error) {
        if (error.value() == Error::Case::invalidSignature) return;
        throw;
    }
    throw Error(Error::Case::invalidRelease);
}

std::optional<int> runUpdateSelfTestMode(const std::vector<std::string>& arguments,
                                         const ApplicationBundle& bundle,
                                         const UpdateSessionConfiguration& session,
                                         std::ostream& out, std::ostream& err) {
    const bool offline = contains(arguments, "--selftest-update");
    if (!offline && !contains(arguments, "--selftest-update-live")) return std::nullopt;
    try {
        if (!offline) return runLive(arguments, bundle, session, out);
        if (!UpdateChannelConfiguration::load(bundle)) throw Error(Error::Case::unconfigured);
        UpdateChannelSelfTest::run();
        out << "PASS: signed update verification, tampering rejection and version comparison.\n";
        return 0;
    } catch (const std::exception& error) {
        out << std::flush;
        err << "FAIL: " << error.what() << "\n" << std::flush;
        return 1;
    }
}

} // namespace quorilanth
