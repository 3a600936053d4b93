#pragma once

// A secret store in memory, for tests where keys only need to come and go (the
// settings sheet, the research engine). The key store's own test meets the
// real Secret Service instead.

#include "ai/AIKeychain.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace quorilanth::test {

class InMemorySecretStore final : public SecretStore {
public:
    // An operation given a code fails with it at every call until cleared.
    enum class Operation { update, add, remove, copy };
    void failWith(Operation operation, std::optional<int> code) {
        const std::lock_guard lock(mutex_);
        failures_[operation] = code;
    }

    std::optional<std::string> stored(std::string_view account,
                                      std::string_view service = AIKeychain::service) const {
        const std::lock_guard lock(mutex_);
        const auto item = items_.find({std::string(service), std::string(account)});
        if (item == items_.end()) return std::nullopt;
        return item->second;
    }

    SecretStoreStatus update(std::string_view service, std::string_view account,
                             std::string_view data) override {
        const std::lock_guard lock(mutex_);
        if (const auto code = failure(Operation::update)) return SecretStoreStatus::failure(*code);
        const auto item = items_.find({std::string(service), std::string(account)});
        if (item == items_.end()) return SecretStoreStatus::noItem();
        item->second = data;
        return SecretStoreStatus::success();
    }
    SecretStoreStatus add(std::string_view service, std::string_view account,
                          std::string_view data) override {
        const std::lock_guard lock(mutex_);
        if (const auto code = failure(Operation::add)) return SecretStoreStatus::failure(*code);
        items_[{std::string(service), std::string(account)}] = data;
        return SecretStoreStatus::success();
    }
    SecretStoreStatus remove(std::string_view service, std::string_view account) override {
        const std::lock_guard lock(mutex_);
        if (const auto code = failure(Operation::remove)) return SecretStoreStatus::failure(*code);
        return items_.erase({std::string(service), std::string(account)})
                   ? SecretStoreStatus::success()
                   : SecretStoreStatus::noItem();
    }
    SecretStoreStatus copy(std::string_view service, std::string_view account,
                           std::string& data) override {
        const std::lock_guard lock(mutex_);
        if (const auto code = failure(Operation::copy)) return SecretStoreStatus::failure(*code);
        const auto item = items_.find({std::string(service), std::string(account)});
        if (item == items_.end()) return SecretStoreStatus::noItem();
        data = item->second;
        return SecretStoreStatus::success();
    }

private:
    std::optional<int> failure(Operation operation) const {
        const auto entry = failures_.find(operation);
        return entry == failures_.end() ? std::nullopt : entry->second;
    }

    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::string> items_;
    std::map<Operation, std::optional<int>> failures_;
};

} // namespace quorilanth::test
