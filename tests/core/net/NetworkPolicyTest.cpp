#include "core/net/NetworkPolicy.h"

#include "core/base/QuorilanthError.h"
#include "support/FakeResolver.h"
#include "support/Printable.h"

#include <gtest/gtest.h>
#include <type_traits>

namespace quorilanth {
namespace {

const std::string kMalformed = "Blocked: malformed URL or unsafe URL scheme/credentials.";
const std::string kPlainHTTP = "Blocked: plain HTTP requires Developer Mode.";

std::string blockedAddress(const std::string& address) {
    return "Blocked: DNS resolves to a private, local or reserved address (" + address + ").";
}

// The returned text (addresses joined by blanks) or the refusal's text, so
// one table holds both.
template <typename Call> std::string outcome(Call call) {
    try {
        if constexpr (std::is_same_v<decltype(call()), std::string>) {
            return call();
        } else {
            std::string joined;
            for (const std::string& address : call()) {
                joined += (joined.empty() ? "" : " ") + address;
            }
            return joined;
        }
    } catch (const QuorilanthError& error) {
        return error.what();
    }
}

struct Case {
    std::string input;
    bool developerMode;
    std::string expected; // the result, or the refusal's text
};

std::string urlOfBytes(std::size_t size) {
    std::string url = "https://example.com/";
    url.append(size - url.size(), 'a');
    return url;
}

TEST(Validate, AcceptsOrRefusesWithTheFixedText) {
    const Case cases[] = {
        {urlOfBytes(8191), false, urlOfBytes(8191)},
        {urlOfBytes(8192), true, kMalformed},
        {" https://example.com/", false, kMalformed},
        {"https://example.com/\xFF", true, kMalformed},
        {"HTTPS://example.com", false, "HTTPS://example.com/"},
        {"//example.com/", false, kMalformed},
        {"http://example.com/", false, kPlainHTTP},
        {"HtTp://example.com/", true, "HtTp://example.com/"},
        {"https://@example.com/", false, kMalformed},
        {"https://example.com\\@evil.com/", false, kMalformed},
        {"https://a:b@example.com/", true, kMalformed},
        // Credentials and bad ports are refused before the HTTP rule is consulted.
        {"http://a@example.com/", false, kMalformed},
        {"http://example.com:0/", false, kMalformed},
        {"https://ex%61mple.com/", false, kMalformed},
        {"https://[fe80::1%25eth0]/", false, kMalformed},
        {"https://0x7f.1/", false, "https://0x7f.1/"},
        {"https://example.com:00443/x", false, "https://example.com:443/x"},
        {"https://[::1]:8443", false, "https://[::1]:8443/"},
        {"https://[v1.x]/", true, kMalformed},
        {"https://example.com/a#", false, "https://example.com/a"},
        {"https://Example.COM/A/../B", false, "https://Example.COM/A/../B"},
    };
    for (const Case& c : cases) {
        const NetworkPolicy policy(c.developerMode);
        EXPECT_EQ(outcome([&] { return policy.validate(c.input); }), c.expected)
            << test::printable(c.input);
    }
}

TEST(Validate, RefusesEveryWhiteSpaceAndControlCharacter) {
    std::vector<std::string> characters;
    for (char c = 0; c < 32; ++c) {
        characters.emplace_back(1, c);
    }
    characters.emplace_back("\x7F");
    // Every White_Space character of Unicode beyond ASCII.
    for (const char* space :
         {"\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
          "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87",
          "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9",
          "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80"}) {
        characters.emplace_back(space);
    }
    const NetworkPolicy policy(true);
    for (const std::string& character : characters) {
        for (const std::string& url :
             {"https://exa" + character + "mple.com/", "https://example.com/#" + character}) {
            EXPECT_EQ(outcome([&] { return policy.validate(url); }), kMalformed)
                << test::printable(url);
        }
        EXPECT_EQ(outcome([&] { return policy.normalizeDomain("exa" + character + "mple.com"); }),
                  kMalformed)
            << test::printable(character);
    }
}

TEST(NormalizeDomain, TrimsAddsHttpsAndValidates) {
    const Case cases[] = {
        {"\xE3\x80\x80\texample.com\xE2\x80\xA8\xC2\xA0", false, "https://example.com/"},
        {"example.com:8443/docs#top", false, "https://example.com:8443/docs"},
        {"http://example.com", false, kPlainHTTP},
        {"http://example.com", true, "http://example.com/"},
        {"ftp://example.com", true, kMalformed},
        {" \n ", false, kMalformed},
        {"user@example.com", false, kMalformed},
    };
    for (const Case& c : cases) {
        const NetworkPolicy policy(c.developerMode);
        EXPECT_EQ(outcome([&] { return policy.normalizeDomain(c.input); }), c.expected)
            << test::printable(c.input);
    }
}

using Strings = std::vector<std::string>;
using Answer = std::vector<std::optional<std::string>>;

TEST(Addresses, VetsOrdersAndDeduplicates) {
    const struct {
        const char* name;
        Answer answer;
        bool developerMode;
        std::string expected;
    } cases[] = {
        {"private after public", {"93.184.216.34", "10.0.0.1"}, false, blockedAddress("10.0.0.1")},
        {"v6 private after v4 public", {"1.1.1.1", "::1"}, false, blockedAddress("::1")},
        {"link-local with zone", {"fe80::1%eth0"}, false, blockedAddress("fe80::1%eth0")},
        {"zone allowed in developer mode", {"fe80::1%eth0"}, true, "fe80::1%eth0"},
        {"loopback in developer mode",
         {"::1", "127.0.0.1", "::1", "127.0.0.1"},
         true,
         "127.0.0.1 ::1"},
        {"IPv4 first, resolver order kept in each family",
         {"2606:4700::2", "8.8.8.8", "2606:4700::1", "1.1.1.1", "8.8.8.8"},
         false,
         "8.8.8.8 1.1.1.1 2606:4700::2 2606:4700::1"},
        {"unconvertible entries skipped", {std::nullopt, "1.1.1.1"}, false, "1.1.1.1"},
        {"nothing convertible", {std::nullopt}, false, "DNS returned no usable addresses."},
        {"empty answer", {}, false, "DNS resolution failed: Success"},
    };
    for (const auto& c : cases) {
        auto resolver = std::make_shared<test::FakeResolver>();
        resolver->answer("example.com", c.answer);
        NetworkPolicy policy(c.developerMode);
        policy.resolver = resolver;
        EXPECT_EQ(outcome([&] { return policy.addresses("https://example.com/x"); }), c.expected)
            << c.name;
    }
}

TEST(Addresses, PassesResolverFailuresOnAndStripsBrackets) {
    auto resolver = std::make_shared<test::FakeResolver>();
    resolver->fail("nowhere.example", "Name or service not known");
    resolver->answer("2606:4700::1", {"2606:4700::1"});
    NetworkPolicy policy;
    policy.resolver = resolver;
    EXPECT_EQ(outcome([&] { return policy.addresses("https://nowhere.example/"); }),
              "DNS resolution failed: Name or service not known");
    EXPECT_EQ(policy.addresses("https://[2606:4700::1]:443/"), Strings{"2606:4700::1"});
    outcome([&] { return policy.addresses("not a url"); });
    // A trailing-dot name is looked up as written and vetted like any other.
    resolver->answer("localhost.", {"127.0.0.1"});
    EXPECT_EQ(outcome([&] { return policy.addresses(policy.validate("https://localhost./")); }),
              blockedAddress("127.0.0.1"));
    EXPECT_EQ(resolver->asked(), (Strings{"nowhere.example", "2606:4700::1", "", "localhost."}));
}

// Only loopback names and numeric hosts: the C library answers these itself.
TEST(Addresses, SystemResolverRefusesEveryLoopbackSpelling) {
    const NetworkPolicy policy;
    for (const char* url :
         {"https://localhost/", "https://2130706433/", "https://0x7f.1/", "https://127.1/",
          "https://0/", "https://[::1]/", "https://[::ffff:127.0.0.1]/",
          "https://[64:ff9b::7f00:1]/", "https://[2002:7f00:1::1]/", "https://[fe80::1]/",
          "https://017700000001/"}) {
        EXPECT_TRUE(outcome([&] {
                        return policy.addresses(url);
                    }).starts_with("Blocked: DNS resolves to a private"))
            << url;
    }
    EXPECT_EQ(NetworkPolicy(true).addresses("http://127.1/"), Strings{"127.0.0.1"});
}

TEST(IsPublicAddress, ClassifiesBlocksAtTheirEdges) {
    // Each block's first or last address, then the address just outside it.
    const std::string notPublic[] = {
        "127.0.0.1", "10.1.2.3", "100.64.0.1", "100.127.255.255", "169.254.1.1", "192.0.0.8",
        "198.18.0.0", "198.19.255.255", "224.0.0.1", "255.255.255.255", "0.255.255.255",
        "192.88.99.1", "203.0.113.9", "198.51.100.1", "192.0.2.1", "172.16.0.0", "172.31.255.255",
        "192.168.255.255", "::1", "::", "fe80::1", "fc00::1", "ff02::1", "::ffff:8.8.8.8",
        "64:ff9b::808:808", "2001:db8::1", "2001:1ff::1", "2002:808:808::1", "3fff:fff::1",
        "4000::1", "1fff:ffff::1",
        // Not addresses at all.
        "", "example.com", "2606:4700::1%eth0", "8.8.8", " 8.8.8.8", "8.8.8.8 ", "08.8.8.8",
        "[2606:4700::1]", std::string("8.8.8.8\0.1", 10)};
    const char* const isPublic[] = {
        "198.20.0.1",      "100.128.0.1", "100.63.255.255",  "172.15.255.255", "172.32.0.0",
        "198.17.255.255",  "192.0.1.1",   "223.255.255.255", "1.0.0.0",        "11.0.0.0",
        "126.255.255.255", "128.0.0.0",   "2001:200::1",     "3fff:1000::1",   "2001:db9::1",
        "2003::1",         "3ffe::1",     "2000::"};
    for (const std::string& address : notPublic)
        EXPECT_FALSE(NetworkPolicy::isPublicAddress(address)) << test::printable(address);
    for (const char* address : isPublic)
        EXPECT_TRUE(NetworkPolicy::isPublicAddress(address)) << address;
}

} // namespace
} // namespace quorilanth
