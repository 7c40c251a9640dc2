// The input controller over a real session and terminal on a line the test drives: where
// keys, pastes and the Edit commands go, and what the commands may do in each state.
#include "config/Setmacro.h"
#include "session/InputController.h"
#include "tests/session/SessionRig.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct Clipboard : TColourClipboard
{
    std::string Plain, Coloured; // empty: the clipboard holds none
    void SetTexts(std::string_view plain, std::string_view coloured) override
    {
        Plain = plain, Coloured = coloured;
    }
    bool GetColoured(std::string &block) override { return !(block = Coloured).empty(); }
    bool GetPlain(std::string &text) override { return !(text = Plain).empty(); }
};

// The window: what it was asked to do, in order.
struct View : TInputView
{
    bool FindOpen = false;
    std::string Log;
    void CopyTerminalSelection() override { Log += "copy "; }
    bool StepFind(bool back) override { return FindOpen && (Log += back ? "find- " : "find+ ", true); }
    void ReviewMark(int direction) override { Log += "review" + std::to_string(direction) + " "; }
    void CaretMoved() override {}
    void KeysSent() override { Log += "sent "; }
};

struct Input : TSessionRig
{
    explicit Input(THostMode mode = hmTelnet) : TSessionRig(mode) {}
    TMacroTable Macros;
    Clipboard Clip;
    View Window;
    TInputController In{*Session, Macros, Prefs, Clip, Window};
};

TEST(InputController, KeysGoToTheFindBarTheReviewLineMacrosOrTheBbs)
{
    const TShiftState cs = ssCtrl | ssShift;
    const struct
    {
        uint16_t Key;
        TShiftState Shift;
        bool FindOpen;
        TKeyUse Use;
        std::string Sent, Asked;
    } cases[] = {
        {VK_F1, 0, false, TKeyUse::Used, "", ""},             // help, never a macro
        {VK_F1 + 9, 0, false, TKeyUse::Used, "", ""},         // the menu
        {VK_F1 + 1, 0, false, TKeyUse::Used, "", ""},         // an empty slot
        {VK_F1 + 11, cs, false, TKeyUse::Used, "x", "sent "}, // slot 47
        {VK_F1, ssShift, false, TKeyUse::Used, "hi\rthere", "sent "},
        {VK_F1 + 2, 0, false, TKeyUse::Used, "m", "sent "},
        {VK_F1 + 2, 0, true, TKeyUse::Used, "", "find+ "},
        {VK_F1 + 2, ssShift, true, TKeyUse::Used, "", "find- "},
        {VK_PRIOR, cs, false, TKeyUse::Swallowed, "", "review-1 "},
        {VK_NEXT, cs | ssAlt, false, TKeyUse::Passed, "", ""},
    };
    for (const auto &c : cases) {
        Input r;
        for (const auto &[slot, text] :
             {std::pair(47, "x"), {12, "hi\nthere"}, {0, "no"}, {9, "no"}, {2, "m"}})
            r.Macros.SetText(slot, text);
        r.Window.FindOpen = c.FindOpen;
        r.Up();
        EXPECT_EQ(r.In.KeyDown(c.Key, c.Shift), c.Use) << c.Key << " " << int(c.Shift);
        r.In.KeyPress('k'); // its character follows unless the key-down was used up with it
        EXPECT_EQ(r.Line.Sent, c.Sent + (c.Use == TKeyUse::Swallowed ? "" : "k")) << c.Key;
        EXPECT_EQ(r.Window.Log, c.Asked) << c.Key;
    }
}

TEST(InputController, AnyKeyButAModifierStopsACountdown)
{
    Input r;
    r.Prefs.ReconnectAutomatically = true;
    r.Up();
    r.Line.Close(TCloseKind::Lost);
    EXPECT_EQ(r.In.KeyDown(0, ssShift, true), TKeyUse::Passed);
    EXPECT_TRUE(r->ReconnectWaiting());
    EXPECT_EQ(r.In.KeyDown('Q', 0), TKeyUse::Swallowed);
    EXPECT_FALSE(r->ReconnectWaiting());
}

// Outside an edit a paste is typed: colour codes only for a colour host with colours on,
// and nothing that would act on the BBS.
TEST(InputController, PastesTypeOnlyWhatTheHostReadsAsText)
{
    const struct
    {
        THostMode Mode;
        bool NoColours;
        std::string Plain, Coloured, Sent;
    } cases[] = {
        {hmTelnet, false, "a\r\n\r\nb", "", "a\r \n\r\nb"},
        {hmTelnet, false, "x\x1b[2Jy\tz\x01r", "", "x[2Jy\tzr"},
        {hmTelnet, false, "a\xff"s + "b",
         "\x01"
         "Ac",
         "a b"},
        {hmORVO, false, "plain",
         "\x01"
         "Ac",
         "\x01"
         "Ac"},
        {hmORVO, true, "plain",
         "\x01"
         "Ac",
         "plain"},
        {hmORVO, false, "", "", ""},
    };
    for (const auto &c : cases) {
        Input r(c.Mode);
        r.Prefs.DisableColours = c.NoColours;
        r.Clip.Plain = c.Plain;
        r.Clip.Coloured = c.Coloured;
        r.Up();
        r.In.Paste();
        EXPECT_EQ(r.Line.Sent, c.Sent) << c.Plain;
    }
}

TEST(InputController, CopyAndCutFollowWhereTheSelectionStarts)
{
    Input r(hmORVO);
    r.Up();
    r.Recv("Name: \xff\xa2\x14\x00\x00\x00"s);
    ASSERT_TRUE(r->InEditMode());
    for (char c : std::string("hello"))
        r.In.KeyPress(uint8_t(c));
    const int y = r->OffLineEdit().StartY();
    r.Tty.SetSelection({6, y}, {9, y}); // "hel", inside the edit
    r.In.SelectionChanged();
    r.In.Cut();
    EXPECT_EQ(r.Clip.Plain, "hel");
    r.Tty.SetSelection({0, y}, {4, y}); // "Name", before it: the terminal's
    r.In.Copy();
    EXPECT_EQ(r.Window.Log, "copy ");
}

TEST(InputController, AddressesInTheSelection)
{
    const struct
    {
        const char *Word, *Address;
        bool Ask;
    } cases[] = {
        {"(ftp://host.example)", "ftp://host.example)", true},
        {"<<http://bbs.example/x", "http://bbs.example/x", false},
        {"https://bbs.example/x?y=1", "https://bbs.example/x?y=1", false},
        {"mailto:sysop@bbs.example?attach=/etc/passwd&body=x", "mailto:sysop@bbs.example", true},
        {"telnet://bbs.example:23", "telnet://bbs.example:23", true},
        {"(FTP://host.example)", "", false},
        {"www.example.org", "", false},
    };
    for (const auto &c : cases) {
        Input r;
        const int y = r.Tty.CursorY;
        r.Tty.Write(c.Word);
        r.Tty.SetSelection({0, y}, {int(strlen(c.Word)), y});
        const TLink link = r.In.SelectedLink();
        EXPECT_EQ(link.Address, c.Address) << c.Word;
        EXPECT_EQ(link.Ask, c.Ask) << c.Word;
    }
}

// What the commands may do, read off the transitions: per state (idle, looking up,
// connecting, open, closing, waiting to reconnect) connect, abort, disconnect, line shown.
TEST(InputController, WhatTheCommandsMayDoInEachState)
{
    const char *const table[] = {"C...", ".A..", ".A..", "..DL", "...L", "C..."};
    for (int s = 0; s < 6; ++s) {
        const TSessionState t = TSessionState(s);
        EXPECT_EQ(std::string({MayConnect(t) ? 'C' : '.', Attempting(t) ? 'A' : '.',
                               MayDisconnect(t) ? 'D' : '.', LineUp(t) ? 'L' : '.'}),
                  table[s])
            << "state " << s;
    }
}

} // namespace
