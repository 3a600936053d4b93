#include "core/net/NetworkPolicy.h"

#include "core/model/QuorilanthError.h"
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

void PrintTo(const Case& c, std::ostream* os) {
    *os << test::printable(c.input) << (c.developerMode ? " in developer mode" : "");
}

std::string urlOfBytes(std::size_t size) {
    std::string url = "https://example.com/";
    url.append(size - url.size(), 'a');
    return url;
}

class Validate : public ::testing::TestWithParam<Case> {};

TEST_P(Validate, AcceptsOrRefusesWithTheFixedText) {
    const Case& c = GetParam();
    const NetworkPolicy policy(c.developerMode);
    EXPECT_EQ(outcome([&] { return policy.validate(c.input); }), c.expected)
        << test::printable(c.input);
}

INSTANTIATE_TEST_SUITE_P(Length, Validate,
                         ::testing::Values(Case{urlOfBytes(8191), false, urlOfBytes(8191)},
                                           Case{urlOfBytes(8192), false, kMalformed},
                                           Case{urlOfBytes(8192), true, kMalformed}));

// Every single character is covered below; these are the spellings around it.
INSTANTIATE_TEST_SUITE_P(SpacesAndControls, Validate,
                         ::testing::Values(Case{"https://example.com/\r\n", false, kMalformed},
                                           Case{" https://example.com/", false, kMalformed},
                                           Case{"https://example.com/\xFF", true, kMalformed}));

INSTANTIATE_TEST_SUITE_P(
    SchemesAndCredentials, Validate,
    ::testing::Values(Case{"ftp://example.com/", false, kMalformed},
                      Case{"ftp://example.com/", true, kMalformed},
                      Case{"HTTPS://example.com", false, "HTTPS://example.com/"},
                      Case{"example.com", false, kMalformed},
                      Case{"//example.com/", false, kMalformed},
                      Case{"https:example.com", false, kMalformed},
                      Case{"http://example.com/", false, kPlainHTTP},
                      Case{"HtTp://example.com/", true, "HtTp://example.com/"},
                      Case{"https://a@example.com/", false, kMalformed},
                      Case{"https://:@example.com/", false, kMalformed},
                      Case{"https://@example.com/", false, kMalformed},
                      Case{"https://a:b@example.com/", true, kMalformed},
                      // Credentials and bad ports are refused before the HTTP rule is consulted.
                      Case{"http://a@example.com/", false, kMalformed},
                      Case{"http://example.com:0/", false, kMalformed}));

INSTANTIATE_TEST_SUITE_P(
    Hosts, Validate,
    ::testing::Values(Case{"https:///path", false, kMalformed},
                      Case{"https://:443/", false, kMalformed},
                      Case{"https://ex%61mple.com/", false, kMalformed},
                      Case{"https://ex\\ample.com/", false, kMalformed},
                      Case{"https://example.com\\@evil.com/", false, kMalformed},
                      Case{"https://[fe80::1%25eth0]/", false, kMalformed},
                      Case{"https://b\xC3\xBC"
                           "cher.de/",
                           false, kMalformed},
                      Case{"https://1.2.3.4.example.com/", false, "https://1.2.3.4.example.com/"},
                      Case{"https://[::1]/", false, "https://[::1]/"},
                      Case{"https://2130706433/", false, "https://2130706433/"},
                      Case{"https://0x7f.1/", false, "https://0x7f.1/"},
                      Case{"https://0/", false, "https://0/"},
                      Case{"https://example.com./", false, "https://example.com./"}));

INSTANTIATE_TEST_SUITE_P(
    Ports, Validate,
    ::testing::Values(Case{"https://example.com:0/", false, kMalformed},
                      Case{"https://example.com:65536/", false, kMalformed},
                      Case{"https://example.com:18446744073709551617/", false, kMalformed},
                      Case{"https://example.com:65535/", false, "https://example.com:65535/"},
                      Case{"https://example.com:00443/x", false, "https://example.com:443/x"},
                      Case{"https://example.com:/x", false, "https://example.com/x"},
                      Case{"https://[::1]:8443", false, "https://[::1]:8443/"},
                      Case{"https://example.com:8a/", false, kMalformed}));

INSTANTIATE_TEST_SUITE_P(
    Rebuilding, Validate,
    ::testing::Values(Case{"https://example.com", false, "https://example.com/"},
                      Case{"https://example.com/a#frag", false, "https://example.com/a"},
                      Case{"https://example.com/a#", false, "https://example.com/a"},
                      Case{"https://example.com?b=%20&a=1", false,
                           "https://example.com/?b=%20&a=1"},
                      Case{"https://example.com/p?#f", false, "https://example.com/p?"},
                      Case{"https://Example.COM/A/../B", false, "https://Example.COM/A/../B"}));

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
             {"https://example.com/a" + character + "b", "https://exa" + character + "mple.com/",
              "https://example.com/?" + character, "https://example.com/#" + character}) {
            EXPECT_EQ(outcome([&] { return policy.validate(url); }), kMalformed)
                << test::printable(url);
        }
        EXPECT_EQ(outcome([&] { return policy.normalizeDomain("exa" + character + "mple.com"); }),
                  kMalformed)
            << test::printable(character);
    }
}

class NormalizeDomain : public ::testing::TestWithParam<Case> {};

TEST_P(NormalizeDomain, TrimsAddsHttpsAndValidates) {
    const Case& c = GetParam();
    const NetworkPolicy policy(c.developerMode);
    EXPECT_EQ(outcome([&] { return policy.normalizeDomain(c.input); }), c.expected)
        << test::printable(c.input);
}

INSTANTIATE_TEST_SUITE_P(
    Table, NormalizeDomain,
    ::testing::Values(Case{"  example.com \n", false, "https://example.com/"},
                      Case{"\xE3\x80\x80\texample.com\xE2\x80\xA8\xC2\xA0", false,
                           "https://example.com/"},
                      Case{"example.com:8443/docs#top", false, "https://example.com:8443/docs"},
                      Case{"http://example.com", false, kPlainHTTP},
                      Case{"http://example.com", true, "http://example.com/"},
                      Case{"ftp://example.com", true, kMalformed}, Case{"", false, kMalformed},
                      Case{" \n ", false, kMalformed}, Case{"exa mple.com", false, kMalformed},
                      Case{"user@example.com", false, kMalformed}));

using Strings = std::vector<std::string>;
using Answer = std::vector<std::optional<std::string>>;

struct AddressCase {
    const char* name;
    std::vector<std::optional<std::string>> answer;
    bool developerMode;
    std::string expected;
};
void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.name;
}

class Addresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(Addresses, VetsOrdersAndDeduplicates) {
    const AddressCase& c = GetParam();
    auto resolver = std::make_shared<test::FakeResolver>();
    resolver->answer("example.com", c.answer);
    NetworkPolicy policy(c.developerMode);
    policy.resolver = resolver;
    EXPECT_EQ(outcome([&] { return policy.addresses("https://example.com/x"); }), c.expected)
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Addresses,
    ::testing::Values(
        AddressCase{"public", Answer{"93.184.216.34"}, false, "93.184.216.34"},
        AddressCase{"private after public", Answer{"93.184.216.34", "10.0.0.1"}, false,
                    blockedAddress("10.0.0.1")},
        AddressCase{"private before public", Answer{"10.0.0.1", "93.184.216.34"}, false,
                    blockedAddress("10.0.0.1")},
        AddressCase{"v6 private after v4 public", Answer{"1.1.1.1", "::1"}, false,
                    blockedAddress("::1")},
        AddressCase{"link-local with zone", Answer{"fe80::1%eth0"}, false,
                    blockedAddress("fe80::1%eth0")},
        AddressCase{"zone allowed in developer mode", Answer{"fe80::1%eth0"}, true, "fe80::1%eth0"},
        AddressCase{"loopback in developer mode", Answer{"::1", "127.0.0.1", "::1", "127.0.0.1"},
                    true, "127.0.0.1 ::1"},
        AddressCase{"IPv4 first, resolver order kept in each family",
                    Answer{"2606:4700::2", "8.8.8.8", "2606:4700::1", "1.1.1.1", "8.8.8.8"}, false,
                    "8.8.8.8 1.1.1.1 2606:4700::2 2606:4700::1"},
        AddressCase{"unconvertible entries skipped", Answer{std::nullopt, "1.1.1.1"}, false,
                    "1.1.1.1"},
        AddressCase{"nothing convertible", Answer{std::nullopt, std::nullopt}, false,
                    "DNS returned no usable addresses."},
        AddressCase{"empty answer", Answer{}, false, "DNS resolution failed: Success"}));

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
}

TEST(Addresses, DeveloperModeReachesLoopbackIPv4First) {
    const Strings found = NetworkPolicy(true).addresses("http://localhost:8080/");
    ASSERT_FALSE(found.empty());
    EXPECT_TRUE(found.front() == "127.0.0.1" || found.front() == "::1");
    for (std::size_t i = 1; i < found.size(); ++i) {
        EXPECT_FALSE(found[i - 1].find(':') != std::string::npos &&
                     found[i].find(':') == std::string::npos);
    }
    EXPECT_EQ(NetworkPolicy(true).addresses("http://127.1/"), Strings{"127.0.0.1"});
}

struct PublicCase {
    const char* address;
    bool isPublic;
};

void PrintTo(const PublicCase& c, std::ostream* os) {
    *os << c.address;
}

class IsPublicAddress : public ::testing::TestWithParam<PublicCase> {};

TEST_P(IsPublicAddress, ClassifiesBlocksAtTheirEdges) {
    EXPECT_EQ(NetworkPolicy::isPublicAddress(GetParam().address), GetParam().isPublic)
        << GetParam().address;
}

INSTANTIATE_TEST_SUITE_P(
    IPv4, IsPublicAddress,
    ::testing::Values(PublicCase{"127.0.0.1", false}, PublicCase{"10.1.2.3", false},
                      PublicCase{"100.64.0.1", false}, PublicCase{"169.254.1.1", false},
                      PublicCase{"192.0.0.8", false}, PublicCase{"198.19.255.255", false},
                      PublicCase{"224.0.0.1", false}, PublicCase{"255.255.255.255", false},
                      PublicCase{"0.0.0.0", false}, PublicCase{"0.255.255.255", false},
                      PublicCase{"192.88.99.1", false}, PublicCase{"203.0.113.9", false},
                      PublicCase{"198.51.100.1", false}, PublicCase{"192.0.2.1", false},
                      PublicCase{"172.16.0.0", false}, PublicCase{"172.31.255.255", false},
                      PublicCase{"192.168.255.255", false}, PublicCase{"100.127.255.255", false},
                      PublicCase{"198.18.0.0", false},
                      // Just outside each block.
                      PublicCase{"198.20.0.1", true}, PublicCase{"100.128.0.1", true},
                      PublicCase{"100.63.255.255", true}, PublicCase{"172.15.255.255", true},
                      PublicCase{"172.32.0.0", true}, PublicCase{"198.17.255.255", true},
                      PublicCase{"192.0.1.1", true}, PublicCase{"223.255.255.255", true},
                      PublicCase{"1.0.0.0", true}, PublicCase{"8.8.8.8", true},
                      PublicCase{"11.0.0.0", true}, PublicCase{"126.255.255.255", true},
                      PublicCase{"128.0.0.0", true}));

INSTANTIATE_TEST_SUITE_P(
    IPv6, IsPublicAddress,
    ::testing::Values(PublicCase{"::1", false}, PublicCase{"::", false},
                      PublicCase{"fe80::1", false}, PublicCase{"fc00::1", false},
                      PublicCase{"ff02::1", false}, PublicCase{"::ffff:8.8.8.8", false},
                      PublicCase{"64:ff9b::808:808", false}, PublicCase{"2001:db8::1", false},
                      PublicCase{"2001:1ff::1", false}, PublicCase{"2001::1", false},
                      PublicCase{"2002::1", false}, PublicCase{"2002:808:808::1", false},
                      PublicCase{"3fff:fff::1", false}, PublicCase{"4000::1", false},
                      PublicCase{"1fff:ffff::1", false}, PublicCase{"2001:200::1", true},
                      PublicCase{"2606:4700::1", true}, PublicCase{"3fff:1000::1", true},
                      PublicCase{"2001:db9::1", true}, PublicCase{"2003::1", true},
                      PublicCase{"3ffe::1", true}, PublicCase{"2000::", true}));

INSTANTIATE_TEST_SUITE_P(
    NotAddresses, IsPublicAddress,
    ::testing::Values(PublicCase{"", false}, PublicCase{"example.com", false},
                      PublicCase{"fe80::1%eth0", false}, PublicCase{"2606:4700::1%eth0", false},
                      PublicCase{"8.8.8", false}, PublicCase{" 8.8.8.8", false},
                      PublicCase{"8.8.8.8 ", false}, PublicCase{"08.8.8.8", false},
                      PublicCase{"[2606:4700::1]", false}));

TEST(IsPublicAddress, RefusesTextWithAnEmbeddedNul) {
    EXPECT_FALSE(NetworkPolicy::isPublicAddress(std::string("8.8.8.8\0.1", 10)));
}

} // namespace
} // namespace quorilanth
