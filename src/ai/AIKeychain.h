#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// The answer of one call to a secret store.
struct SecretStoreStatus {
    enum class Kind : unsigned char { success, noItem, failure };
    Kind kind = Kind::success;
    // The store's own failure code, which the key store's messages carry.
    int code = 0;

    // Failures that GLib tells in codes of different domains, or as 0 (its
    // generic code, which also means success), carry numbers of their own:
    // negative, so that they never meet the domain-tagged codes below.
    static constexpr int noSecretService = -25291; // no Secret Service reachable
    static constexpr int promptDismissed = -128;   // the user dismissed the unlock prompt

    static SecretStoreStatus success() { return {}; }
    static SecretStoreStatus noItem() { return {Kind::noItem, 0}; }
    static SecretStoreStatus failure(int code) { return {Kind::failure, code}; }
};

// What the desktop offers for secrets: one secret per service and account,
// readable only by this user and kept on this machine. Every call is
// synchronous and may come from any thread.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    // Replaces the data of the existing item; noItem when there is none.
    virtual SecretStoreStatus update(std::string_view service, std::string_view account,
                                     std::string_view data) = 0;
    // Creates the item.
    virtual SecretStoreStatus add(std::string_view service, std::string_view account,
                                  std::string_view data) = 0;
    // Deletes the item; noItem when there is none.
    virtual SecretStoreStatus remove(std::string_view service, std::string_view account) = 0;
    // Copies the item's data into data; noItem when there is none.
    virtual SecretStoreStatus copy(std::string_view service, std::string_view account,
                                   std::string& data) = 0;
};

// The desktop's Secret Service, in the user's default keyring; one per process.
std::shared_ptr<SecretStore> systemSecretStore();

// The API keys of the AI providers, one per account: each provider's raw value,
// and braveSearchAccount for the web-search key. Keys are only ever written
// here and read by the research engine; nothing else sees them.
class AIKeychain {
public:
    static constexpr std::string_view service = "io.quorilanth.provider-keys";
    static constexpr std::string_view braveSearchAccount = "Brave Search";

    explicit AIKeychain(std::shared_ptr<SecretStore> store = systemSecretStore());

    // Stores or replaces the key as given (callers trim); an empty key removes
    // it, and removing a key that is not there succeeds. Throws QuorilanthError
    // "Keychain deletion failed (N).", "Keychain update failed (N)." or
    // "Keychain save failed (N).".
    void save(std::string_view key, std::string_view account) const;
    // The key exactly as stored; nothing when the account has none or the
    // stored bytes are not UTF-8. Throws QuorilanthError "Keychain read failed (N).".
    std::optional<std::string> read(std::string_view account) const;

private:
    std::shared_ptr<SecretStore> store_;
};

} // namespace quorilanth
