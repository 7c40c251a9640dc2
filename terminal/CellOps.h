// Helpers of the output interpreters (Classic and ANSI-BBS): the byte classes of control
// sequences, finding the end of a run of printable bytes, and storing or blanking runs of
// cells without library calls.
#pragma once

#include "terminal/ColourAttr.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ttycells {

#if defined(__SSE2__)
// Bit k set where byte k of the 16 at p is below 0x20.
inline unsigned ControlMask(const uint8_t *p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v)));
}
#endif

// Index of the first byte below 0x20 in p[from..end), or `limit` if there is none before
// it (from <= limit <= end). Reads nothing outside p[0..end).
inline size_t FindControlBefore(const uint8_t *p, size_t from, size_t limit, size_t end)
{
    size_t k = from;
#if defined(__SSE2__)
    while (k + 16 <= end) {
        if (const unsigned m = ControlMask(p + k)) return std::min(k + unsigned(__builtin_ctz(m)), limit);
        k += 16;
        if (k >= limit) return limit;
    }
    if (end >= 16) {
        // the last few bytes: one load that ends where the data ends
        const unsigned m = ControlMask(p + end - 16) >> (16 - (end - k));
        return m ? std::min(k + unsigned(__builtin_ctz(m)), limit) : limit;
    }
#endif
    for (; k < limit; ++k)
        if (p[k] < 0x20) return k;
    return limit;
}

// Calls f(k) for 16-byte blocks at offsets k that together cover [0, count), for
// 16 <= count <= 128: a fixed set of moves, where a loop would become a library call.
template <class F> inline void Blocks16(size_t count, F f)
{
    f(0);
    if (count > 32) {
        f(16);
        if (count > 64) {
            f(32);
            f(48);
            f(count - 64);
            f(count - 48);
        }
        f(count - 32);
    }
    f(count - 16);
}

// CopyCells for sizeof(W) <= count <= 2 * sizeof(W): two overlapping moves of each.
template <class W>
inline void CopyShort(uint8_t *chars, uint8_t *attrs, const char *src, size_t count, uint8_t attr)
{
    const W pattern = W(W(~W(0)) / 0xFF) * attr; // attr in every byte
    W head, tail;
    std::memcpy(&head, src, sizeof(W));
    std::memcpy(&tail, src + count - sizeof(W), sizeof(W));
    std::memcpy(chars, &head, sizeof(W));
    std::memcpy(chars + count - sizeof(W), &tail, sizeof(W));
    std::memcpy(attrs, &pattern, sizeof(W));
    std::memcpy(attrs + count - sizeof(W), &pattern, sizeof(W));
}

// Apart, so that the short copies need no saved registers.
[[gnu::noinline]] inline void CopyLong(uint8_t *chars, uint8_t *attrs, const char *src, size_t count,
                                       uint8_t attr)
{
    std::memcpy(chars, src, count);
    std::memset(attrs, attr, count);
}

// Stores `count` (1..) bytes from src, and as many copies of `attr`, without library calls
// for the runs of a row or less that make up most output.
inline void CopyCells(uint8_t *chars, uint8_t *attrs, const char *src, size_t count, uint8_t attr)
{
    if (count >= 16) {
#if defined(__SSE2__)
        if (count <= 128) {
            const __m128i a = _mm_set1_epi8(char(attr));
            Blocks16(count, [&](size_t k) {
                _mm_storeu_si128(reinterpret_cast<__m128i *>(chars + k),
                                 _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + k)));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(attrs + k), a);
            });
            return;
        }
#endif
        return CopyLong(chars, attrs, src, count, attr);
    }
    if (count >= 8) return CopyShort<uint64_t>(chars, attrs, src, count, attr);
    if (count >= 4) return CopyShort<uint32_t>(chars, attrs, src, count, attr);
    for (size_t k = 0; k < count; ++k) {
        chars[k] = uint8_t(src[k]);
        attrs[k] = attr;
    }
}

// Blanks `count` cells: a row or less is the common case (every new line).
inline void BlankCells(uint8_t *chars, uint8_t *attrs, size_t count, uint8_t attr = caErased)
{
#if defined(__SSE2__)
    if (count >= 16 && count <= 128) {
        const __m128i c = _mm_set1_epi8(' '), a = _mm_set1_epi8(char(attr));
        Blocks16(count, [&](size_t k) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(chars + k), c);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(attrs + k), a);
        });
        return;
    }
#endif
    std::memset(chars, ' ', count);
    std::memset(attrs, attr, count);
}

} // namespace ttycells
