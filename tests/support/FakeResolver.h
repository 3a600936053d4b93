#pragma once

#include "core/net/NetworkPolicy.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quorilanth::test {

// Answers name lookups from a table so policy and transport tests never need
// real DNS. Unknown names fail the way getaddrinfo does for a missing name.
class FakeResolver final : public Resolver {
public:
    void answer(const std::string& host, std::vector<std::optional<std::string>> entries) {
        std::lock_guard lock(mutex_);
        answers_[host] = ResolverAnswer{true, "Success", std::move(entries)};
    }
    void fail(const std::string& host, const std::string& errorText) {
        std::lock_guard lock(mutex_);
        answers_[host] = ResolverAnswer{false, errorText, {}};
    }
    ResolverAnswer resolve(const std::string& host) const override {
        std::lock_guard lock(mutex_);
        asked_.push_back(host);
        const auto found = answers_.find(host);
        return found != answers_.end() ? found->second
                                       : ResolverAnswer{false, "Name or service not known", {}};
    }
    std::vector<std::string> asked() const {
        std::lock_guard lock(mutex_);
        return asked_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, ResolverAnswer> answers_;
    mutable std::vector<std::string> asked_;
};

} // namespace quorilanth::test
