#include "core/net/NetworkPolicy.h"

#include "core/base/QuorilanthError.h"
#include "core/base/UTF8.h"
#include "support/FakeResolver.h"
#include "support/Printable.h"

#include <gtest/gtest.h>

namespace quorilanth {
namespace {

using Strings = std::vector<std::string>;

const std::string kMalformed = "Blocked: malformed URL or unsafe URL scheme/credentials.";
const std::string kPlainHTTP = "Blocked: plain HTTP requires Developer Mode.";
const std::string kPrivate = "Blocked: DNS resolves to a private, local or reserved address (";

// The result (addresses joined by blanks) or the refusal's text, so one table holds both.
std::string outcome(const std::function<std::string()>& call) {
    try {
        return call();
    } catch (const QuorilanthError& error) {
        return error.what();
    }
}

std::string addresses(const NetworkPolicy& policy, const std::string& url) {
    return outcome([&] {
        std::string joined;
        for (const std::string& address : policy.addresses(url))
            joined += (joined.empty() ? "" : " ") + address;
        return joined;
    });
}

std::string urlOfBytes(std::size_t size) {
    return "https://example.com/" + std::string(size - 20, 'a');
}

TEST(Validate, AcceptsOrRefusesWithTheFixedText) {
    // Input, Developer Mode, whether it is a domain to normalize, the result or refusal.
    const std::tuple<std::string, bool, bool, std::string> cases[] = {
        {urlOfBytes(8191), false, false, urlOfBytes(8191)},
        {urlOfBytes(8192), true, false, kMalformed},
        {" https://example.com/", false, false, kMalformed},
        {"https://example.com/\xFF", true, false, kMalformed},
        {"HTTPS://example.com", false, false, "HTTPS://example.com/"},
        {"//example.com/", false, false, kMalformed},
        {"http://example.com/", false, false, kPlainHTTP},
        {"HtTp://example.com/", true, false, "HtTp://example.com/"},
        {"https://@example.com/", false, false, kMalformed},
        {"https://example.com\\@evil.com/", false, false, kMalformed},
        // Credentials and bad ports are refused before the HTTP rule is consulted.
        {"http://a@example.com/", false, false, kMalformed},
        {"http://example.com:0/", false, false, kMalformed},
        {"https://ex%61mple.com/", false, false, kMalformed},
        {"https://[fe80::1%25eth0]/", false, false, kMalformed},
        {"https://0x7f.1/", false, false, "https://0x7f.1/"},
        {"https://example.com:00443/x", false, false, "https://example.com:443/x"},
        {"https://[::1]:8443", false, false, "https://[::1]:8443/"},
        {"https://[v1.x]/", true, false, kMalformed},
        {"https://example.com/a#", false, false, "https://example.com/a"},
        {"https://Example.COM/A/../B", false, false, "https://Example.COM/A/../B"},
        {"\xE3\x80\x80\texample.com\xE2\x80\xA8\xC2\xA0", false, true, "https://example.com/"},
        {"example.com:8443/docs#top", false, true, "https://example.com:8443/docs"},
        {"http://example.com", false, true, kPlainHTTP},
        {"http://example.com", true, true, "http://example.com/"},
        {"ftp://example.com", true, true, kMalformed},
        {" \n ", false, true, kMalformed},
        {"user@example.com", false, true, kMalformed},
    };
    for (const auto& [input, developerMode, domain, expected] : cases) {
        const NetworkPolicy policy(developerMode);
        EXPECT_EQ(outcome([&] {
                      return domain ? policy.normalizeDomain(input) : policy.validate(input);
                  }),
                  expected)
            << test::printable(input);
    }
}

TEST(Validate, RefusesEveryWhiteSpaceAndControlCharacter) {
    Strings characters{"\x7F"};
    for (char c = 0; c < 32; ++c)
        characters.emplace_back(1, c);
    // Every White_Space character of Unicode beyond ASCII.
    const std::string spaces = "\u0085\u00A0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007"
                               "\u2008\u2009\u200A\u2028\u2029\u202F\u205F\u3000";
    const auto* bytes = reinterpret_cast<const unsigned char*>(spaces.data());
    for (std::size_t at = 0, n; at < spaces.size(); at += n)
        characters.push_back(
            spaces.substr(at, n = utf8::sequenceLength(bytes + at, bytes + spaces.size())));
    const NetworkPolicy policy(true);
    for (const std::string& c : characters) {
        EXPECT_EQ(outcome([&] { return policy.validate("https://exa" + c + "mple.com/"); }),
                  kMalformed)
            << test::printable(c);
        EXPECT_EQ(outcome([&] { return policy.validate("https://example.com/#" + c); }), kMalformed)
            << test::printable(c);
        EXPECT_EQ(outcome([&] { return policy.normalizeDomain("exa" + c + "mple.com"); }),
                  kMalformed)
            << test::printable(c);
    }
}

TEST(Addresses, VetsOrdersAndDeduplicates) {
    const std::tuple<std::vector<std::optional<std::string>>, bool, std::string> cases[] = {
        {{"93.184.216.34", "10.0.0.1"}, false, kPrivate + "10.0.0.1)."},
        {{"1.1.1.1", "::1"}, false, kPrivate + "::1)."},
        {{"fe80::1%eth0"}, false, kPrivate + "fe80::1%eth0)."},
        {{"fe80::1%eth0"}, true, "fe80::1%eth0"},
        {{"::1", "127.0.0.1", "::1", "127.0.0.1"}, true, "127.0.0.1 ::1"},
        // IPv4 first, the resolver's order kept in each family.
        {{"2606:4700::2", "8.8.8.8", "2606:4700::1", "1.1.1.1", "8.8.8.8"},
         false,
         "8.8.8.8 1.1.1.1 2606:4700::2 2606:4700::1"},
        {{std::nullopt, "1.1.1.1"}, false, "1.1.1.1"},
        {{std::nullopt}, false, "DNS returned no usable addresses."},
        {{}, false, "DNS resolution failed: Success"},
    };
    for (const auto& [answer, developerMode, expected] : cases) {
        auto resolver = std::make_shared<test::FakeResolver>();
        resolver->answer("example.com", answer);
        NetworkPolicy policy(developerMode);
        policy.resolver = resolver;
        EXPECT_EQ(addresses(policy, "https://example.com/x"), expected);
    }
}

TEST(Addresses, PassesResolverFailuresOnAndStripsBrackets) {
    auto resolver = std::make_shared<test::FakeResolver>();
    resolver->fail("nowhere.example", "Name or service not known");
    resolver->answer("2606:4700::1", {"2606:4700::1"});
    resolver->answer("localhost.", {"127.0.0.1"});
    NetworkPolicy policy;
    policy.resolver = resolver;
    EXPECT_EQ(addresses(policy, "https://nowhere.example/"),
              "DNS resolution failed: Name or service not known");
    EXPECT_EQ(addresses(policy, "https://[2606:4700::1]:443/"), "2606:4700::1");
    addresses(policy, "not a url");
    // A trailing-dot name is looked up as written and vetted like any other.
    EXPECT_EQ(addresses(policy, "https://localhost./"), kPrivate + "127.0.0.1).");
    EXPECT_EQ(resolver->asked(), (Strings{"nowhere.example", "2606:4700::1", "", "localhost."}));

    // The system resolver: only loopback names and numeric hosts, which the C
    // library answers itself.
    const NetworkPolicy system;
    for (const char* url :
         {"https://localhost/", "https://2130706433/", "https://0x7f.1/", "https://127.1/",
          "https://0/", "https://[::1]/", "https://[::ffff:127.0.0.1]/",
          "https://[64:ff9b::7f00:1]/", "https://[2002:7f00:1::1]/", "https://[fe80::1]/",
          "https://017700000001/"})
        EXPECT_TRUE(addresses(system, url).starts_with(kPrivate)) << url;
    EXPECT_EQ(addresses(NetworkPolicy(true), "http://127.1/"), "127.0.0.1");
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
