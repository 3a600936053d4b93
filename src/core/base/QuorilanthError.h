#pragma once

#include <stdexcept>
#include <string>

namespace quorilanth {

// The one error type of the core, the AI engine and the application: a single
// user-facing message text, fixed English for everything the scanner says.
class QuorilanthError : public std::runtime_error {
public:
    explicit QuorilanthError(const std::string& message) : std::runtime_error(message) {}
    const std::string& message() const noexcept { return message_; }

private:
    // what() already holds it; a copy keeps a reference-returning accessor cheap.
    std::string message_ = what();
};

// Cooperative cancellation of a long operation, with one fixed text.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("Cancelled") {}
};

} // namespace quorilanth
