#include "core/base/JSONText.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quorilanth::detail {

namespace {

bool isPlain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

} // namespace

std::size_t plainRunLength(const unsigned char* p, const unsigned char* end) noexcept {
    const unsigned char* start = p;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i lastControl = _mm_set1_epi8(0x1F);
    while (end - p >= 16) {
        __m128i bytes;
        std::memcpy(&bytes, p, 16);
        // A byte is a control character when the unsigned minimum with 0x1F
        // leaves it unchanged; the sign bit marks the non-ASCII ones.
        __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)),
            _mm_cmpeq_epi8(_mm_min_epu8(bytes, lastControl), bytes));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(special, bytes)));
        if (mask != 0) return static_cast<std::size_t>(p - start) + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && isPlain(*p))
        ++p;
    return static_cast<std::size_t>(p - start);
}

} // namespace quorilanth::detail
