#pragma once

// What a test that starts child processes must leave behind: nothing.

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/wait.h>

namespace quorilanth::test {

inline std::set<int> openDescriptors() {
    std::set<int> fds;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        fds.insert(std::stoi(entry.path().filename().string()));
    return fds;
}

// Checks when it goes that no descriptor opened since it came is still open,
// and that no child has ended without being reaped.
struct ProcessHygiene {
    std::set<int> before = openDescriptors();
    ~ProcessHygiene() {
        EXPECT_EQ(openDescriptors(), before);
        siginfo_t info{};
        // WNOWAIT: look without reaping, so the check itself changes nothing.
        EXPECT_FALSE(::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid);
    }
};

} // namespace quorilanth::test
