#include "support/ProcessHygiene.h"

#include <cerrno>
#include <filesystem>
#include <sys/wait.h>

namespace quorilanth::test {

std::set<int> openDescriptors() {
    std::set<int> fds;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error))
        fds.insert(std::stoi(entry.path().filename().string()));
    return fds;
}

std::vector<std::string> workFolders() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::temp_directory_path(), error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("Quorilanth-", 0) == 0) names.push_back(name);
    }
    return names;
}

bool hasZombieChildren() {
    siginfo_t info{};
    // WNOWAIT: look without reaping, so the check itself changes nothing.
    if (::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false; // ECHILD: no children
    return info.si_pid != 0;
}

} // namespace quorilanth::test
