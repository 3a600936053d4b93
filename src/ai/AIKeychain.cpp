#include "ai/AIKeychain.h"

#include "core/base/QuorilanthError.h"
#include "core/base/UTF8.h"

namespace quorilanth {
namespace {

[[noreturn]] void fail(const char* what, const SecretStoreStatus& status) {
    throw QuorilanthError(std::string("Keychain ") + what + " failed (" +
                          std::to_string(status.code) + ").");
}

} // namespace

AIKeychain::AIKeychain(std::shared_ptr<SecretStore> store) : store_(std::move(store)) {}

void AIKeychain::save(std::string_view key, std::string_view account) const {
    using Kind = SecretStoreStatus::Kind;
    if (key.empty()) {
        const SecretStoreStatus removed = store_->remove(service, account);
        if (removed.kind == Kind::failure) fail("deletion", removed);
        return;
    }
    const SecretStoreStatus updated = store_->update(service, account, key);
    if (updated.kind == Kind::success) return;
    if (updated.kind == Kind::failure) fail("update", updated);
    const SecretStoreStatus added = store_->add(service, account, key);
    if (added.kind != Kind::success) fail("save", added);
}

std::optional<std::string> AIKeychain::read(std::string_view account) const {
    std::string data;
    const SecretStoreStatus status = store_->copy(service, account, data);
    switch (status.kind) {
    case SecretStoreStatus::Kind::success:
        if (!utf8::isValid(data)) return std::nullopt;
        return data;
    case SecretStoreStatus::Kind::noItem:
        return std::nullopt;
    case SecretStoreStatus::Kind::failure:
        break;
    }
    fail("read", status);
}

} // namespace quorilanth
