// The key store meets a real Secret Service here: this program runs itself again
// in a private D-Bus session, home and runtime folder one temporary folder, whose
// bus activates nothing, so a Secret Service exists only once a test starts one.

#include "ai/AIKeychain.h"
#include "core/base/QuorilanthError.h"
#include "core/net/ChildProcess.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <unistd.h>

namespace quorilanth {
namespace {

// What a call throws; empty when nothing is thrown.
std::string failureOf(const std::function<void()>& call) try {
    call();
    return {};
} catch (const QuorilanthError& error) {
    return error.message();
}

// Where libsecret's own file store would keep keys if it were ever asked to.
std::filesystem::path fileKeyring() {
    return std::filesystem::path(std::getenv("HOME")) / "file-keyring";
}

// This suite comes first: the private bus has no Secret Service until the
// next suite starts one.
TEST(KeychainWithoutSecretService, EveryCallFailsAndSaysSo) {
    const std::string said = failureOf([] { (void)AIKeychain().read("OpenAI"); }) +
                             failureOf([] { AIKeychain().save("sk-one", "OpenAI"); }) +
                             failureOf([] { AIKeychain().save("", "OpenAI"); });
    // Each with the number of its own for this failure, never GLib's generic 0.
    const std::string code = std::to_string(SecretStoreStatus::noSecretService);
    EXPECT_EQ(said, "Keychain read failed (" + code + ").Keychain update failed (" + code +
                        ").Keychain deletion failed (" + code + ").");
    // The session asks libsecret for its file store; no key may land there.
    EXPECT_FALSE(std::filesystem::exists(fileKeyring()));
}

// gnome-keyring-daemon on the private bus, its login keyring made with a
// password read from its standard input; ended with the program.
class SecretServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string password = std::string(std::getenv("HOME")) + "/password";
        std::ofstream(password) << "keyring-test";
        const UniqueFd input(::open(password.c_str(), O_RDONLY | O_CLOEXEC));
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        daemon = std::make_unique<ChildProcess>(ChildProcess::launch(
            "/usr/bin/gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"},
            environment, {{input.get(), 0}}));
        // Ready once a read answers.
        for (int tries = 500; --tries && !failureOf([] { (void)AIKeychain().read("x"); }).empty();)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    static inline std::unique_ptr<ChildProcess> daemon;
};

TEST_F(SecretServiceTest, KeysRoundTripExactlyAsGiven) {
    const AIKeychain keychain;
    const std::string brave(AIKeychain::braveSearchAccount), key = "cl\u00E9 \U0001F511";
    // clang-format off
    const std::tuple<std::string, std::string, std::optional<std::string>, std::optional<std::string>> steps[] = {
        // saved, into the account; then OpenAI's key and Brave Search's
        {"", "OpenAI", {}, {}},                     // removing what was never there
        {"  sk-one \n", "OpenAI", "  sk-one \n", {}}, // blanks are the caller's to trim
        {"sk-two", "OpenAI", "sk-two", {}},           // a new key replaces the old
        {key, brave, "sk-two", key},                  // accounts are apart
        {"", "OpenAI", {}, key},                      // an empty key removes
        {"\xff\xfe", "OpenAI", {}, key}};             // bytes that are not UTF-8 read as nothing
    // clang-format on
    for (const auto& [saved, account, openAI, braveSearch] : steps) {
        ASSERT_NO_THROW(keychain.save(saved, account));
        EXPECT_EQ(std::tuple(keychain.read("OpenAI"), keychain.read(brave)),
                  std::tuple(openAI, braveSearch))
            << saved;
    }
    // The research engine reads keys on its own thread.
    std::optional<std::string> fromThread;
    std::thread([&] { fromThread = keychain.read(brave); }).join();
    EXPECT_EQ(fromThread, key);
    EXPECT_FALSE(std::filesystem::exists(fileKeyring()));
}

int runInPrivateSession(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "ql-keyring-XXXXXX").string();
    if (!::mkdtemp(root.data())) return 2;
    std::vector<std::string> environment{"QL_KEYRING_SESSION=1"};
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view name = std::string_view(*entry).substr(0, std::strcspn(*entry, "="));
        if (name != "DBUS_SESSION_BUS_ADDRESS" && name != "DISPLAY" && name != "WAYLAND_DISPLAY" &&
            name != "HOME" && !name.starts_with("XDG_") && !name.starts_with("SECRET_"))
            environment.emplace_back(*entry);
    }
    // Data, config and cache then default to folders of the private home.
    environment.push_back("HOME=" + root);
    environment.push_back("XDG_RUNTIME_DIR=" + root);
    // libsecret would store keys in a file of its own when told to; ours must not.
    environment.push_back("SECRET_BACKEND=file");
    environment.push_back("SECRET_FILE_TEST_PATH=" + root + "/file-keyring");
    environment.push_back("SECRET_FILE_TEST_PASSWORD=file-keyring-test");
    std::ofstream(root + "/session.conf")
        << "<busconfig><type>session</type><listen>unix:dir=" << root
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
           "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow "
           "own=\"*\"/></policy></busconfig>\n";
    std::vector<std::string> arguments{"--config-file=" + root + "/session.conf", "--",
                                       fs::read_symlink("/proc/self/exe").string()};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    // Throws when the session cannot start, and then leaves the folder for the inquiry.
    const int status =
        ChildProcess::launch("/usr/bin/dbus-run-session", arguments, environment, {{1, 1}, {2, 2}})
            .wait();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return status;
}

} // namespace
} // namespace quorilanth

int main(int argc, char** argv) {
    const bool listing = std::any_of(argv + 1, argv + argc, [](std::string_view argument) {
        return argument.starts_with("--gtest_list_tests");
    });
    if (!listing && !std::getenv("QL_KEYRING_SESSION"))
        return quorilanth::runInPrivateSession(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
