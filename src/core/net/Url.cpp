#include "core/net/Url.h"

#include "core/net/Utf8.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>
#include <boost/url/url_view.hpp>

namespace quorilanth {
namespace {

int hexValue(char c) noexcept
{
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

} // namespace

std::string percentDecode(std::string_view text)
{
    if (text.find('%') == std::string_view::npos) {
        return utf8::lossy(text);
    }
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return utf8::lossy(bytes);
}

std::optional<Url> Url::parse(std::string_view text)
{
    const auto parsed = boost::urls::parse_uri_reference(text);
    if (!parsed) {
        return std::nullopt;
    }
    const boost::urls::url_view& v = *parsed;
    Url url;
    url.text_ = std::string(text);
    // The view's pieces point into `text`; an empty piece may not, so its
    // offset is clamped rather than trusted.
    const auto mark = [&](Part& part, std::string_view piece) {
        part.present = true;
        part.length = piece.size();
        const char* begin = text.data();
        part.offset = (piece.data() >= begin && piece.data() + piece.size() <= begin + text.size())
            ? static_cast<std::size_t>(piece.data() - begin)
            : 0;
        if (part.length == 0) {
            part.offset = 0;
        }
    };
    if (v.has_scheme()) {
        mark(url.scheme_, v.scheme());
    }
    if (v.has_authority()) {
        mark(url.authority_, v.encoded_authority());
        mark(url.host_, v.encoded_host());
        url.ipLiteral_ = v.host_type() == boost::urls::host_type::ipv6
            || v.host_type() == boost::urls::host_type::ipvfuture;
        if (v.has_userinfo()) {
            mark(url.userInfo_, v.encoded_userinfo());
            mark(url.user_, v.encoded_user());
            if (v.has_password()) {
                mark(url.password_, v.encoded_password());
            }
        }
        if (v.has_port()) {
            mark(url.port_, v.port());
        }
    }
    mark(url.path_, v.encoded_path());
    if (v.has_query()) {
        mark(url.query_, v.encoded_query());
    }
    if (v.has_fragment()) {
        mark(url.fragment_, v.encoded_fragment());
    }
    return url;
}

std::optional<std::string> Url::user() const
{
    if (!user_.present) {
        return std::nullopt;
    }
    return percentDecode(view(user_));
}

std::optional<std::string> Url::password() const
{
    if (!password_.present) {
        return std::nullopt;
    }
    return percentDecode(view(password_));
}

std::string Url::host() const
{
    std::string_view host = view(host_);
    if (ipLiteral_ && host.size() >= 2) {
        return std::string(host.substr(1, host.size() - 2));
    }
    return percentDecode(host);
}

std::optional<int> Url::port() const noexcept
{
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

std::string Url::path() const
{
    std::string decoded = percentDecode(view(path_));
    if (decoded.size() > 1 && decoded.back() == '/') {
        decoded.pop_back();
    }
    return decoded;
}

std::string Url::lastPathComponent() const
{
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

std::string Url::query() const
{
    return percentDecode(view(query_));
}

std::string Url::fragment() const
{
    return percentDecode(view(fragment_));
}

std::string Url::rootText() const
{
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

Url Url::withoutFragment() const
{
    if (!fragment_.present) {
        return *this;
    }
    // The "#" sits just before the fragment's first byte; the prefix of a
    // valid reference up to there is itself a valid reference.
    const std::size_t hash = fragment_.length == 0 ? text_.rfind('#') : fragment_.offset - 1;
    return parse(std::string_view(text_).substr(0, hash)).value_or(*this);
}

std::optional<Url> Url::resolve(std::string_view reference) const
{
    const std::optional<Url> parsed = parse(reference);
    if (!parsed) {
        return std::nullopt;
    }
    return resolve(*parsed);
}

std::optional<Url> Url::resolve(const Url& reference) const
{
    if (!hasScheme()) {
        return std::nullopt;
    }
    const auto base = boost::urls::parse_uri_reference(text_);
    const auto ref = boost::urls::parse_uri_reference(reference.text_);
    if (!base || !ref) {
        return std::nullopt;
    }
    boost::urls::url result;
    if (!boost::urls::resolve(*base, *ref, result)) {
        return std::nullopt;
    }
    return parse(result.buffer());
}

} // namespace quorilanth
