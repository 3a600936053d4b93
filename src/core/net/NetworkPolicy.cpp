#include "core/net/NetworkPolicy.h"

#include "core/base/AsciiText.h"
#include "core/base/QuorilanthError.h"
#include "core/base/Url.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace quorilanth {
namespace {

constexpr const char* kMalformed = "Blocked: malformed URL or unsafe URL scheme/credentials.";
constexpr const char* kPlainHTTP = "Blocked: plain HTTP requires Developer Mode.";
constexpr const char* kInvalid = "Blocked: invalid URL.";
constexpr std::size_t kMaxURLBytes = 8191;

[[noreturn]] void refuse(const char* message) {
    throw QuorilanthError(message);
}

bool isUnicodeSpace(UChar32 c) noexcept {
    return c >= 0 && u_isUWhiteSpace(c);
}

// Whitespace in any script and ASCII control characters. Bytes that are not
// UTF-8 count as unsafe too: no URL we accept can hold them.
bool holdsSpaceOrControl(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        if (c < 0 || c < 32 || c == 127 || isUnicodeSpace(c)) {
            return true;
        }
    }
    return false;
}

std::string_view trimUnicodeSpace(std::string_view text) noexcept {
    const auto* s = reinterpret_cast<const uint8_t*>(text.data());
    auto end = static_cast<int32_t>(text.size());
    int32_t start = 0;
    while (start < end) {
        int32_t next = start;
        UChar32 c = 0;
        U8_NEXT(s, next, end, c);
        if (!isUnicodeSpace(c)) {
            break;
        }
        start = next;
    }
    while (end > start) {
        int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(s, start, previous, c);
        if (!isUnicodeSpace(c)) {
            break;
        }
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const noexcept { freeaddrinfo(list); }
};

struct IPv4Block {
    std::uint32_t network;
    int prefix;
};

constexpr std::uint32_t ipv4(unsigned a, unsigned b, unsigned c, unsigned d) noexcept {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

constexpr std::array<IPv4Block, 15> kReservedIPv4{{
    {ipv4(0, 0, 0, 0), 8},
    {ipv4(10, 0, 0, 0), 8},
    {ipv4(100, 64, 0, 0), 10},
    {ipv4(127, 0, 0, 0), 8},
    {ipv4(169, 254, 0, 0), 16},
    {ipv4(172, 16, 0, 0), 12},
    {ipv4(192, 0, 0, 0), 24},
    {ipv4(192, 0, 2, 0), 24},
    {ipv4(192, 88, 99, 0), 24},
    {ipv4(192, 168, 0, 0), 16},
    {ipv4(198, 18, 0, 0), 15},
    {ipv4(198, 51, 100, 0), 24},
    {ipv4(203, 0, 113, 0), 24},
    {ipv4(224, 0, 0, 0), 4},
    {ipv4(240, 0, 0, 0), 4},
}};

bool isPublicIPv6(const unsigned char* b) noexcept {
    if ((b[0] & 0xE0) != 0x20) {
        return false;
    }
    if (b[0] == 0x20 && b[1] == 0x01 && b[2] < 0x02) {
        return false;
    }
    if (b[0] == 0x20 && b[1] == 0x01 && b[2] == 0x0D && b[3] == 0xB8) {
        return false;
    }
    if (b[0] == 0x20 && b[1] == 0x02) {
        return false;
    }
    if (b[0] == 0x3F && b[1] == 0xFF && b[2] < 0x10) {
        return false;
    }
    return true;
}

} // namespace

ResolverAnswer SystemResolver::resolve(const std::string& host) const {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = 0;
    addrinfo* raw = nullptr;
    const int code = getaddrinfo(host.c_str(), nullptr, &hints, &raw);
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(raw);
    ResolverAnswer answer;
    answer.errorText = gai_strerror(code);
    if (code != 0) {
        return answer;
    }
    answer.succeeded = true;
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        std::array<char, 1025> buffer{};
        if (getnameinfo(entry->ai_addr, entry->ai_addrlen, buffer.data(), buffer.size(), nullptr, 0,
                        NI_NUMERICHOST) != 0) {
            answer.entries.emplace_back(std::nullopt);
        } else {
            answer.entries.emplace_back(std::string(buffer.data()));
        }
    }
    return answer;
}

std::shared_ptr<const Resolver> systemResolver() {
    static const auto shared = std::make_shared<const SystemResolver>();
    return shared;
}

std::string NetworkPolicy::validate(std::string_view text) const {
    if (text.size() > kMaxURLBytes || holdsSpaceOrControl(text)) {
        refuse(kMalformed);
    }
    const std::optional<Url> url = Url::parse(text);
    if (!url || !url->hasScheme()) {
        refuse(kMalformed);
    }
    const std::string scheme = asciiLowercase(url->scheme());
    if (scheme != "https" && scheme != "http") {
        refuse(kMalformed);
    }
    if (url->hasUserInfo() || !url->hasHost() || url->encodedHost().empty()) {
        refuse(kMalformed);
    }
    if (url->encodedHost().find_first_of("%\\") != std::string_view::npos) {
        refuse(kMalformed);
    }
    // "[v1.x]" is the grammar's room for address forms yet to come: nothing
    // can resolve or vet one, so it names no host we could check.
    if (const std::string_view host = url->encodedHost();
        url->isIPv6Literal() && host.size() > 1 && (host[1] == 'v' || host[1] == 'V')) {
        refuse(kMalformed);
    }
    // An empty port (":" with no digits) means the default port, as it does
    // for every URL parser we know of; it is dropped from the rebuilt text.
    std::optional<int> port;
    if (url->hasPort() && !url->portText().empty()) {
        port = url->port();
        if (!port || *port < 1 || *port > 65535) {
            refuse(kMalformed);
        }
    }
    if (scheme != "https" && !developerMode) {
        refuse(kPlainHTTP);
    }
    std::string rebuilt;
    rebuilt.reserve(text.size() + 1);
    rebuilt.append(url->scheme()).append("://").append(url->encodedHost());
    if (port) {
        rebuilt.append(":").append(std::to_string(*port));
    }
    rebuilt.append(url->encodedPath().empty() ? std::string_view("/") : url->encodedPath());
    if (url->hasQuery()) {
        rebuilt.append("?").append(url->encodedQuery());
    }
    const std::optional<Url> check = Url::parse(rebuilt);
    if (!check || check->encodedHost() != url->encodedHost()) {
        refuse(kInvalid);
    }
    return rebuilt;
}

std::string NetworkPolicy::normalizeDomain(std::string_view input) const {
    const std::string_view trimmed = trimUnicodeSpace(input);
    if (trimmed.find("://") != std::string_view::npos) {
        return validate(trimmed);
    }
    return validate("https://" + std::string(trimmed));
}

std::vector<std::string> NetworkPolicy::addresses(std::string_view url) const {
    std::string host;
    if (const std::optional<Url> parsed = Url::parse(url)) {
        host = std::string(parsed->encodedHost());
    }
    const auto first = host.find_first_not_of("[]");
    const auto last = host.find_last_not_of("[]");
    host = first == std::string::npos ? std::string() : host.substr(first, last - first + 1);

    const ResolverAnswer answer = (resolver ? resolver : systemResolver())->resolve(host);
    if (!answer.succeeded || answer.entries.empty()) {
        throw QuorilanthError("DNS resolution failed: " + answer.errorText);
    }
    std::vector<std::string> list;
    for (const std::optional<std::string>& entry : answer.entries) {
        if (!entry) {
            continue;
        }
        if (!developerMode && !isPublicAddress(*entry)) {
            throw QuorilanthError(
                "Blocked: DNS resolves to a private, local or reserved address (" + *entry + ").");
        }
        if (std::find(list.begin(), list.end(), *entry) == list.end()) {
            list.push_back(*entry);
        }
    }
    if (list.empty()) {
        throw QuorilanthError("DNS returned no usable addresses.");
    }
    std::stable_partition(list.begin(), list.end(), [](const std::string& address) {
        return address.find(':') == std::string::npos;
    });
    return list;
}

bool NetworkPolicy::isPublicAddress(std::string_view address) {
    if (address.find('\0') != std::string_view::npos) {
        return false;
    }
    const std::string text(address);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
        const std::uint32_t value = ntohl(v4.s_addr);
        for (const IPv4Block& block : kReservedIPv4) {
            const std::uint32_t mask =
                block.prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - block.prefix);
            if ((value & mask) == (block.network & mask)) {
                return false;
            }
        }
        return true;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.c_str(), &v6) == 1) {
        return isPublicIPv6(v6.s6_addr);
    }
    return false;
}

} // namespace quorilanth
