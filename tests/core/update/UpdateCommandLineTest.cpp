#include "UpdateTestHelpers.h"
#include "core/update/ApplicationBundle.h"
#include "core/update/UpdateChannelConfiguration.h"
#include "core/update/UpdateManifestVerifier.h"
#include "support/update/UpdateTestServer.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace quorilanth {
namespace {

namespace fs = std::filesystem;

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string shellQuoted(std::string_view text) {
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

// Runs a program with the given arguments and extra environment, no display.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& environment = "",
                         const fs::path& workingDirectory = ".") {
    const test::TempFolder folder;
    const fs::path out = folder.path() / "out", err = folder.path() / "err";
    std::string command = "cd " + shellQuoted(workingDirectory.string()) +
                          " && env -u DISPLAY -u WAYLAND_DISPLAY " + environment + " " +
                          shellQuoted(program);
    for (const auto& argument : arguments)
        command += " " + shellQuoted(argument);
    command += " >" + shellQuoted(out.string()) + " 2>" + shellQuoted(err.string()) + " </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::readFile(out), test::readFile(err)};
}

const std::string kOfflinePass =
    "PASS: signed update verification, tampering rejection and version comparison.\n";
const std::string kTestKeyProgram = QL_UPDATE_TESTKEY_EXECUTABLE;

TEST(UpdateCommandLine, OfflineSelfTestWithATestKey) {
    const std::vector<std::string> argumentLists[] = {
        {"--selftest-update"},
        {"--installed-build", "0", "--selftest-update"},
        {"--selftest-update-live", "--selftest-update"}, // offline wins; no network touched
    };
    for (const auto& arguments : argumentLists) {
        auto result = runProcess(kTestKeyProgram, arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, kOfflinePass);
        EXPECT_EQ(result.err, "");
    }
}

class UpdateLiveCommandLine : public ::testing::Test {
protected:
    ProcessResult live(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "--selftest-update-live");
        return runProcess(kTestKeyProgram, arguments,
                          "QL_TEST_UPDATE_CA=" + shellQuoted(authority_.caFile()) +
                              " QL_TEST_UPDATE_PORT=" + std::to_string(server_.port()),
                          folder_.path());
    }
    static test::Handler feed(std::string_view image, std::string_view architecture) {
        return test::reply::body(200, "application/json",
                                 test::manifestFor(image, architecture).build());
    }

    test::UpdateHostAuthority authority_;
    test::LoopbackHTTPServer server_{{"127.0.0.1"}, &authority_};
    test::TempFolder folder_;
};

const std::string kDash = "\xE2\x80\x94";
const std::string kFeedPath = "/quorilanth/api/v1/update.json";

TEST_F(UpdateLiveCommandLine, Outcomes) {
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    const std::string name = "Quorilanth-0.1.1-macOS-" + architecture + ".dmg";
    const std::string image(300000, 'q');
    std::string corrupt = image;
    corrupt[100] = 'x';
    const auto offered = feed(image, architecture);
    const auto served = test::reply::body(200, "", image);
    // A relative folder that does not exist yet, taken from the working directory.
    const fs::path downloaded = fs::canonical(folder_.path()) / "new" / "Downloads" / name;
    const std::string available =
        "PASS: AVAILABLE " + kDash + " verified 0.1.1, build 8, installed build ";
    const std::string current =
        "PASS: CURRENT " + kDash + " signed live channel matches installed build ";
    const std::string none = "PASS: NOT PUBLISHED " + kDash + " channel responds HTTP 204.\n";
    const std::string verified =
        "PASS: DOWNLOAD " + kDash + " SHA-256 and size verified: " + downloaded.string() + "\n";
    const std::string other = architecture == "arm64" ? "x86_64" : "arm64";
    struct Case {
        test::Handler feed;
        int status;
        std::string out;
        std::string err;
        std::vector<std::string> arguments = {"--installed-build", "7"};
        test::Handler image = nullptr;
    };
    const Case cases[] = {
        {offered, 0, available + "7.\n", ""},
        {offered, 0, available + "5.\n", "", {"--installed-build"}}, // the bundle's build
        {offered, 0, current + "8.\n", "", {"--installed-build", "8", "--installed-build", "1"}},
        {offered, 1, "", "FAIL: unconfigured\n", {"--installed-build", "0"}},
        {test::reply::body(204, "", "", false), 0, none, ""},
        {feed("image", other), 1, "", "FAIL: invalidRelease\n"},
        {offered,
         0,
         available + "7.\n" + verified,
         "",
         {"--download-directory", "new/Downloads", "--installed-build", "7"},
         served},
        // The AVAILABLE line stands, then the failure.
        {offered,
         1,
         available + "7.\n",
         "FAIL: checksumMismatch\n",
         {"--installed-build", "7", "--download-directory", "corrupt"},
         test::reply::body(200, "", corrupt)},
    };
    for (const auto& c : cases) {
        server_.on(kFeedPath, c.feed);
        if (c.image) server_.on("/quorilanth/downloads/" + name, c.image);
        auto result = live(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.out << c.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_EQ(test::readFile(downloaded), image);
    EXPECT_TRUE(fs::is_empty(folder_.path() / "corrupt"));
}

} // namespace
} // namespace quorilanth
