// Fakes and helpers shared by the colour edit tests.
#pragma once

#include "colouredit/ColEdit2.h"
#include "terminal/ColorTTY.h"

#include <string>

class TFakeClipboard : public TColourClipboard
{
public:
    bool HasPlain = false, HasColoured = false;
    std::string Plain, Coloured;

    void SetTexts(std::string_view plain, std::string_view coloured) override
    {
        Plain = plain;
        Coloured = coloured;
        HasPlain = HasColoured = true;
    }
    bool GetColoured(std::string &block) override
    {
        if (HasColoured) block = Coloured;
        return HasColoured;
    }
    bool GetPlain(std::string &text) override
    {
        if (HasPlain) text = Plain;
        return HasPlain;
    }
};

class TCountingBeeper : public TBeeper
{
public:
    int Count = 0;
    void Beep(unsigned) override { ++Count; }
};

// Characters of terminal row y with trailing blanks removed.
inline std::string RowText(const TColorTTY &tty, int y)
{
    std::string s(reinterpret_cast<const char *>(tty.RowChars(y)), tty.Cols);
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

template <class Edit> void TypeText(Edit &edit, std::string_view text)
{
    for (char c : text)
        edit.EditKeyPress(static_cast<uint8_t>(c));
}
