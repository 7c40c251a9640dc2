// Passes on only the rows of text that a highlight rule may match, at about two fifths of
// the automaton's cost per byte. RE2's prefilter names, for each rule, strings of which a line
// it matches holds at least one (letters in either case); the screen looks for those
// strings in the rows as they lie in the terminal, trailing blanks and all. Each string is
// known by four of its bytes (all of a shorter one), looked for many positions at a time
// in tables of which strings have which byte in each of the four places (as in Hyperscan's
// Teddy): 64 positions with AVX-512's byte permutes, whole bytes in tables of 128; or 32
// with AVX2, in nibble tables (a hash of three bytes at the text's end, strings shorter
// than three by their first byte). A row where a string is found goes to the rules; the
// others cannot match and are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace re2 {
class RE2;
} // namespace re2

class THighlightScreen
{
public:
    // The vector instructions a screen uses: AVX-512 with byte permutes (VBMI), or AVX2.
    enum class TVector { None, Avx2, Avx512 };
    // The best this processor has.
    static TVector Best();
    // Whether this processor has what the screen needs to be cheaper than the rules' own
    // automaton (AVX2): without it the screen is not used.
    static bool Fast() { return Best() != TVector::None; }
    explicit THighlightScreen(TVector vector = Best()) : FVector(vector) {}
    THighlightScreen(const THighlightScreen &) = delete; // its keys point into its strings
    THighlightScreen &operator=(const THighlightScreen &) = delete;
    // Takes what the rule needs; false when it needs no string: then nothing can be screened.
    bool Add(const re2::RE2 &rule);
    // After the last Add.
    void Build();
    // Appends to `rows` first + the index of each of the `count` rows of `width` bytes from
    // `text` (one after another) that holds a string a rule needs, in order.
    void Candidates(const uint8_t *text, int count, int width, int first, std::vector<int> &rows) const;

private:
    struct TGram
    {
        uint32_t Hash;
        uint32_t Atom;
        uint32_t Offset; // of the three bytes in the string
    };
    // Where a string starts that stands in `text` (rows of `width`) within a row, with its
    // three known bytes at `at`, or size_t(-1).
    size_t Found(const uint8_t *text, size_t size, size_t width, size_t at) const;
    // Adds to `hits` where strings start, one in a row at most; the same two ways.
    void ScanLong(const uint8_t *text, size_t size, size_t width, size_t from,
                  std::vector<size_t> &hits) const;
    void ScanTeddy(const uint8_t *text, size_t size, size_t width, std::vector<size_t> &hits) const;
    void BuildWide();
    template <int Sets>
    void ScanWide(const uint8_t *text, size_t size, size_t width, std::vector<size_t> &hits) const;
    // Where a string of the buckets in `buckets` starts that fills the four places up to
    // `end` within a row of `width`, or size_t(-1).
    size_t Confirm(const uint8_t *text, size_t size, size_t width, size_t end, uint32_t buckets) const;

    TVector FVector;
    std::vector<std::string> FAtoms;     // folded (see Fold in the source)
    mutable std::vector<TGram> FGrams;   // by hash
    mutable std::vector<uint64_t> FBits; // which hashes have a gram
    bool FAnyByte[256] = {};             // first bytes of the short strings, either case
    std::vector<uint8_t> FBytes;         // the same as a list
    // The nibble tables: for byte k of the four, bit b of Low[k][n] says that a string of
    // bucket b has n as that byte's low nibble (High: the high one), in two sets of 8.
    mutable uint8_t FLow[2][4][16] = {}, FHigh[2][4][16] = {};
    mutable int FSets = 0;
    // Each string, with the four bytes looked for (its window). A string whose window comes
    // often in text without the rest of it (a word it begins with, say) moves it to other
    // bytes of it.
    struct TKey
    {
        uint64_t Value, Letters, Counted; // its first eight bytes, its letters, which count
        uint64_t Placed;                  // which of those the window holds (0 past them)
        uint32_t Back;                    // from the window's end back to the string's start
        uint32_t Size;
        const uint8_t *Bytes;
        uint32_t Misses;               // the window found, the string not
        uint32_t Tried;                // of Windows
        std::vector<uint32_t> Windows; // where its window may start, rarest first
        bool Digits;                   // it has bytes that stand for any digit
    };
    mutable std::vector<TKey> FKeys; // as the strings; with AVX-512, bucket by bucket
    uint32_t FBucket[17] = {};       // where each bucket's keys start
    mutable bool FMove = false;
    // AVX-512: bit b of Table[s][k][c & 127] says that a string of bucket 8s + b may have c
    // in place k of the four (strings end at the fourth).
    alignas(64) mutable uint8_t FTable[2][4][128] = {};
    void Place() const;       // the AVX-512 tables from the windows
    void PlaceNarrow() const; // the others
    void Missed(TKey &key) const;
    mutable std::vector<size_t> FHits;
};
