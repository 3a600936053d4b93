#include "core/update/UpdateChannelConfiguration.h"

#include "core/update/UpdateRelease.h"
#include "support/update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

const std::string kHost(UpdateChannelConfiguration::updateHost());
const std::string kFileURL = "https://" + kHost + "/quorilanth/downloads/";

TEST(UpdateChannelConfiguration, KeyIDAndKeyLength) {
    struct Case {
        std::string keyID;
        std::size_t keyBytes;
        bool accepted;
    };
    const Case cases[] = {
        {std::string(100, 'k'), 32, true},
        {"a.b_c-D9", 32, true},
        {std::string(101, 'k'), 32, false},
        {"", 32, false},
        {"has blank", 32, false},
        {"has/slash", 32, false},
        {"tab\t", 32, false},
        {"ключ", 32, false},
        {"ok", 31, false},
        {"ok", 33, false},
        {"ok", 0, false},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> key(c.keyBytes, 7);
        EXPECT_EQ(UpdateChannelConfiguration::make(c.keyID, key).has_value(), c.accepted)
            << c.keyID << " / " << c.keyBytes;
    }
}

TEST(UpdateChannelConfiguration, LoadFromBundle) {
    const std::string key = encodeBase64(std::vector<std::uint8_t>(32, 9));
    const std::string feed = UpdateChannelConfiguration::feedURL();
    struct Case {
        const char* name;
        std::map<std::string, std::string, std::less<>> info;
        bool configured;
    };
    const Case cases[] = {
        {"complete",
         {{"QuorilanthUpdateFeedURL", feed},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey", key}},
         true},
        {"no feed marker",
         {{"QuorilanthUpdateKeyID", "release-1"}, {"QuorilanthUpdatePublicKey", key}},
         false},
        {"feed with trailing slash",
         {{"QuorilanthUpdateFeedURL", feed + "/"},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey", key}},
         false},
        {"feed on another host",
         {{"QuorilanthUpdateFeedURL", "https://evil.example/quorilanth/api/v1/update.json"},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey", key}},
         false},
        {"no key id",
         {{"QuorilanthUpdateFeedURL", feed}, {"QuorilanthUpdatePublicKey", key}},
         false},
        {"bad key id",
         {{"QuorilanthUpdateFeedURL", feed},
          {"QuorilanthUpdateKeyID", "release 1"},
          {"QuorilanthUpdatePublicKey", key}},
         false},
        {"no key",
         {{"QuorilanthUpdateFeedURL", feed}, {"QuorilanthUpdateKeyID", "release-1"}},
         false},
        {"line break in key",
         {{"QuorilanthUpdateFeedURL", feed},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey", key.substr(0, 20) + "\n" + key.substr(20)}},
         false},
        {"31-byte key",
         {{"QuorilanthUpdateFeedURL", feed},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey", encodeBase64(std::vector<std::uint8_t>(31, 9))}},
         false},
        {"url-safe alphabet",
         {{"QuorilanthUpdateFeedURL", feed},
          {"QuorilanthUpdateKeyID", "release-1"},
          {"QuorilanthUpdatePublicKey",
           encodeBase64(std::vector<std::uint8_t>(32, 0xfb)).replace(0, 1, "-")}},
         false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateChannelConfiguration::load(ApplicationBundle{c.info}).has_value(),
                  c.configured)
            << c.name;
}

TEST(UpdateChannelConfiguration, StrictBase64) {
    struct Case {
        std::string text;
        std::optional<std::string> bytes;
    };
    const Case cases[] = {
        {"", std::string()},        {"QQ==", "A"}, {"QUI=", "AB"}, {"QUJD", "ABC"},
        {"QQ", std::nullopt},       // padding missing
        {"QR==", std::nullopt},     // non-zero padding bits
        {"QUJD\n", std::nullopt},   // trailing line break
        {"QU JD", std::nullopt},    // blank inside
        {"QUJD====", std::nullopt}, // padding where none belongs
        {"-_-_", std::nullopt},     // URL-safe alphabet
        {"QUJD*", std::nullopt},
    };
    for (const auto& c : cases) {
        auto decoded = decodeStrictBase64(c.text);
        ASSERT_EQ(decoded.has_value(), c.bytes.has_value()) << c.text;
        if (decoded) {
            EXPECT_EQ(std::string(decoded->begin(), decoded->end()), *c.bytes) << c.text;
        }
    }
}

TEST(UpdateChannelConfiguration, ReleaseURLRule) {
    struct Case {
        std::string url;
        bool allowed;
    };
    const std::string name = "Quorilanth-1.2.3-macOS-universal.dmg";
    const Case cases[] = {
        {kFileURL + name, true},
        {kFileURL + "Quorilanth-10.20.30-macOS-arm64.dmg", true},
        {kFileURL + "Quorilanth-1.2.3-macOS-x86_64.dmg", true},
        {"http://" + kHost + "/quorilanth/downloads/" + name, false},
        {"HTTPS://" + kHost + "/quorilanth/downloads/" + name, false},
        {"https://" + kHost + ":443/quorilanth/downloads/" + name, false},
        {kFileURL + name + "?", false},
        {kFileURL + name + "#", false},
        {kFileURL + name + "?x=1", false},
        {"https://user@" + kHost + "/quorilanth/downloads/" + name, false},
        {"https://user:pw@" + kHost + "/quorilanth/downloads/" + name, false},
        {kFileURL + "sub/" + name, false},
        {kFileURL + "Quorilanth%2D1.2.3-macOS-universal.dmg", false},
        {kFileURL + "%51uorilanth-1.2.3-macOS-universal.dmg", false},
        {"https://" + kHost + "/quorilanth/downloads/../downloads/" + name, false},
        {"https://" + kHost + "/quorilanth//downloads/" + name, false},
        {"https://UPDATES" + kHost.substr(7) + "/quorilanth/downloads/" + name, false},
        {"https://" + kHost + "./quorilanth/downloads/" + name, false},
        {"https://" + kHost + ".evil.example/quorilanth/downloads/" + name, false},
        {kFileURL + "Quorilanth-1.2-macOS-arm64.dmg", false},
        {kFileURL + "Quorilanth-1.2.3.4-macOS-arm64.dmg", false},
        {kFileURL + "Quorilanth-1.2.3-macOS-ppc.dmg", false},
        {kFileURL + "Quorilanth-1.2.3-macOS-arm64.dmg.exe", false},
        {kFileURL + "Quorilanth-1.2.3-macOS-arm64.DMG", false},
        {kFileURL, false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateChannelConfiguration::allowsReleaseURL(c.url), c.allowed) << c.url;
}

UpdateRelease sampleRelease() {
    UpdateRelease release;
    release.version = "0.1.1";
    release.build = 8;
    release.minimumSystemVersion = "14.0";
    release.architectures = {"arm64", "x86_64"};
    release.publishedAt = "2026-09-13T12:00:00Z";
    release.notes = {{"en", "English"}, {"it", "Italiano"}};
    release.downloadURL = kFileURL + "Quorilanth-0.1.1-macOS-universal.dmg";
    release.sha256 = std::string(64, 'b');
    release.size = 536870912;
    return release;
}

TEST(UpdateRelease, LocalizedNotes) {
    struct Case {
        std::map<std::string, std::string> notes;
        std::vector<std::string> languages;
        std::string expected;
    };
    const std::map<std::string, std::string> both{{"en", "English"}, {"it", "Italiano"}};
    const Case cases[] = {
        {both, {"it-IT", "en"}, "Italiano"},
        {both, {"IT"}, "Italiano"},
        {both, {"it_CH"}, "Italiano"},
        {both, {"en-GB", "it"}, "English"},
        {both, {"de"}, "English"},
        {both, {}, "English"},
        {{{"en", "English"}}, {"it"}, "English"},
        {{{"de", "Deutsch"}}, {"de"}, ""},
        {{{"it", "Italiano"}}, {"fr"}, ""},
    };
    for (const auto& c : cases) {
        UpdateRelease release = sampleRelease();
        release.notes = c.notes;
        EXPECT_EQ(release.localizedNotes(c.languages), c.expected);
    }
}

TEST(UpdateRelease, EqualityCoversEveryField) {
    using Change = void (*)(UpdateRelease&);
    const Change changes[] = {
        [](UpdateRelease& r) { r.version = "0.1.2"; },
        [](UpdateRelease& r) { r.build = 9; },
        [](UpdateRelease& r) { r.minimumSystemVersion = "14.1"; },
        [](UpdateRelease& r) { std::swap(r.architectures[0], r.architectures[1]); },
        [](UpdateRelease& r) { r.mandatory = true; },
        [](UpdateRelease& r) { r.publishedAt = "2026-09-13T12:00:01Z"; },
        [](UpdateRelease& r) { r.notes["it"] = "Italiano."; },
        [](UpdateRelease& r) { r.downloadURL += "x"; },
        [](UpdateRelease& r) { r.sha256[0] = 'c'; },
        [](UpdateRelease& r) { r.size -= 1; },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        UpdateRelease changed = sampleRelease();
        changes[i](changed);
        EXPECT_NE(changed, sampleRelease()) << "change " << i;
        EXPECT_NE(UpdateCheckOutcome::available(changed),
                  UpdateCheckOutcome::available(sampleRelease()));
    }
    EXPECT_EQ(sampleRelease(), sampleRelease());
    EXPECT_NE(UpdateCheckOutcome::available(sampleRelease()),
              UpdateCheckOutcome::incompatible(sampleRelease()));
    EXPECT_EQ(UpdateCheckOutcome::current(), UpdateCheckOutcome::current());
    EXPECT_NE(UpdateCheckOutcome::current(), UpdateCheckOutcome::notPublished());
}

TEST(UpdateRelease, JSONRoundTripKeepsIntegersExact) {
    UpdateRelease release = sampleRelease();
    release.build = 9007199254740993; // 2^53 + 1: not representable as a double
    release.notes["it"] = "Novità \"citate\" e \\ barre /";
    EXPECT_EQ(UpdateRelease::fromJSON(release.toJSON()), release);
}

TEST(UpdateRelease, DecodingRefusesMissingKeysAndWrongTypes) {
    const std::string good = sampleRelease().toJSON();
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const std::string cases[] = {
        replaced(R"("build":8)", R"("build":8.0)"),
        replaced(R"("build":8)", R"("build":"8")"),
        replaced(R"("build":8)", R"("build":9223372036854775808)"),
        replaced(R"("size":536870912)", R"("size":5.36870912e8)"),
        replaced(R"("mandatory":false)", R"("mandatory":0)"),
        replaced(R"("architectures":["arm64","x86_64"])", R"("architectures":["arm64",1])"),
        replaced(R"("notes":{"en":"English")", R"("notes":{"en":null)"),
        replaced(R"("version":"0.1.1")", R"("versio":"0.1.1")"),
        replaced(R"("version":"0.1.1")", R"("version":"0.1.1","version":"9.9.9")"),
        replaced(R"("downloadURL":")", R"("downloadURL":"not a url )"),
        good + "x",
        good + std::string(1, '\0') + "}",
        "[" + good + "]",
    };
    for (const auto& text : cases)
        EXPECT_THROW(UpdateRelease::fromJSON(text), std::invalid_argument) << text;
}

TEST(ApplicationBundle, BuildNumbers) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"12", 12},
        {"+12", 12},
        {"-3", -3},
        {"0", 0},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
        {"1.0", std::nullopt},
        {"ten", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseBuildNumber(text), expected) << text;
}

} // namespace
} // namespace quorilanth
