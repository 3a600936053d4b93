#pragma once

#include "core/base/Date.h"
#include "core/base/JSONValue.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quorilanth {

// The writer behind every JSON text the system shows or saves: pretty-printed
// with two spaces per level, " : " between key and value, slashes unescaped,
// non-ASCII as UTF-8, doubles in their shortest round-trip form without a
// trailing ".0", dates as UTC seconds. Callers give object members in ascending
// byte order of their keys (JSONValue objects are kept so already).
//
// Appends to the given string, or with a sink hands the text over in pieces of
// about kPiece bytes as it grows (call finish() at the end), so that a long
// document never has to be held whole. A number that is not finite, or nesting
// beyond kMaxNesting, throws QuorilanthError and leaves the output unfinished;
// callers discard it.
class PrettyJSONWriter {
public:
    // Deepest nesting written, the enclosing records' levels included: room for
    // a value at the parse limit inside a report, plus values the engine wrapped
    // after parsing them. Deeper output throws, so that nothing is ever written
    // that the readers would refuse (and no walk of it runs deeper than this).
    static constexpr std::size_t kMaxNesting = JSONValue::kMaxNesting + 64;

    using Sink = std::function<void(std::string_view piece)>;
    static constexpr std::size_t kPiece = 1 << 16;

    explicit PrettyJSONWriter(std::string& out) : out_(out) {}
    PrettyJSONWriter(std::string& buffer, Sink sink) : out_(buffer), sink_(std::move(sink)) {}
    // Hands what is left in the buffer to the sink.
    void finish();

    void beginObject();
    void key(std::string_view key);
    void endObject();
    void beginArray();
    void endArray();

    void value(const JSONValue& value);
    void string(std::string_view text);
    void number(double value);
    void integer(std::int64_t value);
    void boolean(bool value);
    void null();
    void date(Date value);

    // The double as the writer lays it out ("0.5", "3", "1e-05", "1e+16"), or
    // nothing when it is not finite.
    static std::optional<std::string> formatNumber(double value);

private:
    void beforeValue();
    void enter(char bracket);
    void newline();

    std::string& out_;
    Sink sink_;
    std::size_t level_ = 0;
    bool first_ = true;     // no member or element yet in the open container
    bool afterKey_ = false; // the next value follows a key on the same line
};

} // namespace quorilanth
