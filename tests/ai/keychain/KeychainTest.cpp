#include "ai/AIKeychain.h"
#include "core/base/QuorilanthError.h"
#include "core/net/ChildProcess.h"

#include <chrono>
#include <fcntl.h>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace quorilanth {
namespace {

// Whether a name has an owner on this process's session bus.
bool busNameOwned(const char* name) {
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!bus) return false;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", name), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE,
        -1, nullptr, nullptr);
    g_object_unref(bus);
    gboolean owned = FALSE;
    if (reply) g_variant_get(reply, "(b)", &owned);
    if (reply) g_variant_unref(reply);
    return owned;
}

// What a save (of the given key) or a read (without one) throws; empty when
// nothing is thrown.
std::string failureOf(const AIKeychain& keychain, const std::optional<std::string>& saved) {
    try {
        if (saved)
            keychain.save(*saved, "OpenAI");
        else
            (void)keychain.read("OpenAI");
    } catch (const QuorilanthError& error) {
        return error.message();
    }
    return {};
}

// This suite comes first: the private bus has no Secret Service until the
// next suite starts one.
TEST(KeychainWithoutSecretService, EveryCallFailsAndSaysSo) {
    ASSERT_FALSE(busNameOwned("org.freedesktop.secrets"));
    const AIKeychain keychain;
    const struct {
        std::optional<std::string> saved; // nothing: a read
        std::string message;
    } cases[] = {{std::nullopt, "Keychain read failed ("},
                 {"sk-one", "Keychain update failed ("},
                 {"", "Keychain deletion failed ("}};
    for (const auto& c : cases) {
        // The store's code, a signed decimal number, between the parentheses.
        const std::string text = failureOf(keychain, c.saved);
        ASSERT_TRUE(text.starts_with(c.message) && text.ends_with(").")) << text;
        const std::string code = text.substr(c.message.size(), text.size() - c.message.size() - 2);
        EXPECT_EQ(std::to_string(std::stoi(code)), code) << text;
    }
}

// gnome-keyring-daemon on the private bus, its login keyring made with a
// password given on its standard input; ended with the suite.
class SecretServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
        UniqueFd reading(pipe[0]), writing(pipe[1]);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry; ++entry)
            environment.emplace_back(*entry);
        daemon = new ChildProcess(ChildProcess::launch(
            "/usr/bin/gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"},
            environment, {{reading.get(), 0}}));
        ASSERT_EQ(::write(writing.get(), "keyring-test", 12), 12);
        writing.reset();
        for (int tries = 0; tries < 500 && !busNameOwned("org.freedesktop.secrets"); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    static void TearDownTestSuite() {
        delete daemon;
        daemon = nullptr;
    }
    static inline ChildProcess* daemon = nullptr;
};

TEST_F(SecretServiceTest, KeysRoundTripExactlyAsGiven) {
    ASSERT_TRUE(busNameOwned("org.freedesktop.secrets"));
    const AIKeychain keychain;
    const std::string brave(AIKeychain::braveSearchAccount), key = "cl\u00E9 \U0001F511";
    const std::optional<std::string> none;
    const struct {
        const char* step;
        std::string key, account;
        std::optional<std::string> openAI, braveSearch;
    } steps[] = {
        {"removing what was never there", "", "OpenAI", none, none},
        {"blanks are the caller's to trim", "  sk-one \n", "OpenAI", "  sk-one \n", none},
        {"a new key replaces the old", "sk-two", "OpenAI", "sk-two", none},
        {"accounts are apart", key, brave, "sk-two", key},
        {"an empty key removes", "", "OpenAI", none, key},
        {"bytes that are not UTF-8 read as nothing", "\xff\xfe", "OpenAI", none, key},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        ASSERT_NO_THROW(keychain.save(step.key, step.account));
        EXPECT_EQ(keychain.read("OpenAI"), step.openAI);
        EXPECT_EQ(keychain.read(brave), step.braveSearch);
    }
    // The research engine reads keys on its own thread.
    std::optional<std::string> fromThread;
    std::thread([&] { fromThread = keychain.read(brave); }).join();
    EXPECT_EQ(fromThread, key);
}

} // namespace
} // namespace quorilanth
