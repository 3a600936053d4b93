#include "core/update/UpdateChannelError.h"

namespace quorilanth {

std::string_view toString(UpdateChannelError::Case value) noexcept {
    using C = UpdateChannelError::Case;
    switch (value) {
    case C::unconfigured:
        return "unconfigured";
    case C::unavailable:
        return "unavailable";
    case C::tooLarge:
        return "tooLarge";
    case C::invalidSignature:
        return "invalidSignature";
    case C::invalidRelease:
        return "invalidRelease";
    case C::unverifiedDownload:
        return "unverifiedDownload";
    case C::checksumMismatch:
        return "checksumMismatch";
    }
    return "unavailable";
}

const char* UpdateChannelError::what() const noexcept {
    // Every name is a literal, so the view is NUL-terminated.
    return toString(case_).data();
}

std::string_view UpdateChannelError::description() const noexcept {
    switch (case_) {
    case Case::unconfigured:
        return "The signed update channel is not configured in this build.";
    case Case::unavailable:
        return "The update server could not be reached. Please try again later.";
    case Case::tooLarge:
        return "The update server returned an oversized response. It was rejected.";
    case Case::invalidSignature:
        return "The update announcement could not be authenticated. No update was offered.";
    case Case::invalidRelease:
        return "The update announcement contains invalid release information. No update was "
               "offered.";
    case Case::unverifiedDownload:
        return "This download has not been authenticated by the update channel.";
    case Case::checksumMismatch:
        return "The downloaded file does not match the signed size or SHA-256 checksum.";
    }
    return {};
}

} // namespace quorilanth
