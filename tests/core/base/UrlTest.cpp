#include "core/base/Url.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using namespace std::string_literals;

// host|port|path|last path component|query|fragment, and "@" when it carries credentials.
std::string parts(const Url& url) {
    return url.host() + "|" + (url.port() ? std::to_string(*url.port()) : "") + "|" + url.path() +
           "|" + url.lastPathComponent() + "|" + url.query() + "|" + url.fragment() +
           (url.hasUserInfo() ? "@" : "");
}

TEST(Url, ComponentsAndRefusals) {
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, const char*>>{
             // A trailing "/" is ignored except at the root.
             {"HTTPS://Example.COM/A/b/", "Example.COM||/A/b|b||"},
             {"https://h", "h|||||"},
             {"https://h//", "h||/|/||"},
             {"https://[::1]:00443/mcp", "::1|443|/mcp|mcp||"},
             // A host that merely begins like an IPv4 address is a name.
             {"https://1.2.3.4.example/", "1.2.3.4.example||/|/||"},
             {"https://[V1.a:b]/", "V1.a:b||/|/||"},
             {"https://h:/x", "h||/x|x||"},
             {"https://h:65536/", "h||/|/||"},
             // An encoded "/" stays inside its component; bytes that are not UTF-8 never leak.
             {"https://ex%61mple.org/a%20b/c%2Fd?q=%41#f%42", "example.org||/a b/c/d|c/d|q=A|fB"},
             {"https://h/%FF", "h||/\xEF\xBF\xBD|\xEF\xBF\xBD||"},
             {"docs/agent.json", "||docs/agent.json|agent.json||"},
             {"https://:@h/", "h||/|/||@"},
             {"https://a:b@h/a@b", "h||/a@b|a@b||@"},
         }) {
        const std::optional<Url> url = Url::parse(text);
        EXPECT_EQ(url ? parts(*url) : "refused", expected) << text;
    }
    for (const std::string& text :
         {"https://h/a b"s, "https://h/\xC3\xA9"s, "https://h\\x/"s, "https://h/%"s,
          "https://h/%zz"s, "https://b\xC3\xBC\x63her.de/"s, "https://[::1/"s,
          "http://[fe80::1%25eth0]/"s, "https://[::1\0]/"s, "https://[v1]/"s, "https://h/\x7F"s,
          "\xFF"s, "1a:b"s, "https://h:8a/"s, "https://h:80:90/"s, "https://h@x@y/"s,
          "https://[::1]x/"s, "//h:a"s, "https://h]/"s})
        EXPECT_FALSE(Url::parse(text)) << test::printable(text);
    EXPECT_EQ(Url::parse("http://[2001:db8::1]:8080/x#")->rootText(), "http://[2001:db8::1]:8080/");
    EXPECT_EQ(Url::parse("/relative")->rootText(), "");
}

// Dot segments can leave a path that starts with "//" where no authority came
// before it; written out, that path would turn into a host, so there is no target.
TEST(Url, ResolvesReferencesAgainstABase) {
    for (const auto& [base, reference, expected] :
         std::initializer_list<std::array<const char*, 3>>{
             {"https://a.example/b/c/d;p?q", "./g", "https://a.example/b/c/g"},
             {"https://a.example/b/c/d;p?q", "//other.example/x", "https://other.example/x"},
             {"https://a.example/b/c/d;p?q", "?y", "https://a.example/b/c/d;p?y"},
             {"https://a.example/b/c/d;p?q", "#s", "https://a.example/b/c/d;p?q#s"},
             {"https://a.example/b/c/d;p?q", "", "https://a.example/b/c/d;p?q"},
             {"https://a.example/b/c/d;p?q", "../../../g", "https://a.example/g"},
             {"https://a.example/b/c/d;p?q", "../..", "https://a.example/"},
             {"https://a.example/b/c/d;p?q", "http://elsewhere/../x", "http://elsewhere/x"},
             {"https://h", "x", "https://h/x"},
             {"https://h", "a b", ""},
             {"/no/scheme", "x", ""},
             {"https://a.example/p", "https:/..//evil.example/x", ""},
             {"s:/a/b", "..//x", ""},
             {"s:/a", "/.//x", ""},
             {"https://a.example/p", "/.//x", "https://a.example//x"},
             {"https://a.example/p", "https://b.example/..//x", "https://b.example//x"},
         }) {
        const std::optional<Url> resolved = Url::parse(base)->resolve(reference);
        EXPECT_EQ(resolved ? resolved->text() : "", expected) << base << " + " << reference;
    }
}

} // namespace
} // namespace quorilanth
