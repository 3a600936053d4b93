#pragma once

#include <string>

namespace quorilanth {

// A fresh random UUID as 36 upper-case characters (8-4-4-4-12 hexadecimal
// groups), the form every id the system makes takes.
std::string newUUIDText();

} // namespace quorilanth
