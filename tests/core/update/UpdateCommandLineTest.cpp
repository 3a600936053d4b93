#include "core/update/ApplicationBundle.h"
#include "core/update/Sha256.h"
#include "core/update/UpdateChannelConfiguration.h"
#include "core/update/UpdateManifestVerifier.h"
#include "support/update/UpdateTestKit.h"
#include "support/update/UpdateTestServer.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorilanth {
namespace {

namespace fs = std::filesystem;

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Runs a program with the given arguments and extra environment, no display.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = {},
                         const fs::path& workingDirectory = {}) {
    std::string pattern = (fs::temp_directory_path() / "ql-update-run-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    const fs::path out = folder / "out", err = folder / "err";
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (!std::string_view(*e).starts_with("DISPLAY=") &&
            !std::string_view(*e).starts_with("WAYLAND_DISPLAY="))
            env.emplace_back(*e);
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> argp, envp;
    for (auto& a : argv)
        argp.push_back(a.data());
    for (auto& e : env)
        envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    pid_t child = ::fork();
    if (child == 0) {
        int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(o, 1);
        ::dup2(e, 2);
        if (!workingDirectory.empty() && ::chdir(workingDirectory.c_str()) != 0) ::_exit(126);
        ::execve(program.c_str(), argp.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ProcessResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
    fs::remove_all(folder);
    return result;
}

const std::string kOfflinePass =
    "PASS: signed update verification, tampering rejection and version comparison.\n";
const std::string kTestKeyProgram = QL_UPDATE_TESTKEY_EXECUTABLE;
const std::string kApplication = QL_APP_EXECUTABLE;

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

TEST(UpdateCommandLine, ApplicationEntry) {
    if (kApplication.empty()) GTEST_SKIP() << "the application is not part of this build";
    if (UpdateChannelConfiguration::load(ApplicationBundle::main()))
        GTEST_SKIP() << "this build was configured with a signing key";
    struct Case {
        std::vector<std::string> arguments;
        std::string err;
    };
    const Case cases[] = {
        {{"--selftest-update"}, "FAIL: unconfigured\n"},
        {{"--selftest-update-live"}, "FAIL: unconfigured\n"},
        {{"--selftest-update-live", "--installed-build", "9"}, "FAIL: unconfigured\n"},
    };
    for (const auto& c : cases) {
        auto result = runProcess(kApplication, c.arguments);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
    }
    // Options are whole, case-sensitive arguments: these are no self-test. They
    // start the desktop application, which the smoke test without a snapshot
    // path ends at once; private folders keep it off the user's settings.
    std::string pattern = (fs::temp_directory_path() / "ql-update-near-XXXXXX").string();
    const fs::path home = ::mkdtemp(pattern.data());
    const std::vector<std::string> desktop{"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + (home / "config").string(),
                                           "XDG_DATA_HOME=" + (home / "data").string()};
    for (const char* near : {"--SELFTEST-UPDATE", "--selftest-update=1", "-selftest-update"}) {
        auto result = runProcess(kApplication, {near, "--smoke-test"}, desktop);
        EXPECT_FALSE(result.err.starts_with("FAIL:")) << near << ": " << result.err;
        EXPECT_EQ(result.out, "") << near;
    }
    fs::remove_all(home);
}

class UpdateLiveCommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ql-update-live-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(folder_); }

    ProcessResult live(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "--selftest-update-live");
        return runProcess(kTestKeyProgram, arguments,
                          {"QL_TEST_UPDATE_CA=" + authority_.caFile(),
                           "QL_TEST_UPDATE_PORT=" + std::to_string(server_.port())},
                          folder_);
    }
    void publish(const test::ManifestBuilder& manifest) {
        server_.on("/quorilanth/api/v1/update.json",
                   test::reply::body(200, "application/json", manifest.build()));
    }
    test::ManifestBuilder releaseOf(std::string_view image, std::string_view architecture) {
        Sha256 hash;
        hash.update(test::bytesOf(image));
        test::ManifestBuilder builder;
        builder.forFile("0.1.1", 8, hash.finishHex(), static_cast<std::int64_t>(image.size()),
                        architecture);
        return builder;
    }

    test::UpdateTestAuthority authority_{std::string(UpdateChannelConfiguration::updateHost())};
    test::UpdateTestServer server_{authority_};
    fs::path folder_;
};

const std::string kDash = "\xE2\x80\x94";

TEST_F(UpdateLiveCommandLine, Outcomes) {
    const std::string image(300000, 'q');
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    publish(releaseOf(image, architecture));
    server_.on("/quorilanth/downloads/Quorilanth-0.1.1-macOS-" + architecture + ".dmg",
               test::reply::body(200, "", image));
    const std::string available =
        "PASS: AVAILABLE " + kDash + " verified 0.1.1, build 8, installed build ";
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"--installed-build", "7"}, 0, available + "7.\n", ""},
        {{"--installed-build", "+7"}, 0, available + "7.\n", ""},
        {{"--installed-build"}, 0, available + "5.\n", ""}, // the bundle's build
        {{"--installed-build", "seven"}, 0, available + "5.\n", ""},
        {{"--installed-build", "12"},
         0,
         "PASS: CURRENT " + kDash + " signed live channel matches installed build 12.\n",
         ""},
        {{"--installed-build", "8", "--installed-build", "1"},
         0,
         "PASS: CURRENT " + kDash + " signed live channel matches installed build 8.\n",
         ""},
        {{"--installed-build", "0"}, 1, "", "FAIL: unconfigured\n"},
        {{"--installed-build", "-4"}, 1, "", "FAIL: unconfigured\n"},
    };
    for (const auto& c : cases) {
        auto result = live(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments.size();
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(UpdateLiveCommandLine, DownloadsAndReverifies) {
    const std::string image(300000, 'q');
    const std::string architecture(UpdateManifestVerifier::currentArchitecture());
    const std::string name = "Quorilanth-0.1.1-macOS-" + architecture + ".dmg";
    publish(releaseOf(image, architecture));
    server_.on("/quorilanth/downloads/" + name, test::reply::body(200, "", image));

    // A relative folder that does not exist yet, taken from the working directory.
    auto first = live({"--download-directory", "new/Downloads", "--installed-build", "7"});
    const fs::path expected = fs::canonical(folder_) / "new" / "Downloads" / name;
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "PASS: AVAILABLE " + kDash +
                             " verified 0.1.1, build 8, installed build 7.\n"
                             "PASS: DOWNLOAD " +
                             kDash + " SHA-256 and size verified: " + expected.string() + "\n");
    EXPECT_EQ(slurp(expected), image);

    // The same name again: a new file beside it, the first untouched.
    auto second = live({"--installed-build", "7", "--download-directory",
                        (folder_ / "new" / "Downloads").string()});
    EXPECT_EQ(second.status, 0) << second.err;
    std::string line = second.out.substr(second.out.find("verified: ") + 10);
    fs::path again(line.substr(0, line.size() - 1));
    EXPECT_NE(again.filename(), name);
    EXPECT_EQ(slurp(again), image);
    EXPECT_EQ(slurp(expected), image);

    // A corrupt image: the AVAILABLE line stands, then the failure.
    std::string corrupt = image;
    corrupt[100] = 'x';
    server_.on("/quorilanth/downloads/" + name, test::reply::body(200, "", corrupt));
    auto third = live({"--installed-build", "7", "--download-directory", "third"});
    EXPECT_EQ(third.status, 1);
    EXPECT_TRUE(third.out.starts_with("PASS: AVAILABLE ")) << third.out;
    EXPECT_EQ(third.out.find("DOWNLOAD"), std::string::npos);
    EXPECT_EQ(third.err, "FAIL: checksumMismatch\n");
    EXPECT_TRUE(fs::is_empty(folder_ / "third"));
}

TEST_F(UpdateLiveCommandLine, NotPublishedIncompatibleAndUnreachable) {
    server_.on("/quorilanth/api/v1/update.json", test::reply::body(204, "", "", false));
    auto none = live({"--installed-build", "7"});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "PASS: NOT PUBLISHED " + kDash + " channel responds HTTP 204.\n");
    EXPECT_EQ(none.err, "");

    // A release for the other architecture only.
    const std::string other =
        UpdateManifestVerifier::currentArchitecture() == "arm64" ? "x86_64" : "arm64";
    publish(releaseOf("image", other));
    auto incompatible = live({"--installed-build", "7"});
    EXPECT_EQ(incompatible.status, 1);
    EXPECT_EQ(incompatible.out, "");
    EXPECT_EQ(incompatible.err, "FAIL: invalidRelease\n");

    // A release that needs a newer system than any.
    auto future = releaseOf("image", std::string(UpdateManifestVerifier::currentArchitecture()));
    future.release["minimumSystemVersion"] = test::jsonString("9999.0");
    publish(future);
    EXPECT_EQ(live({"--installed-build", "7"}).err, "FAIL: invalidRelease\n");

    server_.on("/quorilanth/api/v1/update.json", test::reply::body(503, "text/html", "busy"));
    auto down = live({"--installed-build", "7"});
    EXPECT_EQ(down.status, 1);
    EXPECT_EQ(down.err, "FAIL: unavailable\n");
}

} // namespace
} // namespace quorilanth
