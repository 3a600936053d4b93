#pragma once

// One hop of an HTTP request carried out by a curl child process. Internal to
// HTTPInspector; declared here so that its text rules can be tested alone.

#include "core/model/Evidence.h"

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

class Url;

struct CurlHopSettings {
    std::string curlPath;
    bool developerMode = false;
    double timeout = 15.0;
    std::int64_t maxBytes = 2000000;
};

namespace curlhop {

// Descriptor numbers the child sees. Everything goes through pipes and
// in-memory files: no request header (secrets included) and no response byte
// touches the disk, and the body can be cut at the limit as it streams.
inline constexpr int headersFd = 3;
inline constexpr int bodyFd = 4;
inline constexpr int requestHeadersFd = 5;
inline constexpr int inputFd = 6;

inline constexpr std::string_view writeOut = "%{http_code}\n%{remote_ip}\n%{ssl_verify_result}";
// What curl itself reports when --max-filesize stops a transfer; a body cut
// here while streaming is recorded the same way.
inline constexpr int maxFileSizeExit = 63;
inline constexpr std::string_view maxFileSizeError = "curl: (63) Maximum file size exceeded";

std::vector<std::string> arguments(const CurlHopSettings& settings, const Url& url,
                                   const std::string& ip, const std::string& method, bool hasBody);

// "15.0", "90.0", "2.5": at least one fractional digit.
std::string decimalSeconds(double seconds);

// The --header file: one line per sendable header, sorted, no final line feed.
// An empty value is written "Name;" because curl drops "Name:" and with it
// its own header of that name.
std::string requestHeaderLines(const HeaderFields& headers);

// The --dump-header stream: names lower-cased, repeated names joined with
// ", ", only the last response block kept. Lines are decoded one by one, so
// a stray byte spoils only the line it sits in.
HeaderFields parseResponseHeaders(std::string_view bytes);

// Runs the hop and fills statusCode, remoteIP, tlsVerified, responseHeaders,
// responseBody, truncated and error of the record. Throws Cancelled, or
// std::exception when the child cannot be set up or started.
Evidence run(const CurlHopSettings& settings, const Url& url, const std::string& ip,
             Evidence evidence, const HeaderFields& headers, const std::optional<std::string>& body,
             std::stop_token stop);

} // namespace curlhop
} // namespace quorilanth
