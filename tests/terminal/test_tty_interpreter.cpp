// The output interpreter's rules that the reference interpreter shares with it (parameter
// values, cursor clamping, erasing). The other rules, wrapping, controls and colour codes
// among them, are checked against the reference (test_tty_reference.cpp).
#include "terminal/ColorTTY.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>
#include <tuple>
#include <vector>

namespace {

class Interpreter : public ::testing::Test
{
protected:
    TColorTTY t;
    // 80 x 819 buffer showing 80 x 24, cursor at the top left of the screen
    void SetUp() override
    {
        SetUpTTY(t, 80, 819, 80, 24);
        t.MoveCursor(0, t.ScreenTop());
    }
    int Y(int screenRow) const { return t.ScreenTop() + screenRow; }
    void W(const std::string &s) { t.Write(s.data(), s.size()); }
};

// Each sequence from column 9 of screen row 5; y < 0 names a screen row (-1 is row 0).
TEST_F(Interpreter, CursorMoves)
{
    struct Case
    {
        const char *seq;
        int x, y;
    };
    const Case cases[] = {
        {"\x1b[999;999H", 79, 818},   {"\x1b[2;3;4H", 0, -2}, // column "3;4" is not a number
        {"\x1b[;5H", 4, -1},          {"\x1b[999999999A\x1b[999999999D", 0, 0},
        {"\x1b[B\x1b[D", 8, -6},      // empty parameter is 1
        {"\x1b[1;2C", 9, -5},         // not a number: moves 0
        {"\x1b[0000000011C", 10, -5}, // parameters beyond the ninth dropped: "000000001"
        {"\x1bY\xff\xff", 79, 818},
    };
    for (const Case &c : cases) {
        W("\x1b[5;10H");
        W(c.seq);
        EXPECT_EQ(t.CursorX, c.x) << c.seq + 1;
        EXPECT_EQ(t.CursorY, c.y < 0 ? Y(-c.y - 1) : c.y) << c.seq + 1;
    }
}

TEST_F(Interpreter, EraseScreenAndLines)
{
    t.MoveCursor(0, 0);
    W("oldest");
    t.MoveCursor(0, Y(0));
    for (int i = 0; i < 24; ++i)
        W("line\x1b[E\x1b[" + std::to_string(i + 2) + "H");
    W("\x1b[24;3H\x1b[2J");
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(RowTrimmed(t, Y(i)), "") << i;
    EXPECT_EQ(t.Screen().AttrAt(0, Y(0)), 0);
    EXPECT_EQ(t.CursorX, 2);
    EXPECT_EQ(t.CursorY, 818);
    EXPECT_EQ(RowTrimmed(t, 0), "oldest");

    W("\x1b[24;1Habcdef\x1b[24;3H\x1b[J");
    EXPECT_EQ(RowTrimmed(t, 818), "ab");
    EXPECT_EQ(RowTrimmed(t, 0), "oldest");

    const std::pair<const char *, const char *> lineCases[] = {
        {"\x1b[1;3H\x1b[1K", "  cdef"},      {"\x1b[1;3H\x1b[0K", "ab"},
        {"\x1b[1;3H\x1b[K", "ab"},           {"\x1b[2K", ""},
        {"\x1b[3K\x1b[1J\x1b[5J", "abcdef"}, // not ours: nothing
        {"\x1b[1;7H\x1bK", "abcdef"},        {"\x1b[1;2H\x1bK", "a"}};
    for (auto [seq, row] : lineCases) {
        W(std::string("\x1b[1;1Habcdef") + seq);
        EXPECT_EQ(RowTrimmed(t, Y(0)), row) << seq + 1;
    }
    W("\x1b[5;5Hx\x1bJ");
    EXPECT_EQ(RowTrimmed(t, Y(4)), "");
}

TEST_F(Interpreter, EraseToEndOfScreenFromPastTheLastColumn)
{
    W("\x1b[23;1H" + std::string(80, 'a') + "\r\n" + "bbb");
    W("\x1b[23;1H" + std::string(80, 'a'));
    ASSERT_EQ(t.CursorX, 80);
    W("\x1b[J");
    EXPECT_EQ(RowText(t, Y(22)), std::string(80, 'a'));
    EXPECT_EQ(RowTrimmed(t, Y(23)), "");
}

TEST(Scrollback, OldestLineDropped)
{
    TColorTTY t;
    SetUpTTY(t, 10, 5, 10, 5);
    for (int i = 0; i < 8; ++i)
        t.Write(("L" + std::to_string(i) + "\r\n").c_str());
    EXPECT_EQ(t.CursorY, 4);
    EXPECT_EQ(RowTrimmed(t, 0), "L4");
    EXPECT_EQ(RowTrimmed(t, 3), "L7");
    EXPECT_EQ(RowTrimmed(t, 4), "");
    EXPECT_EQ(t.Screen().AttrAt(0, 4), 0); // the recycled row is erased
}

} // namespace

// A sequence with a private or intermediate byte is consumed whole in either emulation,
// however the text is cut.
TEST_F(Interpreter, MarkedSequencesLeaveNothingOnTheScreen)
{
    for (TTTYEmulation e : {teClassic, teAnsiBbs}) {
        t.SetEmulation(e);
        for (const std::string seq :
             {"\x1b[?33l", "\x1b[?25h", "\x1b[=7h", "\x1b[0 q", "\x1b[1:2m", "\x1b[>0;1c"})
            for (size_t cut = 0; cut <= seq.size(); ++cut) {
                t.Clear();
                t.MoveCursor(0, Y(0));
                W("A" + seq.substr(0, cut));
                W(seq.substr(cut) + "B\x1b[1;31mC");
                EXPECT_EQ(RowTrimmed(t, Y(0)), "ABC") << e << ' ' << seq.substr(1) << ' ' << cut;
                EXPECT_EQ(t.Screen().AttrAt(2, Y(0)), 0x09);
            }
    }
}

// Below a scrolling region, a line feed on the last row moves nothing.
TEST_F(Interpreter, AnsiBbsLineFeedBelowTheRegionOnTheLastRow)
{
    t.SetEmulation(teAnsiBbs);
    W("top\x1b[2;5r\x1b[24;1Hlast\n");
    EXPECT_EQ(std::tuple(RowTrimmed(t, Y(0)), RowTrimmed(t, Y(23)), t.CursorY),
              std::tuple("top", "last", Y(23)));
}

// ANSI-BBS editing at the cursor: characters and lines inserted and deleted, the rest moving.
TEST_F(Interpreter, AnsiBbsInsertAndDeleteMoveTheRest)
{
    t.SetEmulation(teAnsiBbs);
    for (const auto &[seq, rows] :
         std::vector<std::pair<std::string, std::string>>{{"\x1b[1;3H\x1b[2@", "ab  cdef|ghi"},
                                                          {"\x1b[1;3H\x1b[2P", "abef|ghi"},
                                                          {"\x1b[1;3H\x1b[99@", "ab|ghi"},
                                                          {"\x1b[1;3H\x1b[P\x1b[1;79H\x1b[P", "abdef|ghi"},
                                                          {"\x1b[1;3H\x1b[L", "|abcdef"},
                                                          {"\x1b[1;3H\x1b[M", "ghi|"}}) {
        W("\x1b[2Jabcdef\r\nghi" + seq);
        EXPECT_EQ(RowTrimmed(t, Y(0)) + '|' + RowTrimmed(t, Y(1)), rows) << seq.substr(1);
    }
}

// Classic has no queries; ANSI-BBS modes wait while Classic draws (the offline editor).
TEST_F(Interpreter, AnsiBbsModesAndAnswers)
{
    std::string sent;
    t.AnsiBbs().SetAnswerHandler([&sent](const char *b, size_t n) { sent.append(b, n); });
    W("\x1b[6n\x1b[c");
    t.SetEmulation(teAnsiBbs);
    W("\x1b[?33;2");
    W("5l\x1b[5n");
    EXPECT_EQ(sent, "\x1b[0n");
    EXPECT_TRUE(t.BrightBackgrounds() == false && t.CursorShown() == false);
    t.SetEmulation(teClassic);
    EXPECT_TRUE(t.CursorShown());
    t.SetEmulation(teAnsiBbs);
    W("\x1b[?33h");
    EXPECT_TRUE(t.BrightBackgrounds() && !t.CursorShown());
}
