#include "core/base/Url.h"

#include "core/base/LossyUTF8.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>

namespace quorilanth {
namespace {

int hexValue(char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isAlpha(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}

bool isUnreserved(char c) noexcept {
    return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(char c) noexcept {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}

// Percent signs are let through here; allOf checks that each one starts a
// well-formed escape.
bool isRegNameChar(char c) noexcept {
    return isUnreserved(c) || isSubDelim(c) || c == '%';
}

bool isUserInfoChar(char c) noexcept {
    return isRegNameChar(c) || c == ':';
}

bool isPathChar(char c) noexcept {
    return isUserInfoChar(c) || c == '@' || c == '/';
}

bool isQueryChar(char c) noexcept {
    return isPathChar(c) || c == '?';
}

template <typename Predicate> bool allOf(std::string_view text, Predicate allowed) noexcept {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!allowed(text[i])) {
            return false;
        }
        if (text[i] == '%' &&
            (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0)) {
            return false;
        }
    }
    return true;
}

bool isScheme(std::string_view text) noexcept {
    if (text.empty() || !isAlpha(text.front())) {
        return false;
    }
    return allOf(
        text, [](char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; });
}

// IPv6address or IPvFuture, the inside of "[...]". A zone identifier is not
// part of the grammar and is refused.
bool isIPLiteral(std::string_view text) noexcept {
    if (!text.empty() && (text.front() == 'v' || text.front() == 'V')) {
        const std::size_t dot = text.find('.');
        if (dot == std::string_view::npos || dot < 2 || dot + 1 >= text.size()) {
            return false;
        }
        const bool version =
            allOf(text.substr(1, dot - 1), [](char c) { return hexValue(c) >= 0; });
        return version && allOf(text.substr(dot + 1), [](char c) {
                   return isUnreserved(c) || isSubDelim(c) || c == ':';
               });
    }
    const auto ipv6Char = [](char c) { return hexValue(c) >= 0 || c == ':' || c == '.'; };
    if (text.empty() || text.size() > 45 || !std::all_of(text.begin(), text.end(), ipv6Char)) {
        return false;
    }
    const std::string copy(text);
    in6_addr address{};
    return inet_pton(AF_INET6, copy.c_str(), &address) == 1;
}

// Section 5.2.4 of RFC 3986, in one pass: each step either drops a prefix of
// the input or moves one segment, and a ".." only cuts back to the last "/".
std::string removeDotSegments(std::string_view input) {
    std::string output;
    output.reserve(input.size());
    const auto dropLastSegment = [&output] {
        const std::size_t slash = output.rfind('/');
        output.resize(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.remove_prefix(3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const std::size_t next = input.find('/', 1);
            const std::size_t length = next == std::string_view::npos ? input.size() : next;
            output.append(input.substr(0, length));
            input.remove_prefix(length);
        }
    }
    return output;
}

} // namespace

std::string percentDecode(std::string_view text) {
    if (text.find('%') == std::string_view::npos) {
        return utf8::lossy(text);
    }
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return utf8::lossy(bytes);
}

std::optional<Url> Url::parse(std::string_view text) {
    // Appendix B of RFC 3986 splits any text into the five parts; each part
    // is then held to its own grammar, so nothing lenient slips through (a
    // host that merely starts like an IPv4 address, a port followed by a
    // path without "/", two "@").
    Url url;
    url.text_ = std::string(text);
    const auto mark = [](Part& part, std::size_t offset, std::size_t length) {
        part = Part{offset, length, true};
    };
    std::size_t at = 0;
    const std::size_t schemeEnd = text.find_first_of(":/?#");
    if (schemeEnd != std::string_view::npos && text[schemeEnd] == ':') {
        if (!isScheme(text.substr(0, schemeEnd))) {
            return std::nullopt; // a ":" in the first segment of a relative path
        }
        mark(url.scheme_, 0, schemeEnd);
        at = schemeEnd + 1;
    }
    if (text.substr(at).starts_with("//")) {
        at += 2;
        const std::size_t end = std::min(text.find_first_of("/?#", at), text.size());
        mark(url.authority_, at, end - at);
        if (!url.parseAuthority()) {
            return std::nullopt;
        }
        at = end;
    }
    const std::size_t pathEnd = std::min(text.find_first_of("?#", at), text.size());
    mark(url.path_, at, pathEnd - at);
    if (!allOf(text.substr(at, pathEnd - at), isPathChar)) {
        return std::nullopt;
    }
    at = pathEnd;
    if (at < text.size() && text[at] == '?') {
        const std::size_t end = std::min(text.find('#', at), text.size());
        mark(url.query_, at + 1, end - at - 1);
        at = end;
    }
    if (at < text.size()) {
        mark(url.fragment_, at + 1, text.size() - at - 1);
    }
    if (!allOf(url.view(url.query_), isQueryChar) || !allOf(url.view(url.fragment_), isQueryChar)) {
        return std::nullopt;
    }
    return url;
}

bool Url::parseAuthority() {
    const std::string_view authority = view(authority_);
    std::size_t hostStart = 0;
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        if (!allOf(userInfo, isUserInfoChar)) {
            return false;
        }
        userInfo_ = Part{authority_.offset, at, true};
        const std::size_t colon = userInfo.find(':');
        user_ = Part{authority_.offset, std::min(colon, at), true};
        if (colon != std::string_view::npos) {
            password_ = Part{authority_.offset + colon + 1, at - colon - 1, true};
        }
        hostStart = at + 1;
    }
    const std::string_view rest = authority.substr(hostStart);
    std::size_t hostLength = 0;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || !isIPLiteral(rest.substr(1, close - 1))) {
            return false;
        }
        ipLiteral_ = true;
        hostLength = close + 1;
    } else {
        hostLength = std::min(rest.find(':'), rest.size());
        if (!allOf(rest.substr(0, hostLength), isRegNameChar)) {
            return false;
        }
    }
    host_ = Part{authority_.offset + hostStart, hostLength, true};
    const std::string_view afterHost = rest.substr(hostLength);
    if (afterHost.empty()) {
        return true;
    }
    if (afterHost.front() != ':' || !allOf(afterHost.substr(1), isDigit)) {
        return false;
    }
    port_ = Part{host_.offset + hostLength + 1, afterHost.size() - 1, true};
    return true;
}

std::optional<std::string> Url::user() const {
    if (!user_.present) {
        return std::nullopt;
    }
    return percentDecode(view(user_));
}

std::optional<std::string> Url::password() const {
    if (!password_.present) {
        return std::nullopt;
    }
    return percentDecode(view(password_));
}

std::string Url::host() const {
    std::string_view host = view(host_);
    if (ipLiteral_ && host.size() >= 2) {
        return std::string(host.substr(1, host.size() - 2));
    }
    return percentDecode(host);
}

std::optional<int> Url::port() const noexcept {
    std::string_view digits = view(port_);
    if (digits.empty()) {
        return std::nullopt;
    }
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove_prefix(1);
    }
    if (digits.size() > 5) {
        return std::nullopt;
    }
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
    }
    if (value > 65535) {
        return std::nullopt;
    }
    return value;
}

std::string Url::path() const {
    std::string decoded = percentDecode(view(path_));
    if (decoded.size() > 1 && decoded.back() == '/') {
        decoded.pop_back();
    }
    return decoded;
}

std::string Url::lastPathComponent() const {
    std::string_view path = view(path_);
    if (path.empty()) {
        return {};
    }
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (path.empty()) {
        return "/";
    }
    const std::size_t slash = path.rfind('/');
    return percentDecode(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string Url::query() const {
    return percentDecode(view(query_));
}

std::string Url::fragment() const {
    return percentDecode(view(fragment_));
}

std::string Url::rootText() const {
    if (!scheme_.present || !authority_.present) {
        return {};
    }
    std::string root;
    root.append(view(scheme_)).append("://").append(view(host_));
    if (port_.present && port_.length > 0) {
        root.append(":").append(view(port_));
    }
    root += '/';
    return root;
}

Url Url::withoutFragment() const {
    if (!fragment_.present) {
        return *this;
    }
    // Cutting a valid reference before its "#" leaves a valid reference.
    return parse(std::string_view(text_).substr(0, fragment_.offset - 1)).value_or(*this);
}

std::optional<Url> Url::resolve(std::string_view reference) const {
    const std::optional<Url> parsed = parse(reference);
    if (!parsed) {
        return std::nullopt;
    }
    return resolve(*parsed);
}

std::optional<Url> Url::resolve(const Url& reference) const {
    if (!hasScheme()) {
        return std::nullopt;
    }
    const Url& r = reference;
    const Url* authorityFrom = this;
    const Url* queryFrom = &r;
    std::string path;
    if (r.scheme_.present || r.authority_.present) {
        authorityFrom = &r;
        path = removeDotSegments(r.view(r.path_));
    } else if (const std::string_view refPath = r.view(r.path_); refPath.empty()) {
        path = view(path_);
        queryFrom = r.query_.present ? &r : this;
    } else if (refPath.front() == '/') {
        path = removeDotSegments(refPath);
    } else {
        // Merge: the base path up to its last "/", or "/" for a base with an
        // authority and no path at all.
        const std::string_view basePath = view(path_);
        std::string merged;
        if (authority_.present && basePath.empty()) {
            merged = "/";
        } else if (const std::size_t slash = basePath.rfind('/'); slash != std::string_view::npos) {
            merged = std::string(basePath.substr(0, slash + 1));
        }
        merged.append(refPath);
        path = removeDotSegments(merged);
    }
    // Without an authority, a path that starts with "//" once its dot segments
    // are gone would read back as an authority: "https:/..//evil.example/x"
    // would name a host neither URL named. No text spells such a target.
    if (!authorityFrom->authority_.present && path.starts_with("//")) {
        return std::nullopt;
    }
    std::string target;
    target.reserve(text_.size() + r.text_.size());
    target.append(r.scheme_.present ? r.view(r.scheme_) : view(scheme_)).append(":");
    if (authorityFrom->authority_.present) {
        target.append("//").append(authorityFrom->view(authorityFrom->authority_));
    }
    target.append(path);
    if (queryFrom->query_.present) {
        target.append("?").append(queryFrom->view(queryFrom->query_));
    }
    if (r.fragment_.present) {
        target.append("#").append(r.view(r.fragment_));
    }
    return parse(target);
}

} // namespace quorilanth
