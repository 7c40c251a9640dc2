// The offline editor's clipboard and beep, on Qt's clipboard and the system beep.
#pragma once

#include "colouredit/ColEdit2.h"

class TShellClipboard : public TColourClipboard
{
public:
    void SetTexts(std::string_view plain, std::string_view coloured) override;
    bool GetColoured(std::string &block) override;
    bool GetPlain(std::string &text) override;
};

class TShellBeeper : public TBeeper
{
public:
    void Beep(unsigned type) override;
};
