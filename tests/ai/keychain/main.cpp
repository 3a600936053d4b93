// The key store meets a real Secret Service here. Unless it already runs inside
// one, this program runs itself again inside a private D-Bus session
// (dbus-run-session) whose home, data, config, cache and runtime folders all lie
// in one temporary folder, removed afterwards. The bus activates nothing, so a
// Secret Service exists only where a test starts gnome-keyring-daemon itself.

#include "KeyringSession.h"
#include "ai/AIKeychain.h"
#include "core/base/QuorilanthError.h"
#include "core/net/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <string_view>

namespace {

using namespace quorilanth;

// "--probe read ACCOUNT" or "--probe save ACCOUNT KEY": one call of the key
// store in a fresh process, its outcome on standard output.
int probe(int argc, char** argv) {
    const AIKeychain keychain;
    try {
        if (argc == 4 && std::string_view(argv[2]) == "read") {
            const std::optional<std::string> key = keychain.read(argv[3]);
            std::cout << (key ? "key: " + *key : std::string("none"));
        } else if (argc == 5 && std::string_view(argv[2]) == "save") {
            keychain.save(argv[4], argv[3]);
            std::cout << "saved";
        } else {
            return 2;
        }
    } catch (const QuorilanthError& failure) {
        std::cout << failure.message();
    }
    return 0;
}

int runInPrivateSession(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "ql-keyring-XXXXXX").string();
    if (!::mkdtemp(folder.data())) return 2;
    const test::KeyringFolders folders(folder);
    std::error_code failure;
    for (const std::string& path : folders.all()) {
        fs::create_directories(path, failure);
        fs::permissions(path, fs::perms::owner_all, failure);
    }
    std::ofstream(folder + "/session.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:dir="
        << folder
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow own=\"*\"/></policy></busconfig>\n";

    std::vector<std::string> environment = folders.environment(environ);
    std::vector<std::string> arguments{"--config-file=" + folder + "/session.conf", "--",
                                       fs::read_symlink("/proc/self/exe").string()};
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    int status = 2;
    try {
        ChildProcess session = ChildProcess::launch("/usr/bin/dbus-run-session", arguments,
                                                    environment, {{1, 1}, {2, 2}});
        status = session.wait();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "The private D-Bus session did not start: %s\n", error.what());
    }
    fs::remove_all(folder, failure);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "--probe") return probe(argc, argv);
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string_view(argv[i]).starts_with("--gtest_list_tests");
    if (!listing && !std::getenv(test::KeyringFolders::marker))
        return runInPrivateSession(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
