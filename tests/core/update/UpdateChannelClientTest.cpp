#include "core/update/UpdateChannelClient.h"

#include "UpdateTestHelpers.h"
#include "core/base/QuorilanthError.h"
#include "core/update/UpdateChannelError.h"
#include "support/update/UpdateTestKit.h"
#include "support/update/UpdateTestServer.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;
using test::httpHead;
using test::readFile;
using test::TempFolder;
using test::reply::body;

const std::string kFeedPath = "/quorilanth/api/v1/update.json";

std::string patternBytes(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 31 + 7) % 251);
    return bytes;
}

test::Handler raw(int status, const test::HeaderList& headers, const std::string& bytes = "") {
    return test::respond::raw(httpHead(status, headers) + bytes);
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

// How an action ended: "done", a channel error's case name, "transport", "cancelled"
// or the text of any other failure.
std::string endOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const UpdateChannelError& error) {
        return error.what();
    } catch (const UpdateTransportError&) {
        return "transport";
    } catch (const Cancelled&) {
        return "cancelled";
    } catch (const std::exception& error) {
        return error.what();
    }
    return "done";
}

class UpdateChannelClientTest : public ::testing::Test {
protected:
    // One authority for the whole suite: making its keys is the slow part.
    static const test::UpdateHostAuthority& authority() {
        static const test::UpdateHostAuthority shared;
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

    test::LoopbackHTTPServer server_{{"127.0.0.1"}, &authority()};
};

TEST_F(UpdateChannelClientTest, CheckAnswers) {
    const std::string manifest =
        test::manifestFor("image", UpdateManifestVerifier::currentArchitecture()).build();
    const std::string json = "application/json";
    std::string forged = manifest;
    forged.replace(forged.size() - 10, 8, "AAAAAAA=");
    // Expected: the outcome's kind, or the error's case name.
    const std::pair<test::Handler, const char*> cases[] = {
        {body(200, json, manifest), "available"},
        {body(200, "Application/JSON; charset=utf-8", manifest), "available"},
        {body(200, json, test::paddedTo(manifest, 131072), false), "available"},
        {body(204, "", "", false), "notPublished"},
        {raw(302, {{"Location", "/elsewhere.json"}, {"Content-Length", "0"}}), "unavailable"},
        {body(200, "text/plain", manifest), "unavailable"},
        {body(200, json, test::paddedTo(manifest, 131073), false), "tooLarge"},
        {body(200, json, forged), "invalidSignature"},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        server_.on(kFeedPath, cases[row].first);
        auto updates = client();
        std::string kind;
        const std::string end = endOf([&] { kind = toString(updates.check(7).kind()); });
        EXPECT_EQ(end == "done" ? kind : end, cases[row].second) << "row " << row;
    }
    // Redirects are refused, never followed; each request carries its accept
    // header and the host, nothing else.
    EXPECT_EQ(test::requestsFor(server_, "/elsewhere.json"), 0u);
    for (const auto& request : server_.requests()) {
        EXPECT_EQ(request.headers,
                  (test::HeaderList{{"Host", std::string(UpdateChannelConfiguration::updateHost())},
                                    {"Accept", "application/json"}}));
    }

    auto updates = client();
    const std::size_t before = server_.requests().size();
    EXPECT_EQ(endOf([&] { updates.check(0); }), "unconfigured");
    EXPECT_EQ(server_.requests().size(), before);
}

TEST_F(UpdateChannelClientTest, TransportFailuresPassThrough) {
    // A server whose certificate comes from an authority the client does not trust.
    test::UpdateHostAuthority stranger;
    test::LoopbackHTTPServer impostor({"127.0.0.1"}, &stranger);
    impostor.on(kFeedPath, body(200, "application/json", test::ManifestBuilder().build()));
    UpdateChannelClient updates(
        test::channelKey().configuration(),
        UpdateSessionTestAccess::loopback(authority().caFile(), impostor.port()));
    EXPECT_THROW(updates.check(7), UpdateTransportError);
    EXPECT_EQ(impostor.requests().size(), 0u);

    // A certificate for another name, from the trusted authority.
    test::TestCertificateAuthority otherName("other.quorilanth.example");
    test::LoopbackHTTPServer wrongHost({"127.0.0.1"}, &otherName);
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
        return endOf([&] { updates.download(release, root.path() / "new", {}); });
    };
    // A release that differs from the verified one in any single field.
    using Change = void (*)(UpdateRelease&);
    const Change changes[] = {
        [](UpdateRelease& r) { r.build = 9; },
        [](UpdateRelease& r) { r.notes["it"] += "!"; },
        [](UpdateRelease& r) { r.sha256[0] = 'c'; },
    };
    for (const Change change : changes) {
        UpdateRelease other = verified;
        change(other);
        EXPECT_EQ(refused(other), "unverifiedDownload");
    }

    // A failed check keeps the verified release; a 204 clears it.
    server_.on(kFeedPath, body(500, "", ""));
    EXPECT_EQ(endOf([&] { updates.check(7); }), "unavailable");
    EXPECT_EQ(updates.verifiedRelease(), verified);
    server_.on(kFeedPath, body(204, "", "", false));
    EXPECT_EQ(updates.check(7), UpdateCheckOutcome::notPublished());
    EXPECT_EQ(refused(verified), "unverifiedDownload");
    EXPECT_FALSE(fs::exists(root.path() / "new"));
    EXPECT_EQ(test::requestsFor(server_, imagePath()), 0u);
}

TEST_F(UpdateChannelClientTest, Downloads) {
    const std::string image = patternBytes(2 * UpdateChannelClient::chunkBytes + 1000);
    std::string corrupt = image;
    corrupt[corrupt.size() / 2] ^= 0x40;
    auto announced = [](std::size_t length, const std::string& bytes) {
        return raw(200, {{"Content-Length", std::to_string(length)}}, bytes);
    };
    const auto right = body(200, "application/x-apple-diskimage", image);
    // What the folder holds beforehand; none: the folder and its parent are missing.
    using Prepare = std::function<void(const fs::path& folder)>;
    const Prepare unrelated = [](const fs::path& f) { std::ofstream(f / "unrelated.txt") << "x"; };
    struct Case {
        const char* name;
        test::Handler handler;
        const char* expected;
        Prepare prepare;
        bool cancel = false; // asks to stop at the first progress report
    };
    const Case cases[] = {
        {"right", right, "done", unrelated},
        {"short", body(200, "", image.substr(1), false), "checksumMismatch", unrelated},
        {"corrupt", body(200, "", corrupt), "checksumMismatch", unrelated},
        {"wrong Content-Length", announced(image.size() + 1, image), "checksumMismatch", unrelated},
        {"cut off", announced(image.size(), image.substr(0, 5000)), "transport", unrelated},
        {"404", body(404, "", image), "unavailable", unrelated},
        {"302", raw(302, {{"Location", "/x.dmg"}, {"Content-Length", "0"}}), "unavailable",
         unrelated},
        {"cancelled", right, "cancelled", unrelated, true},
        {"missing folder", right, "done", nullptr},
        {"taken name", right, "done",
         [](const fs::path& f) { std::ofstream(f / imageName()) << "older"; }},
        {"dangling symlink", right, "done",
         [](const fs::path& f) { fs::create_symlink(f / "nowhere.dmg", f / imageName()); }},
        {"symlink to a file elsewhere", right, "done",
         [](const fs::path& f) {
             std::ofstream(f.parent_path() / "victim") << "do not touch";
             fs::create_symlink(f.parent_path() / "victim", f / imageName());
         }},
    };
    for (const auto& c : cases) {
        TempFolder root;
        const fs::path target = root.path() / "a" / "Downloads";
        if (c.prepare) {
            fs::create_directories(target);
            c.prepare(target);
        }
        const auto before = snapshot(target);

        auto updates = client();
        const UpdateRelease release = checked(updates, image);
        server_.on(imagePath(), c.handler);
        std::vector<double> progress;
        std::stop_source stop;
        auto report = [&](double p) {
            progress.push_back(p);
            if (c.cancel) stop.request_stop();
        };
        std::optional<fs::path> file;
        EXPECT_EQ(
            endOf([&] { file = updates.download(release, target, report, stop.get_token()); }),
            c.expected)
            << c.name;
        auto after = snapshot(target);
        if (file) {
            const std::string name = file->filename().string();
            EXPECT_EQ(after[name], image) << c.name;
            after.erase(name);
            EXPECT_EQ(fs::status(*file).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write);
            // A taken name gets "-" and eight characters of a UUID before ".dmg".
            const std::string stem = imageName().substr(0, imageName().size() - 4);
            EXPECT_TRUE(before.contains(imageName())
                            ? name.size() == stem.size() + 13 && name.starts_with(stem + "-") &&
                                  name.ends_with(".dmg")
                            : name == imageName())
                << name;
            // Checking the file again finds it right, then finds one changed byte.
            auto recheck = [&](const fs::path& path) {
                return endOf([&] { UpdateChannelClient::verifyDownloadedFile(path, release); });
            };
            EXPECT_EQ(recheck(*file), "done");
            std::fstream(*file, std::ios::in | std::ios::out | std::ios::binary).seekp(7).put('!');
            EXPECT_EQ(recheck(*file), "checksumMismatch");
            // Two full chunks, then done.
            ASSERT_EQ(progress.size(), 3u) << c.name;
            EXPECT_LE(progress[0], progress[1]);
            EXPECT_LE(progress[1], 0.99);
            EXPECT_EQ(progress[2], 1.0);
        }
        EXPECT_TRUE(!c.cancel || progress.size() == 1u) << progress.size();
        // Whatever links stood at the name were neither replaced nor followed.
        EXPECT_EQ(after, before) << c.name << ": a partial file was left or something changed";
        const fs::path victim = root.path() / "a" / "victim";
        EXPECT_TRUE(!fs::exists(victim) || readFile(victim) == "do not touch");
    }
    EXPECT_EQ(test::requestsFor(server_, "/x.dmg"), 0u);
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

} // namespace
} // namespace quorilanth
