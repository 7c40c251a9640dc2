// The colour text model: merging of colour codes, colouring, limits, wrap, keys, clipboard
// formats and the bounded buffer.
#include "tests/colouredit/EditTestUtil.h"

namespace {

using namespace std::string_literals;

struct ColourEditModel : ::testing::Test
{
    TAbstractColourEdit Edit;
    TFakeClipboard Clip;
    TCountingBeeper Beeps;

    ColourEditModel()
    {
        Edit.SetClipboard(&Clip);
        Edit.SetBeeper(&Beeps);
        Edit.SetMultiLine(true);
    }
    void Type(std::string_view s) { TypeText(Edit, s); }
    void Key(uint16_t key, TShiftState shift = 0) { Edit.EditKeyDown(key, shift); }
};

TEST_F(ColourEditModel, CodesStayMinimalWhereRunsMeet)
{
    // Text, caret and anchor; typed keys, then one key-down; the text that must result.
    const std::tuple<const char *, int, int, const char *, uint16_t, std::string> cases[] = {
        {"ab", 2, 1, "\x01r", 0, "a\x01rb"},                  // the selected b coloured
        {"abc", 2, 1, "\x01r\x01g", 0, "a\x01gb\x01wc"},      // twice; c keeps its colour
        {"a", 1, 1, "\x01r\x01rb\x01wc", 0, "a\x01rb\x01wc"}, // the same colour adds nothing
        {"a\x01rb\x01gc", 3, 3, "", VK_DELETE, "a\x01gc"},    // the only character between codes
        {"a\x01rb\x01wc", 4, 4, "", VK_BACK, "ac"},           // back to the colour before
        {"ab\x01rc", 4, 4, "", VK_BACK, "a\x01rc"},           // the character in front of the code
        {"abc", 2, 1, "\1f", 0, "a\1fbc"},                    // already bright: the code still goes in
        {"abc", 2, 1, "\1i", 0, "a\1ib\1w\1Dc"},              // inverse as typed, not as d and W
        {"abc", 2, 1, "\1w", 0, "a\1wbc"},                    // the colour it has
    };
    Edit.SetDefaultAttr(15); // bright white, which 'w' gives back
    for (const auto &[text, caret, anchor, typed, key, want] : cases) {
        Edit.SetText(text);
        Edit.SetCaret(caret, anchor);
        Type(typed);
        if (key) Key(key);
        EXPECT_EQ(Edit.Text(), want) << text;
    }
    EXPECT_EQ(Beeps.Count, 0);

    // The selection covers the coloured text; old codes inside it do not win over the colour.
    Edit.SetText("a\x01gbc");
    Edit.SelectAll();
    Type("\x01p");
    EXPECT_EQ(Edit.SelStart(), 2);
    EXPECT_EQ(Edit.SelEnd(), Edit.TextLength());
    for (char c : {'a', 'b', 'c'})
        EXPECT_EQ(Edit.AttrAt(Edit.Text().find(c)) & 7, 5) << c;

    // Inserted codes that end in the colour following anyway leave no code there.
    Edit.SetText("x\x01ry");
    Edit.SetCaret(1);
    Edit.Insert("\1r-\1c");
    EXPECT_EQ(Edit.Text(), "x\x01r-y");
    EXPECT_EQ(Edit.Caret(), 4);
}

TEST_F(ColourEditModel, RefusedKeysBeepAndChangeNothing)
{
    Edit.SetText("ab");
    Edit.SetCaret(0);
    Key(VK_BACK);
    Edit.SetCaret(2);
    Key(VK_DELETE);
    Type("\x01x\x07\xc8"); // not a code letter, a control character, a byte above 127
    Edit.SetMultiLine(false);
    EXPECT_FALSE(Edit.EditKeyPress(13)); // not even the owner's handler runs
    EXPECT_EQ(Beeps.Count, 5);

    // Read-only: no key changes the text, Ctrl+X copies.
    Edit.SetReadOnly(true);
    Type("x\x01");
    Key(VK_BACK);
    EXPECT_FALSE(Edit.CodePending());
    Edit.SelectAll();
    Clip.HasPlain = true;
    Edit.EditKeyPress(22);
    Edit.EditKeyPress(24);
    EXPECT_EQ(Clip.Plain, "ab");
    EXPECT_EQ(Edit.Text(), "ab");
}

TEST_F(ColourEditModel, MaxLengthCutsTheTextAndAHalfCode)
{
    Edit.SetText("abcd\x01r");
    Edit.SetMaxLength(5);
    EXPECT_EQ(Edit.Text(), "abcd");
    Edit.SetCaret(4);
    Type("ef");
    EXPECT_EQ(Edit.Text(), "abcde");
    EXPECT_EQ(Beeps.Count, 1);
    Edit.SetText("a\nb\rc\x01r");
    EXPECT_EQ(Edit.LineCount(), 3);
    Edit.SetText("\x1b[1m\t\r\n\x01"); // the text as given, but for a code cut in half
    EXPECT_EQ(Edit.Text(), "\x1b[1m\t\r\n");
}

TEST_F(ColourEditModel, WordWrap)
{
    Edit.SetWrapColumn(20);
    Type("aaaa bbbb cccc dddd eeee ffff"); // at the last space after the middle
    EXPECT_EQ(Edit.Text(), "aaaa bbbb cccc dddd\reeee ffff");
    EXPECT_EQ(Edit.Caret(), Edit.TextLength());
    Edit.SetCaret(0);
    for (int i = 0; i < 10; ++i) // deleting pulls the next words back up
        Key(VK_DELETE);
    EXPECT_EQ(Edit.Text(), "cccc dddd eeee ffff");

    // A word of 25 letters breaks before its last typed letter.
    Edit.SetText("");
    Type(std::string(25, 'x'));
    EXPECT_EQ(Edit.Text(), std::string(20, 'x') + "\r" + std::string(5, 'x'));
    EXPECT_EQ(Edit.Caret(), Edit.TextLength());

    // Typing inside the first line of a long word: the caret follows its character.
    Edit.SetText("");
    Type("aaaaaaaaaaa bbbbbbbb");
    Edit.SetCaret(15);
    Type("X");
    EXPECT_EQ(Edit.Text(), "aaaaaaaaaaa\rbbbXbbbbb");
    EXPECT_EQ(Edit.Text()[Edit.Caret() - 1], 'X');

    // Column 0 wraps nothing; values beyond 255 are not taken.
    Edit.SetWrapColumn(256);
    EXPECT_EQ(Edit.WrapColumn(), 20);
    TAbstractColourEdit plain;
    TypeText(plain, std::string(300, 'y') + " z");
    EXPECT_EQ(plain.LineCount(), 1);
}

TEST_F(ColourEditModel, CursorKeysMoveByVisibleCharactersWordsAndLines)
{
    // o n e _ ^r t w o LF a b ^g c _ t h r e e
    Edit.SetText("one \x01rtwo\nab\x01gc three");
    Edit.SetCaret(Edit.TextLength());
    // Key, shift state, caret after it.
    const std::tuple<uint16_t, TShiftState, int> steps[] = {
        {VK_HOME, 0, 10},      {VK_RIGHT, 0, 11},     {VK_RIGHT, 0, 14}, // over the code
        {VK_UP, 0, 2},         {VK_END, 0, 9},        {VK_DOWN, 0, 19},  // codes count no column
        {VK_LEFT, ssCtrl, 16}, {VK_LEFT, ssCtrl, 10}, {VK_LEFT, ssCtrl, 6},
        {VK_LEFT, 0, 3},       {VK_RIGHT, ssCtrl, 6}, {VK_RIGHT, ssCtrl | ssShift, 10},
        {VK_HOME, ssCtrl, 0},  {VK_UP, 0, 0},         {VK_END, ssCtrl, 21},
    };
    for (const auto &[key, shift, caret] : steps) {
        Key(key, shift);
        EXPECT_EQ(Edit.Caret(), caret) << key;
        if (shift & ssShift) {
            EXPECT_EQ(Edit.SelStart(), 6); // extended from the old caret
        }
    }
    Key(VK_BACK, ssShift); // no selection is left from the old anchor
    EXPECT_FALSE(Edit.HasSelection());
    EXPECT_EQ(Edit.Caret(), 20);
}

TEST_F(ColourEditModel, CopyGivesBothFormatsExactly)
{
    Edit.SetText("a\x01rb\nc");
    Edit.SetCaret(Edit.TextLength(), 3);
    Edit.EditKeyPress(3);
    // The coloured block spells out the whole starting attribute (bright red on black).
    EXPECT_EQ(Clip.Coloured, "\1f\1a\1f\1rb\nc\0"s);
    EXPECT_EQ(Clip.Plain, "b\r\nc");

    Edit.SetText("x\x01gy\rz"); // a soft break copies as a line break
    Edit.SelectAll();
    Edit.CopyToClipboard();
    EXPECT_EQ(Clip.Plain, "xy\r\nz");
}

TEST_F(ColourEditModel, PasteDropsTheCrOfCrLfAndControlBytes)
{
    Clip.HasColoured = Clip.HasPlain = true;
    Clip.Coloured = "\1a\1rX\r\nY\0junk"s;
    Edit.EditKeyPress(22);
    EXPECT_EQ(Edit.Text(), "\1a\1rX\nY");

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

    // A text longer than the room is refused whole (plain: MaxLength - 2 at most).
    Edit.SetText("abc");
    Edit.SetMaxLength(10);
    Clip.Plain = "12345678";
    Edit.PasteFromClipboard();
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

    // No room for a soft break in a full buffer: the line stays long.
    Edit.SetWrapColumn(10);
    Edit.SetText(std::string(32765, 'w').c_str());
    Edit.SetCaret(Edit.TextLength());
    Type("w");
    Key(VK_BACK);
    EXPECT_LE(Edit.TextLength(), 32766);

    // A colour code takes two bytes: it fits in the last two, never in the last one.
    for (const int room : {2, 1}) {
        Edit.SetText(std::string(32766 - room, 'c').c_str());
        Edit.SetCaret(Edit.TextLength());
        const int beeps = Beeps.Count;
        Type("\x01r");
        EXPECT_EQ(Edit.Text().substr(32764 - room), room == 2 ? "cc\x01r" : "cc");
        EXPECT_EQ(Beeps.Count - beeps, room == 2 ? 0 : 1);
    }

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

} // namespace
