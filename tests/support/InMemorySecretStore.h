#pragma once

// A secret store in memory, for tests where keys only need to come and go (the
// settings sheet, the research engine). The key store's own test meets the
// real Secret Service instead.

#include "ai/AIKeychain.h"

#include <map>
#include <mutex>

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
        return run(Operation::update, service, account, &data, nullptr);
    }
    SecretStoreStatus add(std::string_view service, std::string_view account,
                          std::string_view data) override {
        return run(Operation::add, service, account, &data, nullptr);
    }
    SecretStoreStatus remove(std::string_view service, std::string_view account) override {
        return run(Operation::remove, service, account, nullptr, nullptr);
    }
    SecretStoreStatus copy(std::string_view service, std::string_view account,
                           std::string& data) override {
        return run(Operation::copy, service, account, nullptr, &data);
    }

private:
    SecretStoreStatus run(Operation operation, std::string_view service, std::string_view account,
                          const std::string_view* in, std::string* out) {
        const std::lock_guard lock(mutex_);
        if (const std::optional<int> code = failures_[operation])
            return SecretStoreStatus::failure(*code);
        const std::pair<std::string, std::string> key{service, account};
        const auto item = items_.find(key);
        if (operation == Operation::add)
            items_[key] = *in;
        else if (item == items_.end())
            return SecretStoreStatus::noItem();
        else if (operation == Operation::remove)
            items_.erase(item);
        else if (in)
            item->second = *in;
        else
            *out = item->second;
        return SecretStoreStatus::success();
    }

    mutable std::mutex mutex_;
    std::map<std::pair<std::string, std::string>, std::string> items_;
    std::map<Operation, std::optional<int>> failures_;
};

} // namespace quorilanth::test
