#pragma once

// How JSON values and shared texts are laid out in memory. Only the base's own
// JSON and text code includes this.
//
// A value is 64 bits: a tag in the top byte and a payload below it. Scalars and
// texts of up to seven bytes sit in the payload; everything else is a node the
// payload points to (user-space addresses fit in 56 bits on every platform we
// build for). A node lives either on the heap, with a reference count in front
// of it, or in the arena of the document it was read from, where the whole
// arena is counted once for every value outside it that points in.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quorilanth::detail {

static_assert(sizeof(void*) == 8, "the value layout needs 64-bit pointers");

enum JSONTag : std::uint8_t {
    kTagNull = 0,
    kTagFalse,
    kTagTrue,
    kTagInteger, // a whole double of at most 2^53 in magnitude, other than -0
    kTagHeapDouble,
    kTagArenaDouble,
    kTagHeapText,
    kTagArenaText,
    kTagHeapArray,
    kTagArenaArray,
    kTagHeapObject,
    kTagArenaObject,
    // A whole number read from a text beyond 2^53 in magnitude and inside the
    // signed 64-bit range: its double is the nearest, its integer exact.
    kTagArenaWhole,
    kTagInlineText = 0x10, // plus the length, 0 to 7
};

inline constexpr std::uint64_t kPayloadMask = (std::uint64_t{1} << 56) - 1;
inline constexpr std::size_t kInlineTextMax = 7;

inline JSONTag tagOf(std::uint64_t bits) noexcept {
    return static_cast<JSONTag>(bits >> 56);
}
inline void* nodeOf(std::uint64_t bits) noexcept {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(bits & kPayloadMask));
}
std::uint64_t tagged(JSONTag tag, const void* node);

// Tags whose payload is a counted node (a null container payload is the empty one).
inline bool isCounted(std::uint64_t bits) noexcept {
    return static_cast<std::uint8_t>(tagOf(bits) - kTagHeapDouble) <=
               kTagArenaWhole - kTagHeapDouble &&
           (bits & kPayloadMask) != 0;
}
void retainNode(std::uint64_t bits) noexcept;
void releaseNode(std::uint64_t bits) noexcept;
inline void retain(std::uint64_t bits) noexcept {
    if (isCounted(bits)) retainNode(bits);
}
inline void release(std::uint64_t bits) noexcept {
    if (isCounted(bits)) releaseNode(bits);
}

// ---- texts ------------------------------------------------------------------
// A text node is its length as a little-endian base-128 number, then the bytes.
// On the heap a zero byte follows, so that a shared text can be handed to C
// interfaces as it is; in an arena nothing follows.

inline std::string_view textOfNode(const void* node) noexcept {
    auto p = static_cast<const unsigned char*>(node);
    std::size_t length = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char byte = *p++;
        length |= static_cast<std::size_t>(byte & 0x7F) << shift;
        if (byte < 0x80) break;
    }
    return {reinterpret_cast<const char*>(p), length};
}

// The text of a text value of any form (inline ones point into bits).
inline std::string_view textOf(const std::uint64_t& bits) noexcept {
    JSONTag tag = tagOf(bits);
    if (tag >= kTagInlineText)
        return {reinterpret_cast<const char*>(&bits),
                static_cast<std::size_t>(tag - kTagInlineText)};
    return textOfNode(nodeOf(bits));
}

std::size_t textNodeSize(std::size_t length, bool terminated) noexcept;
void writeTextNode(void* node, std::string_view text, bool terminated) noexcept;
// A heap text node holding one reference, or an inline text when short enough.
std::uint64_t makeText(std::string_view text);
std::uint64_t makeHeapText(std::string_view text);

// ---- arenas -----------------------------------------------------------------

// The nodes of one read document, in pages aligned to kPage whose first word
// names the arena, so that any node finds its arena from its own address.
// Nodes too large for a page get a page-aligned block of their own. Texts fill
// pages of their own, so that they need no padding between them. Nothing in an
// arena is destroyed one by one: it all goes when the last value pointing in is
// gone.
class JSONArena {
public:
    static constexpr std::size_t kPage = 4096;
    // Larger nodes get a block of their own; larger texts go on the heap.
    static constexpr std::size_t kLargeNode = 3072;

    JSONArena() = default;
    JSONArena(const JSONArena&) = delete;
    JSONArena& operator=(const JSONArena&) = delete;

    static JSONArena* of(const void* node) noexcept {
        auto page = reinterpret_cast<std::uintptr_t>(node) & ~(kPage - 1);
        return *reinterpret_cast<JSONArena* const*>(page);
    }

    void retain() noexcept { references_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    // A node aligned to eight bytes.
    void* allocate(std::size_t size);
    // A text node (any address).
    void* allocateText(std::size_t size);
    // Keeps one reference to a heap node until the arena goes.
    void own(std::uint64_t bits) { owned_.push_back(bits); }
    // Destroys strings placed in the arena when it goes.
    void ownStrings(void* first, std::size_t count) { strings_.push_back({first, count}); }

private:
    ~JSONArena();
    struct Cursor {
        char* at = nullptr;
        char* end = nullptr;
    };
    void* take(Cursor& cursor, std::size_t size);
    void* map(std::size_t bytes);

    struct Strings {
        void* first;
        std::size_t count;
    };
    struct Block {
        void* start;
        std::size_t mappedBytes; // 0 when it came from the allocator
    };
    static constexpr std::size_t kMapped = 16 * kPage;

    std::atomic<std::size_t> references_{1};
    Cursor nodes_;
    Cursor texts_;
    char* slabCursor_ = nullptr;
    char* slabEnd_ = nullptr;
    std::size_t nextSlabPages_ = 1;
    std::vector<Block> blocks_;
    std::vector<std::uint64_t> owned_;
    std::vector<Strings> strings_;
};

} // namespace quorilanth::detail
