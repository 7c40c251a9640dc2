// A view of any size for driving TColorTTY without a window: it records what the model asks.
#pragma once

#include "terminal/ColorTTY.h"

#include <string>
#include <vector>

struct FakeTTYView : TTTYView
{
    struct Cells
    {
        int x1, x2, y;
        bool now;
        bool operator==(const Cells &) const = default;
    };
    struct Move
    {
        int oldLeft, oldTop, newLeft, newTop;
        bool operator==(const Move &) const = default;
    };
    bool Window = true;
    std::vector<Cells> Invalidated;
    int InvalidatedAll = 0;
    std::vector<Move> Moves;
    int Renumbered = 0;
    int Frames = 0; // frames asked for (a scroll or tracking waits)
    int Beeps = 0;
    int Carets = 0;
    int TimerStops = 0;

    bool HasWindow() const override { return Window; }
    void InvalidateCells(int x1, int x2, int y, bool now) override
    {
        Invalidated.push_back({x1, x2, y, now});
    }
    void InvalidateAll(bool) override { ++InvalidatedAll; }
    void ViewMoved(int ol, int ot, int nl, int nt) override { Moves.push_back({ol, ot, nl, nt}); }
    void TopRenumbered() override { ++Renumbered; }
    void FrameWanted() override { ++Frames; }
    void Beep() override { ++Beeps; }
    void UpdateCaret() override { ++Carets; }
    void StopTimer() override { ++TimerStops; }
    void Forget()
    {
        Invalidated.clear();
        Moves.clear();
        InvalidatedAll = Renumbered = Frames = Beeps = Carets = TimerStops = 0;
    }
};

// The characters of logical row y.
inline std::string RowText(const TColorTTY &t, int y)
{
    return std::string(reinterpret_cast<const char *>(t.Screen().RowChars(y)), size_t(t.Cols));
}

// The characters of logical row y without trailing blanks.
inline std::string RowTrimmed(const TColorTTY &t, int y)
{
    std::string s = RowText(t, y);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// A terminal of rows x cols whose view shows visibleCols x visibleRows cells.
inline void SetUpTTY(TColorTTY &t, int cols, int rows, int visibleCols, int visibleRows)
{
    t.SetBufferSize(rows, cols);
    t.SetVisibleSize(visibleCols, visibleRows);
    t.Clear();
}
