#pragma once

// A stand-in for the curl executable, handed to a transport through its
// curl-path seam: a shell script that logs each run's arguments, environment
// and request descriptors, then runs the real curl, optionally trusting a test
// CA and connecting to 127.0.0.1 whatever address the transport pinned.

#include <string>
#include <vector>

namespace quorilanth::test {

class CurlWrapper {
public:
    struct Options {
        std::string caFile;         // adds --cacert
        bool runCurl = true;        // false: log, print nothing and exit 7
        bool pinToLoopback = false; // every connection goes to 127.0.0.1 at the URL's port
        bool hang = false;          // with runCurl false: never exits, whatever its time limit
        // Nonzero: every connection goes to 127.0.0.1 at this port (TLS still
        // checks the URL's host).
        unsigned short loopbackPort = 0;
        bool insecure = false; // adds --insecure: certificates are not checked
    };

    explicit CurlWrapper(const Options& options);
    ~CurlWrapper();
    CurlWrapper(const CurlWrapper&) = delete;
    CurlWrapper& operator=(const CurlWrapper&) = delete;

    std::string path() const { return folder_ + "/curl"; }
    // For every run so far, in order: its arguments (without the program name);
    // the environment it started with ("NAME=value"); the link targets of its
    // descriptors 3 to 6 ("pipe:[...]", "/memfd:request-headers (deleted)", ""
    // when not open).
    std::vector<std::vector<std::string>> runs() const { return logged("arguments"); }
    std::vector<std::vector<std::string>> environments() const { return logged("environ"); }
    std::vector<std::vector<std::string>> descriptorTargets() const { return logged("fds"); }

private:
    std::vector<std::vector<std::string>> logged(const std::string& log) const;
    std::string folder_;
};

} // namespace quorilanth::test
