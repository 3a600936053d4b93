// The key store meets a real Secret Service here. Unless it already runs inside
// one, this program runs itself again inside a private D-Bus session
// (dbus-run-session) whose home, data, config, cache and runtime folders all lie
// in one temporary folder, removed afterwards. The bus activates nothing: a
// Secret Service exists only once a test starts gnome-keyring-daemon itself.

#include "core/net/ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string_view>
#include <unistd.h>

namespace {

int runInPrivateSession(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::string root = (fs::temp_directory_path() / "ql-keyring-XXXXXX").string();
    if (!::mkdtemp(root.data())) return 2;
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        if (name != "DBUS_SESSION_BUS_ADDRESS" && name != "DISPLAY" && name != "WAYLAND_DISPLAY" &&
            name != "HOME" && !name.starts_with("XDG_"))
            environment.emplace_back(variable);
    }
    for (const char* folder :
         {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string path = root + "/" + folder;
        std::error_code ignored;
        fs::create_directory(path, ignored);
        fs::permissions(path, fs::perms::owner_all, ignored);
        environment.push_back(std::string(folder) + "=" + path);
    }
    environment.emplace_back("QL_KEYRING_SESSION=1");
    std::ofstream(root + "/session.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig><type>session</type><listen>unix:dir="
        << root
        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
           "<allow own=\"*\"/></policy></busconfig>\n";
    std::vector<std::string> arguments{"--config-file=" + root + "/session.conf", "--",
                                       fs::read_symlink("/proc/self/exe").string()};
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int status = 2;
    try {
        status = quorilanth::ChildProcess::launch("/usr/bin/dbus-run-session", arguments,
                                                  environment, {{1, 1}, {2, 2}})
                     .wait();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "The private D-Bus session did not start: %s\n", error.what());
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::string_view(argv[i]).starts_with("--gtest_list_tests");
    if (!listing && !std::getenv("QL_KEYRING_SESSION")) return runInPrivateSession(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
