#include "core/update/UpdateChannelConfiguration.h"

#include "core/update/UpdateRelease.h"
#include "support/update/UpdateTestKit.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

const std::string kHost(UpdateChannelConfiguration::updateHost());
const std::string kFileURL = "https://" + kHost + "/quorilanth/downloads/";

TEST(UpdateChannelConfiguration, LoadFromBundleChecksKeyAndFeed) {
    const std::string key = encodeBase64(std::vector<std::uint8_t>(32, 9));
    const std::string feed = UpdateChannelConfiguration::feedURL();
    std::string urlSafe = encodeBase64(std::vector<std::uint8_t>(32, 0xfb)); // "+" and "/"
    std::replace(urlSafe.begin(), urlSafe.end(), '+', '-');
    // One information key replaced (or, when empty, removed) in an otherwise complete bundle.
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"QuorilanthUpdateKeyID", "a.b_c-D9" + std::string(92, 'k'), true},
        {"QuorilanthUpdateKeyID", std::string(101, 'k'), false},
        {"QuorilanthUpdateKeyID", "ключ", false},
        {"QuorilanthUpdateKeyID", "", false},
        {"QuorilanthUpdateFeedURL", feed + "/", false},
        {"QuorilanthUpdateFeedURL", "https://evil.example/quorilanth/api/v1/update.json", false},
        {"QuorilanthUpdatePublicKey", key.substr(0, 20) + "\n" + key.substr(20), false},
        {"QuorilanthUpdatePublicKey", key.substr(0, 43), false},        // padding missing
        {"QuorilanthUpdatePublicKey", key.substr(0, 42) + "B=", false}, // padding bits set
        {"QuorilanthUpdatePublicKey", urlSafe, false},
        {"QuorilanthUpdatePublicKey", encodeBase64(std::vector<std::uint8_t>(31, 9)), false},
    };
    for (const auto& [name, value, configured] : cases) {
        std::map<std::string, std::string, std::less<>> info{{"QuorilanthUpdateFeedURL", feed},
                                                             {"QuorilanthUpdateKeyID", "release-1"},
                                                             {"QuorilanthUpdatePublicKey", key}};
        if (value.empty())
            info.erase(name);
        else
            info[name] = value;
        EXPECT_EQ(UpdateChannelConfiguration::load(ApplicationBundle{info}).has_value(), configured)
            << name << " = " << value;
    }
}

TEST(UpdateChannelConfiguration, ReleaseURLRule) {
    const std::string name = "Quorilanth-1.2.3-macOS-universal.dmg";
    const std::string path = "/quorilanth/downloads/" + name;
    const std::pair<std::string, bool> cases[] = {
        {kFileURL + name, true},
        {kFileURL + "Quorilanth-10.20.30-macOS-arm64.dmg", true},
        {"http://" + kHost + path, false},
        {"https://" + kHost + ":443" + path, false},
        {kFileURL + name + "?", false},
        {"https://user@" + kHost + path, false},
        {kFileURL + "sub/" + name, false},
        {kFileURL + "Quorilanth%2D1.2.3-macOS-universal.dmg", false},
        {"https://" + kHost + "/quorilanth/downloads/../downloads/" + name, false},
        {"https://UPDATES" + kHost.substr(7) + path, false},
        {"https://" + kHost + ".evil.example" + path, false},
        {kFileURL + "Quorilanth-1.2-macOS-arm64.dmg", false},
        {kFileURL + "Quorilanth-1.2.3-macOS-arm64.dmg.exe", false},
    };
    for (const auto& [url, allowed] : cases)
        EXPECT_EQ(UpdateChannelConfiguration::allowsReleaseURL(url), allowed) << url;
}

TEST(UpdateRelease, LocalizedNotes) {
    const std::map<std::string, std::string> both{{"en", "English"}, {"it", "Italiano"}};
    const std::tuple<std::map<std::string, std::string>, std::vector<std::string>, std::string>
        cases[] = {
            {both, {"it_CH"}, "Italiano"},
            {both, {"en-GB", "it"}, "English"},
            {both, {"de"}, "English"},
            {{{"de", "Deutsch"}}, {"de"}, ""},
        };
    for (const auto& [notes, languages, expected] : cases) {
        UpdateRelease release;
        release.notes = notes;
        EXPECT_EQ(release.localizedNotes(languages), expected);
    }
}

TEST(UpdateRelease, JSONRoundTripAndRefusals) {
    const std::string good = test::jsonObject(test::ManifestBuilder().release);
    UpdateRelease release = UpdateRelease::fromJSON(good);
    release.build = 9007199254740993; // 2^53 + 1: not representable as a double
    release.notes["it"] = "Novità \"citate\" e \\ barre /";
    EXPECT_EQ(UpdateRelease::fromJSON(release.toJSON()), release);

    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string refused[] = {
        replaced(R"("build":8)", R"("build":8.0)"),
        replaced(R"("build":8)", R"("build":9223372036854775808)"),
        replaced(R"("version":"0.1.1")", R"("versio":"0.1.1")"),
        replaced(R"("version":"0.1.1")", R"("version":"0.1.1","version":"9.9.9")"),
        good + std::string(1, '\0') + "}",
    };
    for (const auto& text : refused)
        EXPECT_THROW(UpdateRelease::fromJSON(text), std::invalid_argument) << text;
}

TEST(ApplicationBundle, BuildNumbers) {
    const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
        {"+12", 12},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parseBuildNumber(text), expected) << text;
}

} // namespace
} // namespace quorilanth
