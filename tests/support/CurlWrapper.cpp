#include "support/CurlWrapper.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>

namespace quorilanth::test {

CurlWrapper::CurlWrapper(const Options& options) {
    std::string folder = (std::filesystem::temp_directory_path() / "curl-wrapper-XXXXXX").string();
    if (!::mkdtemp(folder.data())) throw std::runtime_error("curl wrapper: no temporary folder");
    folder_ = folder;
    // Each log holds NUL-terminated items, every run ending in "@@". readlink
    // runs as its own process before any command substitution, which would
    // open a pipe of the shell's own on one of these numbers.
    std::ofstream out(path());
    out << "#!/bin/sh\nd='" << folder_ << "'\n"
        << "printf '%s\\0' \"$@\" @@ >> \"$d/arguments\"\n"
        << "{ cat /proc/$$/environ; printf '@@\\0'; } >> \"$d/environ\"\n"
        << "for n in 3 4 5 6; do readlink /proc/$$/fd/$n > \"$d/fd$n\"; done\n"
        << "printf '%s\\0' \"$(cat \"$d/fd3\")\" \"$(cat \"$d/fd4\")\" \"$(cat \"$d/fd5\")\" "
           "\"$(cat \"$d/fd6\")\" @@ >> \"$d/fds\"\n";
    if (!options.runCurl) {
        out << (options.hang ? "exec sleep 600\n" : "exit 7\n");
    } else {
        out << "exec /usr/bin/curl \"$@\"";
        if (!options.caFile.empty()) out << " --cacert '" << options.caFile << "'";
        if (options.insecure) out << " --insecure";
        if (options.pinToLoopback || options.loopbackPort)
            out << " --connect-to ::127.0.0.1:"
                << (options.loopbackPort ? std::to_string(options.loopbackPort) : "");
        out << "\n";
    }
    out.close();
    ::chmod(path().c_str(), 0700);
}

CurlWrapper::~CurlWrapper() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::vector<std::string>> CurlWrapper::logged(const std::string& log) const {
    std::ifstream in(folder_ + "/" + log, std::ios::binary);
    std::vector<std::vector<std::string>> runs(1);
    for (std::string item; std::getline(in, item, '\0');) {
        if (item == "@@")
            runs.emplace_back();
        else
            runs.back().push_back(item);
    }
    runs.pop_back();
    return runs;
}

} // namespace quorilanth::test
