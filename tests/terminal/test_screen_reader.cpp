// What a screen reader gets of the terminal: the announcements of new output, and the
// text with its offsets, words, lines and colour runs.
#include "terminal/ColorTTY.h"
#include "terminal/Contrast.h"
#include "terminal/OutputAnnouncer.h"
#include "terminal/TerminalText.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A terminal with an announcer, driven by a clock of its own as the widget drives it.
struct Speaker
{
    TColorTTY Tty;
    TOutputAnnouncer Announcer{Tty};
    int64_t Now = 0, Due = -1;
    std::vector<TAnnouncement> Heard;
    std::string Log; // "TIME:text|" per announcement

    Speaker(int cols, int rows)
    {
        SetUpTTY(Tty, cols, rows, cols, rows);
        Tty.Screen().SetOutputObserver(&Announcer);
        Announcer.SetListening(true);
        Announcer.OnActivity = [this] { Due = Now; };
    }
    void Out(const std::string &s, bool host = true)
    {
        Tty.Screen().SetLocalDrawing(!host);
        Tty.Write(s.data(), s.size());
        Tty.Screen().SetLocalDrawing(false);
    }
    void Wait(int ms)
    {
        const int64_t until = Now + ms;
        while (Due >= 0 && Due <= until) {
            Now = Due;
            int next = -1;
            for (TAnnouncement &a : Announcer.Tick(Now, next)) {
                Log += std::to_string(Now) + ":" + a.Text + "|";
                Heard.push_back(std::move(a));
            }
            Due = next >= 0 ? Now + next : -1;
        }
        Now = until;
    }
};

TEST(OutputAnnouncer, TellsEachNewLineOnceAndNothingElse)
{
    // Steps: "o" host output, "l" the local editor's output, "t" typed keys, "w" a wait,
    // "d" pending text dropped from a marker on.
    const struct
    {
        const char *Name;
        std::vector<std::pair<char, std::string>> Steps;
        const char *Want;
    } cases[] = {
        {"lines with the prompt after them once the output settles",
         {{'o', "Hello\r\nWorld\r\nName: "}, {'w', "400"}},
         "150:Hello\nWorld\nName: |"},
        {"the rest of a prompt with its line feed",
         {{'o', "Name: "}, {'w', "200"}, {'o', "Demo\r\nOK\r\n"}, {'w', "400"}},
         "150:Name: |350: Demo\nOK\n|"},
        {"a prompt the local editor answers is told in its place",
         {{'o', "Name: "}, {'l', "Demo\r\n"}, {'o', "Next\r\n"}, {'w', "400"}},
         "150:Name: Demo\nNext\n|"},
        {"the echo of typed keys is not told back",
         {{'o', "Name: "}, {'w', "200"}, {'t', "Demo"}, {'o', "Demo\r\n"}, {'w', "400"}},
         "150:Name: |"},
        {"colour codes and escapes never reach the text",
         {{'o', "\x01rRed \x1b[1;31mbold\x1b[0m \x01"
                "aend\r\n"},
          {'w', "400"}},
         "150:Red bold end\n|"},
        {"a carriage return overwrites: only the last state is told",
         {{'o', "10%\r20%\r100%\r\n"}, {'w', "400"}},
         "150:100%\n|"},
        {"a wrapped line is one line",
         {{'o', "abcdefghijklmnopqrstuvwxy\r\nz\r\n"}, {'w', "400"}},
         "150:abcdefghijklmnopqrstuvwxy\nz\n|"},
        {"the local editor's output is not told", {{'l', "typed\r\nmore"}, {'w', "400"}}, ""},
        {"a row drawn in place is told once; redrawn as it was, never again",
         {{'o', "\x1b[1;1HScore 10\x1b[6;1H"},
          {'w', "400"},
          {'o', "\x1b[1;1HScore 10\x1b[6;1H"},
          {'w', "400"},
          {'o', "\x1b[1;1HScore 11\x1b[6;1H"},
          {'w', "400"}},
         "150:Score 10\n|950:Score 11\n|"},
        {"an express message said another way leaves only what came before it",
         {{'o', "before\r\n*** Message from Sysop ***\r\nHi\r\n"}, {'d', " from Sysop"}, {'w', "400"}},
         "150:before\n|"},
        {"a row written in place is told even when an empty line ends the output",
         {{'o', "a\r\nb\r\nc\r\nd\r\ne\r\nf\r\n"},
          {'w', "400"},
          {'o', "\x1b[2;1HScore\x1b[6;1H\r\n"},
          {'w', "400"}},
         "150:a\nb\nc\nd\ne\nf\n|550:\n|550:Score\n|"},
        {"a screen redrawn line by line as it was stays silent",
         {{'o', "\x1b[1;1HA\r\nB\r\n"}, {'w', "400"}, {'o', "\x1b[1;1HA\r\nB\r\n"}, {'w', "400"}},
         "150:A\nB\n|"},
    };
    for (const auto &c : cases) {
        Speaker s(20, 6);
        for (const auto &[kind, arg] : c.Steps) {
            if (kind == 'o' || kind == 'l') s.Out(arg, kind == 'o');
            if (kind == 't')
                for (char ch : arg)
                    s.Announcer.Typed(ch);
            if (kind == 'w') s.Wait(std::stoi(arg));
            if (kind == 'd') s.Announcer.DiscardPendingFrom(arg);
        }
        EXPECT_EQ(s.Log, c.Want) << c.Name;
    }
}

TEST(OutputAnnouncer, AFloodComesInFewAnnouncementsHoldingEveryLineInOrder)
{
    Speaker s(80, 30);
    std::string all;
    for (int read = 0; read < 100; ++read) { // 100 reads of 10 lines, 5 ms apart
        std::string chunk;
        for (int i = 0; i < 10; ++i)
            chunk += "\x01gLine " + std::to_string(read * 10 + i) + "\x01w of the flood\r\n";
        s.Out(chunk);
        s.Wait(5);
    }
    s.Out("Press a key: ");
    s.Wait(1000);
    std::string joined;
    int lines = 0;
    for (const TAnnouncement &a : s.Heard) {
        joined += a.Text;
        lines += a.Lines;
    }
    for (int i = 0; i < 1000; ++i)
        all += "Line " + std::to_string(i) + " of the flood\n";
    EXPECT_EQ(joined, all + "Press a key: ");
    EXPECT_EQ(lines, 1000);
    EXPECT_LE(s.Heard.size(), 5u); // 500 ms of flood: one per 150 ms
    // The last rows are still on the terminal where the announcement says.
    const TAnnouncement &last = s.Heard.back();
    EXPECT_EQ(last.Row - s.Announcer.Scrolls(), s.Tty.CursorY);
    EXPECT_EQ(last.Column, 0);
}

// More than one settle time holds: the lines told are the first ones, in order, and the
// rest are counted, so that told and counted make every line received.
TEST(OutputAnnouncer, AFloodBeyondWhatASettleTimeHoldsIsToldInOrderAndCounted)
{
    Speaker s(80, 30);
    std::string chunk;
    for (int i = 0; i < 8000; ++i) // long and short lines
        chunk += "Line " + std::to_string(i) + std::string(i % 2 ? 70 : 1, '.') + "\r\n";
    s.Out(chunk);
    s.Wait(1000);
    ASSERT_EQ(s.Heard.size(), 2u);
    const std::string &told = s.Heard[0].Text, &counted = s.Heard[1].Text;
    int lines = 0;
    for (size_t at = 0; at < told.size(); at = told.find('\n', at) + 1, ++lines) {
        const std::string start = "Line " + std::to_string(lines) + ".";
        ASSERT_EQ(told.compare(at, start.size(), start), 0) << told.substr(at, 20);
    }
    EXPECT_EQ(s.Heard[0].Lines, lines);
    EXPECT_EQ(counted, "(" + std::to_string(8000 - lines) + " more lines not read)");
}

TEST(OutputAnnouncer, LinesScrollingInARegionAreToldEveryOne)
{
    Speaker s(20, 6);
    s.Tty.SetEmulation(teAnsiBbs);
    s.Tty.AnsiBbs().ResetModes();
    // a chat area in rows 1..4 under a status row; the lines scroll up inside it
    s.Out("\x1b[1;1HStatus\x1b[2;5r\x1b[5;1H");
    s.Out("one\r\ntwo\r\nok\r\nok\r\nfive\r\n");
    s.Wait(400);
    // (the status row, written in place, is looked at once the output settles)
    EXPECT_EQ(s.Log, "150:one\ntwo\nok\nok\nfive\n|150:Status\n|");
}

TEST(TerminalText, OffsetsWordsLinesAndColourRuns)
{
    TColorTTY t;
    SetUpTTY(t, 10, 8, 10, 4);
    t.MoveCursor(0, 2);
    const std::string text = "one two\r\n\x01rabcdefghij\x01wkl\r\n\r\n  x";
    t.Write(text.data(), text.size());
    TTTYText m;
    m.Build(t);
    // rows 2..5: "one two", "abcdefghij" running on into "kl", "", "  x" (the cursor's row)
    EXPECT_EQ(m.Text(t, 0, m.Length()), "one two\nabcdefghijkl\n\n  x");
    EXPECT_EQ(m.FirstRow(), 2);
    EXPECT_EQ(m.Caret(), m.Length());
    EXPECT_EQ(m.Offset(3, 4), 12);
    EXPECT_EQ(m.RowOf(19), 4);
    const struct
    {
        TTextUnit Unit;
        int Offset, Start, End;
    } units[] = {
        {tuWord, 1, 0, 4},    {tuWord, 3, 0, 4},         {tuWord, 5, 4, 7},    {tuWord, 7, 7, 8},
        {tuLine, 5, 0, 8},    {tuLine, 9, 8, 18},        {tuLine, 18, 18, 21}, {tuLine, 22, 22, 25},
        {tuWord, 22, 22, 24}, {tuCharacter, 24, 24, 25},
    };
    for (const auto &u : units) {
        int s = -1, e = -1;
        m.UnitAt(t, u.Unit, u.Offset, s, e);
        EXPECT_EQ(std::make_pair(s, e), std::make_pair(u.Start, u.End)) << u.Unit << " at " << u.Offset;
    }
    int s = 0, e = 0;
    EXPECT_EQ(m.AttrRun(t, 10, s, e), TColourAttr(0x0F & ~0x06)); // bright red from 01 r
    EXPECT_EQ(std::make_pair(s, e), std::make_pair(8, 18));
    EXPECT_EQ(m.AttrRun(t, 19, s, e), TColourAttr(0x0F));
    EXPECT_EQ(std::string(ColourName(9)) + "/" + ColourName(4), "red/dark blue");
}

TEST(HighContrast, EveryColourOnEveryBackgroundReadsAtFourAndAHalfToOneAndStaysDistinct)
{
    for (int bg = 0; bg < 16; ++bg)
        for (int fg = 0; fg < 16; ++fg)
            EXPECT_GE(ContrastRatio(HighContrastCellText(fg, bg), HighContrastBackground(bg)), 4.5)
                << fg << " on " << bg;
    // On the usual black, the sixteen text colours stay sixteen colours, well apart.
    const auto distance = [](uint32_t x, uint32_t y) {
        double d = 0;
        for (int shift = 0; shift <= 16; shift += 8)
            d += std::pow(double((x >> shift) & 0xFF) - double((y >> shift) & 0xFF), 2);
        return std::sqrt(d);
    };
    for (int a = 0; a < 16; ++a)
        for (int b = a + 1; b < 16; ++b)
            EXPECT_GE(distance(HighContrastCellText(a, 0), HighContrastCellText(b, 0)), 60)
                << a << " vs " << b;
    EXPECT_NEAR(ContrastRatio(0x000000, 0xFFFFFF), 21.0, 1e-9);
    EXPECT_EQ(WithContrast(0xFFFF00, 0x000000), 0xFFFF00u); // already enough: unchanged
}

} // namespace
