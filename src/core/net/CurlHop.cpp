#include "core/net/CurlHop.h"

#include "core/base/AsciiText.h"
#include "core/base/LossyUTF8.h"
#include "core/base/QuorilanthError.h"
#include "core/base/UnicodeText.h"
#include "core/base/Url.h"
#include "core/net/ChildProcess.h"
#include "core/net/HTTPInspector.h"
#include "core/net/HTTPTextDecoder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/mman.h>
#include <system_error>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <unistd.h>

namespace quorilanth::curlhop {
namespace {

// Bounds on what the child may hand back besides the body. Response headers
// past a megabyte are hostile; closing their pipe makes curl fail the hop.
constexpr std::size_t headersLimit = 1 << 20;
constexpr std::size_t errorsLimit = 64 * 1024;
constexpr std::size_t metricsLimit = 4 * 1024;
// curl enforces the time limit itself; the watchdog only guards against a
// child that stops honouring it, and gives it as long again as the limit,
// within these bounds, before stopping it.
constexpr std::chrono::seconds minimumWatchdogSlack{1};
constexpr std::chrono::seconds maximumWatchdogSlack{10};
constexpr std::string_view watchdogError = "curl: (28) Operation timed out";

bool isIPLiteral(const Url& url) {
    if (url.isIPv6Literal()) return true;
    in_addr v4{};
    return ::inet_pton(AF_INET, url.host().c_str(), &v4) == 1;
}

std::string stripBrackets(std::string host) {
    while (!host.empty() && (host.front() == '[' || host.front() == ']'))
        host.erase(host.begin());
    while (!host.empty() && (host.back() == '[' || host.back() == ']'))
        host.pop_back();
    return host;
}

int effectivePort(const Url& url) {
    if (auto port = url.port()) return *port;
    return equalsIgnoringASCIICase(url.scheme(), "https") ? 443 : 80;
}

template <typename Predicate>
std::string_view trimCodePoints(std::string_view text, Predicate isSpace) {
    auto data = reinterpret_cast<const std::uint8_t*>(text.data());
    auto length = static_cast<std::int32_t>(text.size());
    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c;
        U8_NEXT(data, next, length, c);
        if (c < 0 || !isSpace(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c;
        U8_PREV(data, 0, previous, c);
        if (c < 0 || !isSpace(c)) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

bool isHorizontalSpace(UChar32 c) {
    return c == '\t' || u_charType(c) == U_SPACE_SEPARATOR;
}
bool isSpaceOrNewline(UChar32 c) {
    return u_isUWhiteSpace(c) != 0;
}

// Splits decoded text at the line separators beyond ASCII (NEL, LS, PS).
std::vector<std::string_view> splitUnicodeLines(std::string_view text) {
    static constexpr std::array<std::string_view, 3> separators{"\xC2\x85", "\xE2\x80\xA8",
                                                                "\xE2\x80\xA9"};
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        for (std::string_view separator : separators) {
            if (text.substr(i, separator.size()) == separator) {
                lines.push_back(text.substr(start, i - start));
                start = i + separator.size();
                i = start - 1;
                break;
            }
        }
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::optional<std::int64_t> parseStatus(std::string_view line) {
    if (!line.empty() && line.front() == '+') line.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
    if (error != std::errc() || end != line.data() + line.size() || line.empty() || value < 1)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> splitAtLineFeeds(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

UniqueFd memoryFile(const char* name, std::string_view content) {
    UniqueFd fd(::memfd_create(name, MFD_CLOEXEC));
    if (!fd)
        throw std::system_error(errno, std::generic_category(),
                                "Could not create the request buffer");
    for (std::size_t written = 0; written < content.size();) {
        ssize_t n = ::write(fd.get(), content.data() + written, content.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            throw std::system_error(errno, std::generic_category(),
                                    "Could not fill the request buffer");
        written += static_cast<std::size_t>(n);
    }
    return fd;
}

// One stream coming back from the child, kept up to a limit. Past the limit
// it either keeps draining (so the child never blocks on it) or is closed.
struct Sink {
    UniqueFd read;
    UniqueFd write; // the child's end, closed here once the child has it
    std::string data;
    std::size_t limit = 0;
    bool closeAtLimit = false;
    bool overflowed = false;

    Sink(std::size_t limit_, bool closeAtLimit_) : limit(limit_), closeAtLimit(closeAtLimit_) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            throw std::system_error(errno, std::generic_category(), "Could not create a pipe");
        read = UniqueFd(fds[0]);
        write = UniqueFd(fds[1]);
        ::fcntl(read.get(), F_SETFL, O_NONBLOCK);
    }

    // Reads what is there; closes at end of stream or at the limit.
    void drain() {
        char buffer[65536];
        while (read) {
            std::size_t room = limit - std::min(limit, data.size());
            std::size_t want = closeAtLimit ? std::min(room, sizeof buffer) : sizeof buffer;
            ssize_t n = ::read(read.get(), buffer, want);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                read.reset();
                return;
            }
            std::size_t keep = std::min(room, static_cast<std::size_t>(n));
            // Grow by doubling, but never past the limit: the limit bounds
            // the memory held, not only the bytes kept.
            if (data.size() + keep > data.capacity())
                data.reserve(std::min(limit, std::max(data.capacity() * 2, data.size() + keep)));
            data.append(buffer, keep);
            if (keep < static_cast<std::size_t>(n)) overflowed = true;
            if (closeAtLimit && data.size() >= limit) {
                overflowed = true;
                read.reset();
            }
        }
    }
};

std::string environmentValue(std::string_view name, std::string_view value) {
    return std::string(name) + "=" + std::string(value);
}

} // namespace

std::string decimalSeconds(double seconds) {
    char buffer[64];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".n") == std::string::npos) text += ".0";
    return text;
}

std::vector<std::string> arguments(const CurlHopSettings& settings, const Url& url,
                                   const std::string& ip, const std::string& method, bool hasBody) {
    auto fdPath = [](int fd) { return "/dev/fd/" + std::to_string(fd); };
    std::vector<std::string> args{
        "--disable",
        "--silent",
        "--show-error",
        "--noproxy",
        "*",
        "--proto",
        settings.developerMode ? "=http,https" : "=https",
        "--connect-timeout",
        "6",
        "--max-time",
        decimalSeconds(settings.timeout),
        "--max-filesize",
        std::to_string(settings.maxBytes),
    };
    // An address literal is itself the vetted address, and curl refuses a
    // resolve entry for an IPv6 literal outright.
    if (!isIPLiteral(url)) {
        std::string address = ip.find(':') != std::string::npos ? "[" + ip + "]" : ip;
        args.insert(args.end(),
                    {"--resolve", stripBrackets(url.host()) + ":" +
                                      std::to_string(effectivePort(url)) + ":" + address});
    }
    args.insert(args.end(),
                {"--request", method, "--user-agent", std::string(HTTPInspector::userAgent),
                 "--dump-header", fdPath(headersFd), "--output", fdPath(bodyFd), "--write-out",
                 std::string(writeOut), "--header", "@" + fdPath(requestHeadersFd)});
    if (hasBody) args.insert(args.end(), {"--data-binary", "@" + fdPath(inputFd)});
    args.insert(args.end(), {"--url", url.text()});
    return args;
}

std::string requestHeaderLines(const HeaderFields& headers) {
    std::vector<std::string> lines;
    for (const auto& [name, value] : headers) {
        if (name.empty() || name.find_first_of("\r\n:") != std::string::npos ||
            value.find_first_of("\r\n") != std::string::npos)
            continue;
        if (value.find_first_not_of(" \t") == std::string::npos)
            lines.push_back(name + ";");
        else
            lines.push_back(name + ": " + value);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

HeaderFields parseResponseHeaders(std::string_view bytes) {
    HeaderFields fields;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t end = bytes.find_first_of("\n\r\v\f", start);
        if (end == std::string_view::npos) end = bytes.size();
        std::string decoded = utf8::lossy(bytes.substr(start, end - start));
        for (std::string_view line : splitUnicodeLines(decoded)) {
            if (line.substr(0, 5) == "HTTP/") {
                fields.clear();
                continue;
            }
            std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) continue;
            std::string name = unicodeText::lowercased(line.substr(0, colon));
            std::string value(trimCodePoints(line.substr(colon + 1), isHorizontalSpace));
            auto [entry, inserted] = fields.try_emplace(std::move(name), value);
            if (!inserted) entry->second += ", " + value;
        }
        start = end + 1;
    }
    return fields;
}

Evidence run(const CurlHopSettings& settings, const Url& url, const std::string& ip,
             Evidence evidence, const HeaderFields& headers, const std::optional<std::string>& body,
             std::stop_token stop) {
    const std::size_t maxBytes =
        static_cast<std::size_t>(std::max<std::int64_t>(settings.maxBytes, 0));
    Sink metrics(metricsLimit, false);
    Sink errors(errorsLimit, false);
    Sink responseHeaders(headersLimit, true);
    Sink responseBody(maxBytes + 1, true);
    UniqueFd requestHeaders = memoryFile("request-headers", requestHeaderLines(headers));
    UniqueFd input;
    if (body) input = memoryFile("input", *body);

    std::vector<ChildProcess::Descriptor> descriptors{{metrics.write.get(), 1},
                                                      {errors.write.get(), 2},
                                                      {responseHeaders.write.get(), headersFd},
                                                      {responseBody.write.get(), bodyFd},
                                                      {requestHeaders.get(), requestHeadersFd}};
    if (input) descriptors.push_back({input.get(), inputFd});
    const std::vector<std::string> args =
        arguments(settings, url, ip, evidence.method, body.has_value());
    const std::vector<std::string> environment{environmentValue("PATH", "/usr/bin:/bin"),
                                               environmentValue("LC_ALL", "C")};

    ProcessControl control;
    std::stop_callback onStop(stop, [&control] { control.cancel(); });
    ChildProcess& child = control.install(
        [&] { return ChildProcess::launch(settings.curlPath, args, environment, descriptors); });
    for (Sink* sink : {&metrics, &errors, &responseHeaders, &responseBody})
        sink->write.reset();
    requestHeaders.reset();
    input.reset();

    const auto launched = std::chrono::steady_clock::now();
    const auto limit = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::clamp(settings.timeout, 0.0, 1e9)));
    const auto deadline = launched + limit +
                          std::clamp<std::chrono::steady_clock::duration>(
                              limit, minimumWatchdogSlack, maximumWatchdogSlack);
    std::array<Sink*, 4> sinks{&metrics, &errors, &responseHeaders, &responseBody};
    bool reaped = false;
    bool stoppedByWatchdog = false;
    for (;;) {
        std::vector<pollfd> fds;
        for (Sink* sink : sinks)
            if (sink->read) fds.push_back({sink->read.get(), POLLIN, 0});
        if (!reaped) fds.push_back({child.pidfd(), POLLIN, 0});
        if (fds.empty()) break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        int rc = ::poll(fds.data(), fds.size(),
                        static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, 60000)));
        if (rc < 0 && errno != EINTR) break;
        if (rc == 0 && std::chrono::steady_clock::now() >= deadline) {
            if (!reaped) {
                child.terminate();
                child.wait();
                stoppedByWatchdog = true;
            }
            break;
        }
        for (Sink* sink : sinks)
            sink->drain();
        if (!reaped && !child.running()) {
            child.wait();
            reaped = true;
        }
    }
    int exitStatus = child.wait();
    if (control.cancelled()) throw Cancelled();

    // Past the limit the body pipe was closed and curl gave up writing; that
    // is the same outcome as curl's own size stop, and is told the same way.
    if (responseBody.overflowed) exitStatus = maxFileSizeExit;

    Evidence record = std::move(evidence);
    std::vector<std::string_view> lines = splitAtLineFeeds(metrics.data);
    if (lines.size() == 1 && lines[0].empty()) lines.clear();
    record.statusCode = lines.empty() ? std::nullopt : parseStatus(lines[0]);
    record.remoteIP = lines.size() >= 2 ? std::string(lines[1]) : ip;
    record.tlsVerified = equalsIgnoringASCIICase(url.scheme(), "https") && lines.size() >= 3 &&
                         lines[2] == "0" && record.statusCode.has_value();
    record.responseHeaders = parseResponseHeaders(responseHeaders.data);
    record.truncated = responseBody.data.size() > maxBytes || exitStatus == maxFileSizeExit;
    if (responseBody.data.size() > maxBytes) responseBody.data.resize(maxBytes);
    auto contentType = record.responseHeaders.find("content-type");
    record.responseBody = HTTPTextDecoder::decode(
        responseBody.data,
        contentType != record.responseHeaders.end() ? contentType->second : std::string_view());
    if (exitStatus != 0) {
        std::string message(trimCodePoints(utf8::lossy(errors.data), isSpaceOrNewline));
        if (responseBody.overflowed) {
            message = maxFileSizeError;
        } else if (stoppedByWatchdog) {
            // The signal that ended the child is no exit code of curl's: the
            // hop ran out of time, and is told as curl tells its own time-outs.
            const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - launched);
            message = std::string(watchdogError) + " after " + std::to_string(elapsed.count()) +
                      " milliseconds";
        }
        record.error = message.empty()
                           ? "HTTP transport failed (" + std::to_string(exitStatus) + ")."
                           : message;
    }
    return record;
}

} // namespace quorilanth::curlhop
