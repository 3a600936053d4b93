#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <string_view>

namespace quorilanth {

// The update channel's own failures. Printed as such (the self-tests' FAIL
// lines) an error is its case name; description() is the English sentence for
// a reader. Transport, file and cancellation failures are not among these:
// they travel as the exceptions that reported them.
class UpdateChannelError : public std::exception {
public:
    enum class Case {
        unconfigured,
        unavailable,
        tooLarge,
        invalidSignature,
        invalidRelease,
        unverifiedDownload,
        checksumMismatch,
    };

    explicit UpdateChannelError(Case value) noexcept : case_(value) {}

    Case value() const noexcept { return case_; }
    // The case name, e.g. "unconfigured".
    const char* what() const noexcept override;
    std::string_view description() const noexcept;

    friend bool operator==(const UpdateChannelError& a, const UpdateChannelError& b) noexcept {
        return a.case_ == b.case_;
    }

private:
    Case case_;
};

std::string_view toString(UpdateChannelError::Case value) noexcept;

} // namespace quorilanth

template <> struct std::hash<quorilanth::UpdateChannelError> {
    std::size_t operator()(const quorilanth::UpdateChannelError& error) const noexcept {
        return std::hash<int>{}(static_cast<int>(error.value()));
    }
};
