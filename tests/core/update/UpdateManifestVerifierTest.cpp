#include "core/update/UpdateManifestVerifier.h"

#include "core/update/UpdateChannelError.h"
#include "support/update/UpdateTestKit.h"

#include <functional>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using test::jsonString;
using test::ManifestBuilder;
using C = UpdateChannelError::Case;

const SystemVersion kSystem{14, 0, 0};

UpdateManifestVerifier verifier() {
    return UpdateManifestVerifier(test::channelKey().configuration());
}

// The error a manifest yields, or none when it verifies.
std::optional<C> errorOf(const std::string& manifest, std::int64_t installed = 7,
                         SystemVersion system = kSystem, std::string_view architecture = "arm64") {
    try {
        verifier().verify(manifest, installed, system, architecture);
        return std::nullopt;
    } catch (const UpdateChannelError& error) {
        return error.value();
    }
}

std::string payloadOf(const ManifestBuilder& builder) {
    return builder.payloadText();
}

std::string flipped(std::string text, std::size_t at) {
    text[at] = static_cast<char>(text[at] ^ 0x01);
    return text;
}

TEST(UpdateManifestVerifier, AcceptsAWellFormedManifest) {
    auto outcome = verifier().verify(ManifestBuilder().build(), 7, kSystem, "arm64");
    ASSERT_EQ(outcome.kind(), UpdateCheckOutcome::Kind::available);
    const UpdateRelease& release = *outcome.release();
    EXPECT_EQ(release.version, "0.1.1");
    EXPECT_EQ(release.build, 8);
    EXPECT_EQ(release.size, 1048576);
    EXPECT_EQ(release.notes.at("it"), "Aggiornamento verificato.");
}

TEST(UpdateManifestVerifier, EnvelopeAndSignatureFailuresAreInvalidSignature) {
    using Edit = std::function<std::string()>;
    const std::string payload = payloadOf(ManifestBuilder());
    auto withEnvelope = [](const std::string& key, const std::string& value) {
        ManifestBuilder builder;
        builder.envelope[key] = value;
        return builder.build();
    };
    auto without = [](const std::string& key) {
        ManifestBuilder builder;
        std::string text = builder.build();
        // Drop the member by rebuilding without it.
        std::map<std::string, std::string> members = builder.envelope;
        members["payload"] = jsonString(encodeBase64(test::bytesOf(builder.payloadText())));
        members["signature"] = jsonString(test::channelKey().sign(builder.payloadText()));
        members.erase(key);
        return test::jsonObject(members);
    };
    const std::pair<const char*, Edit> cases[] = {
        {"not JSON", [] { return std::string("manifest"); }},
        {"empty", [] { return std::string(); }},
        {"top-level array", [] { return std::string("[]"); }},
        {"no signature", [&] { return without("signature"); }},
        {"no payload", [&] { return without("payload"); }},
        {"no keyId", [&] { return without("keyId"); }},
        {"no schema", [&] { return without("schema"); }},
        {"schema 2", [&] { return withEnvelope("schema", "2"); }},
        {"schema as text", [&] { return withEnvelope("schema", jsonString("1")); }},
        {"schema 1.0", [&] { return withEnvelope("schema", "1.0"); }},
        {"algorithm in lower case",
         [&] { return withEnvelope("algorithm", jsonString("ed25519")); }},
        {"algorithm ED25519", [&] { return withEnvelope("algorithm", jsonString("ED25519")); }},
        {"other key id", [&] { return withEnvelope("keyId", jsonString("quorilanth-other")); }},
        {"key id in other case",
         [&] { return withEnvelope("keyId", jsonString("Quorilanth-Test")); }},
        {"signature of 64 zero bytes",
         [&] {
             return withEnvelope("signature",
                                 jsonString(encodeBase64(std::vector<std::uint8_t>(64))));
         }},
        {"63-byte signature",
         [&] {
             auto signature = *decodeStrictBase64(test::channelKey().sign(payload));
             signature.pop_back();
             return withEnvelope("signature", jsonString(encodeBase64(signature)));
         }},
        {"65-byte signature",
         [&] {
             auto signature = *decodeStrictBase64(test::channelKey().sign(payload));
             signature.push_back(0);
             return withEnvelope("signature", jsonString(encodeBase64(signature)));
         }},
        {"signature with a line break",
         [&] {
             std::string signature = test::channelKey().sign(payload);
             return withEnvelope(
                 "signature", jsonString(signature.substr(0, 40) + "\\n" + signature.substr(40)));
         }},
        {"payload with a line break",
         [&] {
             std::string encoded = encodeBase64(test::bytesOf(payload));
             return withEnvelope("payload",
                                 jsonString(encoded.substr(0, 40) + "\\r\\n" + encoded.substr(40)));
         }},
        {"payload in the URL-safe alphabet",
         [&] {
             // Bytes chosen so that the standard encoding holds "+" and "/".
             std::string bytes = "\xfb\xff\xbf" + payload;
             std::string encoded = encodeBase64(test::bytesOf(bytes));
             for (char& c : encoded)
                 c = c == '+' ? '-' : c == '/' ? '_' : c;
             ManifestBuilder builder;
             builder.envelope["payload"] = jsonString(encoded);
             builder.envelope["signature"] = jsonString(test::channelKey().sign(bytes));
             return builder.build();
         }},
        {"a flipped payload byte",
         [&] {
             ManifestBuilder builder;
             builder.envelope["payload"] =
                 jsonString(encodeBase64(test::bytesOf(flipped(payload, 30))));
             return builder.build();
         }},
        {"signed by another key under the right key id",
         [] {
             static const test::TestKey other(0x43);
             ManifestBuilder builder;
             builder.key = &other;
             return builder.build();
         }},
        {"duplicate payload member",
         [&] {
             std::string text = ManifestBuilder().build();
             return text.substr(0, text.size() - 1) + R"(,"payload":"e30="})";
         }},
        {"NUL then more bytes after the envelope",
         [] { return ManifestBuilder().build() + std::string(1, '\0') + "{}"; }},
        {"trailing content", [] { return ManifestBuilder().build() + "{}"; }},
        {"deep nesting", [] { return std::string(100000, '['); }},
    };
    for (const auto& [name, make] : cases)
        EXPECT_EQ(errorOf(make()), C::invalidSignature) << name;
}

TEST(UpdateManifestVerifier, RFC8032TestVectorsVerify) {
    // Test vectors 1 and 2: their messages are no JSON, so a verified
    // signature shows up as invalidRelease and a refused one as invalidSignature.
    struct Vector {
        const char* publicKey;
        const char* message;
        const char* signature;
    };
    const Vector vectors[] = {
        {"d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
         "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701"
         "c"
         "f9b46bd25bf5f0595bbe24655141438e7a100b"},
        {"3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
         "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d"
         "0"
         "f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    };
    for (const auto& v : vectors) {
        auto configuration =
            UpdateChannelConfiguration::make("rfc8032", test::fromHex(v.publicKey));
        ASSERT_TRUE(configuration);
        auto message = test::fromHex(v.message);
        auto signature = test::fromHex(v.signature);
        auto manifest = [&](const std::vector<std::uint8_t>& sig) {
            return test::jsonObject({{"schema", "1"},
                                     {"algorithm", jsonString("Ed25519")},
                                     {"keyId", jsonString("rfc8032")},
                                     {"payload", jsonString(encodeBase64(message))},
                                     {"signature", jsonString(encodeBase64(sig))}});
        };
        auto verdict = [&](const std::vector<std::uint8_t>& sig) {
            try {
                UpdateManifestVerifier(*configuration).verify(manifest(sig), 1, kSystem, "arm64");
            } catch (const UpdateChannelError& error) {
                return error.value();
            }
            return C::unavailable;
        };
        EXPECT_EQ(verdict(signature), C::invalidRelease) << v.publicKey;
        signature[10] ^= 0x20;
        EXPECT_EQ(verdict(signature), C::invalidSignature) << v.publicKey;
    }
}

TEST(UpdateManifestVerifier, SizeAndBuildComeFirst) {
    // Pads the envelope with an ignored member up to an exact length.
    auto ofLength = [](std::size_t length) {
        ManifestBuilder builder;
        std::string base = builder.build();
        std::size_t filler = length - base.size() - std::string(R"(,"pad":"")").size();
        builder.envelope["pad"] = jsonString(std::string(filler, 'x'));
        std::string text = builder.build();
        EXPECT_EQ(text.size(), length);
        return text;
    };
    EXPECT_EQ(errorOf(ofLength(131072)), std::nullopt);
    EXPECT_EQ(errorOf(ofLength(131073)), C::tooLarge);
    EXPECT_EQ(errorOf(ofLength(131073), 0), C::tooLarge);
    EXPECT_EQ(errorOf(std::string(131073, 'x'), 0), C::tooLarge);
    EXPECT_EQ(errorOf(ManifestBuilder().build(), 0), C::unconfigured);
    EXPECT_EQ(errorOf("not json", -5), C::unconfigured);
    EXPECT_EQ(errorOf("not json", 1), C::invalidSignature);
}

// One release member replaced (or, with nullopt, removed); nullopt expected means accepted.
struct ReleaseCase {
    const char* key;
    std::optional<std::string> value;
    std::optional<C> expected;
};

TEST(UpdateManifestVerifier, ReleaseRules) {
    const std::string longNote(5000, 'n');
    // A combining accent joins its base: 5000 user-perceived characters, 10000 code points.
    std::string combined;
    for (int i = 0; i < 5000; ++i)
        combined += "e\xCC\x81";
    const std::string dmg = "Quorilanth-0.1.1-macOS-";
    const ReleaseCase cases[] = {
        {"version", jsonString("1.2"), C::invalidRelease},
        {"version", jsonString("01.2.3"), C::invalidRelease},
        {"version", jsonString("1.2.3.4"), C::invalidRelease},
        {"version", jsonString("1.2.3 "), C::invalidRelease},
        {"version", "1", C::invalidRelease},
        {"version", std::nullopt, C::invalidRelease},
        {"build", "0", C::invalidRelease},
        {"build", "-8", C::invalidRelease},
        {"build", "8.0", C::invalidRelease},
        {"build", "8e0", C::invalidRelease},
        {"build", "18446744073709551615", C::invalidRelease},
        {"build", jsonString("8"), C::invalidRelease},
        {"architectures", "[]", C::invalidRelease},
        {"architectures", R"(["arm64","arm64"])", C::invalidRelease},
        {"architectures", R"(["arm64e"])", C::invalidRelease},
        {"architectures", R"(["universal"])", C::invalidRelease},
        {"architectures", R"(["x86_64","arm64"])", C::invalidRelease}, // file says arm64
        {"downloadURL", jsonString("http://x.example/Quorilanth-0.1.1-macOS-arm64.dmg"),
         C::invalidRelease},
        {"downloadURL", jsonString(test::releaseURL(dmg + "x86_64.dmg")), C::invalidRelease},
        {"downloadURL", jsonString(test::releaseURL("Quorilanth-0.1.2-macOS-arm64.dmg")),
         C::invalidRelease},
        {"downloadURL", jsonString(test::releaseURL(dmg + "arm64.dmg") + "?"), C::invalidRelease},
        {"downloadURL", jsonString("not a url"), C::invalidRelease},
        {"sha256", jsonString(std::string(64, 'A')), C::invalidRelease},
        {"sha256", jsonString(std::string(63, 'a')), C::invalidRelease},
        {"sha256", jsonString(std::string(65, 'a')), C::invalidRelease},
        {"sha256", jsonString(std::string(63, 'a') + "g"), C::invalidRelease},
        {"size", "0", C::invalidRelease},
        {"size", "536870913", C::invalidRelease},
        {"size", "1", std::nullopt},
        {"size", "536870912", std::nullopt},
        {"size", "536870912.0", C::invalidRelease},
        {"publishedAt", jsonString("2026-09-13"), C::invalidRelease},
        {"publishedAt", jsonString("2026-09-13T12:00:00"), C::invalidRelease},
        {"publishedAt", jsonString("2026-02-30T12:00:00Z"), C::invalidRelease},
        {"publishedAt", jsonString("2026-09-13T12:00:00.250Z"), std::nullopt},
        {"publishedAt", jsonString("2026-09-13T12:00:00+02:00"), std::nullopt},
        {"publishedAt", jsonString("2024-02-29T23:59:59-11:30"), std::nullopt},
        {"notes", R"({"en":"Only English."})", C::invalidRelease},
        {"notes", R"({"en":"English.","it":" \n\t\r "})", C::invalidRelease},
        {"notes", R"({"en":"English.","it":"\u2003\u00a0"})", C::invalidRelease},
        {"notes", R"({})", C::invalidRelease},
        {"notes", R"({"en":"English.","it":1})", C::invalidRelease},
        {"notes", R"({"en":")" + longNote + R"(","it":"Sì."})", std::nullopt},
        {"notes", R"({"en":")" + longNote + R"(x","it":"Sì."})", C::invalidRelease},
        {"notes", R"({"en":" )" + longNote.substr(1) + R"( ","it":"Sì."})", C::invalidRelease},
        {"notes", R"({"en":")" + combined + R"(","it":"Sì."})", std::nullopt},
        {"minimumSystemVersion", jsonString("14"), C::invalidRelease},
        {"minimumSystemVersion", jsonString("14.0.1.2"), C::invalidRelease},
        {"minimumSystemVersion", jsonString("14.x"), C::invalidRelease},
        {"minimumSystemVersion", jsonString("99999999999999999999.0"), C::invalidRelease},
        {"minimumSystemVersion", jsonString("14.0"), std::nullopt},
        {"mandatory", "1", C::invalidRelease},
        {"mandatory", "true", std::nullopt},
        {"unknownKey", "{}", std::nullopt},
    };
    for (const auto& c : cases) {
        ManifestBuilder builder;
        if (c.value)
            builder.release[c.key] = *c.value;
        else
            builder.release.erase(c.key);
        EXPECT_EQ(errorOf(builder.build(), 7, {15, 0, 0}), c.expected)
            << c.key << " = " << c.value.value_or("(absent)").substr(0, 80);
    }
}

TEST(UpdateManifestVerifier, VersionsThatAreAccepted) {
    for (const char* version : {"0.0.0", "10.20.30"}) {
        ManifestBuilder builder;
        builder.release["version"] = jsonString(version);
        builder.release["downloadURL"] =
            jsonString(test::releaseURL("Quorilanth-" + std::string(version) + "-macOS-arm64.dmg"));
        EXPECT_EQ(errorOf(builder.build()), std::nullopt) << version;
    }
    ManifestBuilder universal;
    universal.release["architectures"] = R"(["x86_64","arm64"])";
    universal.release["downloadURL"] =
        jsonString(test::releaseURL("Quorilanth-0.1.1-macOS-universal.dmg"));
    EXPECT_EQ(errorOf(universal.build()), std::nullopt);
}

TEST(UpdateManifestVerifier, PayloadRules) {
    struct Case {
        const char* key;
        std::optional<std::string> value;
        std::optional<C> expected;
    };
    const Case cases[] = {
        {"channel", jsonString("beta"), C::invalidRelease},
        {"channel", jsonString("Stable"), C::invalidRelease},
        {"schema", "2", C::invalidRelease},
        {"generatedAt", std::nullopt, C::invalidRelease},
        {"generatedAt", jsonString("yesterday"), C::invalidRelease},
        {"release", "null", C::invalidRelease},
        {"release", "[]", C::invalidRelease},
        {"extra", R"({"nested":[1,2,3]})", std::nullopt},
    };
    for (const auto& c : cases) {
        ManifestBuilder builder;
        if (c.value)
            builder.payload[c.key] = *c.value;
        else
            builder.payload.erase(c.key);
        EXPECT_EQ(errorOf(builder.build()), c.expected) << c.key;
    }
    // A signed payload that is not JSON at all is content, not signature, trouble.
    EXPECT_EQ(errorOf(ManifestBuilder().signed_("not json")), C::invalidRelease);
    ManifestBuilder extraEnvelope;
    extraEnvelope.envelope["comment"] = jsonString("ignored");
    EXPECT_EQ(errorOf(extraEnvelope.build()), std::nullopt);
}

TEST(UpdateManifestVerifier, OutcomeMatrix) {
    struct Case {
        std::int64_t installed;
        const char* architectures;
        const char* fileArchitecture;
        const char* minimum;
        SystemVersion system;
        const char* machine;
        UpdateCheckOutcome::Kind expected;
    };
    using K = UpdateCheckOutcome::Kind;
    const Case cases[] = {
        {8, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::current},
        {9, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::current},
        {8, R"(["x86_64"])", "x86_64", "99.0", {1, 0, 0}, "arm64", K::current},
        {7, R"(["arm64"])", "arm64", "14.0", {14, 0, 0}, "arm64", K::available},
        {7, R"(["arm64"])", "arm64", "14.0.1", {14, 0, 0}, "arm64", K::incompatible},
        {7, R"(["arm64"])", "arm64", "14.6", {15, 0, 0}, "arm64", K::available},
        {7, R"(["arm64"])", "arm64", "14.6", {14, 5, 99}, "arm64", K::incompatible},
        {7, R"(["x86_64"])", "x86_64", "14.0", {14, 0, 0}, "arm64", K::incompatible},
        {7, R"(["x86_64"])", "x86_64", "14.0", {14, 0, 0}, "x86_64", K::available},
        {7, R"(["arm64","x86_64"])", "universal", "14.0", {14, 0, 0}, "x86_64", K::available},
        {1, R"(["arm64"])", "arm64", "0.0", {0, 0, 0}, "arm64", K::available},
    };
    for (const auto& c : cases) {
        ManifestBuilder builder;
        builder.release["architectures"] = c.architectures;
        builder.release["minimumSystemVersion"] = jsonString(c.minimum);
        builder.release["downloadURL"] = jsonString(
            test::releaseURL("Quorilanth-0.1.1-macOS-" + std::string(c.fileArchitecture) + ".dmg"));
        auto outcome = verifier().verify(builder.build(), c.installed, c.system, c.machine);
        EXPECT_EQ(outcome.kind(), c.expected)
            << c.installed << " " << c.architectures << " " << c.minimum;
        EXPECT_EQ(outcome.release().has_value(),
                  c.expected == K::available || c.expected == K::incompatible);
    }
}

TEST(UpdateManifestVerifier, LowerBuildIsNeverOfferedWhateverItsVersionSays) {
    ManifestBuilder builder;
    builder.release["version"] = jsonString("99.0.0");
    builder.release["build"] = "8";
    builder.release["downloadURL"] =
        jsonString(test::releaseURL("Quorilanth-99.0.0-macOS-arm64.dmg"));
    for (std::int64_t installed : {std::int64_t{8}, std::int64_t{9}, INT64_MAX})
        EXPECT_EQ(verifier().verify(builder.build(), installed, kSystem, "arm64"),
                  UpdateCheckOutcome::current());
}

TEST(UpdateManifestVerifier, SystemVersionRule) {
    const std::pair<const char*, std::optional<SystemVersion>> cases[] = {
        {"14.0", SystemVersion{14, 0, 0}},
        {"14.6.1", SystemVersion{14, 6, 1}},
        {"0.0", SystemVersion{0, 0, 0}},
        {"14", std::nullopt},
        {"14.0.1.2", std::nullopt},
        {"14.", std::nullopt},
        {".14", std::nullopt},
        {"14..0", std::nullopt},
        {"-1.0", std::nullopt},
        {"+1.0", std::nullopt},
        {"9223372036854775807.0", SystemVersion{INT64_MAX, 0, 0}},
        {"9223372036854775808.0", std::nullopt},
        {"1.2.0000000000000000000000000000003", std::nullopt}, // over 32 bytes
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(UpdateManifestVerifier::parseSystemVersion(text), expected) << text;
}

TEST(UpdateManifestVerifier, SystemVersionFromOSRelease) {
    const std::pair<const char*, SystemVersion> cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n", {12, 0, 0}},
        {"VERSION_ID=22.04\n", {22, 4, 0}},
        {"VERSION_ID='39.1.2'\n", {39, 1, 2}},
        {"ID=arch\n", {0, 0, 0}},
        {"VERSION_ID=\"rolling\"\n", {0, 0, 0}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(systemVersionFromOSRelease(text), expected) << text;
}

} // namespace
} // namespace quorilanth
