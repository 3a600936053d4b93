// The key store on the desktop's Secret Service (GNOME Keyring, KWallet and the
// like) through libsecret. Only this file sees libsecret and GLib.

#include "ai/AIKeychain.h"

#include <libsecret/secret.h>

namespace quorilanth {
namespace {

// Items are told apart by service and account under a schema of our own, so
// that an item of another program with the same attributes is never touched.
const SecretSchema& schema() {
    static const SecretSchema value = [] {
        SecretSchema built{};
        built.name = "io.quorilanth.Secret";
        built.flags = SECRET_SCHEMA_NONE;
        built.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        built.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return built;
    }();
    return value;
}

// The attribute values as libsecret wants them: NUL-terminated.
struct Names {
    std::string service, account;
    Names(std::string_view s, std::string_view a) : service(s), account(a) {}
};

SecretStoreStatus failed(GError* error) {
    const int code = error->code;
    g_error_free(error);
    return SecretStoreStatus::failure(code);
}

class SecretServiceStore final : public SecretStore {
public:
    SecretStoreStatus update(std::string_view service, std::string_view account,
                             std::string_view data) override {
        // libsecret only stores, replacing an item with the same attributes;
        // whether there was one decides between an update and an addition.
        const Names names(service, account);
        std::string existing;
        const SecretStoreStatus found = copy(service, account, existing);
        if (found.kind != SecretStoreStatus::Kind::success) return found;
        return store(names, data);
    }

    SecretStoreStatus add(std::string_view service, std::string_view account,
                          std::string_view data) override {
        return store(Names(service, account), data);
    }

    SecretStoreStatus remove(std::string_view service, std::string_view account) override {
        const Names names(service, account);
        GError* error = nullptr;
        const gboolean removed = secret_password_clear_sync(
            &schema(), nullptr, &error, "service", names.service.c_str(), "account",
            names.account.c_str(), static_cast<char*>(nullptr));
        if (error) return failed(error);
        return removed ? SecretStoreStatus::success() : SecretStoreStatus::noItem();
    }

    SecretStoreStatus copy(std::string_view service, std::string_view account,
                           std::string& data) override {
        const Names names(service, account);
        GError* error = nullptr;
        SecretValue* value = secret_password_lookup_binary_sync(
            &schema(), nullptr, &error, "service", names.service.c_str(), "account",
            names.account.c_str(), static_cast<char*>(nullptr));
        if (error) return failed(error);
        if (!value) return SecretStoreStatus::noItem();
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        data.assign(bytes, length);
        secret_value_unref(value);
        return SecretStoreStatus::success();
    }

private:
    static SecretStoreStatus store(const Names& names, std::string_view data) {
        const std::string label = "Quorilanth: " + names.account;
        SecretValue* value =
            secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain");
        GError* error = nullptr;
        secret_password_store_binary_sync(
            &schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &error, "service",
            names.service.c_str(), "account", names.account.c_str(), static_cast<char*>(nullptr));
        secret_value_unref(value);
        if (error) return failed(error);
        return SecretStoreStatus::success();
    }
};

} // namespace

std::shared_ptr<SecretStore> systemSecretStore() {
    static const std::shared_ptr<SecretStore> store = std::make_shared<SecretServiceStore>();
    return store;
}

} // namespace quorilanth
