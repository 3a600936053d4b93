#include "support/CurlWrapper.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>

namespace quorilanth::test {
namespace {

constexpr char endOfRun[] = "@@END-OF-RUN@@";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::vector<std::string>> splitRuns(const std::string& log) {
    std::vector<std::vector<std::string>> runs(1);
    std::size_t start = 0;
    for (std::size_t end; (end = log.find('\0', start)) != std::string::npos; start = end + 1) {
        std::string item = log.substr(start, end - start);
        if (item == endOfRun)
            runs.emplace_back();
        else
            runs.back().push_back(std::move(item));
    }
    runs.pop_back();
    return runs;
}

} // namespace

CurlWrapper::CurlWrapper() : CurlWrapper(Options{}) {}

CurlWrapper::CurlWrapper(Options options) {
    std::string pattern = (std::filesystem::temp_directory_path() / "curl-wrapper-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("curl wrapper: no temporary folder");
    folder_ = pattern;
    script_ = folder_ + "/curl";
    std::ofstream out(script_);
    out << "#!/bin/sh\n"
        << "log='" << folder_ << "/arguments'\n"
        << "printf '%s\\0' \"$@\" '" << endOfRun << "' >> \"$log\"\n"
        << "{ cat /proc/$$/environ; printf '%s\\0' '" << endOfRun << "'; } >> '" << folder_
        << "/environ'\n"
        // readlink runs as its own process before any command substitution,
        // which would open a pipe of the shell's own on one of these numbers.
        << "for n in 3 4 5 6; do readlink /proc/$$/fd/$n > '" << folder_ << "/fd'$n; done\n"
        << "printf '%s\\0' \"$(cat '" << folder_ << "/fd3')\" \"$(cat '" << folder_
        << "/fd4')\" \"$(cat '" << folder_ << "/fd5')\" \"$(cat '" << folder_ << "/fd6')\" '"
        << endOfRun << "' >> '" << folder_ << "/fds'\n";
    if (!options.runCurl) {
        out << (options.hang ? "exec sleep 600\n" : "exit 7\n");
    } else {
        if (options.pinToLoopback) {
            out << "previous=\n"
                << "for argument; do\n"
                << "  shift\n"
                << "  if [ \"$previous\" = --resolve ]; then set -- \"$@\" "
                   "\"${argument%:*}:127.0.0.1\";\n"
                << "  else set -- \"$@\" \"$argument\"; fi\n"
                << "  previous=$argument\n"
                << "done\n";
        }
        out << "exec /usr/bin/curl \"$@\"";
        if (!options.caFile.empty()) out << " --cacert '" << options.caFile << "'";
        if (options.loopbackPort) out << " --connect-to ::127.0.0.1:" << options.loopbackPort;
        out << "\n";
    }
    out.close();
    ::chmod(script_.c_str(), 0700);
}

CurlWrapper::~CurlWrapper() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::vector<std::vector<std::string>> CurlWrapper::runs() const {
    return splitRuns(readFile(folder_ + "/arguments"));
}

std::vector<std::vector<std::string>> CurlWrapper::descriptorTargets() const {
    return splitRuns(readFile(folder_ + "/fds"));
}

std::vector<std::vector<std::string>> CurlWrapper::environments() const {
    return splitRuns(readFile(folder_ + "/environ"));
}

} // namespace quorilanth::test
