#include "core/update/UpdateChannelConfiguration.h"

#include "core/update/UpdateRelease.h"
#include "support/update/UpdateTestKit.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

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
        {"QuorilanthUpdatePublicKey", key + "\n", false},
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
    const std::string host(UpdateChannelConfiguration::updateHost());
    const std::string folder = "https://" + host + "/quorilanth/downloads/";
    const std::string name = "Quorilanth-1.2.3-macOS-universal.dmg";
    const std::pair<std::string, bool> cases[] = {
        {folder + name, true},
        {folder + "Quorilanth-10.20.30-macOS-arm64.dmg", true},
        {"http://" + folder.substr(8) + name, false},
        {"https://" + host + ":443/quorilanth/downloads/" + name, false},
        {folder + name + "?", false},
        {"https://user@" + folder.substr(8) + name, false},
        {folder + "sub/" + name, false},
        {folder + "Quorilanth%2D1.2.3-macOS-universal.dmg", false},
        {folder + "../downloads/" + name, false},
        {"https://UPDATES" + folder.substr(15) + name, false},
        {"https://" + host + ".evil.example/quorilanth/downloads/" + name, false},
        {folder + "Quorilanth-1.2-macOS-arm64.dmg", false},
        {folder + name + ".exe", false},
    };
    for (const auto& [url, allowed] : cases)
        EXPECT_EQ(UpdateChannelConfiguration::allowsReleaseURL(url), allowed) << url;
}

TEST(UpdateRelease, LocalizedNotesJSONAndBuildNumbers) {
    UpdateRelease release;
    release.notes = {{"en", "English"}, {"it", "Italiano"}};
    EXPECT_EQ(release.localizedNotes({"it_CH"}), "Italiano");
    EXPECT_EQ(release.localizedNotes({"en-GB", "it"}), "English");
    EXPECT_EQ(release.localizedNotes({"de"}), "English");
    release.notes = {{"de", "Deutsch"}};
    EXPECT_EQ(release.localizedNotes({"de"}), "");

    const std::string good = test::jsonObject(test::ManifestBuilder().release);
    release = UpdateRelease::fromJSON(good);
    release.build = 9007199254740993; // 2^53 + 1: not representable as a double
    release.notes["it"] = "Novità \"citate\" e \\ barre /";
    EXPECT_EQ(UpdateRelease::fromJSON(release.toJSON()), release);
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    for (const std::string& refused :
         {replaced(R"("build":8)", R"("build":8.0)"),
          replaced(R"("build":8)", R"("build":9223372036854775808)"),
          replaced(R"("version":"0.1.1")", R"("versio":"0.1.1")"),
          replaced(R"("version":"0.1.1")", R"("version":"0.1.1","version":"9.9.9")"),
          good + std::string(1, '\0') + "}"})
        EXPECT_THROW(UpdateRelease::fromJSON(refused), std::invalid_argument) << refused;

    const std::pair<const char*, std::optional<std::int64_t>> builds[] = {
        {"+12", 12},
        {"9223372036854775807", INT64_MAX},
        {"9223372036854775808", std::nullopt},
        {"", std::nullopt},
        {"12a", std::nullopt},
        {" 12", std::nullopt},
    };
    for (const auto& [text, expected] : builds)
        EXPECT_EQ(parseBuildNumber(text), expected) << text;
}

} // namespace
} // namespace quorilanth
