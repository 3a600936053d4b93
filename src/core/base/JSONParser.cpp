#include "core/base/JSONParser.h"

#include "core/base/JSONText.h"
#include "core/base/UTF8.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quorilanth::detail {

namespace {

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void appendUTF8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// A number whose text from_chars could not hold: beyond the largest double
// (refused) or below the smallest (zero)? Decided from the position of the
// first significant digit plus the exponent, which saturates, so a text of any
// length is handled.
bool overflows(std::string_view text) {
    std::size_t i = text[0] == '-' ? 1 : 0;
    long long integerDigits = 0, firstSignificant = 0;
    bool seen = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!seen && text[i] != '0') seen = true, firstSignificant = integerDigits;
        ++integerDigits;
    }
    // Power of ten of the first significant digit.
    long long power = seen ? integerDigits - 1 - firstSignificant : 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (long long position = -1; i < text.size() && text[i] >= '0' && text[i] <= '9';
             ++i, --position)
            if (!seen && text[i] != '0') seen = true, power = position;
    }
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negative = false;
        if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
        for (; i < text.size(); ++i)
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    return seen && power + exponent > 0;
}

class Parser {
public:
    Parser(std::string_view text, std::size_t maxNesting)
        : begin_(reinterpret_cast<const unsigned char*>(text.data())), p_(begin_),
          end_(begin_ + text.size()), maxNesting_(maxNesting) {}

    JSONValue document() {
        skipWhitespace();
        JSONValue value;
        for (;;) {
            // Open containers until a complete value is in hand...
            bool complete = false;
            while (!complete) {
                if (p_ == end_) fail("Unexpected end of input.");
                if (*p_ == '{' || *p_ == '[') {
                    complete = open(value);
                } else {
                    value = scalar();
                    complete = true;
                }
            }
            // ...then hand it to the containers it closes.
            for (;;) {
                if (stack_.empty()) {
                    skipWhitespace();
                    if (p_ != end_) fail("Unexpected content after the value.");
                    return value;
                }
                Frame& top = stack_.back();
                if (top.isObject)
                    top.object.insert_or_assign(std::move(top.key), std::move(value));
                else
                    top.array.push_back(std::move(value));
                skipWhitespace();
                if (p_ == end_) fail("Unexpected end of input.");
                if (*p_ == ',') {
                    ++p_;
                    skipWhitespace();
                    if (top.isObject) memberKey(top.key);
                    break;
                }
                close(top.isObject, value);
            }
        }
    }

private:
    struct Frame {
        bool isObject = false;
        JSONValue::Object object;
        JSONValue::Array array;
        std::string key;
    };

    [[noreturn]] void fail(const char* reason) const {
        auto offset = static_cast<std::size_t>(p_ - begin_);
        throw JSONParseError("Invalid JSON at offset " + std::to_string(offset) + ": " + reason,
                             offset);
    }

    void skipWhitespace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
            ++p_;
    }

    // At "{" or "[": opens a level. An empty container is complete at once
    // (true, in value); otherwise the first member's key has been read.
    bool open(JSONValue& value) {
        // Refusing before the level exists is what keeps a run of millions of
        // "[" from ever being built, or torn down, level by level.
        if (stack_.size() >= maxNesting_) fail("Too many nested arrays or objects.");
        bool isObject = *p_++ == '{';
        skipWhitespace();
        if (p_ < end_ && *p_ == (isObject ? '}' : ']')) {
            ++p_;
            value = isObject ? JSONValue::emptyObject() : JSONValue::emptyArray();
            return true;
        }
        stack_.emplace_back().isObject = isObject;
        if (isObject) memberKey(stack_.back().key);
        return false;
    }

    // At what must be the end of the innermost container: closes it into value.
    void close(bool isObject, JSONValue& value) {
        if (*p_ != (isObject ? '}' : ']'))
            fail(isObject ? "Expected ',' or '}' after an object member."
                          : "Expected ',' or ']' after an array element.");
        ++p_;
        Frame& top = stack_.back();
        value = isObject ? JSONValue(std::move(top.object)) : JSONValue(std::move(top.array));
        stack_.pop_back();
    }

    void memberKey(std::string& key) {
        if (p_ == end_ || *p_ != '"') fail("Expected a string key.");
        key.clear();
        string(key);
        skipWhitespace();
        if (p_ == end_ || *p_ != ':') fail("Expected ':' after a key.");
        ++p_;
        skipWhitespace();
    }

    JSONValue scalar() {
        switch (*p_) {
        case '"': {
            scratch_.clear();
            string(scratch_);
            // An exact-size copy out of the reused buffer: one copy of each text.
            return JSONValue(std::string(scratch_));
        }
        case 't':
            return literal("true", JSONValue(true));
        case 'f':
            return literal("false", JSONValue(false));
        case 'n':
            return literal("null", JSONValue());
        default:
            return number();
        }
    }

    JSONValue literal(std::string_view word, JSONValue value) {
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::memcmp(p_, word.data(), word.size()) != 0)
            fail("Invalid value.");
        p_ += word.size();
        return value;
    }

    JSONValue number() {
        const unsigned char* start = p_;
        auto digits = [&] {
            const unsigned char* first = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9')
                ++p_;
            return p_ - first;
        };
        if (p_ < end_ && *p_ == '-') ++p_;
        if (p_ < end_ && *p_ == '0') {
            ++p_;
        } else if (p_ == end_ || *p_ < '1' || *p_ > '9') {
            p_ = start;
            fail("Invalid value.");
        } else {
            digits();
        }
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (digits() == 0) fail("Missing digits after the decimal point.");
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (digits() == 0) fail("Missing digits in the exponent.");
        }
        auto first = reinterpret_cast<const char*>(start), last = reinterpret_cast<const char*>(p_);
        double value = 0;
        auto [end, error] = std::from_chars(first, last, value);
        if (error == std::errc::result_out_of_range) {
            if (overflows(std::string_view(first, static_cast<std::size_t>(last - first)))) {
                p_ = start;
                fail("Number too big to be stored in a double.");
            }
            value = *start == '-' ? -0.0 : 0.0;
        } else if (error != std::errc() || end != last) {
            p_ = start;
            fail("Invalid number.");
        }
        return JSONValue(value);
    }

    // At the opening quotation mark; appends the decoded text to out.
    void string(std::string& out) {
        ++p_;
        const unsigned char* run = p_;
        for (;;) {
            p_ += plainRunLength(p_, end_);
            if (p_ == end_) fail("Missing a closing quotation mark in string.");
            unsigned char c = *p_;
            if (c >= 0x80) {
                std::size_t length = utf8::sequenceLength(p_, end_);
                if (length == 0) fail("Invalid UTF-8 in string.");
                p_ += length;
                continue;
            }
            out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p_ - run));
            if (c == '"') {
                ++p_;
                return;
            }
            if (c < 0x20) fail("Unescaped control character in string.");
            escape(out);
            run = p_;
        }
    }

    void escape(std::string& out) {
        if (end_ - p_ < 2) fail("Invalid escape in string.");
        char decoded;
        switch (p_[1]) {
        case '"':
            decoded = '"';
            break;
        case '\\':
            decoded = '\\';
            break;
        case '/':
            decoded = '/';
            break;
        case 'b':
            decoded = '\b';
            break;
        case 'f':
            decoded = '\f';
            break;
        case 'n':
            decoded = '\n';
            break;
        case 'r':
            decoded = '\r';
            break;
        case 't':
            decoded = '\t';
            break;
        case 'u': {
            std::uint32_t unit = hexUnit(p_);
            p_ += 6;
            if (unit >= 0xDC00 && unit <= 0xDFFF) {
                p_ -= 6;
                fail("Lone surrogate in string.");
            }
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                std::uint32_t low =
                    end_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u' ? hexUnit(p_) : 0;
                if (low < 0xDC00 || low > 0xDFFF) {
                    p_ -= 6;
                    fail("Lone surrogate in string.");
                }
                p_ += 6;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            }
            appendUTF8(out, unit);
            return;
        }
        default:
            fail("Invalid escape in string.");
        }
        out.push_back(decoded);
        p_ += 2;
    }

    // The four hexadecimal digits of the "\u" escape at at.
    std::uint32_t hexUnit(const unsigned char* at) {
        if (end_ - at < 6) fail("Invalid \\u escape in string.");
        std::uint32_t unit = 0;
        for (int i = 2; i < 6; ++i) {
            int digit = hexValue(at[i]);
            if (digit < 0) fail("Invalid \\u escape in string.");
            unit = unit << 4 | static_cast<std::uint32_t>(digit);
        }
        return unit;
    }

    const unsigned char* begin_;
    const unsigned char* p_;
    const unsigned char* end_;
    std::size_t maxNesting_;
    std::vector<Frame> stack_;
    std::string scratch_;
};

} // namespace

JSONValue parseJSONText(std::string_view text, std::size_t maxNesting) {
    return Parser(text, maxNesting).document();
}

} // namespace quorilanth::detail
