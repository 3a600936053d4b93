#include "core/base/Url.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

TEST(Url, Components) {
    const struct {
        const char* text;
        const char* host;
        std::optional<int> port;
        const char* path;
        const char* last;
        const char* query;
        const char* fragment;
    } cases[] = {
        // Trailing "/" ignored except at the root.
        {"HTTPS://Example.COM/A/b/", "Example.COM", std::nullopt, "/A/b", "b", "", ""},
        {"https://h", "h", std::nullopt, "", "", "", ""},
        {"https://h//", "h", std::nullopt, "/", "/", "", ""},
        {"https://[::1]:00443/mcp", "::1", 443, "/mcp", "mcp", "", ""},
        // A host that merely begins like an IPv4 address is a name.
        {"https://1.2.3.4.example/", "1.2.3.4.example", std::nullopt, "/", "/", "", ""},
        {"https://[V1.a:b]/", "V1.a:b", std::nullopt, "/", "/", "", ""},
        {"https://h:/x", "h", std::nullopt, "/x", "x", "", ""},
        {"https://h:65536/", "h", std::nullopt, "/", "/", "", ""},
        // An encoded "/" stays inside its component.
        {"https://ex%61mple.org/a%20b/c%2Fd?q=%41#f%42", "example.org", std::nullopt, "/a b/c/d",
         "c/d", "q=A", "fB"},
        // Decoded bytes that are not UTF-8 must not leak into the rest of the system.
        {"https://h/%FF", "h", std::nullopt, "/\xEF\xBF\xBD", "\xEF\xBF\xBD", "", ""},
        {"docs/agent.json", "", std::nullopt, "docs/agent.json", "agent.json", "", ""},
    };
    for (const auto& c : cases) {
        const std::optional<Url> url = Url::parse(c.text);
        ASSERT_TRUE(url) << c.text;
        EXPECT_EQ(url->host(), c.host) << c.text;
        EXPECT_EQ(url->port(), c.port) << c.text;
        EXPECT_EQ(url->path(), c.path) << c.text;
        EXPECT_EQ(url->lastPathComponent(), c.last) << c.text;
        EXPECT_EQ(url->query(), c.query) << c.text;
        EXPECT_EQ(url->fragment(), c.fragment) << c.text;
    }
}

TEST(Url, RefusesWhatRfc3986Refuses) {
    using namespace std::string_literals;
    for (const std::string& text :
         {"https://h/a b"s, "https://h/\xC3\xA9"s, "https://h\\x/"s, "https://h/%"s,
          "https://h/%zz"s,
          "https://b\xC3\xBC"
          "cher.de/"s,
          "https://[::1/"s, "http://[fe80::1%25eth0]/"s, "https://[::1\0]/"s, "https://[v1]/"s,
          "https://h/\x7F"s, "\xFF"s, "1a:b"s,
          // A host or port followed by anything but "/", "?", "#" or the end.
          "https://h:8a/"s, "https://h:80:90/"s, "https://h@x@y/"s, "https://[::1]x/"s, "//h:a"s,
          "https://h]/"s}) {
        EXPECT_FALSE(Url::parse(text)) << test::printable(text);
    }
}

TEST(Url, ReportsCredentialsInEverySpelling) {
    for (const char* text : {"https://:@h/", "https://@h/", "https://a:b@h/"}) {
        const std::optional<Url> url = Url::parse(text);
        ASSERT_TRUE(url) << text;
        EXPECT_TRUE(url->hasUserInfo()) << text;
        EXPECT_EQ(url->host(), "h") << text;
    }
    EXPECT_FALSE(Url::parse("https://h/a@b")->hasUserInfo());
}

TEST(Url, RootTextAndWithoutFragment) {
    const struct {
        const char* text;
        const char* root;
        const char* withoutFragment;
    } cases[] = {
        {"https://Example.com/a?q#f", "https://Example.com/", "https://Example.com/a?q"},
        {"http://[2001:db8::1]:8080/x#", "http://[2001:db8::1]:8080/",
         "http://[2001:db8::1]:8080/x"},
        {"/relative", "", "/relative"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Url::parse(c.text)->rootText(), c.root) << c.text;
        EXPECT_EQ(Url::parse(c.text)->withoutFragment().text(), c.withoutFragment) << c.text;
    }
}

TEST(Url, ResolvesReferencesAgainstABase) {
    const Url base = *Url::parse("https://a.example/b/c/d;p?q");
    const struct {
        const char* reference;
        const char* expected;
    } cases[] = {
        {"./g", "https://a.example/b/c/g"},    {"//other.example/x", "https://other.example/x"},
        {"?y", "https://a.example/b/c/d;p?y"}, {"#s", "https://a.example/b/c/d;p?q#s"},
        {"", "https://a.example/b/c/d;p?q"},   {"../../../g", "https://a.example/g"},
        {"../..", "https://a.example/"},       {"http://elsewhere/../x", "http://elsewhere/x"},
    };
    for (const auto& c : cases) {
        const std::optional<Url> resolved = base.resolve(c.reference);
        ASSERT_TRUE(resolved) << c.reference;
        EXPECT_EQ(resolved->text(), c.expected) << c.reference;
    }
    EXPECT_EQ(Url::parse("https://h")->resolve("x")->text(), "https://h/x");
    EXPECT_FALSE(base.resolve("a b"));
    EXPECT_FALSE(Url::parse("/no/scheme")->resolve("x"));
}

// Dot segments can leave a path that starts with "//" where no authority came
// before it; written out, that path would turn into a host.
TEST(Url, RefusesTargetsWhosePathWouldReadAsAnAuthority) {
    const struct {
        const char* base;
        const char* reference;
        const char* expected; // nullptr: no target
    } cases[] = {
        {"https://a.example/p", "https:/..//evil.example/x", nullptr},
        {"s:/a/b", "..//x", nullptr},
        {"s:/a", "/.//x", nullptr},
        // With an authority the same path is harmless and kept.
        {"https://a.example/p", "/.//x", "https://a.example//x"},
        {"https://a.example/p", "https://b.example/..//x", "https://b.example//x"},
    };
    for (const auto& c : cases) {
        const std::optional<Url> base = Url::parse(c.base);
        ASSERT_TRUE(base) << c.base;
        const std::optional<Url> resolved = base->resolve(c.reference);
        if (c.expected == nullptr) {
            EXPECT_FALSE(resolved) << c.base << " + " << c.reference << " -> " << resolved->text();
        } else {
            ASSERT_TRUE(resolved) << c.base << " + " << c.reference;
            EXPECT_EQ(resolved->text(), c.expected) << c.base << " + " << c.reference;
        }
    }
}

} // namespace
} // namespace quorilanth
