#include "core/base/SharedString.h"

namespace quorilanth {

SharedString::SharedString(std::string text) {
    // The empty text needs no allocation; every empty value shares the one below.
    if (!text.empty()) text_ = std::make_shared<const std::string>(std::move(text));
}

const std::string& SharedString::emptyText() noexcept {
    static const std::string kEmpty;
    return kEmpty;
}

} // namespace quorilanth
