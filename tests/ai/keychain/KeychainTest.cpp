#include "KeyringSession.h"
#include "ai/AIKeychain.h"
#include "core/base/QuorilanthError.h"
#include "support/InMemorySecretStore.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace quorilanth {
namespace {

// Runs this program's probe mode in a fresh process on the given bus and
// returns what it printed.
std::string probe(const std::vector<std::string>& arguments, const std::string& busAddress) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (!std::string_view(*entry).starts_with("DBUS_SESSION_BUS_ADDRESS="))
            environment.emplace_back(*entry);
    environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return "no pipe";
    UniqueFd reading(pipe[0]), writing(pipe[1]);
    std::vector<std::string> all{"--probe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ChildProcess child = ChildProcess::launch(std::filesystem::read_symlink("/proc/self/exe"), all,
                                              environment, {{writing.get(), 1}});
    writing.reset();
    std::string output;
    char buffer[4096];
    for (ssize_t count; (count = ::read(reading.get(), buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(count));
    EXPECT_EQ(child.wait(), 0);
    return output;
}

// "Keychain <what> failed (N)." with N a signed decimal number.
bool isFailureText(const std::string& text, const std::string& what) {
    const std::string head = "Keychain " + what + " failed (";
    if (!text.starts_with(head) || !text.ends_with(").")) return false;
    const std::string number = text.substr(head.size(), text.size() - head.size() - 2);
    const std::size_t digits = number.starts_with('-') ? 1 : 0;
    return number.size() > digits &&
           number.find_first_not_of("0123456789", digits) == std::string::npos;
}

class SecretServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { daemon = new test::KeyringDaemon; }
    static void TearDownTestSuite() {
        delete daemon;
        daemon = nullptr;
    }
    static inline test::KeyringDaemon* daemon = nullptr;
};

TEST_F(SecretServiceTest, KeysRoundTripExactlyAsGiven) {
    ASSERT_TRUE(daemon->ready());
    const AIKeychain keychain;
    const std::string brave(AIKeychain::braveSearchAccount);
    const struct {
        const char* step;
        std::string key, account;
        std::optional<std::string> openAI, braveSearch;
    } steps[] = {
        {"removing what was never there", "", "OpenAI", std::nullopt, std::nullopt},
        {"blanks are the caller's to trim", "  sk-one \n", "OpenAI", "  sk-one \n", std::nullopt},
        {"a new key replaces the old", "sk-two", "OpenAI", "sk-two", std::nullopt},
        {"accounts are apart", "cl\u00E9 \U0001F511", brave, "sk-two", "cl\u00E9 \U0001F511"},
        {"an empty key removes", "", "OpenAI", std::nullopt, "cl\u00E9 \U0001F511"},
        {"bytes that are not UTF-8 read as nothing", "\xff\xfe", "OpenAI", std::nullopt,
         "cl\u00E9 \U0001F511"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.step);
        ASSERT_NO_THROW(keychain.save(step.key, step.account));
        EXPECT_EQ(keychain.read("OpenAI"), step.openAI);
        EXPECT_EQ(keychain.read(brave), step.braveSearch);
    }
    // The key lives in the service, not in this process: another one reads it,
    // and so does another thread here.
    EXPECT_EQ(probe({"read", brave}, std::getenv("DBUS_SESSION_BUS_ADDRESS")),
              "key: cl\u00E9 \U0001F511");
    std::optional<std::string> fromThread;
    std::thread([&] { fromThread = keychain.read(brave); }).join();
    EXPECT_EQ(fromThread, "cl\u00E9 \U0001F511");
}

TEST(KeychainWithoutSecretService, EveryCallFailsAndSaysSo) {
    const std::string absentBus =
        "unix:path=" + std::string(std::getenv(test::KeyringFolders::marker)) + "/no-bus";
    const struct {
        std::vector<std::string> arguments;
        const char* failure;
    } cases[] = {
        {{"read", "OpenAI"}, "read"},
        {{"save", "OpenAI", "sk-one"}, "update"},
        {{"save", "OpenAI", ""}, "deletion"},
    };
    for (const auto& c : cases) {
        const std::string output = probe(c.arguments, absentBus);
        EXPECT_TRUE(isFailureText(output, c.failure)) << output;
    }
}

TEST(AIKeychainMessages, FailuresCarryTheStoresOwnCode) {
    using Operation = test::InMemorySecretStore::Operation;
    const struct {
        Operation failing;
        int code;
        std::optional<std::string> saved; // nothing: a read
        const char* message;
    } cases[] = {
        {Operation::remove, -5, "", "Keychain deletion failed (-5)."},
        {Operation::update, 7, "sk", "Keychain update failed (7)."},
        {Operation::add, 0, "sk", "Keychain save failed (0)."},
        {Operation::copy, -25293, std::nullopt, "Keychain read failed (-25293)."},
    };
    for (const auto& c : cases) {
        auto store = std::make_shared<test::InMemorySecretStore>();
        store->failWith(c.failing, c.code);
        const AIKeychain keychain(store);
        try {
            if (c.saved)
                keychain.save(*c.saved, "Claude");
            else
                (void)keychain.read("Claude");
            ADD_FAILURE() << "no failure for " << c.message;
        } catch (const QuorilanthError& error) {
            EXPECT_EQ(error.message(), c.message);
        }
        EXPECT_EQ(store->stored("Claude"), std::nullopt);
    }
}

} // namespace
} // namespace quorilanth
