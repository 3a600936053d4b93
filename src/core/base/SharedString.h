#pragma once

#include <compare>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quorilanth {

// An immutable UTF-8 text whose bytes are shared between copies. Response bodies
// of up to 2 MB sit in every copy of a report, and reports are copied on each
// progress step, so copying one of these must cost a reference count, not a body.
class SharedString {
public:
    SharedString() noexcept = default;
    SharedString(std::string text);
    SharedString(std::string_view text) : SharedString(std::string(text)) {}
    SharedString(const char* text) : SharedString(std::string(text)) {}

    const std::string& str() const noexcept { return text_ ? *text_ : emptyText(); }
    std::string_view view() const noexcept { return str(); }
    operator std::string_view() const noexcept { return str(); }
    const char* data() const noexcept { return str().data(); }
    const char* c_str() const noexcept { return str().c_str(); }
    std::size_t size() const noexcept { return text_ ? text_->size() : 0; }
    bool empty() const noexcept { return size() == 0; }

    // Two copies of one text answer this without looking at the bytes.
    bool sharesStorageWith(const SharedString& other) const noexcept {
        return text_ == other.text_;
    }

    friend bool operator==(const SharedString& a, const SharedString& b) noexcept {
        return a.text_ == b.text_ || a.view() == b.view();
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
    static const std::string& emptyText() noexcept;
    std::shared_ptr<const std::string> text_;
};

} // namespace quorilanth

template <> struct std::hash<quorilanth::SharedString> {
    std::size_t operator()(const quorilanth::SharedString& s) const noexcept {
        return std::hash<std::string_view>{}(s.view());
    }
};
