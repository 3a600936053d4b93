#include "core/update/UpdateChannelClient.h"

#include "core/model/QuorilanthError.h"
#include "core/update/Sha256.h"
#include "core/update/UpdateChannelError.h"
#include "support/update/UpdateTestKit.h"
#include "support/update/UpdateTestServer.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <unistd.h>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;
using test::reply::body;
using C = UpdateChannelError::Case;

const std::string kFeedPath = "/quorilanth/api/v1/update.json";

std::string patternBytes(std::size_t length, char salt = 0) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7 + salt) % 251);
    return bytes;
}

std::string sha256Of(std::string_view bytes) {
    Sha256 hash;
    hash.update(test::bytesOf(bytes));
    return hash.finishHex();
}

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Every entry of a folder, with the contents of regular files and the targets of links.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    if (!fs::exists(folder)) return entries;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto name = entry.path().filename().string();
        if (entry.is_symlink())
            entries[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            entries[name] = readFile(entry.path());
        else
            entries[name] = "(other)";
    }
    return entries;
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "ql-update-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

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
    static void SetUpTestSuite() {
        authority_ =
            new test::UpdateTestAuthority(std::string(UpdateChannelConfiguration::updateHost()));
    }
    static void TearDownTestSuite() {
        delete authority_;
        authority_ = nullptr;
    }

    UpdateChannelClient client() {
        return UpdateChannelClient(
            test::channelKey().configuration(),
            UpdateSessionTestAccess::loopback(authority_->caFile(), server_.port()));
    }

    // A signed manifest announcing a release whose disk image is these bytes.
    static test::ManifestBuilder manifestFor(std::string_view bytes) {
        test::ManifestBuilder builder;
        builder.forFile("0.1.1", 8, sha256Of(bytes), static_cast<std::int64_t>(bytes.size()),
                        UpdateManifestVerifier::currentArchitecture());
        return builder;
    }
    static std::string imagePath() {
        return "/quorilanth/downloads/Quorilanth-0.1.1-macOS-" +
               std::string(UpdateManifestVerifier::currentArchitecture()) + ".dmg";
    }
    static std::string imageName() { return fs::path(imagePath()).filename().string(); }

    void publish(const std::string& manifest) {
        server_.on(kFeedPath, body(200, "application/json", manifest));
    }

    static test::UpdateTestAuthority* authority_;
    test::UpdateTestServer server_{*authority_};
};

test::UpdateTestAuthority* UpdateChannelClientTest::authority_ = nullptr;

TEST_F(UpdateChannelClientTest, CheckAnswers) {
    const std::string manifest = test::ManifestBuilder()
                                     .forFile("0.1.1", 8, std::string(64, 'a'), 10,
                                              UpdateManifestVerifier::currentArchitecture())
                                     .build();
    // Pads the envelope to an exact length with an ignored member.
    auto padded = [&](std::size_t length) {
        std::string text = manifest;
        text.insert(text.size() - 1,
                    R"(,"pad":")" + std::string(length - text.size() - 9, 'x') + "\"");
        return text;
    };
    using K = UpdateCheckOutcome::Kind;
    struct Case {
        const char* name;
        test::UpdateTestHandler handler;
        std::variant<K, C> expected;
    };
    const Case cases[] = {
        {"200 with the manifest", body(200, "application/json", manifest), K::available},
        {"media type with parameters", body(200, "application/json; charset=utf-8", manifest),
         K::available},
        {"upper-case media type", body(200, "Application/JSON", manifest), K::available},
        {"exactly the limit", body(200, "application/json", padded(131072)), K::available},
        {"exactly the limit, unannounced", body(200, "application/json", padded(131072), false),
         K::available},
        {"204", body(204, "", "", false), K::notPublished},
        {"302",
         test::reply::raw(
             test::httpHead(302, {{"Location", "/elsewhere.json"}, {"Content-Length", "0"}})),
         C::unavailable},
        {"text/plain", body(200, "text/plain", manifest), C::unavailable},
        {"no media type", body(200, "", manifest), C::unavailable},
        {"500", body(500, "application/json", manifest), C::unavailable},
        {"announced one byte over",
         test::reply::raw(test::httpHead(200, {{"Content-Type", "application/json"},
                                               {"Content-Length", "131073"}}) +
                          "{}"),
         C::tooLarge},
        {"unannounced one byte over", body(200, "application/json", padded(131073), false),
         C::tooLarge},
        {"forged signature",
         body(200, "application/json", manifest.substr(0, manifest.size() - 10) + R"(AAAAAAA="})"),
         C::invalidSignature},
    };
    for (const auto& c : cases) {
        server_.on(kFeedPath, c.handler);
        auto updates = client();
        if (std::holds_alternative<K>(c.expected)) {
            EXPECT_EQ(updates.check(7).kind(), std::get<K>(c.expected)) << c.name;
        } else {
            EXPECT_EQ(channelErrorOf([&] { updates.check(7); }), std::get<C>(c.expected)) << c.name;
        }
    }
    // Redirects are refused, never followed.
    EXPECT_EQ(server_.requestsFor("/elsewhere.json"), 0u);
    for (const auto& request : server_.requests()) {
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.headers.at("accept"), "application/json");
        EXPECT_EQ(request.headers.count("cookie"), 0u);
        EXPECT_EQ(request.headers.count("accept-encoding"), 0u);
        EXPECT_EQ(request.headers.at("host"), UpdateChannelConfiguration::updateHost());
    }
}

TEST_F(UpdateChannelClientTest, CheckWithoutBuildSendsNothing) {
    auto updates = client();
    EXPECT_EQ(channelErrorOf([&] { updates.check(0); }), C::unconfigured);
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(UpdateChannelClientTest, TransportFailuresPassThrough) {
    // A server whose certificate comes from an authority the client does not trust.
    test::UpdateTestAuthority stranger(std::string(UpdateChannelConfiguration::updateHost()));
    test::UpdateTestServer impostor(stranger);
    impostor.on(kFeedPath, body(200, "application/json", test::ManifestBuilder().build()));
    UpdateChannelClient updates(
        test::channelKey().configuration(),
        UpdateSessionTestAccess::loopback(authority_->caFile(), impostor.port()));
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

TEST_F(UpdateChannelClientTest, VerifiedReleaseFollowsTheLatestCheck) {
    const std::string image = patternBytes(1000);
    auto updates = client();
    publish(manifestFor(image).build());
    auto outcome = updates.check(7);
    ASSERT_EQ(outcome.kind(), UpdateCheckOutcome::Kind::available);
    EXPECT_EQ(updates.verifiedRelease(), outcome.release());

    // A failed check keeps it; a 204 clears it, so a download is then refused.
    server_.on(kFeedPath, body(500, "", ""));
    EXPECT_EQ(channelErrorOf([&] { updates.check(7); }), C::unavailable);
    EXPECT_EQ(updates.verifiedRelease(), outcome.release());
    server_.on(kFeedPath, body(204, "", "", false));
    EXPECT_EQ(updates.check(7), UpdateCheckOutcome::notPublished());
    EXPECT_FALSE(updates.verifiedRelease());
    TempFolder folder;
    EXPECT_EQ(
        channelErrorOf([&] { updates.download(*outcome.release(), folder.path() / "new", {}); }),
        C::unverifiedDownload);
    EXPECT_FALSE(fs::exists(folder.path() / "new"));
}

struct DownloadCase {
    const char* name;
    std::function<test::UpdateTestHandler(const std::string& image)> serve;
    std::optional<C> expected; // none: the download succeeds
    bool transportError = false;
};

TEST_F(UpdateChannelClientTest, Downloads) {
    using test::httpHead;
    const std::string image = patternBytes(2 * UpdateChannelClient::chunkBytes + 1000);
    auto announced = [](std::size_t length, std::string bytes) {
        return test::reply::raw(httpHead(200, {{"Content-Length", std::to_string(length)}}) +
                                bytes);
    };
    const DownloadCase cases[] = {
        {"right",
         [](const std::string& i) { return body(200, "application/x-apple-diskimage", i); },
         std::nullopt},
        {"right, unannounced", [](const std::string& i) { return body(200, "", i, false); },
         std::nullopt},
        {"short", [](const std::string& i) { return body(200, "", i.substr(1), false); },
         C::checksumMismatch},
        {"long", [](const std::string& i) { return body(200, "", i + "x", false); },
         C::checksumMismatch},
        {"corrupt",
         [](const std::string& i) {
             std::string bad = i;
             bad[bad.size() / 2] ^= 0x40;
             return body(200, "", bad);
         },
         C::checksumMismatch},
        {"wrong Content-Length", [&](const std::string& i) { return announced(i.size() + 1, i); },
         C::checksumMismatch},
        {"announced zero", [&](const std::string&) { return announced(0, ""); },
         C::checksumMismatch},
        {"cut off after the right announcement",
         [&](const std::string& i) { return announced(i.size(), i.substr(0, 5000)); }, std::nullopt,
         true},
        {"404", [](const std::string& i) { return body(404, "", i); }, C::unavailable},
        {"302",
         [](const std::string&) {
             return test::reply::raw(
                 httpHead(302, {{"Location", "/x.dmg"}, {"Content-Length", "0"}}));
         },
         C::unavailable},
    };
    for (const auto& c : cases) {
        TempFolder folder;
        const fs::path target = folder.path() / "Downloads";
        fs::create_directory(target);
        std::ofstream(target / "unrelated.txt") << "keep me";
        const auto before = snapshot(target);

        auto updates = client();
        publish(manifestFor(image).build());
        auto outcome = updates.check(7);
        ASSERT_EQ(outcome.kind(), UpdateCheckOutcome::Kind::available) << c.name;
        server_.on(imagePath(), c.serve(image));

        std::vector<double> progress;
        std::optional<fs::path> result;
        try {
            result = updates.download(*outcome.release(), target,
                                      [&](double p) { progress.push_back(p); });
            EXPECT_FALSE(c.expected || c.transportError) << c.name;
        } catch (const UpdateChannelError& error) {
            EXPECT_EQ(error.value(), c.expected) << c.name;
        } catch (const UpdateTransportError&) {
            EXPECT_TRUE(c.transportError) << c.name;
        }
        auto after = snapshot(target);
        if (result) {
            EXPECT_EQ(*result, target / imageName()) << c.name;
            EXPECT_EQ(after[imageName()], image) << c.name;
            after.erase(imageName());
            EXPECT_EQ(fs::status(*result).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
            ASSERT_FALSE(progress.empty());
            EXPECT_EQ(progress.back(), 1.0);
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end())) << c.name;
            EXPECT_EQ(progress.size(), 3u) << c.name; // two full chunks, then done
            for (std::size_t i = 0; i + 1 < progress.size(); ++i)
                EXPECT_LE(progress[i], 0.99);
            EXPECT_NO_THROW(UpdateChannelClient::verifyDownloadedFile(*result, *outcome.release()));
        }
        EXPECT_EQ(after, before) << c.name << ": a partial file was left or something changed";
    }
    for (const auto& request : server_.requests())
        if (request.target == imagePath()) {
            EXPECT_EQ(request.headers.at("accept"), "application/x-apple-diskimage");
        }
    EXPECT_EQ(server_.requestsFor("/x.dmg"), 0u);
}

TEST_F(UpdateChannelClientTest, SmallDownloadReportsOnlyCompletion) {
    const std::string image = patternBytes(1000);
    TempFolder folder;
    auto updates = client();
    publish(manifestFor(image).build());
    auto release = *updates.check(7).release();
    server_.on(imagePath(), body(200, "", image));
    std::vector<double> progress;
    updates.download(release, folder.path(), [&](double p) { progress.push_back(p); });
    EXPECT_EQ(progress, std::vector<double>{1.0});
}

TEST_F(UpdateChannelClientTest, DownloadPlacesWithoutReplacingAnything) {
    const std::string image = patternBytes(70000);
    struct Case {
        const char* name;
        std::function<void(const fs::path& folder)> prepare;
    };
    const Case cases[] = {
        {"missing folder", [](const fs::path&) {}},
        {"taken name",
         [](const fs::path& f) {
             fs::create_directories(f);
             std::ofstream(f / imageName()) << "older image";
         }},
        {"dangling symlink",
         [](const fs::path& f) {
             fs::create_directories(f);
             fs::create_symlink(f / "nowhere.dmg", f / imageName());
         }},
        {"symlink to a file elsewhere",
         [](const fs::path& f) {
             fs::create_directories(f);
             std::ofstream(f.parent_path() / "victim") << "do not touch";
             fs::create_symlink(f.parent_path() / "victim", f / imageName());
         }},
    };
    for (const auto& c : cases) {
        TempFolder root;
        const fs::path folder = root.path() / "a" / "b" / "Downloads";
        c.prepare(folder);
        const auto before = snapshot(folder);
        auto updates = client();
        publish(manifestFor(image).build());
        auto release = *updates.check(7).release();
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
    publish(manifestFor(image).build());
    auto release = *updates.check(7).release();
    server_.on(imagePath(), body(200, "", image));
    std::stop_source stop;
    int calls = 0;
    EXPECT_THROW(updates.download(
                     release, folder.path(),
                     [&](double) {
                         ++calls;
                         stop.request_stop();
                     },
                     stop.get_token()),
                 Cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_F(UpdateChannelClientTest, UnverifiedReleasesAreRefusedBeforeTouchingTheDisk) {
    const std::string image = patternBytes(1000);
    auto updates = client();
    publish(manifestFor(image).build());
    const UpdateRelease verified = *updates.check(7).release();
    using Change = std::function<void(UpdateRelease&)>;
    const Change changes[] = {
        [](UpdateRelease& r) { r.notes["it"] += "!"; },
        [](UpdateRelease& r) { r.size += 1; },
        [](UpdateRelease& r) {
            r.downloadURL = test::releaseURL("Quorilanth-0.1.2-macOS-arm64.dmg");
        },
    };
    TempFolder root;
    for (const auto& change : changes) {
        UpdateRelease other = verified;
        change(other);
        EXPECT_EQ(channelErrorOf([&] { updates.download(other, root.path() / "new", {}); }),
                  C::unverifiedDownload);
    }
    EXPECT_FALSE(fs::exists(root.path() / "new"));
    EXPECT_EQ(server_.requestsFor(imagePath()), 0u);
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
        {image, true},    {image + "x", false}, {image.substr(1), false},
        {changed, false}, {"", false},
    };
    TempFolder folder;
    for (const auto& [content, matches] : cases) {
        std::ofstream(folder.path() / "image.dmg", std::ios::binary | std::ios::trunc) << content;
        EXPECT_EQ(channelErrorOf([&] {
                      UpdateChannelClient::verifyDownloadedFile(folder.path() / "image.dmg",
                                                                release);
                  }),
                  matches ? std::nullopt : std::optional(C::checksumMismatch))
            << content.size();
    }
    EXPECT_THROW(UpdateChannelClient::verifyDownloadedFile(folder.path() / "missing.dmg", release),
                 std::system_error);
}

} // namespace
} // namespace quorilanth
