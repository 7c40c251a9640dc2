#include "terminal/ColorTTYSelection.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A terminal of 10 x 5 cells, all on screen, no window attached.
struct SelectionTest : ::testing::Test
{
    TColorTTY tty;
    void SetUp() override
    {
        tty.SetBufferSize(5, 10);
        tty.SetVisibleSize(10, 5);
        tty.MoveCursor(0, 0);
    }
    void Select(TCellPoint s, TCellPoint e)
    {
        tty.SelStart = s;
        tty.SelEnd = e;
    }
};

} // namespace

TEST_F(SelectionTest, ColouredTextResetsWhenBrightOrFlashGoesAway)
{
    // X bright red on blue with flash, then y plain red on black.
    tty.Write("\1a\1e\1f\1r\1BX\1a\1ry");
    Select({0, 0}, {2, 0});
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1f\1e\1r\1BX\1a\1ry");
}

TEST_F(SelectionTest, RowsEndInCrLfWithoutTrailingSpaces)
{
    tty.Write("ab  \1r  \r\n\r\nxy  z");
    // Row 0 "ab" + red trailing spaces, row 1 all spaces, row 2 "xy  z".
    Select({0, 0}, {4, 2});
    EXPECT_EQ(SelectionText(tty), "ab\r\n\r\nxy  ");
    // The red spaces were cut before their codes could be written.
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1fab\r\n\r\n\1rxy  ");

    Select({0, 1}, {0, 2}); // a row of spaces
    EXPECT_EQ(SelectionText(tty), "\r\n");
    Select({1, 0}, {0, 1}); // ends at column 0: the line break is the last thing
    EXPECT_EQ(SelectionText(tty), "b\r\n");
    Select({3, 2}, {3, 2});
    EXPECT_EQ(SelectionText(tty), "");
    EXPECT_EQ(SelectionColouredText(tty), ""); // not a lone reset code
}

TEST_F(SelectionTest, EndOfBufferPointAndOutOfRangePointsAreSafe)
{
    tty.MoveCursor(0, 4);
    tty.Write("last");
    Select({0, 4}, {0, 5}); // (0, Rows) is the end of the buffer
    EXPECT_EQ(SelectionText(tty), "last\r\n");
    Select({-3, -1}, {99, 99});
    EXPECT_EQ(SelectionText(tty).size(), 4u * 2 + 6);
    Select({5, 3}, {1, 1}); // wrong order: nothing
    EXPECT_EQ(SelectionText(tty), "");
}

TEST_F(SelectionTest, GetSelTextBufStaysInsideTheBuffer)
{
    tty.Write("hello\r\nworld");
    Select({0, 0}, {5, 1});
    char buf[32];
    tty.GetSelTextBuf(buf, sizeof buf);
    EXPECT_STREQ(buf, "hello\r\nworld");

    for (int size = 1; size <= 13; ++size) {
        char small[16];
        std::memset(small, '#', sizeof small);
        tty.GetSelTextBuf(small, size);
        EXPECT_EQ(small[size], '#') << size; // nothing written past size
        EXPECT_LE(std::strlen(small), size_t(size - 1)) << size;
    }
    // Room for the characters but not the line break: CR LF is left out.
    char six[6];
    tty.GetSelTextBuf(six, 6);
    EXPECT_STREQ(six, "hello");
    char eight[8];
    tty.GetSelTextBuf(eight, 8);
    EXPECT_STREQ(eight, "hello\r\n");

    Select({2, 2}, {2, 2});
    tty.GetSelTextBuf(buf, sizeof buf);
    EXPECT_STREQ(buf, "");
}

TEST_F(SelectionTest, PointFromPixelSnapsToNearestBoundary)
{
    tty.Write("0123456789");
    // Cells 8 x 16 pixels.
    EXPECT_EQ(SelPointFromPixel(tty, 8 + 3, 0, 8, 16), (TCellPoint{1, 0})); // left half of cell 1
    EXPECT_EQ(SelPointFromPixel(tty, 8 + 4, 0, 8, 16), (TCellPoint{2, 0})); // right half: after it
    EXPECT_EQ(SelPointFromPixel(tty, 50, -5, 8, 16), (TCellPoint{0, 0}));   // above: start of row
    EXPECT_EQ(SelPointFromPixel(tty, -9, 20, 8, 16), (TCellPoint{0, 1}));   // left of the text
    EXPECT_EQ(SelPointFromPixel(tty, 79, 17, 8, 16), (TCellPoint{10, 1}));  // end of row 1
    EXPECT_EQ(SelPointFromPixel(tty, 200, 17, 8, 16), (TCellPoint{0, 2}));  // past it: next row
    EXPECT_EQ(SelPointFromPixel(tty, 200, 70, 8, 16), (TCellPoint{0, 5}));  // past the buffer
    EXPECT_EQ(SelPointFromPixel(tty, 10, 500, 8, 16), (TCellPoint{0, 5}));
    EXPECT_EQ(SelPointFromPixel(tty, 10, 10, 0, 0), (TCellPoint{0, 0})); // no metrics yet
}

TEST_F(SelectionTest, DragAcrossRowsOrdersByRowFirst)
{
    tty.AnchorCell = {8, 0};
    SelectToMouse(tty, {1, 3}); // later row, earlier column: anchor first
    EXPECT_EQ(tty.SelStart, (TCellPoint{8, 0}));
    EXPECT_EQ(tty.SelEnd, (TCellPoint{1, 3}));
    EXPECT_TRUE(tty.AnchorIsStart());
    SelectToMouse(tty, {9, 0}); // same row, later column
    EXPECT_EQ(tty.SelEnd, (TCellPoint{9, 0}));
    tty.AnchorCell = {1, 3};
    SelectToMouse(tty, {8, 0}); // earlier row, later column: mouse first
    EXPECT_EQ(tty.SelStart, (TCellPoint{8, 0}));
    EXPECT_EQ(tty.SelEnd, (TCellPoint{1, 3}));
    EXPECT_FALSE(tty.AnchorIsStart());
}

TEST_F(SelectionTest, DoubleClickSelectsTheWordBetweenSpaces)
{
    tty.Write("ab (x://y) ");
    // Columns: a0 b1 _2 (3 x4 :5 /6 /7 y8 )9, then the wrap put the space on row 1.
    tty.MouseCell = {5, 0};
    SelectWordAtMouse(tty);
    EXPECT_EQ(tty.SelStart, (TCellPoint{3, 0}));
    EXPECT_EQ(tty.SelEnd, (TCellPoint{10, 0}));
    EXPECT_EQ(tty.MouseCell, tty.SelEnd);
    EXPECT_EQ(SelectionText(tty), "(x://y)");

    tty.MouseCell = {0, 0}; // word at the start of the row
    SelectWordAtMouse(tty);
    EXPECT_EQ(SelectionText(tty), "ab");

    tty.SelStart = tty.SelEnd = {2, 0};
    tty.MouseCell = {2, 0}; // a space: nothing selected
    SelectWordAtMouse(tty);
    EXPECT_FALSE(tty.HasSelection());
    tty.MouseCell = {10, 0};
    SelectWordAtMouse(tty);
    EXPECT_FALSE(tty.HasSelection());
}

TEST_F(SelectionTest, AutoScrollMovesOneRowPerStepUntilTheEnd)
{
    tty.SetVisibleSize(10, 2); // rows 3 and 4 are the last page
    tty.ScrollTo(0, 0);
    tty.AnchorCell = {0, 0};
    int steps = 0;
    while (AutoScrollStep(tty, 5, 40, 32, 8, 16))
        ++steps;
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(tty.Top, 3);
    EXPECT_EQ(tty.SelEnd, (TCellPoint{0, 5})); // the mouse is below the buffer
    // Inside the view nothing scrolls; above it, one row up.
    EXPECT_FALSE(AutoScrollStep(tty, 5, 10, 32, 8, 16));
    tty.FlashHidden = true;
    EXPECT_TRUE(AutoScrollStep(tty, 5, -1, 32, 8, 16));
    EXPECT_EQ(tty.Top, 2);
    EXPECT_FALSE(tty.FlashHidden);
    EXPECT_EQ(tty.SelStart, (TCellPoint{0, 0}));
    EXPECT_EQ(tty.SelEnd, (TCellPoint{0, 2}));
}
