// The model of the view: repaint requests, merged scroll and track requests, the origin
// following output, buffer and view sizes, options and the caret.
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

class View : public ::testing::Test
{
protected:
    TColorTTY t;
    FakeTTYView v;
    // 80 x 100 buffer, 80 x 24 view at the last page, cursor on the last row
    void SetUpView(int cols, int rows, int visibleCols, int visibleRows)
    {
        SetUpTTY(t, cols, rows, visibleCols, visibleRows);
        t.SetView(&v);
        t.ScrollTo(0, t.MaxTop);
        t.MoveCursor(0, rows - 1);
        t.SettleView();
        v.Forget();
    }
    void SetUp() override { SetUpView(80, 100, 80, 24); }
    void W(const std::string &s) { t.Write(s.data(), s.size()); }
    std::string Lines(int n)
    {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += "line " + std::to_string(i) + "\r\n";
        return s;
    }
};

TEST_F(View, BurstOfNewLinesMergesIntoOneScroll)
{
    W(Lines(5));
    EXPECT_TRUE(v.Frames == 1 && t.Viewport().ScrollWaiting());
    EXPECT_EQ(t.Top, 76 - 5); // the picture stays put until the frame settles the view
    EXPECT_TRUE(v.Moves.empty());
    EXPECT_FALSE(t.Viewport().TrackWaiting()); // the view has left the last page meanwhile
    W(Lines(3));
    EXPECT_EQ(v.Frames, 1);

    t.SettleView(); // one move for all eight lines
    ASSERT_EQ(v.Moves.size(), 1u);
    EXPECT_EQ(v.Moves[0], (FakeTTYView::Move{0, 68, 0, 76}));
    EXPECT_EQ(RowTrimmed(t, t.Top + 22), "line 2"); // the last page shows the new lines
    W("x");
    EXPECT_TRUE(v.Frames == 2 && t.Viewport().TrackWaiting());
    W("y");
    EXPECT_EQ(v.Frames, 2);
    t.SettleView();
    EXPECT_EQ(v.Moves.size(), 1u); // cursor already in view
    t.SettleView();                // a frame with nothing waiting does nothing
    EXPECT_EQ(v.Moves.size(), 1u);
}

TEST_F(View, HalfAScreenIsScrolledAtOnce)
{
    W(Lines(11));
    EXPECT_TRUE(v.Moves.empty());
    W(Lines(1)); // merged amount reaches 24 / 2
    ASSERT_EQ(v.Moves.size(), 1u);
    EXPECT_EQ(v.Moves[0], (FakeTTYView::Move{0, 64, 0, 76}));
    W(Lines(2)); // the frame already asked for carries these
    EXPECT_EQ(v.Frames, 1);
    t.SettleView();
    EXPECT_EQ(v.Moves.back(), (FakeTTYView::Move{0, 74, 0, 76}));
    W(Lines(1));
    EXPECT_EQ(v.Frames, 2);
}

TEST_F(View, OddSizesRoundHalvesTowardZero)
{
    SetUpView(9, 50, 5, 5); // halves are 2 and 2
    t.ScrollBy(1, 1);
    EXPECT_TRUE(v.Frames == 1 && t.Viewport().ScrollWaiting());
    EXPECT_TRUE(v.Moves.empty());
    t.ScrollBy(0, 1); // 2 is not below 2
    ASSERT_EQ(v.Moves.size(), 1u);
    EXPECT_EQ(v.Moves[0], (FakeTTYView::Move{0, 45, 1, 45})); // clamped at the bottom
    t.ScrollTo(0, 10);
    v.Forget();
    t.ScrollBy(-1, -1);
    t.ScrollBy(1, 1); // cancels out: nothing waits
    t.SettleView();
    EXPECT_TRUE(v.Moves.empty());
    t.ScrollBy(0, -2);
    EXPECT_EQ(t.Top, 8);

    SetUpView(80, 50, 80, 1); // a one-row view never waits
    t.ScrollTo(0, 10);
    v.Forget();
    t.ScrollBy(0, 1);
    EXPECT_EQ(v.Frames, 0);
    EXPECT_EQ(t.Top, 11);
}

TEST_F(View, WithoutLazyWriteEverythingHappensAtOnce)
{
    t.SetOptions(t.Options & ~OptionBit(coLazyWrite));
    W("abc" + Lines(2));
    EXPECT_EQ(v.Frames, 0);
    EXPECT_EQ(t.Top, 76);
    EXPECT_EQ(v.Moves.size(), 2u);
    ASSERT_FALSE(v.Invalidated.empty());
    EXPECT_EQ(v.Invalidated[0], (FakeTTYView::Cells{0, 9, 99, true}));
    W("\x07");
    EXPECT_EQ(v.Beeps, 1);
}

TEST_F(View, DetachingCarriesOutWaitingRequestsAndTheModelWorksAlone)
{
    W(Lines(3));
    t.SetView(nullptr);
    EXPECT_EQ(t.Top, 76);
    W(Lines(30) + "\x07" + std::string(100, 'x'));
    EXPECT_EQ(t.Top, 76);
    EXPECT_EQ(t.CursorY, 99);
    EXPECT_EQ(v.Beeps, 0);
}

TEST_F(View, WholeBufferInViewRepaintsWhenTheRingAdvances)
{
    SetUpView(20, 10, 20, 12);
    W(Lines(2));
    EXPECT_GE(v.InvalidatedAll, 2);
    EXPECT_EQ(t.Top, 0);
    EXPECT_EQ(RowTrimmed(t, 8), "line 1");
}

// Also when the view is taller than the buffer (the last page is then the whole buffer).
TEST_F(View, TrackingFollowsTheCursorHorizontally)
{
    for (int rows : {100, 10}) {
        SetUpView(80, rows, 40, 24);
        W(std::string(60, 'h'));
        EXPECT_TRUE(v.Frames == 1 && t.Viewport().TrackWaiting()) << rows;
        t.SettleView();
        EXPECT_EQ(t.Left, 21) << rows;
        W("\r");
        t.SettleView();
        EXPECT_EQ(t.Left, 0) << rows;
    }
}

TEST_F(View, MoveCursorTracksOnlyFromARowInView)
{
    t.SetOptions(t.Options & ~OptionBit(coLazyWrite));
    t.MoveCursor(0, 10); // from the last row (in view)
    EXPECT_EQ(t.Top, 10);
    t.ScrollTo(0, 50);
    t.MoveCursor(0, 99); // from row 10, out of view: no tracking
    EXPECT_EQ(t.Top, 50);
    t.SetOptions(t.Options & ~OptionBit(coAutoTracking));
    t.MoveCursor(0, 55);
    t.MoveCursor(0, 0);
    EXPECT_EQ(t.Top, 50);
}

TEST_F(View, BufferSizeKeepsTheCursorsDistanceFromTheBottom)
{
    t.MoveCursor(3, 97);
    t.Viewport().SetSelectionPoints({2, 90}, {5, 99});
    t.SetRows(819);
    EXPECT_FALSE(t.Viewport().HasSelection());
    EXPECT_EQ(t.Rows, 819);
    EXPECT_EQ(t.CursorY, 816);
    EXPECT_EQ(t.CursorX, 3);
    EXPECT_EQ(t.Screen().CharAt(0, 816), ' ');
    EXPECT_EQ(t.Screen().AttrAt(0, 816), 15);
    t.SettleView();
    EXPECT_EQ(t.Top, t.MaxTop);
    t.Viewport().SetSelectionPoints(t.SelStart, {5, 800});
    t.SetRows(10);
    EXPECT_EQ(t.SelEnd, TCellPoint{});
    EXPECT_EQ(t.CursorY, 7);
    EXPECT_EQ(t.MaxTop, 0);
    EXPECT_EQ(t.Top, 0);
    t.MoveCursor(0, 0);
    t.SetRows(5); // nearer the bottom than possible: row 0
    EXPECT_EQ(t.CursorY, 0);
}

TEST_F(View, BufferNeverExceedsSixtyFiveThousandCells)
{
    t.SetBufferSize(819, 200);
    EXPECT_EQ(t.Cols, 200);
    EXPECT_EQ(t.Rows, 327);
    t.SetCols(0);
    EXPECT_EQ(t.Cols, 1);
    t.SetBufferSize(-3, 100000);
    EXPECT_EQ(t.Cols, 65535);
    EXPECT_EQ(t.Rows, 1);
    W("\x1b[J\x1b[2J" + Lines(3) + std::string(70000, 'x'));
    EXPECT_EQ(t.CursorY, 0);
}

TEST_F(View, ClearBlanksAndHomesEverything)
{
    W("\x01r" + Lines(40));
    t.ScrollTo(0, 60);
    v.Forget();
    t.Clear();
    EXPECT_EQ(t.Attr, 15);
    EXPECT_EQ(t.CursorX, 0);
    EXPECT_EQ(t.CursorY, 0);
    EXPECT_EQ(t.Top, 0);
    for (int y = 0; y < t.Rows; ++y)
        ASSERT_EQ(RowTrimmed(t, y), "") << y;
    EXPECT_EQ(t.Screen().AttrAt(5, 99), 0);
    EXPECT_EQ(v.Moves.size(), 1u);
    EXPECT_GE(v.InvalidatedAll, 1);
}

// Erasing across rows is checked against the reference; here the buffer's bounds.
TEST_F(View, EraseAndWriteCellsStayInsideTheBuffer)
{
    t.MoveCursor(0, 0);
    W("top\x1b[20;1H" + std::string(80, 'e') + "\r\nq");
    t.EraseCells(0, 96, 100000);
    t.EraseCells(0, 100, 5);
    t.EraseCells(0, -1, 5);
    t.WriteCells(78, 95, 5, "ABCDE"); // clipped at the end of the row
    EXPECT_EQ(RowText(t, 95).substr(76), "eeAB");
    EXPECT_EQ(std::pair(RowTrimmed(t, 96), RowTrimmed(t, 0)), std::pair(std::string(), std::string("top")));
}

TEST_F(View, ErasingOnePastTheRowsRoomGoesOnAcrossTheRingsSeam)
{
    W(std::string(160, 'x')); // the ring turned once: row 98 is stored last, row 99 first
    t.EraseCells(79, 98, 2);
    EXPECT_EQ(RowText(t, 98).substr(78) + RowText(t, 99).substr(0, 2), "x  x");
}

TEST_F(View, OptionsStopTheBlinkTimerAndTheCaretFollowsCursorMovesButNotText)
{
    t.SetOptions(t.Options | OptionBit(coFlashing));
    t.Viewport().SetTimerActive(true); // the widget started the blink timer
    t.SetOptions(t.Options & ~OptionBit(coFlashing));
    EXPECT_EQ(v.TimerStops, 1);
    EXPECT_EQ(v.InvalidatedAll, 0);
    t.Viewport().SetFocused(true);
    t.MoveCursor(4, 99);
    EXPECT_EQ(v.Carets, 0); // no caret without coFulltimeCursor
    t.SetOptions(t.Options | OptionBit(coFulltimeCursor));
    t.MoveCursor(5, 99);
    EXPECT_EQ(v.Carets, 1);
    W("text\r\n");
    EXPECT_EQ(v.Carets, 1);
    t.SettleView(); // a view move updates it
    EXPECT_EQ(v.Carets, 2);
}

} // namespace

TEST_F(View, SplitOpensOnScrollingBackAndClosesAtTheNewestRows)
{
    W(Lines(100));
    // What is done, then: split, rows of the history part, rows of the live part.
    const std::tuple<std::function<void()>, bool, int, int> steps[] = {
        {[&] { t.ScrollTo(0, 50, TViewMove::Follow); }, false, 24, 0}, // output and sizes never split
        {[&] { t.ScrollTo(0, t.MaxTop - 1); }, true, 15, 8},           // one row back
        {[&] { W(Lines(30)); }, true, 15, 8},
        {[&] { t.SetVisibleSize(80, 6); }, true, 2, 3}, // the history part keeps two rows
        {[&] { t.SetVisibleSize(80, 3); }, true, 3, 0}, // no room for both
        {[&] { t.SetVisibleSize(80, 24); }, true, 15, 8},
        {[&] { t.Viewport().SetLiveRows(3); }, true, 20, 3}, // the handle dragged
        {[&] { CloseSplit(t); }, false, 24, 0},              // End
        {[&] { t.ScrollTo(0, 10); }, true, 20, 3},
        {[&] { t.ScrollTo(0, 1000); }, false, 24, 0}, // down to the last page
        {[&] { t.ScrollTo(0, 10); }, true, 20, 3},
        {[&] { t.Clear(); }, false, 24, 0},
    };
    int step = 0;
    for (const auto &[act, split, upper, live] : steps) {
        act();
        EXPECT_EQ(std::tuple(t.Viewport().Split(), t.Viewport().UpperRows(), ViewRows(t).Live),
                  std::tuple(split, upper, live))
            << step++;
    }
    t.Viewport().SetLiveRows(0);
    EXPECT_EQ(t.Viewport().LiveRows(), 1);
}

TEST_F(View, TheLivePartShowsTheNewestRows)
{
    W(Lines(100));
    t.ScrollTo(0, 20);
    const std::string kept = RowText(t, 20);
    t.SetSelection({0, 20}, {7, 20});
    v.Forget();
    W(Lines(5) + "last");
    EXPECT_TRUE(v.Renumbered == 5 && v.Frames == 0 && v.Moves.empty()); // no tracking, no scrolls
    TViewRows rows = ViewRows(t);
    char selected[8];
    t.GetSelTextBuf(selected, sizeof selected); // the history part and its selection stay put
    EXPECT_EQ(std::tuple(t.Top, RowText(t, t.Top), std::string(selected)),
              std::tuple(15, kept, kept.substr(0, 7)));
    EXPECT_EQ(RowTrimmed(t, rows.RowAt(rows.Upper + rows.Live)), "last");
    EXPECT_EQ(rows.RowAt(rows.Upper), TViewRows::Handle);
    // After a clear screen the newest rows end at the cursor, not at the blank bottom.
    t.SetEmulation(teAnsiBbs);
    W("\x1b[2J\x1b[Hmenu\r\nprompt: ");
    rows = ViewRows(t);
    EXPECT_EQ(RowTrimmed(t, rows.RowAt(rows.Upper + rows.Live)), "prompt:");
    CloseSplit(t);
    EXPECT_EQ(std::pair(t.Viewport().Split(), t.Top), std::pair(false, t.MaxTop));
}
