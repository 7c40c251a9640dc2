// What a screen reader is told of new output, decided from the terminal's rows as the
// interpreter fills them:
// - each line a line feed completes (only what was not told before: the rest of a prompt
//   already told, say), once the output has been quiet for the settle time;
// - with them the unfinished line at a prompt, and rows written in place by cursor
//   addressing, only when their text changed, so a screen redrawn as it was stays silent;
// - during a flood, one announcement per settle time: a few long ones that hold every
//   line, in order.
// Only output received while listening counts (not what a local editor draws), and the
// echo of what the user typed is not told back. Time comes from the caller, in ms.
#pragma once

#include "terminal/ColorTTY.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Text to announce, and where it stands: logical row Row - Scrolls() of the terminal (a row
// already gone when that is negative), from column Column.
struct TAnnouncement
{
    int64_t Row = 0;
    int Column = 0;
    std::string Text; // code page 437; each completed line ends in '\n'
    int Lines = 0;    // completed lines in it
};

class TOutputAnnouncer : public TTTYOutputObserver
{
public:
    static constexpr int SettleMs = 150;

    // Reads the terminal's rows; asks it to tell of written rows again once it has looked.
    explicit TOutputAnnouncer(TColorTTY &tty);

    // Output is told while this is set.
    void SetListening(bool on) { FListening = on; }
    // A character the user typed (BS takes one back): its echo is not announced.
    void Typed(char c);
    // Runs when output arrives while no tick is wanted: the owner should Tick soon.
    std::function<void()> OnActivity;

    // What is due at `nowMs`, and when to tick next (ms from now; -1: not before OnActivity).
    std::vector<TAnnouncement> Tick(int64_t nowMs, int &nextMs);
    // Everything still to be told, now (the keyboard is about to move elsewhere).
    std::vector<TAnnouncement> Flush();
    // Rows the ring has dropped since the start: absolute row = logical row + Scrolls().
    int64_t Scrolls() const { return FScrollCount; }
    // Forgets everything told and pending (a new buffer, a new connection).
    void Reset();
    // Drops the pending text from the last piece that holds `marker` on (what is said
    // another way: an express message, author first); false when no piece holds it.
    bool DiscardPendingFrom(const std::string &marker);

    void RowWritten(int y) override;
    void LineFeed(int y, TLineFeed kind) override;

private:
    // Text still to be told, rows that follow one another in one piece; the bytes (and the
    // line feeds after completed lines) lie in PendingText from Start to End.
    struct Piece
    {
        int64_t FirstRow, LastRow;
        int Column;    // where the text starts on FirstRow
        int LastEnd;   // the column after the text on LastRow
        bool Complete; // LastRow's line is complete: the next piece may follow on the next row
        size_t Start, End;
        int Lines;
    };

    void Activity()
    {
        FActive = true;
        if (FTickWanted) return;
        FTickWanted = true;
        if (OnActivity) OnActivity();
    }
    // A new buffer: what was told of the old one's rows no longer applies.
    void Forget();
    // Adds the part of row y not told yet (a completed line when `line`).
    void Fresh(int y, bool line);
    void Add(int64_t row, int column, std::string_view text, bool line, bool runsOn);
    void CollectWritten();
    std::vector<TAnnouncement> Merge();
    // The slot of logical row y in KnownText / KnownLength: a ring like the terminal's.
    size_t Slot(int y) const
    {
        const int s = y + FFirstSlot;
        return size_t(s >= FKnownRows ? s - FKnownRows : s);
    }
    // A row told as it stands keeps no copy (Implicit) until it is written again.
    void Remember(int y);

    static constexpr int Implicit = -1;

    TColorTTY &FTty;
    bool FListening = false;
    int64_t FScrollCount = 0;
    int FKnownRows = 0, FKnownCols = 0;
    int FFirstSlot = 0;            // the slot of logical row 0
    std::vector<char> FKnownText;  // per live row: its text as last told, KnownCols bytes
    std::vector<int> FKnownLength; // and how many of them (Implicit: the row as it stands)
    std::vector<int64_t> FWritten; // rows written since they were last looked at
    int64_t FLastWritten = -1;     // the row written last, not in Written yet
    int64_t FFreshRow = -1;        // the row that came in blank at the bottom, untold
    std::vector<Piece> FPending;
    std::string FPendingText;
    int FDropped = 0;         // lines beyond what one announcement holds
    std::string FEcho;        // typed and not yet seen again
    bool FActive = false;     // output since the last tick
    bool FTickWanted = false; // the owner has a tick coming
    int64_t FLastOutput = 0;
    int64_t FPendingSince = -1; // when the oldest pending piece was first seen
};
