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

    explicit TOutputAnnouncer(const TColorTTY &tty);

    // Output is told while this is set.
    void SetListening(bool on) { Listening = on; }
    // A character the user typed (BS takes one back): its echo is not announced.
    void Typed(char c);
    // Runs when output arrives while no tick is wanted: the owner should Tick soon.
    std::function<void()> OnActivity;

    // What is due at `nowMs`, and when to tick next (ms from now; -1: not before OnActivity).
    std::vector<TAnnouncement> Tick(int64_t nowMs, int &nextMs);
    // Rows the ring has dropped since the start: absolute row = logical row + Scrolls().
    int64_t Scrolls() const { return ScrollCount; }
    // Forgets everything told and pending (a new buffer, a new connection).
    void Reset();
    // Drops the pending text from the last piece that holds `marker` on (what is said
    // another way: an express message, author first); false when no piece holds it.
    bool DiscardPendingFrom(const std::string &marker);

    void RowWritten(int y) override;
    void LineFeed(int y) override;

private:
    struct Piece
    {
        int64_t Row;
        int Column;
        std::string Text;
        bool Line;   // a completed line (a line feed follows unless it runs on)
        bool RunsOn; // completed by a wrap: the next row continues it
    };

    void Activity();
    // A new buffer: what was told of the old one's rows no longer applies.
    void Forget();
    // The part of row y not told yet, as a piece; false when there is nothing new.
    bool Fresh(int y, bool line, Piece &piece);
    void Add(Piece &&piece);
    void CollectWritten();
    std::vector<TAnnouncement> Merge();
    std::string &Told(int64_t row) { return Known[size_t(row % int64_t(Known.size()))]; }

    const TColorTTY &Tty;
    bool Listening = false;
    int64_t ScrollCount = 0;
    int KnownRows = 0, KnownCols = 0;
    std::vector<std::string> Known; // per live row: its text as last told
    std::vector<int64_t> Written;   // rows written since they were last looked at
    std::vector<Piece> Pending;
    size_t PendingBytes = 0;
    int Dropped = 0; // lines beyond what one announcement holds
    std::string Echo; // typed and not yet seen again
    bool Active = false;     // output since the last tick
    bool TickWanted = false; // the owner has a tick coming
    int64_t LastOutput = 0;
    int64_t PendingSince = -1; // when the oldest pending piece was first seen
};
