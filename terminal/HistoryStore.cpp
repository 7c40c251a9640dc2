// A row is stored as: its width, the count n of its characters up to the last that is not
// a space, those n characters, then its attribute runs as length and attribute until they
// cover the width. Counts and lengths are 7-bit varints: one byte for anything below 128.
#include "terminal/HistoryStore.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr uint32_t BlockSize = 65536; // row offsets inside a block fit in 16 bits

uint8_t *PutCount(uint8_t *out, uint32_t v)
{
    while (v >= 0x80) {
        *out++ = uint8_t(v | 0x80);
        v >>= 7;
    }
    *out++ = uint8_t(v);
    return out;
}

uint32_t GetCount(const uint8_t *&p)
{
    uint32_t v = 0;
    for (int shift = 0;; shift += 7) {
        const uint8_t b = *p++;
        v |= uint32_t(b & 0x7F) << shift;
        if (!(b & 0x80)) return v;
    }
}

#ifdef __SSE2__
// Bit i: attrs[at + i] differs from the cell before it.
unsigned Changes(const uint8_t *attrs, int at)
{
    const __m128i now = _mm_loadu_si128(reinterpret_cast<const __m128i *>(attrs + at));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(attrs + at - 1));
    return ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(now, before))) & 0xFFFFu;
}

// PutRuns for rows of 17 to 127 cells (the usual ones): every length fits a byte, and the
// changes of the whole row are gathered first, so that walking them is a single loop.
uint8_t *PutNarrowRuns(uint8_t *p, const uint8_t *attrs, int width)
{
    unsigned __int128 all = 0; // bit x: attrs[x] differs from attrs[x - 1]
    int x = 1;
    for (; x + 16 <= width; x += 16)
        all |= static_cast<unsigned __int128>(Changes(attrs, x)) << x;
    if (x < width) {
        const int at = width - 16; // sixteen that overlap those already seen
        all |= static_cast<unsigned __int128>(Changes(attrs, at) >> (x - at)) << x;
    }
    int start = 0;
    auto endRun = [&](int at) {
        *p++ = uint8_t(at - start);
        *p++ = attrs[start];
        start = at;
    };
    for (uint64_t m = uint64_t(all); m; m &= m - 1)
        endRun(__builtin_ctzll(m));
    for (uint64_t m = uint64_t(all >> 64); m; m &= m - 1)
        endRun(64 + __builtin_ctzll(m));
    endRun(width);
    return p;
}
#endif

// The runs of attrs[0 .. width-1] as (length, attribute) pairs: a run ends where an
// attribute differs from the one before it, found sixteen cells at a time.
uint8_t *PutRuns(uint8_t *p, const uint8_t *attrs, int width)
{
#ifdef __SSE2__
    if (width >= 17 && width < 0x80) return PutNarrowRuns(p, attrs, width);
#endif
    int start = 0, x = 1;
    auto endRun = [&](int at) {
        p = PutCount(p, uint32_t(at - start));
        *p++ = attrs[start];
        start = at;
    };
#ifdef __SSE2__
    for (; x + 16 <= width; x += 16)
        for (unsigned m = Changes(attrs, x); m; m &= m - 1)
            endRun(x + __builtin_ctz(m));
    if (x < width && width >= 17) {
        // the last cells, in sixteen that overlap those already seen
        const int at = width - 16;
        for (unsigned m = Changes(attrs, at) >> (x - at); m; m &= m - 1)
            endRun(x + __builtin_ctz(m));
        x = width;
    }
#endif
    for (; x < width; ++x)
        if (attrs[x] != attrs[x - 1]) endRun(x);
    if (width > 0) endRun(width);
    return p;
}

// Count of bytes before the trailing spaces of p[0 .. count-1].
int TrimmedLength(const uint8_t *p, int count)
{
#ifdef __SSE2__
    const __m128i spaces = _mm_set1_epi8(' ');
    for (; count >= 16; count -= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + count - 16));
        const unsigned text = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, spaces))) & 0xFFFFu;
        if (text) return count - 16 + (31 - __builtin_clz(text)) + 1;
    }
#endif
    while (count > 0 && p[count - 1] == ' ')
        --count;
    return count;
}

} // namespace

void THistoryStore::SetLimit(int rows)
{
    FLimit = std::clamp(rows, 0, MaxHistoryRows);
    if (FLimit == 0) {
        Clear();
        return;
    }
    while (FCount > FLimit)
        DropOldest();
}

void THistoryStore::Clear()
{
    FBlocks.clear();
    FFirst += FCount;
    FCount = 0;
    FLastBlock = 0;
}

void THistoryStore::Push(const uint8_t *chars, const uint8_t *attrs, int width)
{
    if (FLimit == 0) return;
    if (FCount >= FLimit) DropOldest();
    width = std::max(width, 0);
    const int n = TrimmedLength(chars, width);
    // Room for the worst case: a run needs at most one byte for each of its cells besides
    // its attribute.
    const uint32_t most = 10 + uint32_t(n) + 2 * uint32_t(width);
    if (FBlocks.empty() || FBlocks.back().Size - FBlocks.back().Used < most) {
        if (!FBlocks.empty()) FBlocks.back().Offsets.shrink_to_fit();
        Block b;
        b.Size = std::max(BlockSize, most); // a row too big for a block gets one of its own
        b.Data.reset(new uint8_t[b.Size]);
        b.FirstRow = FFirst + FCount;
        b.Offsets.reserve(BlockSize / 32); // a line of text takes more: never grown, shrunk once full
        FBlocks.push_back(std::move(b));
    }
    Block &b = FBlocks.back();
    b.Offsets.push_back(uint16_t(b.Used));
    uint8_t *const start = b.Data.get() + b.Used;
    // the rows of a block are written one after another into memory last used a whole history ago
    if (b.Used + 256 < b.Size) __builtin_prefetch(start + 256, 1);
    uint8_t *p = PutCount(start, uint32_t(width));
    p = PutCount(p, uint32_t(n));
#ifdef __SSE2__
    // sixteen at a time, the last sixteen overlapping those before: no call for a short row
    if (n >= 16) {
        int x = 0;
        for (; x + 16 < n; x += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + x),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + x)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p + n - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + n - 16)));
    } else
#endif
        std::memcpy(p, chars, size_t(n));
    p = PutRuns(p + n, attrs, width);
    b.Used += uint32_t(p - start);
    ++FCount;
}

void THistoryStore::DropOldest()
{
    ++FFirst;
    --FCount;
    const Block &front = FBlocks.front();
    if (FFirst >= front.FirstRow + int64_t(front.Offsets.size())) {
        FBlocks.pop_front();
        FLastBlock = 0;
    }
}

const uint8_t *THistoryStore::RowData(int i) const
{
    const int64_t serial = FFirst + i;
    auto holds = [serial](const Block &b) {
        return serial >= b.FirstRow && serial < b.FirstRow + int64_t(b.Offsets.size());
    };
    // Rows are mostly read in order: try the block of the last read and its neighbours.
    size_t at = FLastBlock;
    if (at >= FBlocks.size() || !holds(FBlocks[at])) {
        if (at + 1 < FBlocks.size() && holds(FBlocks[at + 1]))
            ++at;
        else if (at > 0 && at - 1 < FBlocks.size() && holds(FBlocks[at - 1]))
            --at;
        else
            at = size_t(std::upper_bound(FBlocks.begin(), FBlocks.end(), serial,
                                         [](int64_t s, const Block &b) { return s < b.FirstRow; }) -
                        FBlocks.begin()) -
                 1;
    }
    FLastBlock = at;
    const Block &b = FBlocks[at];
    return b.Data.get() + b.Offsets[size_t(serial - b.FirstRow)];
}

std::string_view THistoryStore::Text(int i, int *width) const
{
    if (i < 0 || i >= FCount) {
        if (width) *width = 0;
        return {};
    }
    const uint8_t *p = RowData(i);
    const uint32_t w = GetCount(p);
    const uint32_t n = GetCount(p);
    if (width) *width = int(w);
    return {reinterpret_cast<const char *>(p), n};
}

void THistoryStore::Read(int i, uint8_t *chars, uint8_t *attrs, int width) const
{
    std::memset(chars, ' ', size_t(std::max(width, 0)));
    std::memset(attrs, 0, size_t(std::max(width, 0)));
    if (i < 0 || i >= FCount) return;
    const uint8_t *p = RowData(i);
    const int w = int(GetCount(p));
    const int n = int(GetCount(p));
    std::memcpy(chars, p, size_t(std::min(n, width)));
    p += n;
    for (int x = 0; x < w && x < width;) {
        const int len = int(GetCount(p));
        const uint8_t a = *p++;
        const int end = std::min(width, x + len);
        std::memset(attrs + x, a, size_t(std::max(0, end - x)));
        x += len;
    }
}

size_t THistoryStore::Bytes() const
{
    size_t bytes = 0;
    for (const Block &b : FBlocks)
        bytes += sizeof b + b.Size + b.Offsets.capacity() * sizeof(uint16_t);
    return bytes;
}
