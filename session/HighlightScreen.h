// Passes on only the rows of text that a highlight rule may match, at a small part of the
// automaton's cost per byte. RE2's prefilter names, for each rule, strings of which a line
// it matches holds at least one (letters in either case); the screen looks for those
// strings in the rows as they lie in the terminal, trailing blanks and all. Each string of
// three bytes or more is known by four of its bytes (three in a string of three), looked
// for 32 positions at a time where the processor has AVX2 (nibble tables, as in
// Hyperscan's Teddy) and by a hash of three bytes elsewhere; shorter strings by
// their first byte. A row where a string is found goes to the rules; the others cannot
// match and are skipped.
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
    // Where a string starts that stands in `text` with its three known bytes at `at`, or
    // size_t(-1).
    size_t Found(const uint8_t *text, size_t size, size_t at) const;
    // Adds to `hits` where strings start, one in a row at most; the same two ways.
    void ScanLong(const uint8_t *text, size_t size, size_t width, size_t from,
                  std::vector<size_t> &hits) const;
    void ScanTeddy(const uint8_t *text, size_t size, size_t width, std::vector<size_t> &hits) const;

    std::vector<std::string> FAtoms; // folded (see Fold in the source)
    std::vector<TGram> FGrams;       // by hash
    std::vector<uint64_t> FBits;     // which hashes have a gram
    bool FAnyByte[256] = {};         // first bytes of the short strings, either case
    std::vector<uint8_t> FBytes;     // the same as a list
    // The nibble tables: for byte k of the four, bit b of Low[k][n] says that a string of
    // bucket b has n as that byte's low nibble (High: the high one), in two sets of 8.
    uint8_t FLow[2][4][16] = {}, FHigh[2][4][16] = {};
    int FSets = 0;
    mutable std::vector<size_t> FHits;
};
