// Rows that scrolled off the top of the terminal's ring, oldest first, kept compactly: per
// row its width, its characters without the trailing spaces and its attribute runs, packed
// one after another into large blocks. A blank row costs a few bytes, a line of BBS text
// little more than its characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

// The most rows a history may be asked to keep.
constexpr int MaxHistoryRows = 1000000;

class THistoryStore
{
public:
    // Rows kept at most (0..MaxHistoryRows); the oldest beyond it are dropped at once.
    void SetLimit(int rows);
    int Limit() const { return FLimit; }
    int Count() const { return int(FCount); }
    void Clear();

    // Appends a row of `width` cells; drops the oldest row when the limit is reached.
    void Push(const uint8_t *chars, const uint8_t *attrs, int width);

    // Row i (0 the oldest) as `width` cells: cut, or filled out with blanks of attribute 0.
    void Read(int i, uint8_t *chars, uint8_t *attrs, int width) const;
    // The characters of row i up to its last one that is not a space, straight from the
    // store; `width` gets the row's width in cells.
    std::string_view Text(int i, int *width = nullptr) const;

    // Memory held, in bytes.
    size_t Bytes() const;

private:
    struct Block
    {
        std::unique_ptr<uint8_t[]> Data;
        uint32_t Size = 0; // capacity
        uint32_t Used = 0;
        int64_t FirstRow = 0;          // serial of its first row
        std::vector<uint16_t> Offsets; // where each of its rows starts
    };

    const uint8_t *RowData(int i) const;
    void DropOldest();

    std::deque<Block> FBlocks;
    int FLimit = 0;
    int64_t FFirst = 0; // serial of the oldest row held
    int64_t FCount = 0;
    mutable size_t FLastBlock = 0;
};
