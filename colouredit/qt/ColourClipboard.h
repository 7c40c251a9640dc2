// The system clipboard behind the colour edit controls: plain text through code page 437,
// coloured text as raw bytes under ColouredTextMimeType.
#pragma once

#include "colouredit/ColEdit2.h"

#include <cstddef>
#include <string>
#include <string_view>

// The text of a coloured-text block: up to its first NUL, at most `max` bytes, and when cut
// short it ends after the last whole colour code that fits (a lone 0x01 would swallow the
// next byte typed after the paste).
std::string CutColouredText(std::string_view block, size_t max);

class TQtColourClipboard : public TColourClipboard
{
public:
    void SetTexts(std::string_view plain, std::string_view coloured) override;
    // The block cut to what the paste work buffer holds (see CutColouredText).
    bool GetColoured(std::string &block) override;
    bool GetPlain(std::string &text) override;
};

class TQtBeeper : public TBeeper
{
public:
    void Beep(unsigned type) override;
};
