// An offline editor on a real terminal model, as the CLient engine drives it.
#pragma once

#include "colouredit/OffLine.h"
#include "tests/colouredit/EditTestUtil.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

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
    // Key presses; true when the last one finished the edit.
    bool Type(std::string_view s)
    {
        bool finished = false;
        for (char c : s)
            finished = Edit.KeyPress(static_cast<uint8_t>(c));
        return finished;
    }
    // What the engine would upload.
    std::string Upload()
    {
        std::vector<char> buf(32766);
        int n = Edit.GetText(buf.data(), static_cast<int>(buf.size()));
        return std::string(buf.data(), n);
    }
    std::string Row(int y) const { return RowText(Tty, y); }
    // Host output while the edit is open.
    void HostOutput(const char *text)
    {
        Edit.BeginOutput();
        Tty.Write(text);
        Edit.EndOutput();
    }
};
