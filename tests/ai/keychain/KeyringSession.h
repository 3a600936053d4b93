#pragma once

// The private folders and bus of the key-store test, and the keyring daemon
// that the tests start on it.

#include "core/net/ChildProcess.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gio/gio.h>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>
#include <vector>

namespace quorilanth::test {

// Every folder the desktop's services may write to, under one root.
struct KeyringFolders {
    static constexpr const char* marker = "QL_KEYRING_FOLDER";
    std::string root;

    explicit KeyringFolders(std::string folder) : root(std::move(folder)) {}
    std::vector<std::string> all() const {
        return {root + "/home", root + "/data", root + "/config", root + "/cache",
                root + "/runtime"};
    }
    // This process's environment with the desktop's session taken out and the
    // private folders put in.
    std::vector<std::string> environment(char** inherited) const {
        std::vector<std::string> result;
        for (char** entry = inherited; *entry; ++entry) {
            const std::string variable(*entry);
            const std::string name = variable.substr(0, variable.find('='));
            if (name == "DBUS_SESSION_BUS_ADDRESS" || name == "DISPLAY" ||
                name == "WAYLAND_DISPLAY" || name == "HOME" || name.starts_with("XDG_") ||
                name == marker)
                continue;
            result.push_back(variable);
        }
        const std::vector<std::string> folders = all();
        result.push_back("HOME=" + folders[0]);
        result.push_back("XDG_DATA_HOME=" + folders[1]);
        result.push_back("XDG_CONFIG_HOME=" + folders[2]);
        result.push_back("XDG_CACHE_HOME=" + folders[3]);
        result.push_back("XDG_RUNTIME_DIR=" + folders[4]);
        result.push_back(std::string(marker) + "=" + root);
        return result;
    }
};

// Whether a name has an owner on the session bus.
inline bool busNameOwned(const char* name) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_error_free(error);
        return false;
    }
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, &error);
    g_object_unref(bus);
    if (!reply) {
        g_error_free(error);
        return false;
    }
    gboolean owned = FALSE;
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    return owned;
}

// gnome-keyring-daemon serving the Secret Service on this process's session
// bus, its login keyring created (or opened) with a password given on its
// standard input. Ended with the object.
class KeyringDaemon {
public:
    KeyringDaemon() {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0) return;
        UniqueFd reading(pipe[0]), writing(pipe[1]);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        process_.emplace(ChildProcess::launch("/usr/bin/gnome-keyring-daemon",
                                              {"--foreground", "--unlock", "--components=secrets"},
                                              environment, {{reading.get(), 0}}));
        reading.reset();
        constexpr std::string_view password = "keyring-test";
        if (::write(writing.get(), password.data(), password.size()) < 0) return;
        writing.reset();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!(ready_ = busNameOwned("org.freedesktop.secrets")) &&
               std::chrono::steady_clock::now() < deadline && process_->running())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool ready() const { return ready_; }

private:
    std::optional<ChildProcess> process_;
    bool ready_ = false;
};

} // namespace quorilanth::test
