#include "core/update/UpdateManifestVerifier.h"

#include "core/base/UnicodeText.h"
#include "core/update/UpdateChannelError.h"
#include "core/update/UpdateJSON.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>
#include <set>
#include <sodium.h>
#include <sstream>
#include <stdexcept>

namespace quorilanth {
namespace {

using Error = UpdateChannelError;

[[noreturn]] void fail(Error::Case value) {
    throw Error(value);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

std::vector<std::string_view> splitDots(std::string_view text) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        auto dot = text.find('.', start);
        parts.push_back(text.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) return parts;
        start = dot + 1;
    }
}

// Three dot-separated decimal numbers without leading zeros.
bool isReleaseVersion(std::string_view text) {
    if (text.size() > 64) return false;
    auto parts = splitDots(text);
    return parts.size() == 3 && std::all_of(parts.begin(), parts.end(), [](std::string_view p) {
               return allDigits(p) && (p.size() == 1 || p.front() != '0');
           });
}

bool isDigest(std::string_view text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return isDigit(c) || (c >= 'a' && c <= 'f');
           });
}

int twoDigits(std::string_view text, std::size_t at) {
    if (at + 2 > text.size() || !isDigit(text[at]) || !isDigit(text[at + 1])) return -1;
    return (text[at] - '0') * 10 + (text[at + 1] - '0');
}

// An internet date-time: 2026-09-13T12:00:00Z or with a +hh:mm / -hh:mm zone,
// optionally (the second form) with fractional seconds.
bool isInternetDateTime(std::string_view text, bool fractionalSeconds) {
    if (text.size() < 20 || text.size() > 64) return false;
    if (!std::all_of(text.begin(), text.begin() + 4, isDigit)) return false;
    int year =
        (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return false;
    int month = twoDigits(text, 5), day = twoDigits(text, 8);
    int hour = twoDigits(text, 11), minute = twoDigits(text, 14), second = twoDigits(text, 17);
    static constexpr int daysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > daysIn[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    std::size_t at = 19;
    if (fractionalSeconds && at < text.size() && text[at] == '.') {
        std::size_t digits = ++at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        if (at == digits) return false;
    }
    std::string_view zone = text.substr(at);
    if (zone == "Z") return true;
    if (zone.size() != 6 || (zone[0] != '+' && zone[0] != '-') || zone[3] != ':') return false;
    int zoneHour = twoDigits(zone, 1), zoneMinute = twoDigits(zone, 4);
    return zoneHour >= 0 && zoneHour <= 23 && zoneMinute >= 0 && zoneMinute <= 59;
}

bool isValidDate(std::string_view text) {
    return isInternetDateTime(text, false) || isInternetDateTime(text, true);
}

struct Envelope {
    std::int64_t schema = 0;
    std::string algorithm;
    std::string keyID;
    std::string payload;
    std::string signature;
};

Envelope readEnvelope(std::string_view manifest) {
    try {
        rapidjson::Document document;
        if (!updatejson::parse(manifest, document)) fail(Error::Case::invalidSignature);
        updatejson::ObjectReader object(document);
        return {object.integer("schema"), object.string("algorithm"), object.string("keyId"),
                object.string("payload"), object.string("signature")};
    } catch (const std::invalid_argument&) {
        fail(Error::Case::invalidSignature);
    }
}

struct Payload {
    std::int64_t schema = 0;
    std::string channel;
    std::string generatedAt;
    UpdateRelease release;
};

Payload readPayload(std::string_view bytes) {
    try {
        rapidjson::Document document;
        if (!updatejson::parse(bytes, document)) fail(Error::Case::invalidRelease);
        updatejson::ObjectReader object(document);
        return {object.integer("schema"), object.string("channel"), object.string("generatedAt"),
                updatejson::readRelease(object.member("release"))};
    } catch (const std::invalid_argument&) {
        fail(Error::Case::invalidRelease);
    }
}

void checkNote(const std::map<std::string, std::string>& notes, const char* language) {
    if (notes.empty()) fail(Error::Case::invalidRelease);
    auto note = notes.find(language);
    // Text with something to read, of at most 5000 user-perceived characters.
    if (note == notes.end() || unicodeText::isBlank(note->second) ||
        unicodeText::graphemePrefix(note->second, 5000) < note->second.size())
        fail(Error::Case::invalidRelease);
}

void checkRelease(const UpdateRelease& release) {
    auto require = [](bool condition) {
        if (!condition) fail(Error::Case::invalidRelease);
    };
    require(isReleaseVersion(release.version));
    require(release.build >= 1);
    require(!release.architectures.empty());
    require(std::all_of(release.architectures.begin(), release.architectures.end(),
                        [](const std::string& a) { return a == "arm64" || a == "x86_64"; }));
    require(UpdateChannelConfiguration::allowsReleaseURL(release.downloadURL));
    require(isDigest(release.sha256));
    require(release.size >= 1 && release.size <= 536870912);
    require(isValidDate(release.publishedAt));
    checkNote(release.notes, "en");
    checkNote(release.notes, "it");
    require(UpdateManifestVerifier::parseSystemVersion(release.minimumSystemVersion).has_value());
    std::string architecturePart =
        release.architectures.size() == 1 ? release.architectures.front() : "universal";
    std::set<std::string> distinct(release.architectures.begin(), release.architectures.end());
    require(distinct.size() == release.architectures.size());
    std::string fileName = "Quorilanth-" + release.version + "-macOS-" + architecturePart + ".dmg";
    require(std::string_view(release.downloadURL).ends_with("/" + fileName));
}

} // namespace

UpdateCheckOutcome UpdateManifestVerifier::verify(std::span<const std::uint8_t> manifest,
                                                  std::int64_t installedBuild,
                                                  SystemVersion systemVersion,
                                                  std::string_view architecture) const {
    return verify(std::string_view(reinterpret_cast<const char*>(manifest.data()), manifest.size()),
                  installedBuild, systemVersion, architecture);
}

UpdateCheckOutcome UpdateManifestVerifier::verify(std::string_view manifest,
                                                  std::int64_t installedBuild,
                                                  SystemVersion systemVersion,
                                                  std::string_view architecture) const {
    if (manifest.size() > maximumBytes) fail(Error::Case::tooLarge);
    if (installedBuild < 1) fail(Error::Case::unconfigured);

    Envelope envelope = readEnvelope(manifest);
    if (envelope.schema != 1 || envelope.algorithm != "Ed25519" ||
        envelope.keyID != configuration_.keyID())
        fail(Error::Case::invalidSignature);
    auto payload = decodeStrictBase64(envelope.payload);
    if (!payload) fail(Error::Case::invalidSignature);
    auto signature = decodeStrictBase64(envelope.signature);
    if (!signature || signature->size() != crypto_sign_BYTES) fail(Error::Case::invalidSignature);
    if (sodium_init() < 0 ||
        crypto_sign_verify_detached(signature->data(), payload->data(), payload->size(),
                                    configuration_.publicKey().data()) != 0)
        fail(Error::Case::invalidSignature);

    // Only now, with the bytes authenticated, is the payload read at all.
    Payload content = readPayload(
        std::string_view(reinterpret_cast<const char*>(payload->data()), payload->size()));
    if (content.schema != 1 || content.channel != "stable" || !isValidDate(content.generatedAt))
        fail(Error::Case::invalidRelease);
    checkRelease(content.release);

    UpdateRelease& release = content.release;
    if (installedBuild >= release.build) return UpdateCheckOutcome::current();
    auto& listed = release.architectures;
    if (std::find(listed.begin(), listed.end(), architecture) == listed.end())
        return UpdateCheckOutcome::incompatible(std::move(release));
    auto minimum = parseSystemVersion(release.minimumSystemVersion);
    if (systemVersion < *minimum) return UpdateCheckOutcome::incompatible(std::move(release));
    return UpdateCheckOutcome::available(std::move(release));
}

std::optional<SystemVersion> UpdateManifestVerifier::parseSystemVersion(std::string_view text) {
    if (text.size() > 32) return std::nullopt;
    auto parts = splitDots(text);
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    std::int64_t numbers[3] = {0, 0, 0};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (!allDigits(parts[i])) return std::nullopt;
        auto [end, error] =
            std::from_chars(parts[i].data(), parts[i].data() + parts[i].size(), numbers[i]);
        if (error != std::errc() || end != parts[i].data() + parts[i].size()) return std::nullopt;
    }
    return SystemVersion{numbers[0], numbers[1], numbers[2]};
}

std::string_view UpdateManifestVerifier::currentArchitecture() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__aarch64__)
    return "arm64";
#else
    // No release is built for this machine; a name no release lists keeps it so.
    return "unsupported";
#endif
}

SystemVersion systemVersionFromOSRelease(std::string_view osRelease) {
    std::istringstream lines{std::string(osRelease.substr(0, 65536))};
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.starts_with("VERSION_ID=")) continue;
        std::string value = line.substr(11);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        // Many distributions number a release with one integer ("12"): that is 12.0.
        if (allDigits(value)) value += ".0";
        return UpdateManifestVerifier::parseSystemVersion(value).value_or(SystemVersion{});
    }
    return {};
}

SystemVersion runningSystemVersion() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream file(path);
        if (!file) continue;
        std::string text(65536, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        return systemVersionFromOSRelease(text);
    }
    return {};
}

} // namespace quorilanth
