#include "core/base/JSONParser.h"

#include "core/base/Hashing.h"
#include "core/base/JSONBuild.h"
#include "core/base/JSONText.h"
#include "core/base/UTF8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
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
    Parser(std::string_view text, const JSONValue::Reader* read, std::size_t maxNesting)
        : begin_(reinterpret_cast<const unsigned char*>(text.data())), p_(begin_),
          end_(begin_ + text.size()), read_(read), maxNesting_(maxNesting) {}
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    ~Parser() {
        if (arena_) arena_->release();
    }

    JSONValue document() {
        skipWhitespace();
        std::uint64_t value = 0;
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
                    return JSONBuild::adopt(value);
                }
                Frame& top = stack_.back();
                slots_.push_back({top.keyOffset, top.keyLength, value});
                skipWhitespace();
                if (p_ == end_) fail("Unexpected end of input.");
                if (*p_ == ',') {
                    ++p_;
                    skipWhitespace();
                    if (top.isObject) memberKey(top);
                    break;
                }
                close(top, value);
            }
        }
    }

private:
    // An open container: its members so far are slots_ from first on, and
    // the keys of an object's members are keys_ from keysStart on.
    struct Frame {
        bool isObject = false;
        std::size_t first = 0;
        std::size_t keysStart = 0;
        std::size_t keyOffset = 0; // of the member being read
        std::size_t keyLength = 0;
    };
    struct Slot {
        std::size_t keyOffset;
        std::size_t keyLength;
        std::uint64_t bits;
    };
    // Keys of objects already laid out, by a hash of their keys.
    struct Shape {
        const std::string* keys;
        std::size_t count;
    };

    [[noreturn]] void fail(const char* reason) const {
        auto offset = consumed_ + static_cast<std::size_t>(p_ - begin_);
        throw JSONParseError("Invalid JSON at offset " + std::to_string(offset) + ": " + reason,
                             offset);
    }

    JSONArena& arena() {
        if (!arena_) arena_ = new JSONArena();
        return *arena_;
    }

    // Reading piece by piece: keeps what is left from p_ on, adds what the
    // reader gives, and tells whether anything came. Reading a text in memory
    // never has more.
    bool more() {
        if (!read_ || exhausted_) return false;
        std::size_t kept = static_cast<std::size_t>(end_ - p_);
        std::size_t from = static_cast<std::size_t>(p_ - begin_);
        consumed_ += from;
        // What is kept lies in the buffer (only the first call has nothing to keep).
        if (buffer_.size() < kept + kPiece)
            buffer_.resize(std::max(buffer_.size() * 2, kept + kPiece));
        if (kept) std::memmove(buffer_.data(), buffer_.data() + from, kept);
        std::size_t room = buffer_.size() - kept;
        std::size_t got =
            std::min((*read_)(reinterpret_cast<char*>(buffer_.data()) + kept, room), room);
        begin_ = p_ = buffer_.data();
        end_ = p_ + kept + got;
        exhausted_ = got == 0;
        return got > 0;
    }

    // At least count bytes from p_ on, unless the text ends first.
    void ensure(std::size_t count) {
        if (read_ && static_cast<std::size_t>(end_ - p_) < count) fill(count);
    }
    [[gnu::noinline]] void fill(std::size_t count) {
        while (static_cast<std::size_t>(end_ - p_) < count && more()) {
        }
    }

    void skipWhitespace() {
        for (;;) {
            while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
                ++p_;
            if (p_ < end_ || !more()) return;
        }
    }

    // At "{" or "[": opens a level. An empty container is complete at once
    // (true, in value); otherwise the first member's key has been read.
    bool open(std::uint64_t& value) {
        // Refusing before the level exists is what keeps a run of millions of
        // "[" from ever being built, or torn down, level by level.
        if (stack_.size() >= maxNesting_) fail("Too many nested arrays or objects.");
        bool isObject = *p_++ == '{';
        skipWhitespace();
        if (p_ < end_ && *p_ == (isObject ? '}' : ']')) {
            ++p_;
            value = std::uint64_t{isObject ? kTagHeapObject : kTagHeapArray} << 56;
            return true;
        }
        Frame& frame = stack_.emplace_back();
        frame.isObject = isObject;
        frame.first = slots_.size();
        frame.keysStart = keys_.size();
        if (isObject) memberKey(frame);
        return false;
    }

    // At what must be the end of the innermost container: closes it into value.
    void close(const Frame& top, std::uint64_t& value) {
        if (*p_ != (top.isObject ? '}' : ']'))
            fail(top.isObject ? "Expected ',' or '}' after an object member."
                              : "Expected ',' or ']' after an array element.");
        ++p_;
        value = top.isObject ? closeObject(top) : closeArray(top);
        slots_.resize(top.first);
        keys_.resize(top.keysStart);
        stack_.pop_back();
    }

    std::uint64_t closeArray(const Frame& top) {
        std::size_t count = slots_.size() - top.first;
        std::uint64_t bits = 0;
        JSONValue* values = JSONBuild::array(arena(), count, bits);
        for (std::size_t i = 0; i < count; ++i)
            JSONBuild::place(values + i, slots_[top.first + i].bits);
        return bits;
    }

    std::string_view keyOf(const Slot& slot) const {
        return {keys_.data() + slot.keyOffset, slot.keyLength};
    }

    std::uint64_t closeObject(const Frame& top) {
        Slot* first = slots_.data() + top.first;
        Slot* last = slots_.data() + slots_.size();
        auto byKey = [this](const Slot& a, const Slot& b) { return keyOf(a) < keyOf(b); };
        // Writers mostly give keys in order already; a stable sort keeps the
        // members of a repeated key in the order they came.
        if (!std::is_sorted(first, last, byKey)) std::stable_sort(first, last, byKey);
        // Of a repeated key, the last member counts.
        Slot* kept = first;
        for (Slot* slot = first; slot != last; ++slot)
            if (slot + 1 == last || keyOf(slot[0]) != keyOf(slot[1])) *kept++ = *slot;
        auto count = static_cast<std::size_t>(kept - first);

        std::size_t hash = count;
        for (std::size_t i = 0; i < count; ++i)
            hashCombine(hash, std::hash<std::string_view>{}(keyOf(first[i])));
        const std::string* keys = nullptr;
        for (auto [at, end] = shapes_.equal_range(hash); at != end && !keys; ++at) {
            const Shape& shape = at->second;
            if (shape.count != count) continue;
            std::size_t i = 0;
            while (i < count && shape.keys[i] == keyOf(first[i]))
                ++i;
            if (i == count) keys = shape.keys;
        }
        if (!keys) {
            keys = JSONBuild::keys(arena(), count, [&](std::size_t i) { return keyOf(first[i]); });
            shapes_.emplace(hash, Shape{keys, count});
        }
        std::uint64_t bits = 0;
        JSONValue* values = JSONBuild::object(arena(), keys, count, bits);
        for (std::size_t i = 0; i < count; ++i)
            JSONBuild::place(values + i, first[i].bits);
        return bits;
    }

    void memberKey(Frame& frame) {
        if (p_ == end_ || *p_ != '"') fail("Expected a string key.");
        frame.keyOffset = keys_.size();
        string(keys_);
        frame.keyLength = keys_.size() - frame.keyOffset;
        skipWhitespace();
        if (p_ == end_ || *p_ != ':') fail("Expected ':' after a key.");
        ++p_;
        skipWhitespace();
    }

    std::uint64_t scalar() {
        switch (*p_) {
        case '"':
            scratch_.clear();
            string(scratch_);
            return JSONBuild::text(arena(), scratch_);
        case 't':
            return literal("true", JSONBuild::boolean(true));
        case 'f':
            return literal("false", JSONBuild::boolean(false));
        case 'n':
            return literal("null", 0);
        default:
            return numberBits();
        }
    }

    std::uint64_t literal(std::string_view word, std::uint64_t value) {
        ensure(word.size());
        if (static_cast<std::size_t>(end_ - p_) < word.size() ||
            std::memcmp(p_, word.data(), word.size()) != 0)
            fail("Invalid value.");
        p_ += word.size();
        return value;
    }

    // Brings the whole of the number at p_ into the buffer when reading in pieces.
    void ensureNumber() {
        if (!read_) return;
        std::size_t scanned = 0;
        for (;;) {
            const unsigned char* q = p_ + scanned;
            while (q < end_ && ((*q >= '0' && *q <= '9') || *q == '-' || *q == '+' || *q == '.' ||
                                *q == 'e' || *q == 'E'))
                ++q;
            scanned = static_cast<std::size_t>(q - p_);
            if (q < end_ || !more()) return;
        }
    }

    // A whole number that no double holds exactly keeps its integer, as long
    // as a signed 64-bit one holds it.
    std::uint64_t numberBits() {
        ensureNumber(); // before `start`: bringing the number in may move the buffer
        const unsigned char* start = p_;
        const double value = number();
        constexpr double kExact = 9007199254740992.0;
        if (std::fabs(value) >= kExact) {
            const auto first = reinterpret_cast<const char*>(start);
            const auto last = reinterpret_cast<const char*>(p_);
            std::int64_t whole = 0;
            if (auto [end, error] = std::from_chars(first, last, whole);
                error == std::errc() && end == last)
                return JSONBuild::whole(arena(), whole);
        }
        return JSONBuild::number(arena(), value);
    }

    double number() {
        ensureNumber();
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
        return value;
    }

    // At the opening quotation mark; appends the decoded text to out.
    void string(std::string& out) {
        ++p_;
        const unsigned char* run = p_;
        auto keep = [&] {
            out.append(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p_ - run));
        };
        for (;;) {
            p_ += plainRunLength(p_, end_);
            if (p_ == end_) {
                keep();
                if (!more()) fail("Missing a closing quotation mark in string.");
                run = p_;
                continue;
            }
            unsigned char c = *p_;
            if (c >= 0x80) {
                if (end_ - p_ < 4 && read_) {
                    keep();
                    ensure(4);
                    run = p_;
                }
                std::size_t length = utf8::sequenceLength(p_, end_);
                if (length == 0) fail("Invalid UTF-8 in string.");
                p_ += length;
                continue;
            }
            keep();
            if (c == '"') {
                ++p_;
                return;
            }
            if (c < 0x20) fail("Unescaped control character in string.");
            ensure(12); // the longest escape: a surrogate pair
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

    // Pieces asked of a reader at a time.
    static constexpr std::size_t kPiece = 1 << 16;

    const unsigned char* begin_; // where offset consumed_ is
    const unsigned char* p_;
    const unsigned char* end_;
    const JSONValue::Reader* read_;
    std::size_t maxNesting_;
    std::size_t consumed_ = 0;
    bool exhausted_ = false;
    std::vector<unsigned char> buffer_;
    JSONArena* arena_ = nullptr;
    std::vector<Frame> stack_;
    std::vector<Slot> slots_;
    std::string keys_;
    std::string scratch_;
    std::unordered_multimap<std::size_t, Shape> shapes_;
};

} // namespace

JSONValue parseJSONText(std::string_view text, const JSONValue::Reader* read,
                        std::size_t maxNesting) {
    return Parser(text, read, maxNesting).document();
}

} // namespace quorilanth::detail
