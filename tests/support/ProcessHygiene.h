#pragma once

// What a test that starts child processes must leave behind: nothing.

#include <set>

namespace quorilanth::test {

std::set<int> openDescriptors(); // from /proc/self/fd
bool hasZombieChildren();        // a child of this process ended and was not reaped

// Checks when it goes that no descriptor opened since it came is still open,
// and that no child is left unreaped.
struct ProcessHygiene {
    std::set<int> before = openDescriptors();
    ~ProcessHygiene();
};

} // namespace quorilanth::test
