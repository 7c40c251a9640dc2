// A row is stored as: its width, the count n of its characters up to the last that is not
// a space, those n characters, the count k of its attribute runs, then k - 1 runs as length
// and attribute, and the last run's attribute alone (it reaches to the end of the row).
// Counts and lengths are 7-bit varints: one byte for anything below 128.
#include "terminal/HistoryStore.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t BlockSize = 65536; // row offsets inside a block fit in 16 bits

void PutCount(std::vector<uint8_t> &out, uint32_t v)
{
    while (v >= 0x80) {
        out.push_back(uint8_t(v | 0x80));
        v >>= 7;
    }
    out.push_back(uint8_t(v));
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

} // namespace

void THistoryStore::SetLimit(int rows)
{
    FLimit = std::clamp(rows, 0, MaxHistoryRows);
    if (FLimit == 0) {
        Clear();
        Scratch = {};
        return;
    }
    while (FCount > FLimit)
        DropOldest();
}

void THistoryStore::Clear()
{
    Blocks.clear();
    FFirst += FCount;
    FCount = 0;
    LastBlock = 0;
}

void THistoryStore::Push(const uint8_t *chars, const uint8_t *attrs, int width)
{
    if (FLimit == 0) return;
    width = std::max(width, 0);
    int n = width;
    while (n > 0 && chars[n - 1] == ' ')
        --n;
    Scratch.clear();
    PutCount(Scratch, uint32_t(width));
    PutCount(Scratch, uint32_t(n));
    Scratch.insert(Scratch.end(), chars, chars + n);
    // Runs: count them first, so the count can lead.
    uint32_t runs = width > 0 ? 1 : 0;
    for (int x = 1; x < width; ++x)
        runs += attrs[x] != attrs[x - 1];
    PutCount(Scratch, runs);
    for (int x = 0; x < width;) {
        int end = x + 1;
        while (end < width && attrs[end] == attrs[x])
            ++end;
        if (end < width) PutCount(Scratch, uint32_t(end - x));
        Scratch.push_back(attrs[x]);
        x = end;
    }

    const uint32_t size = uint32_t(Scratch.size());
    if (Blocks.empty() || Blocks.back().Size - Blocks.back().Used < size) {
        if (!Blocks.empty()) Blocks.back().Offsets.shrink_to_fit();
        Block b;
        b.Size = std::max(BlockSize, size); // a row too big for a block gets one of its own
        b.Data.reset(new uint8_t[b.Size]);
        b.FirstRow = FFirst + FCount;
        Blocks.push_back(std::move(b));
    }
    Block &b = Blocks.back();
    b.Offsets.push_back(uint16_t(b.Used));
    std::memcpy(b.Data.get() + b.Used, Scratch.data(), size);
    b.Used += size;
    ++FCount;
    if (FCount > FLimit) DropOldest();
}

void THistoryStore::DropOldest()
{
    ++FFirst;
    --FCount;
    const Block &front = Blocks.front();
    if (FFirst >= front.FirstRow + int64_t(front.Offsets.size())) {
        Blocks.pop_front();
        LastBlock = 0;
    }
}

const uint8_t *THistoryStore::RowData(int i) const
{
    const int64_t serial = FFirst + i;
    auto holds = [serial](const Block &b) {
        return serial >= b.FirstRow && serial < b.FirstRow + int64_t(b.Offsets.size());
    };
    // Rows are mostly read in order: try the block of the last read and its neighbours.
    size_t at = LastBlock;
    if (at >= Blocks.size() || !holds(Blocks[at])) {
        if (at + 1 < Blocks.size() && holds(Blocks[at + 1]))
            ++at;
        else if (at > 0 && at - 1 < Blocks.size() && holds(Blocks[at - 1]))
            --at;
        else
            at = size_t(std::upper_bound(Blocks.begin(), Blocks.end(), serial,
                                         [](int64_t s, const Block &b) { return s < b.FirstRow; }) -
                         Blocks.begin()) -
                 1;
    }
    LastBlock = at;
    const Block &b = Blocks[at];
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
    uint32_t runs = GetCount(p);
    for (int x = 0; runs > 0 && x < width; --runs) {
        const int len = runs > 1 ? int(GetCount(p)) : w - x;
        const uint8_t a = *p++;
        const int end = std::min(width, x + len);
        std::memset(attrs + x, a, size_t(std::max(0, end - x)));
        x = end;
    }
}

size_t THistoryStore::Bytes() const
{
    size_t bytes = Scratch.capacity();
    for (const Block &b : Blocks)
        bytes += sizeof b + b.Size + b.Offsets.capacity() * sizeof(uint16_t);
    return bytes;
}
