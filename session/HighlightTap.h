// Runs the highlight rules on the terminal's text as it is shown: each line that output
// completed (the cursor went down past it) once, and the unfinished line at a prompt when
// the output pauses. It recolours matched text or lines in place, takes gagged lines out
// (the rows below move up), and reports what the owner must do for the others.
#pragma once

#include "session/HighlightMatcher.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TColorTTY;

// A line that asked for a sound, a notice or a mark.
struct THighlightEvent
{
    uint8_t Actions = 0;
    std::string Text; // code page 437, trailing blanks dropped
    int64_t Row = 0;  // the terminal's row number (TColorTTY::RowNumber) of the line
};

class THighlightTap
{
public:
    explicit THighlightTap(TColorTTY &tty) : FTty(tty) {}
    // Null or an empty matcher turns the rules off.
    void SetMatcher(std::unique_ptr<THighlightMatcher> matcher);
    bool Active() const { return bool(FMatcher); }

    // Around each write of received text.
    void BeforeWrite();
    void AfterWrite(std::vector<THighlightEvent> &events);
    // The output paused: the cursor's line, when it holds text, is a prompt.
    void Paused(std::vector<THighlightEvent> &events);

private:
    // Returns whether the line is to be gagged.
    bool Line(int y, int length, bool prompt, std::vector<THighlightEvent> &events);
    void Recolour(int y, int from, int to, uint8_t colour);
    void TakeOut(const std::vector<int> &rows);

    TColorTTY &FTty;
    std::unique_ptr<THighlightMatcher> FMatcher;
    THighlightResult FResult;
    int64_t FFrom = 0;
    int64_t FPromptRow = -1; // the prompt last matched, so it is not told again
    std::string FPromptText;
    std::vector<int> FGagged;
    std::string FLines;           // the completed lines of one write, for one pass of the rules
    std::vector<int> FCandidates; // those of them that a rule may match
};
