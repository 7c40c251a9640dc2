// The CTerm dialect of ANSI-BBS: what each sequence leaves on the screen, what it answers
// and which mode it sets, whole and cut into two writes anywhere; and the keys it sends.
#include "terminal/ColorTTY.h"
#include "terminal/CtermKeys.h"
#include "terminal/PsfFont.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace std::string_literals;

struct TCase
{
    std::string In;
    std::string Row0, Row1; // the screen's first two rows afterwards (trailing blanks cut)
    std::string Sent;
    bool Cuttable = true; // a mark cut between two writes is shown (it is looked for in each)
};

const std::string Record = "SAUCE00" + std::string(35, 'T') + std::string(40, ' ') + "20230904" +
                           std::string("\x8b\x1b\0\0\x01\x01P\0\x18\0\0\0\0\0\0\x03", 16) + "IBM VGA" +
                           std::string(15, '\0');

const TCase Cases[] = {
    {"A\x1b[0;0 DB\x1b[<c", "AB", "", "\x1b[<0;2;5;7c"}, // the font query, then the attributes
    {"\x1b[<0c\x1b[c\x1b[255n", "", "", "\x1b[<0;2;5;7c\x1b[?1;0c\x1b[25;80R"},
    {"A\x1b[|MFT120O4L8CDE.F#<>\x0e"
     "B",
     "AB", "", ""}, // music to its end mark
    {"A\x1b[NCDE\x0e"
     "B\x1b[|CD\rC",
     "CB", "", ""}, // ESC[N too; a CR ends it and acts
    {"\x1b[=2MA\x1b[MFCDE\x0e"
     "B\x1b[=1M\x1b[M",
     "", "", ""},                       // bare ESC[M only when asked
    {"\x1b[=2MA\x1b[2MB", "B", "", ""}, // a delete with its count stays one
    {"AB\nC", "AB", "  C", ""},         // LF without expansion
    {"x\x1b[=255h\0\x1b\0\r\0\0y\x1b[=255lz\0w"s, "x\x1b\r yz w", "", ""}, // doorway: NUL, a glyph
    {"art\x1a" + Record + "B", "artB", "", ""},                            // a whole record after 0x1A
    {"art\x1a"
     "COMNT" +
         std::string(128, 'c') + Record + "B",
     "artB", "", ""},
    {"A\x1a"
     "SAUB\x1a\x1a"
     "Cx",
     "A\x1aSAUB\x1a\x1a"
     "Cx",
     "", ""},                                   // 0x1A alone stays a glyph
    {"\x88SAUCE00 x", "\x88SAUCE00 x", "", ""}, // a mark inside text, wherever the reads were cut
    // as ENiGMA sends one: no 0x1A, cut short, then the next screen
    {"art\x1b[0mSAUCE00\r\n 20230904\x8b\x0b\0\0\x01\x01P\0\x18\0\0\0\0\0\0\x03IBM VGA\r\x1b[1;10HB"s,
     "art      B", "", "", false},
};

TEST(Cterm, SequencesTheirEffectAndAnswers)
{
    for (const TCase &c : Cases)
        for (size_t cut = 0; cut <= (c.Cuttable ? c.In.size() : 0); ++cut) {
            TColorTTY t;
            SetUpTTY(t, 80, 100, 80, 25);
            t.SetEmulation(teAnsiBbs);
            t.AnsiBbs().SetHideSauce(true);
            t.AnsiBbs().ResetModes();
            t.MoveCursor(0, t.ScreenTop());
            std::string sent;
            t.AnsiBbs().SetAnswerHandler([&sent](const char *b, size_t n) { sent.append(b, n); });
            t.Write(c.In.data(), cut);
            t.Write(c.In.data() + cut, c.In.size() - cut);
            const std::string where = c.In + " cut at " + std::to_string(cut);
            EXPECT_EQ(RowTrimmed(t, t.ScreenTop()), c.Row0) << where;
            EXPECT_EQ(RowTrimmed(t, t.ScreenTop() + 1), c.Row1) << where;
            EXPECT_EQ(sent, c.Sent) << where;
        }
}

TEST(Cterm, ModesAndHostChoices)
{
    TColorTTY t;
    SetUpTTY(t, 80, 100, 80, 25);
    t.SetEmulation(teAnsiBbs);
    std::string sent;
    t.AnsiBbs().SetAnswerHandler([&sent](const char *b, size_t n) { sent.append(b, n); });
    auto mouse = [&](TMouseAction a, int button, TShiftState mods = 0) {
        sent.clear();
        return t.AnsiBbs().ReportMouse(a, button, 4, 2, mods) ? sent : "-";
    };
    EXPECT_EQ(mouse(TMouseAction::Press, 0), "-"); // not asked for: the user's own
    t.Write("\x1b[?9h");
    EXPECT_EQ(mouse(TMouseAction::Press, 0, ssCtrl) + mouse(TMouseAction::Release, 0), "\x1b[M %#-");
    t.Write("\x1b[?1000h");
    EXPECT_EQ(mouse(TMouseAction::Press, 2, ssShift) + mouse(TMouseAction::Release, 2), "\x1b[M&%#\x1b[M#%#");
    EXPECT_EQ(mouse(TMouseAction::Move, 0), "-");
    t.Write("\x1b[?1002h\x1b[?1006h");
    EXPECT_EQ(mouse(TMouseAction::Move, 0) + mouse(TMouseAction::Move, 3), "\x1b[<32;5;3M-");
    EXPECT_EQ(mouse(TMouseAction::Release, 1) + mouse(TMouseAction::WheelDown, 3),
              "\x1b[<1;5;3m\x1b[<65;5;3M");
    EXPECT_FALSE(t.AnsiBbs().ReportMouse(TMouseAction::Press, 0, 4, 25, 0)); // below the screen
    t.Write("\x1b[?2004h\x1b[?1002l\x1b[=255h");
    EXPECT_EQ(mouse(TMouseAction::Press, 0), "-");
    EXPECT_TRUE(t.AnsiBbs().Cterm().BracketedPaste && t.AnsiBbs().Cterm().Doorway);

    // fonts: one we lack keeps the current one
    for (const auto &[seq, font] :
         std::initializer_list<std::pair<const char *, int>>{{"\x1b[0;36 D", 0},
                                                             {"\x1b[0;24 D", CtermFont(24) ? 24 : 0},
                                                             {"\x1b[1;0 D", CtermFont(24) ? 24 : 0},
                                                             {"\x1b[0;1 D", CtermFont(24) ? 24 : 0},
                                                             {"\x1b[0;0 D", 0}})
        EXPECT_EQ((t.Write(seq), t.AnsiBbs().Cterm().Font), font) << seq + 1;

    t.AnsiBbs().SetLfExpand(true);
    t.Write("\x1b[?1000h\x1b[0;24 D");
    t.AnsiBbs().ResetModes(); // a new connection: the host's own choices stay
    EXPECT_TRUE(t.AnsiBbs().Cterm().LfExpand && !t.AnsiBbs().Cterm().Doorway &&
                !t.AnsiBbs().Cterm().BracketedPaste && t.AnsiBbs().Cterm().Font == 0 &&
                t.AnsiBbs().Cterm().Mouse == TMouseTracking::Off);
    t.Write("\x1b[HAB\nC");
    EXPECT_EQ(RowTrimmed(t, t.ScreenTop() + 1), "C");
}

TEST(Cterm, KeysAsSyncTermSendsThem)
{
    // Control+Home (and other modified editing keys) stay the program's: scrolling
    // clang-format off
    const std::tuple<uint16_t, TShiftState, bool, std::string> keys[] = {
        {VK_HOME, 0, false, "\x1b[H"}, {VK_END, 0, false, "\x1b[K"}, {VK_PRIOR, 0, false, "\x1b[V"},
        {VK_NEXT, 0, false, "\x1b[U"}, {VK_INSERT, 0, false, "\x1b[@"}, {VK_DELETE, 0, false, "\x7f"},
        {VK_UP, 0, false, "\x1b[A"}, {VK_HOME, ssCtrl, false, ""}, {'A', 0, false, ""},
        {VK_F1, 0, false, "\x1b[11~"}, {VK_F1 + 5, 0, false, "\x1b[17~"}, {VK_F12, ssCtrl, false, "\x1b[24;5~"},
        {VK_F1 + 10, ssShift, false, "\x1b[23;2~"}, {VK_F1 + 4, ssAlt, false, "\x1b[15;3~"},
        {VK_UP, 0, true, "\0H"s}, {VK_LEFT, ssCtrl, true, "\0s"s}, {VK_DELETE, 0, true, "\0S"s},
        {VK_F1, 0, true, "\0;"s}, {VK_F1 + 9, ssShift, true, "\0]"s}, {VK_F12, ssAlt, true, "\0\x8c"s},
        {VK_HOME, ssShift, true, ""}};
    // clang-format on
    for (const auto &[key, shift, doorway, bytes] : keys)
        EXPECT_EQ(AnsiBbsKeyBytes(key, shift, doorway), bytes) << key << ' ' << int(shift) << doorway;
}

} // namespace
