#include "core/base/PrettyJSONWriter.h"

#include "core/base/JSONText.h"
#include "core/base/UTF8.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace quorilanth {

namespace {

void appendEscaped(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    auto end = p + text.size();
    out.push_back('"');
    while (p < end) {
        const unsigned char* run = p;
        p += detail::plainRunLength(p, end);
        out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run));
        if (p == end) break;
        unsigned char c = *p;
        if (c >= 0x80) {
            // Text that is not well-formed UTF-8 would make the file unreadable,
            // so each broken byte is written as U+FFFD instead.
            std::size_t length = utf8::sequenceLength(p, end);
            if (length == 0) {
                out.append("\xEF\xBF\xBD");
                ++p;
            } else {
                out.append(reinterpret_cast<const char*>(p), length);
                p += length;
            }
            continue;
        }
        out.push_back('\\');
        switch (c) {
        case '"':
            out.push_back('"');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case '\n':
            out.push_back('n');
            break;
        case '\r':
            out.push_back('r');
            break;
        case '\t':
            out.push_back('t');
            break;
        case '\b':
            out.push_back('b');
            break;
        case '\f':
            out.push_back('f');
            break;
        default:
            out.append("u00");
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0xF]);
        }
        ++p;
    }
    out.push_back('"');
}

} // namespace

std::optional<std::string> PrettyJSONWriter::formatNumber(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    if (value == 0) return std::signbit(value) ? "-0" : "0";
    // Whole numbers up to 2^53, most numbers a site sends, read the same as
    // their integer: no need for the digits-and-exponent road below.
    if (std::fabs(value) <= 9007199254740992.0 && std::trunc(value) == value) {
        char whole[24];
        auto written = std::to_chars(whole, whole + sizeof whole, static_cast<std::int64_t>(value));
        return std::string(whole, written.ptr);
    }

    // Shortest round-trip digits and the power of ten of the first one.
    char buffer[64];
    auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    std::size_t e = scientific.find('e');
    bool negative = scientific[0] == '-';
    std::string digits;
    for (char c : scientific.substr(0, e))
        if (c >= '0' && c <= '9') digits.push_back(c);
    int exponent = 0;
    std::from_chars(scientific.data() + e + 1 + (scientific[e + 1] == '+'),
                    scientific.data() + scientific.size(), exponent);

    std::string text = negative ? "-" : "";
    // Plain decimals from 0.0001 up to 2^53, where every whole number is still
    // exact; exponent form beyond, with at least two exponent digits.
    if (exponent < -4 || std::fabs(value) > 9007199254740992.0) {
        text += digits[0];
        if (digits.size() > 1) text += "." + digits.substr(1);
        text += exponent < 0 ? "e-" : "e+";
        int magnitude = std::abs(exponent);
        if (magnitude < 10) text += '0';
        text += std::to_string(magnitude);
    } else if (exponent < 0) {
        text += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            text += digits + std::string(whole - digits.size(), '0');
        } else {
            text += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    }
    return text;
}

void PrettyJSONWriter::newline() {
    out_.push_back('\n');
    out_.append(level_ * 2, ' ');
}

void PrettyJSONWriter::finish() {
    if (!sink_ || out_.empty()) return;
    sink_(out_);
    out_.clear();
}

void PrettyJSONWriter::beforeValue() {
    if (sink_ && out_.size() >= kPiece) finish();
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (level_ == 0) return;
    if (!first_) out_.push_back(',');
    first_ = false;
    newline();
}

void PrettyJSONWriter::enter(char bracket) {
    if (level_ >= kMaxNesting)
        throw QuorilanthError("Cannot write JSON: it is nested more than " +
                              std::to_string(kMaxNesting) + " levels deep.");
    beforeValue();
    out_.push_back(bracket);
    ++level_;
    first_ = true;
}

void PrettyJSONWriter::beginObject() {
    enter('{');
}

void PrettyJSONWriter::key(std::string_view name) {
    beforeValue();
    appendEscaped(out_, name);
    out_.append(" : ");
    afterKey_ = true;
}

void PrettyJSONWriter::endObject() {
    --level_;
    if (!first_) newline();
    out_.push_back('}');
    first_ = false;
}

void PrettyJSONWriter::beginArray() {
    enter('[');
}

void PrettyJSONWriter::endArray() {
    --level_;
    if (!first_) newline();
    out_.push_back(']');
    first_ = false;
}

void PrettyJSONWriter::string(std::string_view text) {
    beforeValue();
    appendEscaped(out_, text);
}

void PrettyJSONWriter::number(double value) {
    std::optional<std::string> text = formatNumber(value);
    if (!text)
        throw QuorilanthError("Cannot write JSON: the number " + std::to_string(value) +
                              " has no JSON form.");
    beforeValue();
    out_.append(*text);
}

void PrettyJSONWriter::integer(std::int64_t value) {
    beforeValue();
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.append(buffer, result.ptr);
}

void PrettyJSONWriter::boolean(bool value) {
    beforeValue();
    out_.append(value ? "true" : "false");
}

void PrettyJSONWriter::null() {
    beforeValue();
    out_.append("null");
}

void PrettyJSONWriter::date(Date value) {
    string(iso8601(value));
}

void PrettyJSONWriter::value(const JSONValue& value) {
    switch (value.kind()) {
    case JSONValue::Kind::object:
        beginObject();
        for (const auto& [name, member] : *value.object()) {
            key(name);
            this->value(member);
        }
        endObject();
        break;
    case JSONValue::Kind::array:
        beginArray();
        for (const JSONValue& element : value.array())
            this->value(element);
        endArray();
        break;
    case JSONValue::Kind::string:
        string(*value.string());
        break;
    case JSONValue::Kind::number:
        number(*value.number());
        break;
    case JSONValue::Kind::boolean:
        boolean(*value.boolean());
        break;
    case JSONValue::Kind::null:
        null();
        break;
    }
}

} // namespace quorilanth
