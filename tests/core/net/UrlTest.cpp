#include "core/net/Url.h"

#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

struct Components {
    const char* text;
    const char* scheme;
    const char* host;
    std::optional<int> port;
    const char* path;
    const char* last;
    const char* query;
    const char* fragment;
};

void PrintTo(const Components& c, std::ostream* os) {
    *os << test::printable(c.text);
}

class UrlComponents : public testing::TestWithParam<Components> {};

TEST_P(UrlComponents, AnswerAsTheRestOfTheSystemExpects) {
    const Components& c = GetParam();
    const std::optional<Url> url = Url::parse(c.text);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->scheme(), c.scheme);
    EXPECT_EQ(url->host(), c.host);
    EXPECT_EQ(url->port(), c.port);
    EXPECT_EQ(url->path(), c.path);
    EXPECT_EQ(url->lastPathComponent(), c.last);
    EXPECT_EQ(url->query(), c.query);
    EXPECT_EQ(url->fragment(), c.fragment);
    EXPECT_EQ(url->text(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UrlComponents,
    testing::Values(
        // Scheme kept as written; trailing "/" ignored except at the root.
        Components{"HTTPS://Example.COM/A/b/", "HTTPS", "Example.COM", std::nullopt, "/A/b", "b",
                   "", ""},
        Components{"https://h", "https", "h", std::nullopt, "", "", "", ""},
        Components{"https://h/", "https", "h", std::nullopt, "/", "/", "", ""},
        Components{"https://h//", "https", "h", std::nullopt, "/", "/", "", ""},
        // IPv6 literals come without brackets; ports with leading zeros still count.
        Components{"https://[::1]:8443/mcp", "https", "::1", 8443, "/mcp", "mcp", "", ""},
        Components{"https://h:00443/", "https", "h", 443, "/", "/", "", ""},
        // A host that merely begins like an IPv4 address is a name.
        Components{"https://1.2.3.4.example/", "https", "1.2.3.4.example", std::nullopt, "/", "/",
                   "", ""},
        Components{"https://[V1.a:b]/", "https", "V1.a:b", std::nullopt, "/", "/", "", ""},
        Components{"https://h:/x", "https", "h", std::nullopt, "/x", "x", "", ""},
        Components{"https://h:65536/", "https", "h", std::nullopt, "/", "/", "", ""},
        Components{"https://h:99999999999999999999/", "https", "h", std::nullopt, "/", "/", "", ""},
        // Percent-decoding of host, path, query and fragment; an encoded "/"
        // stays inside its component.
        Components{"https://ex%61mple.org/a%20b/c%2Fd?q=%41#f%42", "https", "example.org",
                   std::nullopt, "/a b/c/d", "c/d", "q=A", "fB"},
        // Bytes that are not UTF-8 once decoded turn into U+FFFD rather than
        // leaking raw bytes into the rest of the system.
        Components{"https://h/%FF", "https", "h", std::nullopt, "/\xEF\xBF\xBD", "\xEF\xBF\xBD", "",
                   ""},
        // Relative references.
        Components{"docs/agent.json", "", "", std::nullopt, "docs/agent.json", "agent.json", "",
                   ""},
        Components{"mcp", "", "", std::nullopt, "mcp", "mcp", "", ""},
        Components{"", "", "", std::nullopt, "", "", "", ""},
        Components{"?only=query", "", "", std::nullopt, "", "", "only=query", ""}));

TEST(Url, RefusesWhatRfc3986Refuses) {
    using namespace std::string_literals;
    for (const std::string& text :
         {"https://h/a b"s, "https://h/\xC3\xA9"s,
          "https://b\xC3\xBC"
          "cher.de/"s,
          "https://h\\x/"s, "https://h/%"s, "https://h/%zz"s, "https://[::1/"s,
          "http://[fe80::1%eth0]/"s, "http://[fe80::1%25eth0]/"s, "https://[::1\0]/"s,
          "https://[v1]/"s, "https://[1::2::3]/"s, "a b"s, "https://h/\t"s, "https://h/\x7F"s,
          "\xFF"s, "1a:b"s, ":foo"s,
          // A host or port followed by anything but "/", "?", "#" or the end.
          "https://h:8a/"s, "https://h:80:90/"s, "https://h@x@y/"s, "https://[::1]x/"s, "//h:a"s,
          "https://h]/"s}) {
        EXPECT_FALSE(Url::parse(text)) << test::printable(text);
    }
}

TEST(Url, ReportsCredentialsInEverySpelling) {
    for (const char* text :
         {"https://a@h/", "https://:@h/", "https://@h/", "https://a:b@h/", "https://:pw@h/"}) {
        const std::optional<Url> url = Url::parse(text);
        ASSERT_TRUE(url) << text;
        EXPECT_TRUE(url->hasUserInfo()) << text;
        EXPECT_EQ(url->host(), "h") << text;
    }
    EXPECT_FALSE(Url::parse("https://h/a@b")->hasUserInfo());
}

TEST(Url, RootTextKeepsATypedPortAndDropsPathQueryAndFragment) {
    const struct {
        const char* text;
        const char* root;
    } cases[] = {
        {"https://Example.com/a/b?q#f", "https://Example.com/"},
        {"http://[2001:db8::1]:8080/x", "http://[2001:db8::1]:8080/"},
        {"https://h:/x", "https://h/"},
        {"/relative", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Url::parse(c.text)->rootText(), c.root) << c.text;
    }
}

TEST(Url, WithoutFragmentRemovesEvenAnEmptyOne) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"https://h/a?q#f", "https://h/a?q"},
        {"https://h/a#", "https://h/a"},
        {"https://h/a#b#c", "https://h/a#b#c"}, // not a valid reference: never parsed
        {"https://h/a", "https://h/a"},
    };
    for (const auto& c : cases) {
        const std::optional<Url> url = Url::parse(c.text);
        if (!url) {
            continue;
        }
        EXPECT_EQ(url->withoutFragment().text(), c.expected) << c.text;
    }
}

TEST(Url, ResolvesReferencesAgainstABase) {
    const Url base = *Url::parse("https://a.example/b/c/d;p?q");
    const struct {
        const char* reference;
        const char* expected;
    } cases[] = {
        {"g", "https://a.example/b/c/g"},
        {"./g", "https://a.example/b/c/g"},
        {"g/", "https://a.example/b/c/g/"},
        {"/g", "https://a.example/g"},
        {"//other.example/x", "https://other.example/x"},
        {"?y", "https://a.example/b/c/d;p?y"},
        {"#s", "https://a.example/b/c/d;p?q#s"},
        {"", "https://a.example/b/c/d;p?q"},
        {"../../../g", "https://a.example/g"},
        {"../..", "https://a.example/"},
        {"http://elsewhere/../x", "http://elsewhere/x"},
        {"/.well-known/mcp.json", "https://a.example/.well-known/mcp.json"},
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
        {"https://a.example/p", "https:/.//evil.example/x", nullptr},
        {"s:/a/b", "..//x", nullptr},
        {"s:/a", "/.//x", nullptr},
        // With an authority the same path is harmless and kept.
        {"https://a.example/p", "/.//x", "https://a.example//x"},
        {"https://a.example/p", "https://b.example/..//x", "https://b.example//x"},
        {"s:/a/b", "../x", "s:/x"},
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
