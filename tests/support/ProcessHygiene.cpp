#include "support/ProcessHygiene.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace quorilanth::test {

std::set<int> openDescriptors() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        fds.insert(std::stoi(entry.path().filename().string()));
    return fds;
}

bool hasZombieChildren() {
    siginfo_t info{};
    // WNOWAIT: look without reaping, so the check itself changes nothing.
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

ProcessHygiene::~ProcessHygiene() {
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_FALSE(hasZombieChildren());
}

} // namespace quorilanth::test
