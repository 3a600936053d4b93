// The key store on the desktop's Secret Service (GNOME Keyring, KWallet and the
// like) through libsecret. Only this file sees libsecret and GLib.

#include "ai/AIKeychain.h"

#include <libsecret/secret.h>
#include <optional>
#include <utility>

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

// GLib's codes are per domain and start at 0, so the bare code names neither
// the failure nor success apart: a code is kept with its domain (thousands
// digit) and the two failures a user can act on get numbers of their own.
int statusCode(const GError& error) {
    if (g_error_matches(&error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return SecretStoreStatus::promptDismissed;
    for (const int unreachable : {G_DBUS_ERROR_SERVICE_UNKNOWN, G_DBUS_ERROR_NAME_HAS_NO_OWNER,
                                  G_DBUS_ERROR_NO_SERVER, G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND,
                                  G_DBUS_ERROR_SPAWN_EXEC_FAILED, G_DBUS_ERROR_SPAWN_FAILED})
        if (g_error_matches(&error, G_DBUS_ERROR, unreachable))
            return SecretStoreStatus::noSecretService;
    const int domain = error.domain == G_IO_ERROR         ? 1
                       : error.domain == G_DBUS_ERROR     ? 2
                       : error.domain == SECRET_ERROR     ? 3
                       : error.domain == G_KEY_FILE_ERROR ? 4
                                                          : 9;
    return domain * 1000 + (error.code >= 0 && error.code < 1000 ? error.code : 999);
}

SecretStoreStatus failed(GError* error) {
    const int code = statusCode(*error);
    g_error_free(error);
    return SecretStoreStatus::failure(code);
}

// One call's hold on the Secret Service and the item's attributes. The
// service is asked for by name on the session bus: libsecret's password calls
// would instead follow SECRET_BACKEND, or a sandbox, to a file store of its
// own, and a key must never land anywhere but the Secret Service.
class Call {
public:
    Call(std::string_view service, std::string_view account)
        : serviceName_(service), accountName_(account) {
        service_ = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error_);
        attributes_ = secret_attributes_build(&schema(), "service", serviceName_.c_str(), "account",
                                              accountName_.c_str(), static_cast<char*>(nullptr));
    }
    ~Call() {
        if (attributes_) g_hash_table_unref(attributes_);
        if (service_) g_object_unref(service_);
        if (error_) g_error_free(error_);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // The failure that came before the call could be made, if any: whatever
    // GLib said, no Secret Service could be reached (without a session bus it
    // says only its generic 0).
    std::optional<SecretStoreStatus> unreachable() {
        if (!error_) return std::nullopt;
        const int code = g_error_matches(error_, G_IO_ERROR, G_IO_ERROR_CANCELLED)
                             ? SecretStoreStatus::promptDismissed
                             : SecretStoreStatus::noSecretService;
        g_error_free(std::exchange(error_, nullptr));
        return SecretStoreStatus::failure(code);
    }
    SecretService* service() const { return service_; }
    GHashTable* attributes() const { return attributes_; }
    const std::string& account() const { return accountName_; }

private:
    std::string serviceName_, accountName_;
    SecretService* service_ = nullptr;
    GHashTable* attributes_ = nullptr;
    GError* error_ = nullptr;
};

class SecretServiceStore final : public SecretStore {
public:
    SecretStoreStatus update(std::string_view service, std::string_view account,
                             std::string_view data) override {
        // The Secret Service only stores, replacing an item with the same
        // attributes; whether there was one decides between an update and an
        // addition. The search leaves secrets where they are: the old key is
        // never brought into this process just to learn that it exists.
        Call call(service, account);
        if (auto failure = call.unreachable()) return *failure;
        GError* error = nullptr;
        GList* items = secret_service_search_sync(call.service(), &schema(), call.attributes(),
                                                  SECRET_SEARCH_NONE, nullptr, &error);
        if (error) return failed(error);
        const bool found = items != nullptr;
        g_list_free_full(items, g_object_unref);
        if (!found) return SecretStoreStatus::noItem();
        return store(service, account, data);
    }

    SecretStoreStatus add(std::string_view service, std::string_view account,
                          std::string_view data) override {
        return store(service, account, data);
    }

    SecretStoreStatus remove(std::string_view service, std::string_view account) override {
        Call call(service, account);
        if (auto failure = call.unreachable()) return *failure;
        GError* error = nullptr;
        const gboolean removed = secret_service_clear_sync(call.service(), &schema(),
                                                           call.attributes(), nullptr, &error);
        if (error) return failed(error);
        return removed ? SecretStoreStatus::success() : SecretStoreStatus::noItem();
    }

    SecretStoreStatus copy(std::string_view service, std::string_view account,
                           std::string& data) override {
        Call call(service, account);
        if (auto failure = call.unreachable()) return *failure;
        GError* error = nullptr;
        SecretValue* value = secret_service_lookup_sync(call.service(), &schema(),
                                                        call.attributes(), nullptr, &error);
        if (error) return failed(error);
        if (!value) return SecretStoreStatus::noItem();
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        data.assign(bytes, length);
        secret_value_unref(value);
        return SecretStoreStatus::success();
    }

private:
    static SecretStoreStatus store(std::string_view service, std::string_view account,
                                   std::string_view data) {
        Call call(service, account);
        if (auto failure = call.unreachable()) return *failure;
        const std::string label = "Quorilanth: " + call.account();
        SecretValue* value =
            secret_value_new(data.data(), static_cast<gssize>(data.size()), "text/plain");
        GError* error = nullptr;
        secret_service_store_sync(call.service(), &schema(), call.attributes(),
                                  SECRET_COLLECTION_DEFAULT, label.c_str(), value, nullptr, &error);
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
