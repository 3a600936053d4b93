#include "core/update/UpdateChannelClient.h"

#include "core/base/QuorilanthError.h"
#include "core/update/UpdateChannelError.h"
#include "core/update/UpdateChannelSelfTest.h"
#include "support/LoopbackHTTPServer.h"
#include "support/update/UpdateTestKit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sstream>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempFolder;

const std::string kFeedPath = "/quorilanth/api/v1/update.json";
const std::string kArchitecture(UpdateManifestVerifier::currentArchitecture());
const std::string kImagePath =
    "/quorilanth/downloads/Quorilanth-0.1.1-macOS-" + kArchitecture + ".dmg";
const std::string kImageName = fs::path(kImagePath).filename().string();

// A head given whole (nothing added, so no length unless it says one), then
// the body; the connection closes after it.
test::Handler raw(const std::string& head, const std::string& body = "") {
    return test::respond::raw("HTTP/1.1 " + head + "\r\n\r\n" + body);
}

test::Handler json(const std::string& manifest) {
    return test::respond::text(200, manifest, {{"Content-Type", "application/json"}});
}

// Every entry of a folder, with the contents of regular files and the targets of links.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const fs::path& folder) {
    Snapshot entries;
    for (const auto& entry : fs::directory_iterator(folder))
        entries[entry.path().filename().string()] =
            entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                               : readFile(entry.path());
    return entries;
}

// How an action ended: "done", a channel error's case name, "transport", or
// the text of another failure (a stop's, for one).
std::string endOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UpdateTransportError&) {
        return "transport";
    } catch (const std::exception& error) {
        return error.what();
    }
    return "done";
}

// The self-test modes with the test key in the bundle: exit status, standard
// output and standard error.
using Outcome = std::tuple<int, std::string, std::string>;

Outcome run(std::vector<std::string> arguments, std::uint16_t port = 0,
            const std::string& authorityFile = "") {
    ApplicationBundle bundle;
    bundle.info = {{"CFBundleVersion", "5"},
                   {"QuorilanthUpdateFeedURL", UpdateChannelConfiguration::feedURL()},
                   {"QuorilanthUpdateKeyID", "quorilanth-test"},
                   {"QuorilanthUpdatePublicKey", encodeBase64(test::channelKey().publicKey)}};
    std::ostringstream out, err;
    const auto status = runUpdateSelfTestMode(
        arguments, bundle, UpdateSessionTestAccess::loopback(authorityFile, port), out, err);
    return {status.value_or(-1), out.str(), err.str()};
}

class UpdateChannelClientTest : public ::testing::Test {
protected:
    UpdateChannelClient client(const test::LoopbackHTTPServer* to = nullptr,
                               const test::TestCertificateAuthority* trusted = nullptr) {
        return UpdateChannelClient(
            test::channelKey().configuration(),
            UpdateSessionTestAccess::loopback((trusted ? trusted : &authority)->caFile(),
                                              (to ? to : &server)->port()));
    }
    // Publishes a signed manifest of a release whose disk image is these bytes
    // and lets the client check it, so that the release may be downloaded.
    UpdateRelease checked(UpdateChannelClient& updates, std::string_view image) {
        server.on(kFeedPath, json(test::ManifestBuilder(image, kArchitecture).build()));
        return updates.check(7).release().value();
    }

    test::TestCertificateAuthority authority{UpdateChannelConfiguration::updateHost()};
    test::LoopbackHTTPServer server{{"127.0.0.1"}, &authority};
};

TEST_F(UpdateChannelClientTest, CheckAnswers) {
    const std::string manifest = test::ManifestBuilder("image", kArchitecture).build();
    std::string forged = manifest;
    forged.replace(forged.size() - 10, 8, "AAAAAAA=");
    const auto padded = [&](std::size_t length) {
        std::string text = manifest;
        return text.insert(text.size() - 1,
                           R"(,"pad":")" + std::string(length - text.size() - 9, 'x') + "\"");
    };
    // Expected: the outcome's kind, or the error's case name.
    const std::pair<test::Handler, const char*> cases[] = {
        {json(manifest), "available"},
        {test::respond::text(200, manifest, {{"Content-Type", "Application/JSON; charset=utf-8"}}),
         "available"},
        {raw("200 OK\r\nContent-Type: application/json", padded(131072)), "available"},
        {raw("204 No Content"), "notPublished"},
        {test::respond::redirect(302, "/elsewhere.json"), "unavailable"},
        {test::respond::text(200, manifest, {{"Content-Type", "text/plain"}}), "unavailable"},
        {raw("200 OK\r\nContent-Type: application/json", padded(131073)), "tooLarge"},
        {json(forged), "invalidSignature"},
    };
    for (const auto& [handler, expected] : cases) {
        server.on(kFeedPath, handler);
        auto updates = client();
        std::string kind;
        const std::string end = endOf([&] { kind = toString(updates.check(7).kind()); });
        EXPECT_EQ(end == "done" ? kind : end, expected);
    }
    // Redirects are refused, never followed; each request carries its accept
    // header and the host, nothing else.
    for (const auto& request : server.requests())
        EXPECT_EQ(request.headers,
                  (test::HeaderList{{"Host", std::string(UpdateChannelConfiguration::updateHost())},
                                    {"Accept", "application/json"}}));
    auto updates = client();
    EXPECT_EQ(endOf([&] { updates.check(0); }), "unconfigured");
    EXPECT_EQ(server.requestCount(), std::size(cases));

    // A certificate from an authority the client does not trust, and one
    // from the trusted authority for another name.
    test::TestCertificateAuthority stranger(UpdateChannelConfiguration::updateHost());
    test::TestCertificateAuthority otherName("other.quorilanth.example");
    using Authority = const test::TestCertificateAuthority*;
    for (const auto& [tls, trusted] :
         {std::pair<Authority, Authority>{&stranger, &authority}, {&otherName, &otherName}}) {
        test::LoopbackHTTPServer impostor({"127.0.0.1"}, tls);
        impostor.on(kFeedPath, json(manifest));
        EXPECT_EQ(endOf([&] { client(&impostor, trusted).check(7); }), "transport");
        EXPECT_EQ(impostor.requestCount(), 0u);
    }
}

TEST_F(UpdateChannelClientTest, OnlyTheLatestVerifiedReleaseIsDownloaded) {
    auto updates = client();
    const UpdateRelease verified = checked(updates, "image");
    TempFolder root;
    auto refused = [&](const UpdateRelease& release) {
        return endOf([&] { updates.download(release, root.path / "new", {}); });
    };
    UpdateRelease other = verified;
    other.sha256[0] = 'c';
    EXPECT_EQ(refused(other), "unverifiedDownload");
    // A failed check keeps the verified release; a 204 clears it.
    server.on(kFeedPath, test::respond::text(500, ""));
    EXPECT_EQ(endOf([&] { updates.check(7); }), "unavailable");
    EXPECT_EQ(updates.verifiedRelease(), verified);
    server.on(kFeedPath, raw("204 No Content"));
    EXPECT_EQ(updates.check(7), UpdateCheckOutcome::notPublished());
    EXPECT_EQ(refused(verified), "unverifiedDownload");
    EXPECT_FALSE(fs::exists(root.path / "new"));
    EXPECT_EQ(server.requestCount(), 3u) << "no image was asked for";
}

TEST_F(UpdateChannelClientTest, Downloads) {
    std::string image(2 * UpdateChannelClient::chunkBytes + 1000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>((i * 31 + 7) % 251);
    std::string corrupt = image;
    corrupt[corrupt.size() / 2] ^= 0x40;
    const auto announced = [](std::size_t length, const std::string& bytes) {
        return raw("200 OK\r\nContent-Length: " + std::to_string(length), bytes);
    };
    const auto right = test::respond::text(200, image);
    // Besides the answer, some names tell what the folder holds beforehand.
    const std::tuple<std::string, test::Handler, const char*> cases[] = {
        {"right", right, "done"},
        {"corrupt", test::respond::text(200, corrupt), "checksumMismatch"},
        {"wrong Content-Length", announced(image.size() + 1, image), "checksumMismatch"},
        {"cut off", announced(image.size(), image.substr(0, 5000)), "transport"},
        {"302", test::respond::redirect(302, "/x.dmg"), "unavailable"},
        {"cancelled", right, "Cancelled"},
        {"missing folder", right, "done"},
        {"taken name", right, "done"},
        {"dangling symlink", right, "done"},
        {"symlink to a victim", right, "done"},
    };
    for (const auto& [name, handler, expected] : cases) {
        TempFolder root;
        const fs::path target = root.path / "a" / "Downloads", victim = root.path / "a" / "victim";
        if (name != "missing folder") {
            fs::create_directories(target);
            std::ofstream(target / "unrelated.txt") << "x";
        }
        if (name == "taken name") std::ofstream(target / kImageName) << "older";
        if (name == "symlink to a victim") std::ofstream(victim) << "do not touch";
        if (name.ends_with("symlink") || name.ends_with("victim"))
            fs::create_symlink(name == "dangling symlink" ? target / "nowhere" : victim,
                               target / kImageName);
        const auto before = fs::exists(target) ? snapshot(target) : Snapshot{};
        auto updates = client();
        const UpdateRelease release = checked(updates, image);
        server.on(kImagePath, handler);
        std::vector<double> progress;
        std::stop_source stop;
        auto report = [&](double p) {
            progress.push_back(p);
            if (name == "cancelled") stop.request_stop();
        };
        std::optional<fs::path> file;
        EXPECT_EQ(
            endOf([&] { file = updates.download(release, target, report, stop.get_token()); }),
            expected)
            << name;
        auto after = fs::exists(target) ? snapshot(target) : before;
        if (file) {
            // A taken name gets "-" and eight characters of a UUID before ".dmg".
            const std::string stored = file->filename().string();
            EXPECT_TRUE(before.contains(kImageName)
                            ? stored.size() == kImageName.size() + 9 &&
                                  stored.starts_with(kImageName.substr(0, kImageName.size() - 4))
                            : stored == kImageName)
                << stored;
            EXPECT_EQ(after[stored], image) << name;
            after.erase(stored);
            EXPECT_EQ(fs::status(*file).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
            // Two full chunks, the second short of done, then done.
            EXPECT_EQ(progress,
                      (std::vector<double>{double(image.size() / 2 - 500) / double(image.size()),
                                           0.99, 1.0}));
            // Checking the file again finds it right, then finds one changed byte.
            auto recheck = [&] {
                return endOf([&] { UpdateChannelClient::verifyDownloadedFile(*file, release); });
            };
            EXPECT_EQ(recheck(), "done");
            std::fstream(*file, std::ios::in | std::ios::out | std::ios::binary).seekp(7).put('!');
            EXPECT_EQ(recheck(), "checksumMismatch");
        }
        EXPECT_TRUE(name != "cancelled" || progress.size() == 1u) << progress.size();
        // Whatever links stood at the name were neither replaced nor followed.
        EXPECT_EQ(after, before) << name << ": a partial file was left or something changed";
        EXPECT_TRUE(!fs::exists(victim) || readFile(victim) == "do not touch");
    }
    for (const auto& request : server.requests())
        EXPECT_NE(request.target, "/x.dmg");
}

TEST(UpdateCommandLine, OfflineSelfTestWithATestKey) {
    const Outcome passed{
        0, "PASS: signed update verification, tampering rejection and version comparison.\n", ""};
    EXPECT_EQ(run({"--selftest-update"}), passed);
    // Offline wins; no network is touched.
    EXPECT_EQ(run({"--selftest-update-live", "--selftest-update"}), passed);
}

TEST_F(UpdateChannelClientTest, LiveSelfTestOutcomes) {
    TempFolder folder;
    const std::string image(300000, 'q'), downloads = (folder.path / "Downloads").string();
    const auto feed = [&](std::string_view architecture) {
        return json(test::ManifestBuilder(image, architecture).build());
    };
    const std::string dash = "\xE2\x80\x94";
    const std::string available =
        "PASS: AVAILABLE " + dash + " verified 0.1.1, build 8, installed build ";
    server.on(kImagePath, test::respond::text(200, image));
    const std::tuple<test::Handler, std::vector<std::string>, Outcome> cases[] = {
        {feed(kArchitecture), {"--installed-build", "7"}, {0, available + "7.\n", ""}},
        {feed(kArchitecture), {"--installed-build"}, {0, available + "5.\n", ""}}, // the bundle's
        {feed(kArchitecture),
         {"--installed-build", "8", "--installed-build", "1"},
         {0, "PASS: CURRENT " + dash + " signed live channel matches installed build 8.\n", ""}},
        {raw("204 No Content"),
         {},
         {0, "PASS: NOT PUBLISHED " + dash + " channel responds HTTP 204.\n", ""}},
        {feed(kArchitecture == "arm64" ? "x86_64" : "arm64"),
         {},
         {1, "", "FAIL: invalidRelease\n"}},
        {feed(kArchitecture),
         {"--download-directory", downloads},
         {0,
          available + "5.\nPASS: DOWNLOAD " + dash + " SHA-256 and size verified: " + downloads +
              "/" + kImageName + "\n",
          ""}},
    };
    for (const auto& [handler, arguments, expected] : cases) {
        server.on(kFeedPath, handler);
        std::vector<std::string> all{"--selftest-update-live"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        EXPECT_EQ(run(all, server.port(), authority.caFile()), expected);
    }
    EXPECT_EQ(readFile(downloads + "/" + kImageName), image);
}

TEST(UpdateFileMove, NeverReplacesOrFollowsWhatStandsAtTheName) {
    const std::function<void(const fs::path&)> occupants[] = {
        nullptr, // the name is free
        [](const fs::path& p) { std::ofstream(p) << "old"; },
        [](const fs::path& p) { fs::create_symlink(p.parent_path() / "gone", p); },
    };
    for (const auto& occupy : occupants) {
        TempFolder folder;
        std::ofstream(folder.path / "from") << "new";
        if (occupy) occupy(folder.path / "to");
        const auto before = snapshot(folder.path);
        const int fd = ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY);
        try {
            updatefiles::renameWithoutReplacing(fd, "from", "to");
            EXPECT_FALSE(occupy);
            EXPECT_EQ(snapshot(folder.path), (Snapshot{{"to", "new"}}));
        } catch (const std::system_error& error) {
            EXPECT_TRUE(occupy);
            EXPECT_EQ(error.code().value(), EEXIST);
            EXPECT_EQ(snapshot(folder.path), before);
        }
        ::close(fd);
    }
}

} // namespace
} // namespace quorilanth
