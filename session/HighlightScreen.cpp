#include "session/HighlightScreen.h"

#include <re2/filtered_re2.h>
#include <re2/re2.h>

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// ASCII letters to small ones: the prefilter's strings are matched against text so
// lowered (a letter of Latin-1 in either case gives a string for each case).
constexpr std::array<uint8_t, 256> FoldTable = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[size_t(c)] = uint8_t(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return t;
}();

uint8_t Fold(uint8_t c)
{
    return FoldTable[c];
}

// Three bytes with bit 5 set in each (which takes in the fold above), hashed to 16 bits.
uint32_t GramHash(const uint8_t *p)
{
    const uint32_t key = (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16) | 0x202020u;
    return (key * 0x9E3779B1u) >> 16;
}

constexpr size_t LongAtom = 3;
constexpr size_t NotFound = size_t(-1);

} // namespace

bool THighlightScreen::Add(const re2::RE2 &rule)
{
    re2::FilteredRE2 filter(1);
    int id = 0;
    if (filter.Add(rule.pattern(), rule.options(), &id) != re2::RE2::NoError) return false;
    std::vector<std::string> atoms;
    filter.Compile(&atoms);
    std::vector<int> present, potential;
    filter.AllPotentials(present, &potential);
    // A rule that may match with none of its strings present (or has none) screens nothing.
    if (atoms.empty() || !potential.empty()) return false;
    // A string without which the rule cannot match is enough on its own: the longest such.
    int needed = -1;
    for (int a = 0; a < int(atoms.size()); ++a) {
        present.clear();
        for (int b = 0; b < int(atoms.size()); ++b)
            if (b != a) present.push_back(b);
        potential.clear();
        filter.AllPotentials(present, &potential);
        if (potential.empty() && (needed < 0 || atoms[size_t(a)].size() > atoms[size_t(needed)].size()))
            needed = a;
    }
    for (int a = 0; a < int(atoms.size()); ++a) {
        if (needed >= 0 && a != needed) continue;
        if (atoms[size_t(a)].empty()) return false; // found everywhere
        std::string folded = atoms[size_t(a)];
        for (char &c : folded)
            c = char(Fold(uint8_t(c)));
        FAtoms.push_back(std::move(folded));
    }
    return true;
}

namespace {

// How often a byte comes in text, roughly: a window of rare bytes is looked for.
int Commonness(uint8_t c)
{
    static const char order[] = "etaoinsrhldcumfpgwybvkxjqz";
    if (c == ' ') return 30;
    if (const char *at = c >= 'a' && c <= 'z' ? std::strchr(order, c) : nullptr) return 26 - int(at - order);
    return c >= '0' && c <= '9' ? 4 : 1;
}

} // namespace

void THighlightScreen::Build()
{
    FBits.assign(size_t(1) << 10, 0);
    // The bytes looked for (four, or three and any), each with bit 5 set; bit 32: three only.
    std::vector<uint64_t> keys;
    for (uint32_t a = 0; a < FAtoms.size(); ++a) {
        const auto *bytes = reinterpret_cast<const uint8_t *>(FAtoms[a].data());
        const size_t size = FAtoms[a].size();
        if (size < LongAtom) {
            for (int c = 0; c < 256; ++c)
                if (Fold(uint8_t(c)) == bytes[0] && !FAnyByte[c]) {
                    FAnyByte[c] = true;
                    FBytes.push_back(uint8_t(c));
                }
            continue;
        }
        const size_t span = std::min<size_t>(size, 4);
        uint32_t best = 0;
        int rarest = 1 << 30;
        for (uint32_t o = 0; o + span <= size; ++o) {
            int score = 0;
            for (size_t k = 0; k < span; ++k)
                score += Commonness(bytes[o + k]);
            if (score < rarest) {
                rarest = score;
                best = o;
            }
        }
        const uint32_t h = GramHash(bytes + best);
        FGrams.push_back({h, a, best});
        FBits[h >> 6] |= uint64_t(1) << (h & 63);
        uint64_t key = span == 4 ? 0 : uint64_t(1) << 32;
        for (size_t k = 0; k < span; ++k)
            key |= uint64_t(bytes[best + k] | 0x20) << (8 * k);
        keys.push_back(key);
    }
    std::sort(FGrams.begin(), FGrams.end(), [](const TGram &x, const TGram &y) { return x.Hash < y.Hash; });
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    FSets = keys.empty() ? 0 : keys.size() <= 8 ? 1 : 2;
    for (size_t j = 0; j < keys.size(); ++j) {
        const size_t bucket = j * size_t(8 * FSets) / keys.size(); // neighbours share bytes
        const uint8_t bit = uint8_t(1u << (bucket % 8));
        for (int k = 0; k < 4; ++k) {
            const uint8_t b = uint8_t(keys[j] >> (8 * k));
            const bool any = k == 3 && keys[j] >> 32;
            for (int nibble = 0; nibble < 16; ++nibble) {
                if (any || nibble == (b & 15)) FLow[bucket / 8][k][nibble] |= bit;
                if (any || nibble == b >> 4) FHigh[bucket / 8][k][nibble] |= bit;
            }
        }
    }
}

size_t THighlightScreen::Found(const uint8_t *text, size_t size, size_t at) const
{
    const uint32_t h = GramHash(text + at);
    if (!(FBits[h >> 6] >> (h & 63) & 1)) return NotFound;
    auto g = std::lower_bound(FGrams.begin(), FGrams.end(), h,
                              [](const TGram &x, uint32_t v) { return x.Hash < v; });
    for (; g != FGrams.end() && g->Hash == h; ++g) {
        const std::string &atom = FAtoms[g->Atom];
        if (at < g->Offset || at - g->Offset + atom.size() > size) continue;
        const uint8_t *p = text + at - g->Offset;
        size_t k = 0;
        while (k < atom.size() && Fold(p[k]) == uint8_t(atom[k]))
            ++k;
        if (k == atom.size()) return at - g->Offset;
    }
    return NotFound;
}

void THighlightScreen::ScanLong(const uint8_t *p, size_t n, size_t width, size_t from,
                                std::vector<size_t> &hits) const
{
    for (size_t i = from; i + LongAtom <= n;) {
        const size_t at = Found(p, n, i);
        if (at == NotFound) {
            ++i;
            continue;
        }
        hits.push_back(at);
        i = std::max((at / width + 1) * width, i + 1);
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void THighlightScreen::ScanTeddy(const uint8_t *p, size_t n, size_t width,
                                                                 std::vector<size_t> &hits) const
{
    const __m256i nibble = _mm256_set1_epi8(0x0F), fold = _mm256_set1_epi8(0x20),
                  zero = _mm256_setzero_si256();
    __m256i low[2][4], high[2][4];
    for (int s = 0; s < FSets; ++s)
        for (int k = 0; k < 4; ++k) {
            low[s][k] =
                _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(FLow[s][k])));
            high[s][k] =
                _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(FHigh[s][k])));
        }
    // Each byte's buckets for each of the four places, then each place's results moved on
    // to where the four bytes end (the last block's carried in): one load a block.
    __m256i last[2][3] = {};
    size_t i = 0;
    while (i + 32 <= n) {
        const __m256i v = _mm256_or_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + i)), fold);
        const __m256i lo = _mm256_and_si256(v, nibble),
                      hi = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
        __m256i any = zero;
        for (int s = 0; s < FSets; ++s) {
            __m256i r[4];
            for (int k = 0; k < 4; ++k)
                r[k] =
                    _mm256_and_si256(_mm256_shuffle_epi8(low[s][k], lo), _mm256_shuffle_epi8(high[s][k], hi));
            const __m256i c0 = _mm256_permute2x128_si256(last[s][0], r[0], 0x21);
            const __m256i c1 = _mm256_permute2x128_si256(last[s][1], r[1], 0x21);
            const __m256i c2 = _mm256_permute2x128_si256(last[s][2], r[2], 0x21);
            __m256i m = _mm256_and_si256(r[3], _mm256_alignr_epi8(r[2], c2, 15));
            m = _mm256_and_si256(m, _mm256_alignr_epi8(r[1], c1, 14));
            m = _mm256_and_si256(m, _mm256_alignr_epi8(r[0], c0, 13));
            any = _mm256_or_si256(any, m);
            for (int k = 0; k < 3; ++k)
                last[s][k] = r[k];
        }
        uint32_t mask = ~uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, zero)));
        size_t next = i + 32;
        while (mask) {
            const size_t end = i + size_t(__builtin_ctz(mask)); // of the four bytes
            mask &= mask - 1;
            if (end < 3) continue;
            const size_t q = end - 3;
            const uint32_t h = GramHash(p + q);
            if (!(FBits[h >> 6] >> (h & 63) & 1)) continue;
            const size_t at = Found(p, n, q);
            if (at == NotFound) continue;
            hits.push_back(at);
            next = std::max((at / width + 1) * width, q + 1);
            break;
        }
        if (next != i + 32)
            for (auto &set : last)
                for (auto &place : set)
                    place = zero;
        i = next;
    }
    // Four bytes that begin in the last three of the blocks end after them.
    ScanLong(p, n, width, i >= 3 ? i - 3 : 0, hits);
}
#endif

void THighlightScreen::Candidates(const uint8_t *p, int count, int width, int first,
                                  std::vector<int> &rows) const
{
    const size_t n = size_t(count) * size_t(width), w = size_t(width);
    if (n == 0) return;
    FHits.clear();
    if (!FGrams.empty()) {
#if defined(__x86_64__) || defined(__i386__)
        static const bool avx2 = __builtin_cpu_supports("avx2");
        if (avx2)
            ScanTeddy(p, n, w, FHits);
        else
#endif
            ScanLong(p, n, w, 0, FHits);
    }
    if (!FBytes.empty() && FBytes.size() <= 3) {
        for (uint8_t b : FBytes)
            for (size_t i = 0; i < n;) {
                const void *at = std::memchr(p + i, b, n - i);
                if (!at) break;
                FHits.push_back(size_t(static_cast<const uint8_t *>(at) - p));
                i = (FHits.back() / w + 1) * w;
            }
    } else if (!FBytes.empty()) {
        for (size_t i = 0; i < n; ++i)
            if (FAnyByte[p[i]]) {
                FHits.push_back(i);
                i = (i / w + 1) * w - 1;
            }
    }
    std::sort(FHits.begin(), FHits.end());
    const size_t before = rows.size();
    for (size_t at : FHits) {
        const int row = first + int(at / w);
        if (rows.size() == before || rows.back() != row) rows.push_back(row);
    }
}
