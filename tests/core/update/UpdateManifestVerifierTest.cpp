#include "core/update/UpdateManifestVerifier.h"

#include "core/update/UpdateChannelError.h"
#include "support/update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::jsonString;
using test::ManifestBuilder;
using C = UpdateChannelError::Case;

// The error a manifest yields, or none when it verifies.
std::optional<C>
errorOf(const std::string& manifest, std::int64_t installed = 7,
        const UpdateChannelConfiguration& channel = test::channelKey().configuration()) {
    try {
        UpdateManifestVerifier(channel).verify(manifest, installed, {15, 0, 0}, "arm64");
        return std::nullopt;
    } catch (const UpdateChannelError& error) {
        return error.value();
    }
}

TEST(UpdateManifestVerifier, TamperedEnvelopesAreInvalidSignature) {
    std::string payload = ManifestBuilder().payloadText();
    const std::string signature = test::channelKey().sign(payload);
    auto shortSignature = *decodeStrictBase64(signature);
    shortSignature.pop_back();
    payload[30] ^= 0x01;
    static const test::TestKey other(0x43);
    ManifestBuilder otherKey; // signed by another key under the right key id
    otherKey.key = &other;
    const std::string good = ManifestBuilder().build();
    std::vector<std::string> texts = {
        otherKey.build(),
        good.substr(0, good.size() - 1) + R"(,"payload":"e30="})", // which payload is signed?
        good + std::string(1, '\0') + "{}",
        std::string(100000, '['),
    };
    // One envelope member replaced.
    for (const auto& [key, value] : std::initializer_list<std::pair<const char*, std::string>>{
             {"algorithm", jsonString("ed25519")},
             {"keyId", jsonString("Quorilanth-Test")},
             {"signature", jsonString(encodeBase64(shortSignature))},
             {"signature", jsonString(signature.substr(0, 40) + "\\n" + signature.substr(40))},
             {"payload", jsonString(encodeBase64(test::bytesOf(payload)))}}) {
        ManifestBuilder builder;
        builder.envelope[key] = value;
        texts.push_back(builder.build());
    }
    for (const auto& text : texts)
        EXPECT_EQ(errorOf(text), C::invalidSignature) << text.substr(0, 80);
    // A signed payload that is not JSON at all is content, not signature, trouble.
    EXPECT_EQ(errorOf(ManifestBuilder().signed_("not json")), C::invalidRelease);
}

TEST(UpdateManifestVerifier, ReleaseAndPayloadRules) {
    const std::string good = ManifestBuilder().build();
    const auto padded = [&](std::size_t length) {
        std::string text = good;
        return text.insert(text.size() - 1,
                           R"(,"pad":")" + std::string(length - text.size() - 9, 'x') + "\"");
    };
    // Size and the installed build come before anything else.
    EXPECT_EQ(errorOf(padded(131072)), std::nullopt);
    EXPECT_EQ(errorOf(padded(131073), 0), C::tooLarge);
    EXPECT_EQ(errorOf(good, 0), C::unconfigured);
    EXPECT_EQ(errorOf("not json", -5), C::unconfigured);

    const std::string longNote(5000, 'n');
    // A combining accent joins its base: 5000 user-perceived characters, 10000 code points.
    std::string combined;
    for (int i = 0; i < 5000; ++i)
        combined += "e\xCC\x81";
    // One release (or, for other names, payload) member replaced or, with
    // nullopt, removed; nullopt expected means accepted.
    const std::tuple<const char*, std::optional<std::string>, std::optional<C>> cases[] = {
        {"version", jsonString("1.2"), C::invalidRelease},
        {"build", "0", C::invalidRelease},
        {"architectures", R"(["arm64","arm64"])", C::invalidRelease},
        {"architectures", R"(["x86_64","arm64"])", C::invalidRelease}, // the file says arm64
        {"downloadURL", jsonString(test::releaseURL("0.1.2", "arm64")), C::invalidRelease},
        {"sha256", jsonString(std::string(64, 'A')), C::invalidRelease},
        {"size", "0", C::invalidRelease},
        {"size", "536870912", std::nullopt},
        {"size", "536870913", C::invalidRelease},
        {"publishedAt", jsonString("2026-02-30T12:00:00Z"), C::invalidRelease},
        {"publishedAt", jsonString("2024-02-29T23:59:59.250-11:30"), std::nullopt},
        {"notes", R"({"en":"English.","it":"\u2003\u00a0\n"})", C::invalidRelease},
        {"notes", R"({"en":")" + longNote + R"(","it":"Sì."})", std::nullopt},
        {"notes", R"({"en":")" + longNote + R"(x","it":"Sì."})", C::invalidRelease},
        {"notes", R"({"en":")" + combined + R"(","it":"Sì."})", std::nullopt},
        {"channel", jsonString("beta"), C::invalidRelease},
        {"generatedAt", std::nullopt, C::invalidRelease},
        {"extra", R"({"nested":[1,2,3]})", std::nullopt},
    };
    for (const auto& [key, value, expected] : cases) {
        ManifestBuilder builder;
        auto& members = builder.release.contains(key) ? builder.release : builder.payload;
        if (value)
            members[key] = *value;
        else
            members.erase(key);
        EXPECT_EQ(errorOf(builder.build()), expected)
            << key << " = " << value.value_or("(absent)").substr(0, 80);
    }
}

TEST(UpdateManifestVerifier, OutcomeMatrix) {
    using K = UpdateCheckOutcome::Kind;
    // Installed build, listed architectures, the file's architecture, minimum
    // system, running system, this machine. The release is build 8 whatever its
    // high version says, so a higher installed build is never offered it.
    const std::tuple<std::int64_t, const char*, const char*, const char*, SystemVersion,
                     const char*, K>
        cases[] = {
            {8, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::current},
            {INT64_MAX, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::current},
            {8, R"(["x86_64"])", "x86_64", "99.0", {1, 0, 0}, "arm64", K::current},
            {7, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::available},
            {7, R"(["arm64"])", "arm64", "14.0.1", {14, 0, 0}, "arm64", K::incompatible},
            {7, R"(["arm64"])", "arm64", "14.6", {14, 5, 99}, "arm64", K::incompatible},
            {7, R"(["x86_64"])", "x86_64", "14.0", {14, 0, 0}, "arm64", K::incompatible},
            {7, R"(["arm64","x86_64"])", "universal", "14.0", {14, 0, 0}, "x86_64", K::available},
        };
    for (const auto& [installed, listed, file, minimum, system, machine, expected] : cases) {
        ManifestBuilder builder;
        builder.release["version"] = jsonString("99.0.0");
        builder.release["architectures"] = listed;
        builder.release["minimumSystemVersion"] = jsonString(minimum);
        builder.release["downloadURL"] = jsonString(test::releaseURL("99.0.0", file));
        const auto outcome = UpdateManifestVerifier(test::channelKey().configuration())
                                 .verify(builder.build(), installed, system, machine);
        EXPECT_EQ(outcome.kind(), expected) << installed << " " << listed << " " << minimum;
        EXPECT_EQ(outcome.release().has_value(), expected != K::current);
    }
}

TEST(UpdateManifestVerifier, SystemVersions) {
    const std::pair<const char*, std::optional<SystemVersion>> cases[] = {
        {"14.6.1", SystemVersion{14, 6, 1}},
        {"14.0.1.2", std::nullopt},
        {"+1.0", std::nullopt},
        {"9223372036854775807.0", SystemVersion{INT64_MAX, 0, 0}},
        {"9223372036854775808.0", std::nullopt},
        {"1.2.0000000000000000000000000000003", std::nullopt}, // over 32 bytes
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(UpdateManifestVerifier::parseSystemVersion(text), expected) << text;
    EXPECT_EQ(systemVersionFromOSRelease("NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"),
              (SystemVersion{12, 0, 0}));
    EXPECT_EQ(systemVersionFromOSRelease("VERSION_ID=\"rolling\"\n"), (SystemVersion{0, 0, 0}));
}

} // namespace
} // namespace quorilanth
