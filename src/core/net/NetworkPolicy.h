#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// What a name lookup answered, before any policy is applied.
struct ResolverAnswer {
    // False when the lookup failed; errorText then holds the C library's text.
    bool succeeded = false;
    std::string errorText;
    // One entry per address in the resolver's order: its numeric text, or
    // nothing when that address could not be turned into text.
    std::vector<std::optional<std::string>> entries;
};

// The seam between the policy and the system's name lookup, so tests can feed
// any answer without touching real DNS.
class Resolver {
public:
    virtual ~Resolver() = default;
    virtual ResolverAnswer resolve(const std::string& host) const = 0;
};

// getaddrinfo (any family, stream sockets) and getnameinfo with NI_NUMERICHOST.
class SystemResolver final : public Resolver {
public:
    ResolverAnswer resolve(const std::string& host) const override;
};

std::shared_ptr<const Resolver> systemResolver();

// The rules under which every request touches the network. A plain value:
// copy it, change the limits, hand it on.
struct NetworkPolicy {
    bool developerMode = false;
    double timeout = 15.0;
    std::int64_t maxBytes = 2000000;
    std::int64_t maxRedirects = 5;
    // Not one of the limits: where addresses(for:) looks names up.
    std::shared_ptr<const Resolver> resolver = systemResolver();

    NetworkPolicy() = default;
    explicit NetworkPolicy(bool developerMode_) : developerMode(developerMode_) {}

    // The normalised URL text (fragment removed, empty path made "/"), or
    // QuorilanthError with a "Blocked: " text.
    std::string validate(std::string_view url) const;

    // What a user typed (bare domain or full URL) as a validated URL.
    std::string normalizeDomain(std::string_view input) const;

    // The vetted numeric addresses of the URL's host, IPv4 first, each once.
    std::vector<std::string> addresses(std::string_view url) const;

    static bool isPublicAddress(std::string_view address);
};

} // namespace quorilanth
