// A clipboard of two strings for the colour edit tests and the editor's fuzz target.
#pragma once

#include "colouredit/ColEdit2.h"

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
