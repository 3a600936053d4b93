#include "core/update/UpdateChannelConfiguration.h"

#include "core/update/BuildInfo.h"

#include <algorithm>
#include <sodium.h>

namespace quorilanth {
namespace {

bool isKeyIDCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Quorilanth-<n>.<n>.<n>-macOS-(arm64|universal|x86_64).dmg, nothing more.
bool isReleaseFileName(std::string_view name) {
    constexpr std::string_view head = "Quorilanth-";
    constexpr std::string_view tail = ".dmg";
    if (!name.starts_with(head) || !name.ends_with(tail)) return false;
    name.remove_prefix(head.size());
    name.remove_suffix(tail.size());
    auto dash = name.find("-macOS-");
    if (dash == std::string_view::npos) return false;
    std::string_view architecture = name.substr(dash + 7);
    if (architecture != "arm64" && architecture != "universal" && architecture != "x86_64")
        return false;
    std::string_view version = name.substr(0, dash);
    int dots = 0;
    for (std::size_t start = 0;; ++dots) {
        auto dot = version.find('.', start);
        if (!isDigits(version.substr(start, dot == std::string_view::npos ? dot : dot - start)))
            return false;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    return dots == 2;
}

} // namespace

std::optional<UpdateChannelConfiguration>
UpdateChannelConfiguration::make(std::string keyID, std::span<const std::uint8_t> publicKey) {
    if (keyID.empty() || keyID.size() > 100 ||
        !std::all_of(keyID.begin(), keyID.end(), isKeyIDCharacter))
        return std::nullopt;
    if (publicKey.size() != PublicKey().size()) return std::nullopt;
    PublicKey key{};
    std::copy(publicKey.begin(), publicKey.end(), key.begin());
    return UpdateChannelConfiguration(std::move(keyID), key);
}

std::optional<UpdateChannelConfiguration>
UpdateChannelConfiguration::load(const ApplicationBundle& bundle) {
    auto feed = bundle.value("QuorilanthUpdateFeedURL");
    if (!feed || *feed != feedURL()) return std::nullopt;
    auto keyID = bundle.value("QuorilanthUpdateKeyID");
    if (!keyID) return std::nullopt;
    auto encodedKey = bundle.value("QuorilanthUpdatePublicKey");
    if (!encodedKey) return std::nullopt;
    auto key = decodeStrictBase64(*encodedKey);
    if (!key) return std::nullopt;
    return make(std::string(*keyID), *key);
}

std::string_view UpdateChannelConfiguration::updateHost() {
    return buildinfo::kUpdateHost;
}

const std::string& UpdateChannelConfiguration::feedURL() {
    static const std::string url =
        "https://" + std::string(updateHost()) + "/quorilanth/api/v1/update.json";
    return url;
}

bool UpdateChannelConfiguration::allowsReleaseURL(std::string_view url) {
    std::string prefix = "https://" + std::string(updateHost()) + std::string(downloadPrefix);
    if (!url.starts_with(prefix)) return false;
    return isReleaseFileName(url.substr(prefix.size()));
}

std::optional<std::vector<std::uint8_t>> decodeStrictBase64(std::string_view text) {
    if (sodium_init() < 0) return std::nullopt;
    std::vector<std::uint8_t> bytes(text.size() / 4 * 3 + 3);
    std::size_t length = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length,
                          &end, sodium_base64_VARIANT_ORIGINAL) != 0)
        return std::nullopt;
    // The decoder stops quietly at the first character outside the alphabet.
    if (end != text.data() + text.size()) return std::nullopt;
    bytes.resize(length);
    return bytes;
}

std::string encodeBase64(std::span<const std::uint8_t> bytes) {
    if (sodium_init() < 0) return {};
    std::string text(sodium_base64_ENCODED_LEN(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1); // the terminating NUL
    return text;
}

} // namespace quorilanth
