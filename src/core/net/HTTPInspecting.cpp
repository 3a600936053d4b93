#include "core/net/HTTPInspecting.h"

#include <cassert>

namespace quorilanth {

const Evidence& HTTPResult::final() const {
    assert(!exchanges.empty());
    return exchanges.back();
}

Evidence& HTTPResult::final() {
    assert(!exchanges.empty());
    return exchanges.back();
}

HTTPResult HTTPInspecting::get(const std::string& url, std::stop_token stop) {
    return request(url, "GET", {}, std::nullopt, std::move(stop));
}

} // namespace quorilanth
