#include "core/update/UpdateChannelClient.h"

#include "UpdateTestHelpers.h"
#include "core/model/QuorilanthError.h"
#include "core/update/UpdateChannelError.h"
#include "support/update/UpdateTestKit.h"
#include "support/update/UpdateTestServer.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;
using test::httpHead;
using test::readFile;
using test::sha256Of;
using test::TempFolder;
using test::reply::body;
using C = UpdateChannelError::Case;

const std::string kFeedPath = "/quorilanth/api/v1/update.json";

std::string patternBytes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) % 251);
    return bytes;
}

// Every entry of a folder, with the contents of regular files and the targets of links.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    if (!fs::exists(folder)) return entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto name = entry.path().filename().string();
        if (entry.is_symlink())
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        else
            entries[name] = entry.is_regular_file() ? readFile(entry.path()) : "(other)";
    }
    return entries;
}

std::optional<C> channelErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UpdateChannelError& error) {
        return error.value();
    }
    return std::nullopt;
}

class UpdateChannelClientTest : public ::testing::Test {
protected:
    // One authority for the whole suite: making its keys is the slow part.
    static const test::UpdateTestAuthority& authority() {
        static const test::UpdateTestAuthority shared{
            std::string(UpdateChannelConfiguration::updateHost())};
        return shared;
    }

    UpdateChannelClient client() {
        return UpdateChannelClient(
            test::channelKey().configuration(),
            UpdateSessionTestAccess::loopback(authority().caFile(), server_.port()));
    }

    // Publishes a signed manifest for a release whose disk image is these bytes
    // and lets the client check it, so that the release may be downloaded.
    UpdateRelease checked(UpdateChannelClient& updates, std::string_view image) {
        server_.on(
            kFeedPath,
            body(200, "application/json",
                 test::manifestFor(image, UpdateManifestVerifier::currentArchitecture()).build()));
        auto outcome = updates.check(7);
        EXPECT_EQ(outcome.kind(), UpdateCheckOutcome::Kind::available);
        return outcome.release().value_or(UpdateRelease{});
    }
    static std::string imagePath() {
        return "/quorilanth/downloads/Quorilanth-0.1.1-macOS-" +
               std::string(UpdateManifestVerifier::currentArchitecture()) + ".dmg";
    }
    static std::string imageName() { return fs::path(imagePath()).filename().string(); }

    test::UpdateTestServer server_{authority()};
};

TEST_F(UpdateChannelClientTest, CheckAnswers) {
    const std::string manifest =
        test::manifestFor("image", UpdateManifestVerifier::currentArchitecture()).build();
    // Pads the envelope to an exact length with an ignored member.
    auto padded = [&](std::size_t length) {
        std::string text = manifest;
        text.insert(text.size() - 1,
                    R"(,"pad":")" + std::string(length - text.size() - 9, 'x') + "\"");
        return text;
    };
    using K = UpdateCheckOutcome::Kind;
    const std::tuple<const char*, test::UpdateTestHandler, std::variant<K, C>> cases[] = {
        {"200", body(200, "application/json", manifest), K::available},
        {"media type", body(200, "Application/JSON; charset=utf-8", manifest), K::available},
        {"at the limit", body(200, "application/json", padded(131072)), K::available},
        {"at the limit, unannounced", body(200, "application/json", padded(131072), false),
         K::available},
        {"204", body(204, "", "", false), K::notPublished},
        {"302",
         test::reply::raw(
             httpHead(302, {{"Location", "/elsewhere.json"}, {"Content-Length", "0"}})),
         C::unavailable},
        {"text/plain", body(200, "text/plain", manifest), C::unavailable},
        {"500", body(500, "application/json", manifest), C::unavailable},
        {"announced over",
         test::reply::raw(
             httpHead(200, {{"Content-Type", "application/json"}, {"Content-Length", "131073"}}) +
             "{}"),
         C::tooLarge},
        {"unannounced over", body(200, "application/json", padded(131073), false), C::tooLarge},
        {"forged signature",
         body(200, "application/json", manifest.substr(0, manifest.size() - 10) + R"(AAAAAAA="})"),
         C::invalidSignature},
    };
    for (const auto& [name, handler, expected] : cases) {
        server_.on(kFeedPath, handler);
        auto updates = client();
        if (std::holds_alternative<K>(expected))
            EXPECT_EQ(updates.check(7).kind(), std::get<K>(expected)) << name;
        else
            EXPECT_EQ(channelErrorOf([&] { updates.check(7); }), std::get<C>(expected)) << name;
    }
    // Redirects are refused, never followed.
    EXPECT_EQ(server_.requestsFor("/elsewhere.json"), 0u);
    for (const auto& request : server_.requests()) {
        EXPECT_EQ(request.headers.at("accept"), "application/json");
        EXPECT_EQ(request.headers.count("cookie") + request.headers.count("accept-encoding"), 0u);
        EXPECT_EQ(request.headers.at("host"), UpdateChannelConfiguration::updateHost());
    }

    auto updates = client();
    const std::size_t before = server_.requests().size();
    EXPECT_EQ(channelErrorOf([&] { updates.check(0); }), C::unconfigured);
    EXPECT_EQ(server_.requests().size(), before);
}

TEST_F(UpdateChannelClientTest, TransportFailuresPassThrough) {
    // A server whose certificate comes from an authority the client does not trust.
    test::UpdateTestAuthority stranger(std::string(UpdateChannelConfiguration::updateHost()));
    test::UpdateTestServer impostor(stranger);
    impostor.on(kFeedPath, body(200, "application/json", test::ManifestBuilder().build()));
    UpdateChannelClient updates(
        test::channelKey().configuration(),
        UpdateSessionTestAccess::loopback(authority().caFile(), impostor.port()));
    EXPECT_THROW(updates.check(7), UpdateTransportError);
    EXPECT_EQ(impostor.requests().size(), 0u);

    // A certificate for another name, from the trusted authority.
    test::UpdateTestAuthority otherName("other.quorilanth.example");
    test::UpdateTestServer wrongHost(otherName);
    UpdateChannelClient misnamed(
        test::channelKey().configuration(),
        UpdateSessionTestAccess::loopback(otherName.caFile(), wrongHost.port()));
    EXPECT_THROW(misnamed.check(7), UpdateTransportError);
}

TEST_F(UpdateChannelClientTest, OnlyTheLatestVerifiedReleaseIsDownloaded) {
    auto updates = client();
    const UpdateRelease verified = checked(updates, patternBytes(1000));
    TempFolder root;
    auto refused = [&](const UpdateRelease& release) {
        return channelErrorOf([&] { updates.download(release, root.path() / "new", {}); });
    };
    UpdateRelease other = verified;
    other.notes["it"] += "!";
    EXPECT_EQ(refused(other), C::unverifiedDownload);

    // A failed check keeps the verified release; a 204 clears it.
    server_.on(kFeedPath, body(500, "", ""));
    EXPECT_EQ(channelErrorOf([&] { updates.check(7); }), C::unavailable);
    EXPECT_EQ(updates.verifiedRelease(), verified);
    server_.on(kFeedPath, body(204, "", "", false));
    EXPECT_EQ(updates.check(7), UpdateCheckOutcome::notPublished());
    EXPECT_EQ(refused(verified), C::unverifiedDownload);
    EXPECT_FALSE(fs::exists(root.path() / "new"));
    EXPECT_EQ(server_.requestsFor(imagePath()), 0u);
}

TEST_F(UpdateChannelClientTest, Downloads) {
    const std::string image = patternBytes(2 * UpdateChannelClient::chunkBytes + 1000);
    std::string corrupt = image;
    corrupt[corrupt.size() / 2] ^= 0x40;
    auto announced = [](std::size_t length, const std::string& bytes) {
        return test::reply::raw(httpHead(200, {{"Content-Length", std::to_string(length)}}) +
                                bytes);
    };
    // Expected: none when the download succeeds; transport errors are not channel errors.
    struct Case {
        const char* name;
        test::UpdateTestHandler handler;
        std::optional<C> expected;
        bool transportError = false;
    };
    const Case cases[] = {
        {"right", body(200, "application/x-apple-diskimage", image), std::nullopt},
        {"short", body(200, "", image.substr(1), false), C::checksumMismatch},
        {"long", body(200, "", image + "x", false), C::checksumMismatch},
        {"corrupt", body(200, "", corrupt), C::checksumMismatch},
        {"wrong Content-Length", announced(image.size() + 1, image), C::checksumMismatch},
        {"cut off", announced(image.size(), image.substr(0, 5000)), std::nullopt, true},
        {"404", body(404, "", image), C::unavailable},
        {"302", test::reply::raw(httpHead(302, {{"Location", "/x.dmg"}, {"Content-Length", "0"}})),
         C::unavailable},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const fs::path target = folder.path() / "Downloads";
        fs::create_directory(target);
        std::ofstream(target / "unrelated.txt") << "keep me";
        const auto before = snapshot(target);

        auto updates = client();
        const UpdateRelease release = checked(updates, image);
        server_.on(imagePath(), c.handler);
        std::vector<double> progress;
        std::optional<fs::path> result;
        try {
            result = updates.download(release, target, [&](double p) { progress.push_back(p); });
            EXPECT_FALSE(c.expected || c.transportError) << c.name;
        } catch (const UpdateChannelError& error) {
            EXPECT_EQ(error.value(), c.expected) << c.name;
        } catch (const UpdateTransportError&) {
            EXPECT_TRUE(c.transportError) << c.name;
        }
        auto after = snapshot(target);
        if (result) {
            EXPECT_EQ(*result, target / imageName());
            EXPECT_EQ(after[imageName()], image);
            after.erase(imageName());
            EXPECT_EQ(fs::status(*result).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
            // Two full chunks, then done.
            ASSERT_EQ(progress.size(), 3u);
            EXPECT_LE(progress[0], progress[1]);
            EXPECT_LE(progress[1], 0.99);
            EXPECT_EQ(progress[2], 1.0);
        }
        EXPECT_EQ(after, before) << c.name << ": a partial file was left or something changed";
    }
    EXPECT_EQ(server_.requestsFor("/x.dmg"), 0u);
}

TEST_F(UpdateChannelClientTest, DownloadPlacesWithoutReplacingAnything) {
    const std::string image = patternBytes(70000);
    struct Case {
        const char* name;
        std::function<void(const fs::path& folder)> prepare;
    };
    // What stands in the (existing) folder beforehand; none: the folder is missing.
    const Case cases[] = {
        {"missing folder", nullptr},
        {"taken name", [](const fs::path& f) { std::ofstream(f / imageName()) << "older"; }},
        {"dangling symlink",
         [](const fs::path& f) { fs::create_symlink(f / "nowhere.dmg", f / imageName()); }},
        {"symlink to a file elsewhere",
         [](const fs::path& f) {
             std::ofstream(f.parent_path() / "victim") << "do not touch";
             fs::create_symlink(f.parent_path() / "victim", f / imageName());
         }},
    };
    for (const auto& c : cases) {
        TempFolder root;
        const fs::path folder = root.path() / "a" / "b" / "Downloads";
        if (c.prepare) {
            fs::create_directories(folder);
            c.prepare(folder);
        }
        const auto before = snapshot(folder);
        auto updates = client();
        const UpdateRelease release = checked(updates, image);
        server_.on(imagePath(), body(200, "", image));
        fs::path file = updates.download(release, folder, {});

        auto after = snapshot(folder);
        EXPECT_EQ(after[file.filename().string()], image) << c.name;
        after.erase(file.filename().string());
        EXPECT_EQ(after, before) << c.name;
        if (before.empty()) {
            EXPECT_EQ(file.filename(), imageName()) << c.name;
        } else {
            // The name with "-" and eight characters of a UUID before ".dmg".
            std::string stem = imageName().substr(0, imageName().size() - 4);
            std::string name = file.filename().string();
            EXPECT_EQ(name.size(), stem.size() + 13) << name;
            EXPECT_TRUE(name.starts_with(stem + "-") && name.ends_with(".dmg")) << name;
        }
        EXPECT_FALSE(fs::exists(folder / "nowhere.dmg"));
        if (fs::exists(root.path() / "a" / "b" / "victim")) {
            EXPECT_EQ(readFile(root.path() / "a" / "b" / "victim"), "do not touch");
        }
    }
}

TEST_F(UpdateChannelClientTest, CancelledMidway) {
    const std::string image = patternBytes(64 * UpdateChannelClient::chunkBytes);
    TempFolder folder;
    auto updates = client();
    const UpdateRelease release = checked(updates, image);
    server_.on(imagePath(), body(200, "", image));
    std::stop_source stop;
    int calls = 0;
    auto cancel = [&](double) {
        ++calls;
        stop.request_stop();
    };
    EXPECT_THROW(updates.download(release, folder.path(), cancel, stop.get_token()), Cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(UpdateFileMove, NeverReplacesOrFollowsWhatStandsAtTheName) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> occupy; // none: the name is free
    };
    const Case cases[] = {
        {"free", nullptr},
        {"regular file", [](const fs::path& p) { std::ofstream(p) << "old"; }},
        {"dangling symlink",
         [](const fs::path& p) { fs::create_symlink(p.parent_path() / "gone", p); }},
        {"symlink to a file",
         [](const fs::path& p) {
             std::ofstream(p.parent_path() / "target") << "target";
             fs::create_symlink(p.parent_path() / "target", p);
         }},
        {"directory", [](const fs::path& p) { fs::create_directory(p); }},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        std::ofstream(folder.path() / "from") << "new";
        if (c.occupy) c.occupy(folder.path() / "to");
        const auto before = snapshot(folder.path());
        int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
        try {
            updatefiles::renameWithoutReplacing(fd, "from", "to");
            EXPECT_FALSE(c.occupy) << c.name;
            EXPECT_EQ(readFile(folder.path() / "to"), "new");
            EXPECT_FALSE(fs::exists(folder.path() / "from"));
        } catch (const std::system_error& error) {
            EXPECT_TRUE(c.occupy) << c.name;
            EXPECT_EQ(error.code().value(), EEXIST) << c.name;
            EXPECT_EQ(snapshot(folder.path()), before) << c.name;
        }
        ::close(fd);
    }
}

TEST(UpdateFileVerification, SizeAndDigestMustMatch) {
    const std::string image = patternBytes(UpdateChannelClient::chunkBytes + 10);
    UpdateRelease release;
    release.size = static_cast<std::int64_t>(image.size());
    release.sha256 = sha256Of(image);
    std::string changed = image;
    changed[7] ^= 1;
    const std::pair<std::string, bool> cases[] = {
        {image, true}, {image + "x", false}, {changed, false}};
    TempFolder folder;
    const fs::path file = folder.path() / "image.dmg";
    for (const auto& [content, matches] : cases) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(channelErrorOf([&] { UpdateChannelClient::verifyDownloadedFile(file, release); }),
                  matches ? std::nullopt : std::optional(C::checksumMismatch));
    }
    EXPECT_THROW(UpdateChannelClient::verifyDownloadedFile(folder.path() / "missing", release),
                 std::system_error);
}

} // namespace
} // namespace quorilanth
