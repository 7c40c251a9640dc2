// The Classic output interpreter: printable text, a handful of control characters, the
// BBS's two-byte colour codes (0x01 and a letter), a subset of VT52 escapes and a subset of
// ANSI control sequences. It draws on the terminal's screen.
#pragma once

#include "terminal/TTYTokenizer.h"

#include <cstddef>
#include <cstdint>

class TColorTTY;
class TTTYScreen;

class TClassicInterpreter
{
public:
    // `screen` is the terminal's: the cells and the cursor are drawn on there, what concerns
    // the view (tracking, repainting, the caret) goes through the terminal.
    TClassicInterpreter(TColorTTY &tty, TTTYScreen &screen, TTTYTokenizer &tokenizer)
        : FTty(tty), FScreen(screen), FTok(tokenizer)
    {
    }

    void Write(const uint8_t *p, size_t count);
    // Ordinary bytes (no 0x01, no ESC) at the cursor.
    void PutText(const uint8_t *p, size_t count);

    // Carried between writes with the tokenizer's state.
    TColourAttr SavedAttr() const { return FSavedAttr; }
    uint8_t LastChar() const { return FLastChar; }
    void Restore(TColourAttr savedAttr, uint8_t lastChar)
    {
        FSavedAttr = savedAttr;
        FLastChar = lastChar;
    }
    // The cursor saved by CSI s, pulled inside a buffer of a new size.
    void ClampSavedCursor(int cols, int rows);

private:
    size_t PutSegment(const uint8_t *p, size_t i, size_t count);
    template <bool Codes> size_t PutBytes(const uint8_t *p, size_t i, size_t count);
    // ESC [ seen; parameters from p[i]. Returns the index after what it consumed.
    size_t ControlSequence(const uint8_t *p, size_t i, size_t count);
    size_t SequenceRest(const uint8_t *p, size_t i, size_t count);
    void ApplyEscape(uint8_t c);
    void ApplyCsi(uint8_t final);
    void ApplySgr(const char *s, int len);

    TColorTTY &FTty;
    TTTYScreen &FScreen;
    TTTYTokenizer &FTok;
    TColourAttr FSavedAttr = 0;
    int FSavedX = 0, FSavedY = 0; // the cursor saved by CSI s
    uint8_t FLastChar = 0;
};
