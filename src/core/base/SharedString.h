#pragma once

#include "core/base/JSONStorage.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace quorilanth {

class JSONValue;

// An immutable UTF-8 text whose bytes are shared between copies. Response bodies
// of up to 2 MB sit in every copy of a report, and reports are copied on each
// progress step, so copying one of these must cost a reference count, not a body.
// The bytes are one block with their length in front and a zero byte behind,
// the same block a long text inside a JSON value uses, so the two share it.
class SharedString {
public:
    SharedString() noexcept = default;
    SharedString(std::string_view text);
    SharedString(const std::string& text) : SharedString(std::string_view(text)) {}
    SharedString(const char* text) : SharedString(std::string_view(text)) {}
    SharedString(const SharedString& other) noexcept : bits_(other.bits_) { detail::retain(bits_); }
    SharedString(SharedString&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
    SharedString& operator=(SharedString other) noexcept {
        std::swap(bits_, other.bits_);
        return *this;
    }
    ~SharedString() { detail::release(bits_); }

    std::string_view view() const noexcept {
        return bits_ ? detail::textOfNode(detail::nodeOf(bits_)) : std::string_view("", 0);
    }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }
    // Always followed by a zero byte.
    const char* data() const noexcept { return view().data(); }
    const char* c_str() const noexcept { return view().data(); }
    std::size_t size() const noexcept { return view().size(); }
    bool empty() const noexcept { return bits_ == 0 || view().empty(); }

    // Two copies of one text answer this without looking at the bytes.
    bool sharesStorageWith(const SharedString& other) const noexcept {
        return bits_ == other.bits_;
    }

    friend bool operator==(const SharedString& a, const SharedString& b) noexcept {
        return a.bits_ == b.bits_ || a.view() == b.view();
    }
    friend bool operator==(const SharedString& a, std::string_view b) noexcept {
        return a.view() == b;
    }
    friend bool operator==(const SharedString& a, const char* b) noexcept {
        return a.view() == std::string_view(b);
    }
    friend std::strong_ordering operator<=>(const SharedString& a, const SharedString& b) noexcept {
        return a.view() <=> b.view();
    }

private:
    friend class JSONValue;
    // Takes over one reference to a text node.
    struct Adopt {};
    SharedString(Adopt, std::uint64_t bits) noexcept : bits_(bits) {}

    std::uint64_t bits_ = 0; // 0 (empty) or a heap text node
};

} // namespace quorilanth

template <> struct std::hash<quorilanth::SharedString> {
    std::size_t operator()(const quorilanth::SharedString& s) const noexcept {
        return std::hash<std::string_view>{}(s.view());
    }
};
