#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorilanth {

// One parsed RFC 3986 URI reference (absolute or relative), kept as the text it
// was parsed from plus the position of each component in it. Every subsystem
// asks this one type about URLs so that "the path", "the host" or "the last
// path component" mean the same thing everywhere:
//   - the scheme is kept as written (compare it lower-cased yourself);
//   - host() is percent-decoded and an IPv6 literal comes without brackets;
//   - path() is percent-decoded with one trailing "/" dropped, except at the root;
//   - lastPathComponent() is "/" for the root and "" when there is no path.
// Parsing is strict: anything RFC 3986 refuses (spaces, non-ASCII, "\\", a
// stray "%", an IPv6 zone) gives no Url at all.
class Url {
public:
    static std::optional<Url> parse(std::string_view text);

    const std::string& text() const noexcept { return text_; }

    bool hasScheme() const noexcept { return scheme_.present; }
    std::string_view scheme() const noexcept { return view(scheme_); }

    bool hasAuthority() const noexcept { return authority_.present; }
    // True as soon as the authority holds an "@", even an empty "https://@h/".
    bool hasUserInfo() const noexcept { return userInfo_.present; }
    std::optional<std::string> user() const;
    std::optional<std::string> password() const;

    // The host is present whenever there is an authority; it may be empty.
    bool hasHost() const noexcept { return authority_.present; }
    std::string host() const;
    // As written, brackets of an IP literal included.
    std::string_view encodedHost() const noexcept { return view(host_); }
    bool isIPv6Literal() const noexcept { return ipLiteral_; }

    // A ":" after the host, possibly with no digits after it.
    bool hasPort() const noexcept { return port_.present; }
    std::string_view portText() const noexcept { return view(port_); }
    // The numeric port when the digits name one in 0...65535 (leading zeros
    // allowed); nothing when there is no port, an empty one or a larger number.
    std::optional<int> port() const noexcept;

    std::string path() const;
    std::string_view encodedPath() const noexcept { return view(path_); }
    std::string lastPathComponent() const;

    bool hasQuery() const noexcept { return query_.present; }
    std::string_view encodedQuery() const noexcept { return view(query_); }
    std::string query() const;

    bool hasFragment() const noexcept { return fragment_.present; }
    std::string_view encodedFragment() const noexcept { return view(fragment_); }
    std::string fragment() const;

    // Scheme, "://", host as written, ":" and the port when one was given, "/".
    // Empty for a reference without scheme or authority.
    std::string rootText() const;

    // The same URL without its fragment (an empty "#" goes as well).
    Url withoutFragment() const;

    // RFC 3986 reference resolution with dot segments removed. The base must
    // have a scheme; a reference that does not parse gives nothing, and so
    // does one whose target has no authority but a path that starts with "//".
    std::optional<Url> resolve(std::string_view reference) const;
    std::optional<Url> resolve(const Url& reference) const;

    friend bool operator==(const Url& a, const Url& b) noexcept { return a.text_ == b.text_; }

private:
    struct Part {
        std::size_t offset = 0;
        std::size_t length = 0;
        bool present = false;
    };

    Url() = default;
    bool parseAuthority();
    std::string_view view(const Part& part) const noexcept {
        return part.present ? std::string_view(text_).substr(part.offset, part.length)
                            : std::string_view();
    }

    std::string text_;
    Part scheme_;
    Part authority_;
    Part userInfo_;
    Part user_;
    Part password_;
    Part host_;
    Part port_;
    Part path_;
    Part query_;
    Part fragment_;
    bool ipLiteral_ = false;
};

// Percent-decodes text; bytes that do not form valid UTF-8 afterwards become U+FFFD.
std::string percentDecode(std::string_view text);

} // namespace quorilanth
