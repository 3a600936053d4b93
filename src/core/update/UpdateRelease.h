#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorilanth {

// A release as the channel announces it. Decoding checks only presence and
// JSON types; a release is trusted only once the manifest verifier accepted it.
struct UpdateRelease {
    std::string version;
    std::int64_t build = 0;
    std::string minimumSystemVersion;
    std::vector<std::string> architectures;
    bool mandatory = false;
    std::string publishedAt;
    std::map<std::string, std::string> notes;
    std::string downloadURL;
    std::string sha256;
    std::int64_t size = 0;

    // The note to show for the user's preferred languages (most preferred first).
    std::string localizedNotes(const std::vector<std::string>& languages) const;

    // All ten keys, sorted, compact. Integers are written exactly.
    std::string toJSON() const;
    // Throws std::invalid_argument on a missing key, a wrong type, a number
    // that is not an exact 64-bit integer, or text that is not one JSON object.
    static UpdateRelease fromJSON(std::string_view json);

    friend bool operator==(const UpdateRelease&, const UpdateRelease&) = default;
};

class UpdateCheckOutcome {
public:
    enum class Kind { available, incompatible, current, notPublished };

    static UpdateCheckOutcome available(UpdateRelease release) {
        return {Kind::available, std::move(release)};
    }
    static UpdateCheckOutcome incompatible(UpdateRelease release) {
        return {Kind::incompatible, std::move(release)};
    }
    static UpdateCheckOutcome current() { return {Kind::current, std::nullopt}; }
    static UpdateCheckOutcome notPublished() { return {Kind::notPublished, std::nullopt}; }

    Kind kind() const { return kind_; }
    // Present for available and incompatible only.
    const std::optional<UpdateRelease>& release() const { return release_; }

    friend bool operator==(const UpdateCheckOutcome&, const UpdateCheckOutcome&) = default;

private:
    UpdateCheckOutcome(Kind kind, std::optional<UpdateRelease> release)
        : kind_(kind), release_(std::move(release)) {}

    Kind kind_;
    std::optional<UpdateRelease> release_;
};

std::string_view toString(UpdateCheckOutcome::Kind kind);

} // namespace quorilanth
