// What the offline editor shows on the terminal: colours, prefixes, clearing, the lazily
// fixed start, host output arriving mid-edit, scrolling, selection and the cell mapping.
#include "tests/colouredit/EditTestUtil.h"

namespace {

using OffLineDisplay = OffLineTest;

TEST_F(OffLineDisplay, ColoursOfTheTextReachTheCells)
{
    OpenAfter(0, "Text: ");
    Type("\1rab\1Bc");
    EXPECT_EQ(Row(0), "Text: abc");
    const TColourAttr red = ApplyColourCode(15, 'r');
    EXPECT_EQ(Tty.Screen().AttrAt(7, 0), red);
    EXPECT_EQ(Tty.Screen().AttrAt(8, 0), ApplyColourCode(red, 'B'));

    // Colouring a selection redraws it and leaves the rest in its colour.
    Edit.KeyDown(VK_HOME, 0);
    Edit.KeyDown(VK_RIGHT, ssShift);
    Type("\x01g");
    EXPECT_EQ(Row(0), "Text: abc");
    EXPECT_EQ(Tty.Screen().AttrAt(6, 0), ApplyColourCode(15, 'g'));
    EXPECT_EQ(Tty.Screen().AttrAt(7, 0), red);
}

TEST_F(OffLineDisplay, ShortMessageLinesStartWithACyanPrompt)
{
    Edit.Open(12, 0);
    Type("\x01yone\rtwo");
    EXPECT_EQ(Rows(0, 2), ">one|>two");
    EXPECT_EQ(Tty.Screen().AttrAt(0, 1), 0x06);
    EXPECT_EQ(Tty.Screen().AttrAt(1, 1), ApplyColourCode(15, 'y')); // the text keeps its colour
    Edit.KeyDown(VK_UP, 0);
    EXPECT_EQ(Tty.CursorX, 4);
    EXPECT_EQ(Tty.CursorY, 0);
}

TEST_F(OffLineDisplay, EverythingBelowTheTextIsCleared)
{
    for (int y = 0; y < 25; ++y)
        Tty.Write(y < 24 ? "garbage\r\n" : "garbage"); // every row, the last too
    Tty.MoveCursor(0, 3);
    Edit.Open(13, 0);
    HostOutput("Subject: "); // the start is fixed at the first key, after this prompt
    Type("line\rnext");
    EXPECT_EQ(Rows(2, 25), "garbage|Subject: line|next" + std::string(20, '|'));
    Edit.KeyDown(VK_BACK, 0);
    Edit.KeyDown(VK_HOME, 0);
    Edit.KeyDown(VK_BACK, 0); // joins the lines
    EXPECT_EQ(Rows(3, 5), "Subject: linenex|");
}

TEST_F(OffLineDisplay, HostOutputAtTheBottomIsShownAboveTheEdit)
{
    Tty.SetRows(100);
    OpenAfter(99, "Msg: ");
    Type("hello");
    HostOutput("\r\n*** Bob: hi ***\r\n");
    EXPECT_EQ(Rows(98, 100), "*** Bob: hi ***|     hello");
    EXPECT_EQ(Tty.CursorX, 10);

    // Output that ends mid-line is kept: the edit moves below it.
    HostOutput("\r\nBob: are you there");
    EXPECT_EQ(Row(98), "Bob: are you there");
    Type(" world");
    EXPECT_EQ(Row(99), "     hello world");
}

TEST_F(OffLineDisplay, HostOutputMidScreenScrollsTheEditAreaFree)
{
    OpenAfter(10, "Msg: ");
    Type("one\rtwo");
    HostOutput("\r\nline1\r\nline2\r\n");
    // None of the edit is left behind in the output.
    EXPECT_EQ(Rows(7, 13), "Msg:|line1|line2|     one|two|");
}

TEST_F(OffLineDisplay, HostOutputDoesNotTakeTheEditorsColourOrLoseItsSequence)
{
    OpenAfter(10, "Msg: ");
    Type("\x01g");
    HostOutput("\r\nZ\x1b[3");                // a colour sequence split over two reads
    EXPECT_EQ(Tty.Screen().AttrAt(0, 9), 15); // in the host's colour, not the editor's
    Type("x");
    HostOutput("1mR\r\n");
    EXPECT_EQ(Row(9), "ZR");                     // going on where the host's last read stopped
    EXPECT_EQ(Tty.Screen().AttrAt(1, 9) & 7, 1); // the host's red R
    EXPECT_EQ(Row(10), "     x");
    EXPECT_EQ(Tty.Screen().AttrAt(5, 10), ApplyColourCode(15, 'g'));
}

// An ANSI-BBS host's read may end inside a state of its own; typing in between must not
// lose it.
TEST_F(OffLineDisplay, AnAnsiBbsHostGoesOnWhereItsReadStopped)
{
    const struct
    {
        std::string_view First;
        const char *Then, *Shown;
    } cases[] = {
        {"A\x1a", "o", "A\x1ao"},                  // a lone SUB, not a SAUCE record
        {"A\x1aSAU", "x", "A\x1aSAUx"},            // a record's mark cut short
        {{"A\x1b[=255h\0", 9}, "\x1bz", "A\x1bz"}, // doorway: the byte after NUL is a glyph
        {"A\x1b[", "1mB", "AB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Then);
        Tty.SetEmulation(teAnsiBbs);
        Tty.AnsiBbs().SetHideSauce(true);
        Tty.Clear();
        OpenAfter(10, "Msg: ");
        Type("hi");
        HostOutput("\r\n");
        HostOutput(c.First);
        Type("x");
        HostOutput(c.Then);
        EXPECT_EQ(Rows(9, 11), std::string(c.Shown) + "|     hix");
        Edit.Close();
    }
}

TEST_F(OffLineDisplay, HostOutputWhileAskingBringsTheQuestionBack)
{
    OpenAfter(24, "Text: ");
    Type("hello\x04"); // the question's line feed scrolls the terminal
    EXPECT_EQ(Row(23), "Text: hello");
    HostOutput("\r\nBob: hi\r\n");
    EXPECT_EQ(Rows(22, 25), "Bob: hi|      hello|<S>ave, <A>bort or <C>ontinue? ->");
    Type("cmore");
    EXPECT_EQ(Row(24), "more");
}

TEST_F(OffLineDisplay, DrawingFollowsTheTerminalWhenItScrolls)
{
    OpenAfter(24, "");
    Type("one\rtwo\rthree");
    EXPECT_EQ(Row(22), "one");
    Edit.KeyDown(VK_HOME, ssCtrl);
    Edit.KeyDown(VK_DELETE, 0);
    EXPECT_EQ(Row(22), "ne");
    EXPECT_EQ(Row(24), "three");
}

TEST_F(OffLineDisplay, LinesWiderThanTheTerminalFollowItsWrap)
{
    const std::string dashes(70, '-');
    Tty.Write(dashes.c_str());
    Edit.Open(10, 100);
    Type("abcdefghijklmnopqrst");
    EXPECT_EQ(Row(1), "klmnopqrst");
    Edit.KeyDown(VK_HOME, 0);
    EXPECT_EQ(Tty.CursorX, 70);
    EXPECT_EQ(Tty.CursorY, 0);
    Edit.KeyDown(VK_DELETE, 0);
    EXPECT_EQ(Rows(0, 2), dashes + "bcdefghijk|lmnopqrst");
    EXPECT_EQ(Edit.IndexOf({2, 1}), 12);

    // A line that ends exactly at the right edge keeps its last character.
    OpenAfter(5, dashes);
    Type("abcdefghij\r");
    EXPECT_EQ(Row(5), dashes + "abcdefghij");
    EXPECT_EQ(Tty.CursorY, 6);

    // A prompt that fills the last row: the edit starts below it instead of over it.
    OpenAfter(24, std::string(80, 'p'), 10, 20);
    Type("ab");
    EXPECT_EQ(Rows(23, 25), std::string(80, 'p') + "|ab");
}

TEST_F(OffLineDisplay, SelectionBetweenTerminalAndEditor)
{
    OpenAfter(0, "Msg: ");
    Type("hello world\rsecond");
    Edit.SetSelectionFrom({11, 0}, {16, 0}, true);
    EXPECT_EQ(Edit.SelStart(), 6);
    EXPECT_EQ(Edit.Caret(), 11);
    EXPECT_EQ(Tty.CursorX, 16);

    // A row's left edge gives that line's start; past a line's end, its end.
    Edit.SetSelectionFrom({0, 1}, {40, 1}, false);
    EXPECT_EQ(Edit.SelEnd(), 18);
    EXPECT_EQ(Edit.Caret(), 12);
    Edit.SetSelectionFrom({0, 0}, {0, 5}, true); // below the text: its end
    EXPECT_EQ(Edit.SelEnd(), 18);

    Edit.SelectAll();
    EXPECT_EQ(Tty.SelStart, (TCellPoint{5, 0}));
    EXPECT_EQ(Tty.SelEnd, (TCellPoint{6, 1}));
    Edit.KeyDown(VK_LEFT, 0);
    EXPECT_FALSE(Tty.Viewport().HasSelection());

    // Cutting through the Edit menu, then pasting the coloured copy back.
    Edit.SetSelectionFrom({5, 0}, {10, 0}, true);
    Edit.CutToClipboard();
    EXPECT_EQ(Row(0), "Msg:  world");
    Edit.KeyDown(VK_END, ssCtrl);
    Edit.PasteFromClipboard();
    EXPECT_EQ(Row(1), "secondhello");
}

} // namespace
