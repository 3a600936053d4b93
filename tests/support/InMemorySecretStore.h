#pragma once

// A secret store in memory, for tests where keys only need to come and go (the
// settings sheet, the research engine). The key store's own test meets the
// real Secret Service instead.

#include "ai/AIKeychain.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace quorilanth::test {

class InMemorySecretStore final : public SecretStore {
public:
    enum class Operation { update, add, remove, copy };
    // An operation given a code fails with it at every call until given none.
    void failWith(Operation operation, std::optional<int> code) {
        const std::lock_guard lock(mutex_);
        failures_[operation] = code;
    }
    std::optional<std::string> stored(std::string_view account) const {
        const std::lock_guard lock(mutex_);
        const auto item = items_.find({std::string(AIKeychain::service), std::string(account)});
        return item == items_.end() ? std::nullopt : std::optional(item->second);
    }

    SecretStoreStatus update(std::string_view service, std::string_view account,
                             std::string_view data) override {
        return run(Operation::update, service, account, [&](auto& items, const Key& key) {
            if (!items.count(key)) return false;
            items[key] = data;
            return true;
        });
    }
    SecretStoreStatus add(std::string_view service, std::string_view account,
                          std::string_view data) override {
        return run(Operation::add, service, account, [&](auto& items, const Key& key) {
            items[key] = data;
            return true;
        });
    }
    SecretStoreStatus remove(std::string_view service, std::string_view account) override {
        return run(Operation::remove, service, account,
                   [](auto& items, const Key& key) { return items.erase(key) > 0; });
    }
    SecretStoreStatus copy(std::string_view service, std::string_view account,
                           std::string& data) override {
        return run(Operation::copy, service, account, [&](auto& items, const Key& key) {
            if (!items.count(key)) return false;
            data = items[key];
            return true;
        });
    }

private:
    using Key = std::pair<std::string, std::string>;
    using Items = std::map<Key, std::string>;

    // The call's own work says whether the item was there.
    SecretStoreStatus run(Operation operation, std::string_view service, std::string_view account,
                          const std::function<bool(Items&, const Key&)>& work) {
        const std::lock_guard lock(mutex_);
        if (const std::optional<int> code = failures_[operation])
            return SecretStoreStatus::failure(*code);
        return work(items_, {std::string(service), std::string(account)})
                   ? SecretStoreStatus::success()
                   : SecretStoreStatus::noItem();
    }

    mutable std::mutex mutex_;
    Items items_;
    std::map<Operation, std::optional<int>> failures_;
};

} // namespace quorilanth::test
