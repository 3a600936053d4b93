#pragma once

// The reader's way of putting a document's values into its arena. Values made
// here inside the arena hold no references of their own: the arena answers for
// all of them at once.

#include "core/base/JSONStorage.h"
#include "core/base/JSONValue.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace quorilanth::detail {

struct JSONBuild {
    // A value outside the arena for bits made here: counts one reference.
    static JSONValue adopt(std::uint64_t bits) noexcept {
        retain(bits);
        return JSONValue(JSONValue::Raw{bits});
    }

    static std::uint64_t boolean(bool value) noexcept {
        return std::uint64_t{value ? kTagTrue : kTagFalse} << 56;
    }
    // A number held in the bits themselves, or 0 when it needs a node.
    static std::uint64_t inlineNumber(double value) noexcept;
    static std::uint64_t number(JSONArena& arena, double value);
    // A whole number exactly, for texts that no double holds exactly.
    static std::uint64_t whole(JSONArena& arena, std::int64_t value);
    static std::uint64_t text(JSONArena& arena, std::string_view text);

    // Keys for objects of the arena, keyAt(0) to keyAt(count - 1) in their
    // final order; shared by every object of the document with the same keys.
    template <typename KeyAt>
    static const std::string* keys(JSONArena& arena, std::size_t count, KeyAt keyAt) {
        auto* keys = static_cast<std::string*>(arena.allocate(count * sizeof(std::string)));
        std::size_t made = 0;
        try {
            for (; made < count; ++made)
                new (keys + made) std::string(keyAt(made));
            arena.ownStrings(keys, count);
        } catch (...) {
            while (made > 0)
                keys[--made].~basic_string();
            throw;
        }
        return keys;
    }

    // A container of count members or elements whose values the caller then
    // places with place(); returns where they go and sets bits.
    static JSONValue* array(JSONArena& arena, std::size_t count, std::uint64_t& bits);
    static JSONValue* object(JSONArena& arena, const std::string* keys, std::size_t count,
                             std::uint64_t& bits);
    static void place(JSONValue* at, std::uint64_t bits) noexcept {
        new (at) JSONValue(JSONValue::Raw{bits});
    }
};

} // namespace quorilanth::detail
