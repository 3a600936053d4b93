#include "core/base/SharedString.h"

namespace quorilanth {

SharedString::SharedString(std::string_view text) {
    // The empty text needs no block; every empty value is the null one.
    if (!text.empty()) bits_ = detail::makeHeapText(text);
}

} // namespace quorilanth
