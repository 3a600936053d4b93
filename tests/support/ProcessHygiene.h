#pragma once

// What a test that starts child processes must leave behind: nothing. Take a
// snapshot before, compare after.

#include <set>
#include <string>
#include <vector>

namespace quorilanth::test {

// The descriptor numbers open in this process (from /proc/self/fd).
std::set<int> openDescriptors();
// Entries of the temporary folder whose names begin with "Quorilanth-".
std::vector<std::string> workFolders();
// Whether any child of this process has ended and not been reaped.
bool hasZombieChildren();

} // namespace quorilanth::test
