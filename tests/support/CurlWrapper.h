#pragma once

// A stand-in for the curl executable, handed to HTTPInspector through its
// curl-path seam: a small shell script that logs each run's arguments,
// environment and what its request descriptors are, then runs the real curl (optionally
// trusting a test CA, or with every pinned address moved to 127.0.0.1 so a
// host that the policy vetted as public is still served by a loopback server).

#include <string>
#include <vector>

namespace quorilanth::test {

class CurlWrapper {
public:
    struct Options {
        std::string caFile;         // adds --cacert
        bool runCurl = true;        // false: log, print nothing and exit 7
        bool pinToLoopback = false; // rewrites the address of --resolve to 127.0.0.1
        bool hang = false;          // with runCurl false: never exits, whatever its time limit
        // Nonzero: every connection goes to 127.0.0.1 at this port, whatever
        // host and port the URL names (which TLS still checks).
        unsigned short loopbackPort = 0;
    };

    CurlWrapper();
    explicit CurlWrapper(Options options);
    ~CurlWrapper();
    CurlWrapper(const CurlWrapper&) = delete;
    CurlWrapper& operator=(const CurlWrapper&) = delete;

    const std::string& path() const { return script_; }
    // The arguments of every run so far (without the program name), in order.
    std::vector<std::vector<std::string>> runs() const;
    // For every run, the link targets of the child's descriptors 3 to 6
    // ("pipe:[...]", "/memfd:request-headers (deleted)"; "" when not open).
    std::vector<std::vector<std::string>> descriptorTargets() const;
    // For every run, the environment the child started with ("NAME=value").
    std::vector<std::vector<std::string>> environments() const;

private:
    std::string folder_;
    std::string script_;
};

} // namespace quorilanth::test
