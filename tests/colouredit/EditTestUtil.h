// Fakes and fixtures shared by the colour edit tests.
#pragma once

#include "colouredit/OffLine.h"
#include "tests/colouredit/FakeClipboard.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

class TCountingBeeper : public TBeeper
{
public:
    int Count = 0;
    void Beep(unsigned) override { ++Count; }
};

template <class Edit> void TypeText(Edit &edit, std::string_view text)
{
    for (char c : text)
        edit.EditKeyPress(static_cast<uint8_t>(c));
}

// An offline editor on a real terminal model, as the CLient engine drives it.
struct OffLineTest : ::testing::Test
{
    TColorTTY Tty;
    TWhoList Who;
    TOffLineEdit Edit{Tty, Who};
    TCountingBeeper Beeps;
    TFakeClipboard Clip;

    OffLineTest()
    {
        Tty.SetVisibleSize(80, 25);
        Edit.SetBeeper(&Beeps);
        Edit.SetClipboard(&Clip);
    }
    // An edit opened after a prompt written from column 0 of row y.
    void OpenAfter(int y, const std::string &prompt, int kind = 13, uint8_t p = 0)
    {
        Tty.MoveCursor(0, y);
        Tty.Write(prompt.c_str());
        Edit.Open(kind, p);
    }
    // Key presses; true when the last one finished the edit.
    bool Type(std::string_view s)
    {
        bool finished = false;
        for (char c : s)
            finished = Edit.KeyPress(static_cast<uint8_t>(c));
        return finished;
    }
    // The text of a new edit after the given key presses.
    std::string TypedInto(int kind, uint8_t p, std::string_view keys)
    {
        Edit.Open(kind, p);
        Type(keys);
        return Edit.Text();
    }
    // What the engine would upload.
    std::string Upload()
    {
        std::vector<char> buf(32766);
        return std::string(buf.data(), Edit.GetText(buf.data(), static_cast<int>(buf.size())));
    }
    // Characters of terminal row y without trailing blanks.
    std::string Row(int y) const { return RowTrimmed(Tty, y); }
    // Rows from..to-1, joined by '|'.
    std::string Rows(int from, int to) const
    {
        std::string s = Row(from);
        for (int y = from + 1; y < to; ++y)
            s += "|" + Row(y);
        return s;
    }
    // Host output while the edit is open.
    void HostOutput(std::string_view text)
    {
        Edit.BeginOutput();
        Tty.Write(text.data(), text.size());
        Edit.EndOutput();
    }
};
