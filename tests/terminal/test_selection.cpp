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
    std::string Text(TCellPoint s, TCellPoint e)
    {
        tty.SetSelection(s, e);
        return SelectionText(tty);
    }
};

} // namespace

TEST_F(SelectionTest, PlainAndColouredText)
{
    // X bright red on blue with flash, then y plain red on black: the codes reset when bright
    // or flash go away.
    tty.Write("\1a\1e\1f\1r\1BX\1a\1ry");
    tty.SetSelection({0, 0}, {2, 0});
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1f\1e\1r\1BX\1a\1ry");

    // Rows end in CR LF without trailing spaces: row 1 "ab" + red spaces, row 2 all spaces.
    tty.Write("\r\n\1a\1fab  \1r  \r\n\r\nxy  z");
    EXPECT_EQ(Text({0, 1}, {4, 3}), "ab\r\n\r\nxy  ");
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1fab\r\n\r\n\1rxy  "); // red spaces cut before their codes
    EXPECT_EQ(Text({1, 1}, {0, 2}), "b\r\n");
    EXPECT_EQ(Text({3, 3}, {3, 3}), "");
    EXPECT_EQ(SelectionColouredText(tty), ""); // not a lone reset code
    // The end of the buffer, points outside it and a reversed pair are safe.
    tty.MoveCursor(0, 4);
    tty.Write("last");
    EXPECT_EQ(Text({0, 4}, {0, 5}), "last\r\n");
    EXPECT_EQ(Text({-3, -1}, {99, 99}), Text({0, 0}, {0, 5}));
    EXPECT_EQ(Text({5, 3}, {1, 1}), "");
}

TEST_F(SelectionTest, GetSelTextBufStaysInsideTheBuffer)
{
    tty.Write("hello\r\nworld");
    tty.SetSelection({0, 0}, {5, 1});
    for (int size = 1; size <= 14; ++size) {
        char small[16];
        std::memset(small, '#', sizeof small);
        tty.GetSelTextBuf(small, size);
        EXPECT_EQ(small[size], '#') << size; // nothing written past size
        EXPECT_LE(std::strlen(small), size_t(size - 1)) << size;
    }
    // Room for the characters but not the line break: CR LF is left out.
    char buf[14];
    tty.GetSelTextBuf(buf, 6);
    EXPECT_STREQ(buf, "hello");
    tty.GetSelTextBuf(buf, 14);
    EXPECT_STREQ(buf, "hello\r\nworld");
}

TEST_F(SelectionTest, PointFromPixelSnapsToNearestBoundary)
{
    tty.Write("0123456789");
    // Cells 8 x 16 pixels: pixel, cell point.
    const std::pair<std::pair<int, int>, TCellPoint> cases[] = {
        {{11, 0}, {1, 0}},                        // left half of cell 1
        {{12, 0}, {2, 0}},                        // right half: after it
        {{50, -5}, {0, 0}},                       // above: start of row
        {{-9, 20}, {0, 1}},                       // left of the text
        {{79, 17}, {10, 1}}, {{200, 17}, {0, 2}}, // end of row 1; past it: next row
        {{200, 70}, {0, 5}}, {{10, 500}, {0, 5}}, // past the buffer
    };
    for (auto [px, cell] : cases)
        EXPECT_EQ(SelPointFromPixel(tty, px.first, px.second, 8, 16), cell) << px.first << "," << px.second;
    EXPECT_EQ(SelPointFromPixel(tty, 10, 10, 0, 0), (TCellPoint{0, 0})); // no metrics yet
}

TEST_F(SelectionTest, DragOrdersByRowFirstAndDoubleClickTakesAWord)
{
    tty.Viewport().SetAnchorCell({8, 0});
    SelectToMouse(tty, {1, 3}); // later row, earlier column: anchor first
    EXPECT_TRUE(tty.SelStart == (TCellPoint{8, 0}) && tty.SelEnd == (TCellPoint{1, 3}) &&
                tty.AnchorIsStart());
    tty.Viewport().SetAnchorCell({1, 3});
    SelectToMouse(tty, {8, 0}); // earlier row, later column: mouse first
    EXPECT_TRUE(tty.SelStart == (TCellPoint{8, 0}) && tty.SelEnd == (TCellPoint{1, 3}) &&
                !tty.AnchorIsStart());

    tty.Write("ab (x://y) "); // the wrap puts the space on row 1
    const std::pair<TCellPoint, std::string> words[] = {
        {{5, 0}, "(x://y)"}, {{0, 0}, "ab"}, {{2, 0}, ""}, {{10, 0}, ""}};
    for (const auto &[at, word] : words) {
        tty.SetSelection({}, {});
        tty.Viewport().SetMouseCell(at);
        SelectWordAtMouse(tty);
        EXPECT_EQ(SelectionText(tty), word) << at.x;
    }
}

TEST_F(SelectionTest, AutoScrollMovesOneRowPerStepUntilTheEnd)
{
    tty.SetVisibleSize(10, 2); // rows 3 and 4 are the last page
    tty.ScrollTo(0, 0);
    tty.Viewport().SetAnchorCell({0, 0});
    int steps = 0;
    while (AutoScrollStep(tty, 5, 40, 32, 8, 16))
        ++steps;
    EXPECT_EQ(steps, 3);
    EXPECT_EQ(tty.Top, 3);
    EXPECT_EQ(tty.SelEnd, (TCellPoint{0, 5})); // the mouse is below the buffer
    // Inside the view nothing scrolls; above it, one row up.
    EXPECT_FALSE(AutoScrollStep(tty, 5, 10, 32, 8, 16));
    EXPECT_TRUE(AutoScrollStep(tty, 5, -1, 32, 8, 16));
    EXPECT_EQ(tty.Top, 2);
    EXPECT_EQ(tty.SelEnd, (TCellPoint{0, 2}));
}
