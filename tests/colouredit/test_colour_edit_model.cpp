// The colour text model: walks, merging of colour codes, colouring, limits, wrap, keys,
// clipboard formats and the bounded buffer.
#include "colouredit/ColEdit2.h"
#include "tests/colouredit/EditTestUtil.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct ColourEditModel : ::testing::Test
{
    TAbstractColourEdit Edit;
    TFakeClipboard Clip;
    TCountingBeeper Beeps;
    int Changes = 0;

    ColourEditModel()
    {
        Edit.SetClipboard(&Clip);
        Edit.SetBeeper(&Beeps);
        Edit.SetMultiLine(true);
        Edit.OnChange = [this](TAbstractColourEdit &) { ++Changes; };
    }
    void Type(std::string_view s) { TypeText(Edit, s); }
    void Key(uint16_t key, TShiftState shift = 0) { Edit.EditKeyDown(key, shift); }
};

TEST_F(ColourEditModel, ColouringASelectionKeepsTheTextAfterItInItsOldColour)
{
    Type("ab");
    Key(VK_LEFT, ssShift);
    Type("\x01r");
    EXPECT_EQ(Edit.Text(), "a\x01rb");
    EXPECT_EQ(Edit.SelStart(), 3);
    EXPECT_EQ(Edit.SelEnd(), 4);
    EXPECT_FALSE(Edit.CodePending());

    Edit.SetText("abc");
    Edit.SetCaret(2, 1); // b selected, caret at its end
    Type("\x01r");
    EXPECT_EQ(Edit.AttrAt(Edit.Text().find('b')), ApplyColourCode(14, 'r'));
    EXPECT_EQ(Edit.AttrAt(Edit.TextLength() - 1), 14); // the c
    EXPECT_EQ(Edit.Caret(), Edit.SelEnd());
    Type("\x01g"); // coloured again: the codes at the joins stay minimal
    EXPECT_EQ(Edit.Text(), "a\x01gb\x01"
                           "cc");

    // Old codes inside the selection do not win over the new colour.
    Edit.SetText("a\x01gbc");
    Edit.SelectAll();
    Type("\x01p");
    for (char c : {'a', 'b', 'c'})
        EXPECT_EQ(Edit.AttrAt(Edit.Text().find(c)) & 7, 5) << c;
}

TEST_F(ColourEditModel, ColourCodeAtTheCaretIsMinimal)
{
    Type("a\x01r");
    EXPECT_EQ(Edit.Text(), "a\x01r");
    Type("\x01r"); // the same colour again adds nothing
    EXPECT_EQ(Edit.Text(), "a\x01r");
    Type("b\x01"
         "c"); // back to the default colour (cyan foreground, bright)
    Type("c");
    EXPECT_EQ(Edit.Text(), "a\x01rb\x01"
                           "cc");
    int beeps = Beeps.Count;
    Type("\x01x"); // not a code letter
    EXPECT_EQ(Beeps.Count, beeps + 1);
    EXPECT_EQ(Edit.Text(), "a\x01rb\x01"
                           "cc");
}

TEST_F(ColourEditModel, DeletingBetweenCodesLeavesOneMinimalRun)
{
    Edit.SetText("a\x01rb\x01gc");
    Edit.SetCaret(3);
    Key(VK_DELETE);
    EXPECT_EQ(Edit.Text(), "a\x01gc");

    // Back to the colour before: no code is left at all.
    Edit.SetText("a\x01rb\x01"
                 "cc");
    Edit.SetCaret(4);
    Key(VK_BACK);
    EXPECT_EQ(Edit.Text(), "ac");
    EXPECT_EQ(Edit.Caret(), 1);

    // Backspace right after a code deletes the character in front of the code.
    Edit.SetText("ab\x01rc");
    Edit.SetCaret(4);
    Key(VK_BACK);
    EXPECT_EQ(Edit.AttrAt(Edit.TextLength() - 1), ApplyColourCode(14, 'r'));
    EXPECT_EQ(StripColourCodes(Edit.Text()), "ac");

    int beeps = Beeps.Count;
    Edit.SetCaret(0);
    Key(VK_BACK);
    EXPECT_EQ(Beeps.Count, beeps + 1);
    Edit.SetCaret(Edit.TextLength());
    Key(VK_DELETE);
    EXPECT_EQ(Beeps.Count, beeps + 2);
}

TEST_F(ColourEditModel, InsertMergesCodesAtBothJoins)
{
    Edit.SetText("x\x01ry");
    Edit.SetCaret(1);
    Edit.Insert("\x01r-\x01"
                "c");
    // The inserted codes end in the colour that follows anyway: no code is left there.
    EXPECT_EQ(Edit.Text(), "x\x01r-y");
    EXPECT_EQ(Edit.Caret(), 4);
    int changes = Changes;
    Edit.Insert("z");
    EXPECT_GT(Changes, changes);
}

TEST_F(ColourEditModel, MaxLengthCutsTheTextAndAHalfCodeAndLineCount)
{
    Edit.SetText("abcd\x01r");
    Edit.SetMaxLength(5);
    EXPECT_EQ(Edit.Text(), "abcd");
    EXPECT_EQ(Edit.MaxLength(), 5);
    Edit.SetCaret(4);
    Type("ef");
    EXPECT_EQ(Edit.Text(), "abcde");
    EXPECT_EQ(Beeps.Count, 1);
    Edit.SetMaxLength(0);
    EXPECT_EQ(Edit.MaxLength(), 0);
    EXPECT_EQ(Edit.EffectiveMaxLength(), Edit.Capacity());
    Edit.SetMaxLength(Edit.Capacity());
    EXPECT_EQ(Edit.MaxLength(), 0);

    Edit.SetText("");
    EXPECT_EQ(Edit.LineCount(), 1);
    Edit.SetText("a\nb\rc\x01r");
    EXPECT_EQ(Edit.LineCount(), 3);
}

TEST_F(ColourEditModel, WrapsAtTheLastSpaceAfterTheMiddle)
{
    Edit.SetWrapColumn(20);
    Type("aaaa bbbb cccc dddd eeee ffff");
    EXPECT_EQ(Edit.Text(), "aaaa bbbb cccc dddd\reeee ffff");
    EXPECT_EQ(Edit.Caret(), Edit.TextLength());

    // Deleting on the first line pulls the next word back up.
    Edit.SetCaret(0);
    for (int i = 0; i < 10; ++i)
        Key(VK_DELETE);
    EXPECT_EQ(Edit.Text(), "cccc dddd eeee ffff");
}

TEST_F(ColourEditModel, AWordLongerThanTheLineBreaksBeforeItsLastTypedLetter)
{
    Edit.SetWrapColumn(20);
    Type(std::string(25, 'x'));
    EXPECT_EQ(Edit.Text(), std::string(20, 'x') + "\r" + std::string(5, 'x'));
    EXPECT_EQ(Edit.Caret(), Edit.TextLength());

    // Typing inside the first line of a long word moves the caret past the break.
    Edit.SetText("");
    Type("aaaaaaaaaaa bbbbbbbb");
    Edit.SetCaret(15);
    Type("X");
    EXPECT_EQ(Edit.Text(), "aaaaaaaaaaa\rbbbXbbbbb");
    EXPECT_EQ(Edit.Text()[Edit.Caret() - 1], 'X');
}

TEST_F(ColourEditModel, NoWrapColumnMeansNoWrapping)
{
    Edit.SetWrapColumn(0);
    EXPECT_EQ(Edit.WrapColumn(), 0);
    Type(std::string(300, 'y') + " z");
    EXPECT_EQ(Edit.LineCount(), 1);
    Edit.SetWrapColumn(256);
    EXPECT_EQ(Edit.WrapColumn(), 0);
}

TEST_F(ColourEditModel, CursorKeysMoveByVisibleCharactersWordsAndLines)
{
    // o n e _ ^r t w o LF a b ^g c _ t h r e e
    Edit.SetText("one \x01rtwo\nab\x01gc three");
    Edit.SetCaret(Edit.TextLength());
    Key(VK_HOME);
    EXPECT_EQ(Edit.Caret(), 10);
    Key(VK_RIGHT);
    Key(VK_RIGHT); // over the code
    EXPECT_EQ(Edit.Caret(), 14);
    Key(VK_UP);
    EXPECT_EQ(Edit.Caret(), 2);
    Key(VK_END);
    EXPECT_EQ(Edit.Caret(), 9);
    Key(VK_DOWN); // visible column 7, codes not counted
    EXPECT_EQ(Edit.Caret(), 19);
    Key(VK_LEFT, ssCtrl);
    EXPECT_EQ(Edit.Caret(), 16);
    Key(VK_LEFT, ssCtrl);
    EXPECT_EQ(Edit.Caret(), 10);
    Key(VK_LEFT, ssCtrl);
    EXPECT_EQ(Edit.Caret(), 6);
    Key(VK_LEFT);
    EXPECT_EQ(Edit.Caret(), 3);
    Key(VK_RIGHT, ssCtrl);
    EXPECT_EQ(Edit.Caret(), 6);
    Key(VK_RIGHT, ssCtrl | ssShift);
    EXPECT_EQ(Edit.Caret(), 10);
    EXPECT_EQ(Edit.SelStart(), 6);
    EXPECT_EQ(Edit.SelEnd(), 10);
    Key(VK_RIGHT);
    EXPECT_FALSE(Edit.HasSelection());
    Key(VK_HOME, ssCtrl);
    EXPECT_EQ(Edit.Caret(), 0);
    Key(VK_UP);
    EXPECT_EQ(Edit.Caret(), 0);
    Key(VK_END, ssCtrl);
    EXPECT_EQ(Edit.Caret(), Edit.TextLength());
}

TEST_F(ColourEditModel, ReadOnlyChangesNothingButCopies)
{
    Edit.SetText("abc");
    Edit.SetReadOnly(true);
    Edit.SelectAll();
    Type("x\r\x01");
    Key(VK_BACK);
    Key(VK_DELETE);
    EXPECT_FALSE(Edit.CodePending());
    Edit.SelectAll();
    Clip.HasPlain = true;
    Clip.Plain = "zzz";
    Edit.EditKeyPress(22);
    EXPECT_EQ(Edit.Text(), "abc");
    Edit.EditKeyPress(24); // copies in a read-only control
    EXPECT_EQ(Clip.Plain, "abc");
    EXPECT_EQ(Edit.Text(), "abc");
}

TEST_F(ColourEditModel, EnterOnlyInAMultiLineControl)
{
    EXPECT_TRUE(Edit.EditKeyPress(13));
    EXPECT_EQ(Edit.Text(), "\n");
    Edit.SetMultiLine(false);
    EXPECT_FALSE(Edit.EditKeyPress(13));
    EXPECT_EQ(Edit.Text(), "\n");
    int beeps = Beeps.Count;
    Edit.EditKeyPress(7);
    Edit.EditKeyPress(200);
    EXPECT_EQ(Beeps.Count, beeps + 2);
}

TEST_F(ColourEditModel, CopyGivesBothFormatsExactly)
{
    Edit.SetText("a\x01rb\nc");
    Edit.SetCaret(Edit.TextLength(), 3);
    Edit.EditKeyPress(3);
    // The coloured block spells out the whole starting attribute (bright red on black).
    EXPECT_EQ(Clip.Coloured, "\x01"
                             "f\x01"
                             "a\x01"
                             "f\x01rb\nc\0"s);
    EXPECT_EQ(Clip.Plain, "b\r\nc");

    Edit.SetText("x\x01gy\rz");
    Edit.SelectAll();
    Edit.CopyToClipboard();
    EXPECT_EQ(Clip.Plain, "xy\r\nz");
}

TEST_F(ColourEditModel, PasteTakesColouredTextAndDropsTheCrOfCrLf)
{
    Clip.HasColoured = Clip.HasPlain = true;
    Clip.Coloured = "\x01"
                    "a\x01rX\r\nY\0junk"s;
    Clip.Plain = "plain";
    Edit.EditKeyPress(22);
    EXPECT_EQ(Edit.Text(), "\x01"
                           "a\x01rX\nY");

    // A soft break of a copied edit text stands for a space.
    Edit.SetText("");
    Clip.Coloured = "one\rtwo"s;
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "one two");

    // Without colour paste the plain text is used, without control bytes.
    Edit.SetText("");
    Edit.SetAcceptColourPaste(false);
    Clip.Plain = "p\x01q\x1b[2J\r\nr";
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "pq[2J\nr");
}

TEST_F(ColourEditModel, PasteLongerThanTheRoomIsRefusedWhole)
{
    Edit.SetMaxLength(10);
    Type("abc");
    Clip.HasPlain = true;
    Clip.Plain = "12345678";
    Edit.PasteFromClipboard(); // cut to MaxLength - 2 = 8, 3 + 8 > 10
    EXPECT_EQ(Edit.Text(), "abc");
    EXPECT_EQ(Beeps.Count, 1);
    Clip.Plain = "1234567";
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.Text(), "abc1234567");
}

TEST_F(ColourEditModel, NothingIsWrittenPastTheBuffer)
{
    ASSERT_EQ(Edit.Capacity(), 32766);
    Type(std::string(33000, 'k'));
    EXPECT_EQ(Edit.TextLength(), 32766);
    EXPECT_EQ(Beeps.Count, 33000 - 32766);

    Clip.HasColoured = true;
    Clip.Coloured = std::string(40000, 'p');
    Edit.SetCaret(5);
    Edit.PasteFromClipboard();
    EXPECT_EQ(Edit.TextLength(), 32766);

    // Deleting next to an inverse code needs a longer transition than the run it replaces;
    // with the buffer full the codes stay as they were.
    std::string full(32766 - 4, 'x');
    full += "A\x01iB";
    Edit.SetText(full.c_str());
    ASSERT_EQ(Edit.TextLength(), 32766);
    Edit.SetCaret(Edit.TextLength());
    Key(VK_BACK);
    EXPECT_LE(Edit.TextLength(), 32766);
    EXPECT_EQ(Edit.AttrAt(Edit.TextLength()), ApplyColourCode(14, 'i'));
    EXPECT_EQ(StripColourCodes(Edit.Text()), std::string(32766 - 4, 'x') + "A");

    // Colouring a selection is refused when its codes would not fit.
    Edit.SetText("abcdefgh");
    Edit.SetMaxLength(10);
    Edit.SetCaret(4, 3);
    Type("\x01r");
    EXPECT_EQ(Edit.Text(), "abcdefgh");
    Edit.SetCaret(0);
    Type("\x01r");
    EXPECT_EQ(Edit.TextLength(), 10);
}

TEST_F(ColourEditModel, WrapWithAFullBufferDoesNotInsertBreaks)
{
    Edit.SetWrapColumn(10);
    Edit.SetText(std::string(32765, 'w').c_str());
    Edit.SetCaret(Edit.TextLength());
    Type("w");
    EXPECT_EQ(Edit.TextLength(), 32766);
    Key(VK_BACK);
    EXPECT_LE(Edit.TextLength(), 32766);
}

} // namespace
