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
// Misses of a string whose four bytes were found before they move to others of it.
constexpr uint32_t MissesToMove = 256;
constexpr size_t NotFound = size_t(-1);

} // namespace

namespace {

// The byte that stands for any digit in the strings the AVX-512 screen looks for.
constexpr uint8_t Digit = 0x01;

bool Same(uint8_t text, uint8_t atom)
{
    return Fold(text) == atom || (atom == Digit && text >= '0' && text <= '9');
}

// The pattern with each digit class outside brackets ("[0-9]", "\d") as the byte Digit,
// so that the prefilter names strings with digits in them: "-" and four digits for
// "[0-9]{3,}-[0-9]{4}" instead of "-" alone. A line a rule matches holds such a string
// where its digits stand for the digits the class took.
std::string DigitsAsOne(const std::string &p)
{
    std::string out;
    for (size_t i = 0; i < p.size();) {
        size_t end = i + 1;
        if (p.compare(i, 2, "\\Q") == 0) { // quoted up to \E
            const size_t e = p.find("\\E", i + 2);
            end = e == std::string::npos ? p.size() : e + 2;
        } else if (p[i] == '\\') {
            end = std::min(i + 2, p.size());
            if (p.compare(i, 2, "\\d") == 0) {
                out += char(Digit);
                i = end;
                continue;
            }
        } else if (p[i] == '[') {
            size_t j = i + 1;
            if (j < p.size() && p[j] == '^') ++j;
            if (j < p.size() && p[j] == ']') ++j; // a first ] is itself
            while (j < p.size() && p[j] != ']')
                if (p[j] == '\\')
                    j += 2;
                else if (p.compare(j, 2, "[:") == 0 && p.find(":]", j + 2) != std::string::npos)
                    j = p.find(":]", j + 2) + 2;
                else
                    ++j;
            end = std::min(j + 1, p.size());
            if (p.compare(i, end - i, "[0-9]") == 0) {
                out += char(Digit);
                i = end;
                continue;
            }
        }
        out.append(p, i, end - i);
        i = end;
    }
    return out;
}

} // namespace

bool THighlightScreen::Add(const re2::RE2 &rule)
{
    re2::FilteredRE2 filter(1);
    int id = 0;
    const std::string digits = FVector == TVector::Avx512 ? DigitsAsOne(rule.pattern()) : rule.pattern();
    if (filter.Add(digits, rule.options(), &id) != re2::RE2::NoError &&
        (digits == rule.pattern() || filter.Add(rule.pattern(), rule.options(), &id) != re2::RE2::NoError))
        return false;
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
    if (c == ' ' || c == Digit) return 30; // Digit: ten bytes
    if (const char *at = c >= 'a' && c <= 'z' ? std::strchr(order, c) : nullptr) return 26 - int(at - order);
    return c >= '0' && c <= '9' ? 4 : 1;
}

} // namespace

void THighlightScreen::Build()
{
    // Every window of four bytes of each string (all of a shorter one), rarest first.
    for (const std::string &atom : FAtoms) {
        const size_t span = std::min<size_t>(atom.size(), 4);
        TKey key{0,
                 0,
                 0,
                 0,
                 0,
                 uint32_t(atom.size()),
                 reinterpret_cast<const uint8_t *>(atom.data()),
                 0,
                 0,
                 {},
                 FVector == TVector::Avx512 && atom.find(char(Digit)) != std::string::npos};
        std::vector<std::pair<int, uint32_t>> windows;
        for (size_t o = 0; o + span <= atom.size(); ++o) {
            int score = 0;
            for (size_t k = 0; k < span; ++k)
                score += Commonness(uint8_t(atom[o + k]));
            windows.push_back({score, uint32_t(o)});
        }
        std::stable_sort(windows.begin(), windows.end(),
                         [](const auto &x, const auto &y) { return x.first < y.first; });
        for (const auto &w : windows)
            key.Windows.push_back(w.second);
        for (size_t j = 0; j < std::min<size_t>(atom.size(), 8); ++j) {
            const uint8_t c = uint8_t(atom[j]);
            key.Value |= uint64_t(c) << (8 * j);
            key.Counted |= uint64_t(0xFF) << (8 * j);
            if (c >= 'a' && c <= 'z') key.Letters |= uint64_t(0x20) << (8 * j);
        }
        FKeys.push_back(std::move(key));
    }
    if (FVector == TVector::Avx512) {
        BuildWide();
        return;
    }
    for (const TKey &key : FKeys)
        if (key.Size < LongAtom)
            for (int c = 0; c < 256; ++c)
                if (Fold(uint8_t(c)) == key.Bytes[0] && !FAnyByte[c]) {
                    FAnyByte[c] = true;
                    FBytes.push_back(uint8_t(c));
                }
    PlaceNarrow();
}

void THighlightScreen::PlaceNarrow() const
{
    FBits.assign(size_t(1) << 10, 0);
    FGrams.clear();
    std::memset(FLow, 0, sizeof FLow);
    std::memset(FHigh, 0, sizeof FHigh);
    // The bytes looked for (four, or three and any), each with bit 5 set; bit 32: three only.
    std::vector<uint64_t> keys;
    for (uint32_t a = 0; a < FKeys.size(); ++a) {
        TKey &key = FKeys[a];
        key.Misses = 0;
        if (key.Size < LongAtom) continue;
        const size_t span = std::min<size_t>(key.Size, 4);
        const uint32_t best = key.Windows[key.Tried];
        const uint32_t h = GramHash(key.Bytes + best);
        FGrams.push_back({h, a, best});
        FBits[h >> 6] |= uint64_t(1) << (h & 63);
        uint64_t bytes = span == 4 ? 0 : uint64_t(1) << 32;
        for (size_t k = 0; k < span; ++k)
            bytes |= uint64_t(key.Bytes[best + k] | 0x20) << (8 * k);
        keys.push_back(bytes);
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

void THighlightScreen::Missed(TKey &key) const
{
    if (++key.Misses == MissesToMove && key.Tried + 1 < key.Windows.size()) FMove = true;
}

size_t THighlightScreen::Found(const uint8_t *text, size_t size, size_t width, size_t at) const
{
    const uint32_t h = GramHash(text + at);
    if (!(FBits[h >> 6] >> (h & 63) & 1)) return NotFound;
    auto g = std::lower_bound(FGrams.begin(), FGrams.end(), h,
                              [](const TGram &x, uint32_t v) { return x.Hash < v; });
    for (; g != FGrams.end() && g->Hash == h; ++g) {
        const std::string &atom = FAtoms[g->Atom];
        // Lines are matched one by one: a string across the end of one counts for neither.
        if (at < g->Offset || at - g->Offset + atom.size() > size ||
            (at - g->Offset) / width != (at - g->Offset + atom.size() - 1) / width)
            continue;
        const uint8_t *p = text + at - g->Offset;
        size_t k = 0;
        while (k < atom.size() && Fold(p[k]) == uint8_t(atom[k]))
            ++k;
        if (k == atom.size()) return at - g->Offset;
        if (k >= g->Offset + 4) Missed(FKeys[g->Atom]);
    }
    return NotFound;
}

void THighlightScreen::ScanLong(const uint8_t *p, size_t n, size_t width, size_t from,
                                std::vector<size_t> &hits) const
{
    for (size_t i = from; i + LongAtom <= n;) {
        const size_t at = Found(p, n, width, i);
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
            const size_t at = Found(p, n, width, q);
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

THighlightScreen::TVector THighlightScreen::Best()
{
#if defined(__x86_64__) || defined(__i386__)
    static const TVector best = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi")
                                    ? TVector::Avx512
                                : __builtin_cpu_supports("avx2") ? TVector::Avx2
                                                                 : TVector::None;
    return best;
#else
    return TVector::None;
#endif
}

void THighlightScreen::BuildWide()
{
    // Neighbours share bytes; strings of one or two bytes, which take most places as any,
    // keep a bucket of their own.
    auto window = [](const TKey &k) {
        const size_t span = std::min<size_t>(k.Size, 4);
        return std::string(4 - span, '\0') +
               std::string(reinterpret_cast<const char *>(k.Bytes) + k.Windows[0], span);
    };
    std::sort(FKeys.begin(), FKeys.end(),
              [&](const TKey &x, const TKey &y) { return window(x) < window(y); });
    std::stable_partition(FKeys.begin(), FKeys.end(), [](const TKey &x) { return x.Size <= 2; });
    const size_t shorts =
        size_t(std::count_if(FKeys.begin(), FKeys.end(), [](const TKey &x) { return x.Size <= 2; }));
    const size_t longs = FKeys.size() - shorts, own = shorts ? 1 : 0;
    FSets = longs + own <= 64 ? 1 : 2;             // a second set costs as much again; a fuller bucket less
    const size_t spread = size_t(8 * FSets) - own; // buckets for the longer strings
    for (size_t j = 0; j < FKeys.size(); ++j) {
        const size_t bucket = j < shorts ? 0 : own + (j - shorts) * spread / std::max<size_t>(longs, 1);
        FBucket[bucket + 1] = uint32_t(j + 1);
    }
    for (size_t b = 1; b <= 16; ++b)
        FBucket[b] = std::max(FBucket[b], FBucket[b - 1]);
    Place();
}

void THighlightScreen::Place() const
{
    std::memset(FTable, 0, sizeof FTable);
    for (size_t bucket = 0; bucket < 16; ++bucket)
        for (uint32_t i = FBucket[bucket]; i < FBucket[bucket + 1]; ++i) {
            TKey &key = FKeys[i];
            const size_t span = std::min<size_t>(key.Size, 4), at = key.Windows[key.Tried];
            key.Back = uint32_t(at + span - 1);
            key.Placed = 0;
            for (size_t j = at; j < at + span && at + span <= 8; ++j)
                key.Placed |= uint64_t(0xFF) << (8 * j);
            key.Misses = 0;
            const uint8_t bit = uint8_t(1u << (bucket % 8));
            for (size_t k = 0; k < 4; ++k)
                for (int c = 0; c < 256; ++c)
                    if (k < 4 - span || Same(uint8_t(c), key.Bytes[at + k - (4 - span)]))
                        FTable[bucket / 8][k][c & 127] |= bit;
        }
}

size_t THighlightScreen::Confirm(const uint8_t *p, size_t n, size_t width, size_t end, uint32_t buckets) const
{
    for (; buckets; buckets &= buckets - 1) {
        const unsigned b = unsigned(__builtin_ctz(buckets));
        for (uint32_t i = FBucket[b]; i < FBucket[b + 1]; ++i) {
            TKey &key = FKeys[i];
            const size_t start = end - key.Back;
            if (end < key.Back || start + key.Size > n || start / width != (start + key.Size - 1) / width)
                continue; // lines are matched one by one: a string across the end of one counts for neither
            size_t j = 0;
            if (start + 8 <= n && !key.Digits) {
                uint64_t eight;
                std::memcpy(&eight, p + start, 8);
                const uint64_t folded = eight | key.Letters;
                if ((folded & key.Counted) != key.Value) {
                    if ((folded & key.Placed) == (key.Value & key.Placed) && key.Placed) Missed(key);
                    continue;
                }
                j = std::min<size_t>(key.Size, 8);
            }
            while (j < key.Size && Same(p[start + j], key.Bytes[j]))
                ++j;
            if (j == key.Size) return start;
        }
    }
    return NotFound;
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// The 64 bytes that stand `back` before positions at..at+63 of the text, 0 outside it.
__attribute__((target("avx512f,avx512bw"))) inline __m512i Behind(const uint8_t *p, size_t n, size_t at,
                                                                  size_t back)
{
    if (at >= back && at - back + 64 <= n) return _mm512_loadu_si512(p + at - back);
    const size_t from = back > at ? back - at : 0, to = std::min<size_t>(64, n - at);
    const uint64_t keep = (to == 64 ? ~uint64_t(0) : (uint64_t(1) << to) - 1) & ~((uint64_t(1) << from) - 1);
    return _mm512_maskz_loadu_epi8(keep, reinterpret_cast<const void *>(uintptr_t(p) + at - back));
}

} // namespace

template <int Sets>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
THighlightScreen::ScanWide(const uint8_t *p, size_t n, size_t width, std::vector<size_t> &hits) const
{
    __m512i low[Sets][4], high[Sets][4];
    for (int s = 0; s < Sets; ++s)
        for (int k = 0; k < 4; ++k) {
            low[s][k] = _mm512_load_si512(FTable[s][k]);
            high[s][k] = _mm512_load_si512(FTable[s][k] + 64);
        }
    // Each place's byte looked up where it stands before the fourth: no carrying between blocks.
    for (size_t i = 0; i < n;) {
        __m512i x[4], m[Sets];
        for (int k = 0; k < 4; ++k)
            x[k] = Behind(p, n, i, size_t(3 - k));
        for (int s = 0; s < Sets; ++s) {
            __m512i r[4];
            for (int k = 0; k < 4; ++k)
                r[k] = _mm512_permutex2var_epi8(low[s][k], x[k], high[s][k]);
            m[s] = _mm512_and_si512(_mm512_ternarylogic_epi64(r[0], r[1], r[2], 0x80), r[3]);
        }
        const __m512i any = Sets == 2 ? _mm512_or_si512(m[0], m[Sets - 1]) : m[0];
        uint64_t mask = _mm512_test_epi8_mask(any, any);
        if (n - i < 64) mask &= (uint64_t(1) << (n - i)) - 1;
        size_t next = i + 64;
        if (mask) {
            alignas(64) uint8_t buckets[Sets][64];
            for (int s = 0; s < Sets; ++s)
                _mm512_store_si512(buckets[s], m[s]);
            do {
                const size_t j = size_t(__builtin_ctzll(mask));
                mask &= mask - 1;
                const size_t at =
                    Confirm(p, n, width, i + j, buckets[0][j] | (Sets == 2 ? buckets[Sets - 1][j] << 8 : 0));
                if (at == NotFound) continue;
                hits.push_back(at);
                next = std::max((at / width + 1) * width, i + j + 1);
                break;
            } while (mask);
        }
        i = next;
    }
}
#endif

void THighlightScreen::Candidates(const uint8_t *p, int count, int width, int first,
                                  std::vector<int> &rows) const
{
    const size_t n = size_t(count) * size_t(width), w = size_t(width);
    if (n == 0) return;
    FHits.clear();
#if defined(__x86_64__) || defined(__i386__)
    if (FVector == TVector::Avx512 && FSets == 2)
        ScanWide<2>(p, n, w, FHits);
    else if (FVector == TVector::Avx512)
        ScanWide<1>(p, n, w, FHits);
    else if (FVector == TVector::Avx2 && !FGrams.empty())
        ScanTeddy(p, n, w, FHits);
    else
#endif
        if (!FGrams.empty())
        ScanLong(p, n, w, 0, FHits);
    if (FVector != TVector::Avx512 && !FBytes.empty() && FBytes.size() <= 3) {
        for (uint8_t b : FBytes)
            for (size_t i = 0; i < n;) {
                const void *at = std::memchr(p + i, b, n - i);
                if (!at) break;
                FHits.push_back(size_t(static_cast<const uint8_t *>(at) - p));
                i = (FHits.back() / w + 1) * w;
            }
    } else if (FVector != TVector::Avx512 && !FBytes.empty()) {
        for (size_t i = 0; i < n; ++i)
            if (FAnyByte[p[i]]) {
                FHits.push_back(i);
                i = (i / w + 1) * w - 1;
            }
    }
    if (FMove) {
        for (TKey &key : FKeys)
            if (key.Misses >= MissesToMove && key.Tried + 1 < key.Windows.size()) ++key.Tried;
        FMove = false;
        if (FVector == TVector::Avx512)
            Place();
        else
            PlaceNarrow();
    }
    std::sort(FHits.begin(), FHits.end());
    const size_t before = rows.size();
    for (size_t at : FHits) {
        const int row = first + int(at / w);
        if (rows.size() == before || rows.back() != row) rows.push_back(row);
    }
}
