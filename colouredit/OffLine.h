// The offline editor: the text of a CLient edit is composed locally, drawn straight into
// the terminal below the host's prompt, and handed back in one piece when finished.
#pragma once

#include "colouredit/ColEdit2.h"
#include "colouredit/EditKind.h"
#include "config/HostMode.h"
#include "terminal/ColorTTY.h"

#include <cstdint>
#include <string>
#include <vector>

// User names offered by Tab completion in name edits.
class TWhoList
{
public:
    std::vector<std::string> Names;
    int Index = 0;        // next entry tried by a completion cycle
    int PrefixLength = 0; // typed characters a completion must match

    void Clear() { Names.clear(); }
    void Add(const std::string &name) { Names.push_back(name); }
    int Count() const { return static_cast<int>(Names.size()); }
    // Position of an exact (case-sensitive) match, -1 when absent.
    int Find(const std::string &name) const;
};

class TOffLineEdit : public TAbstractColourEdit
{
public:
    static constexpr uint8_t TextBlockParam = 247; // P of an edited text block

    TOffLineEdit(TColorTTY &terminal, TWhoList &whoList);

    // The mode of the host the next edits belong to; any but hmORVO edits as an ISCA host.
    void SetHostMode(THostMode mode) { FHostMode = mode; }
    THostMode HostMode() const { return FHostMode; }
    bool IscaHost() const { return FHostMode != hmORVO; }

    void Open(int kind, uint8_t p);
    void KeyDown(uint16_t key, TShiftState shift);
    // True when the edit is finished and its text is to be uploaded.
    bool KeyPress(uint8_t c);
    // At most `max` bytes, every CR as LF; the length counts the NUL for kind 12 and for
    // an edited text block.
    int GetText(char *dest, int max) const override;
    void SetText(const char *text) override;
    // Host output during an edit: before it the cursor goes to the edit's start, after it
    // the edit is redrawn below the output.
    void BeginOutput();
    void EndOutput();
    // Terminal selection points (reading order) to editor selection.
    void SetSelectionFrom(TCellPoint start, TCellPoint end, bool anchorIsStart);

    void SelectionChanged() override;
    void Update() override;

    int Kind() const { return FKind; }
    uint8_t P() const { return FP; }
    // Between Open and the key that finished the edit (or Close).
    bool IsOpen() const { return FOpen; }
    // The engine closes an edit that ended without a finishing key (a reset).
    void Close();
    bool Confirming() const { return FConfirming; }
    bool Masked() const;
    const std::string &Pending() const { return FPending; }
    void SetPending(const std::string &text) { FPending = text; }
    int StartX() const { return FStartX; }
    int StartY() const { return FStartY; }
    bool StartFixed() const { return FStartX >= 0; }
    int LinesUsed() const { return FLinesUsed; }
    int MaxLines() const { return FMaxLines; }
    TColorTTY &Terminal() { return FTty; }
    TWhoList &WhoList() { return FWho; }

    // Terminal cell of text index i, and the text index of a cell.
    TCellPoint CellOf(int i) const;
    int IndexOf(TCellPoint cell) const;

protected:
    void FilterPaste(std::string &text) override;

private:
    void FixStart();
    bool NameCharAllowed(uint8_t c) const;
    const char *Question() const;
    // The host's interpreter state (attribute, unfinished sequence) is set aside while the
    // editor draws and given back before the host's next output.
    void SaveHostState();
    void RestoreHostState();
    TCellPoint ClampCell(TCellPoint c) const;
    void MoveCursorTo(int i);
    // Writes bytes (or as many dots) at the cursor, following the terminal's own line wrap.
    void WriteRun(const char *bytes, int count, bool dots);
    // Appends bytes without redrawing (the endings the host expects).
    void AppendRaw(std::string_view bytes);
    bool ColourAllowed() const;
    bool EnterKey(uint8_t c);
    bool Answer(uint8_t c);
    bool NameRules(uint8_t &c, bool &finished);
    void Complete();
    void CarryLastWord();
    int PrefixColumns() const { return FKind == ekShort ? 1 : 0; }
    void WritePrefix();
    void WriteLF();

    TColorTTY &FTty;
    TWhoList &FWho;
    THostMode FHostMode = hmORVO;
    int FKind = ekLine;
    uint8_t FP = 0;
    int FStartX = -1, FStartY = 0;
    int FLinesUsed = 1;
    int FMaxLines = 1;
    bool FConfirming = false;
    bool FLastWasEnter = false;
    bool FOpen = false;
    std::string FPending;

    TTTYInterpreterState FHost;
    bool FHostSaved = false;
    // Where the host's last output during this edit ended: x (-1: at the edit's start) and
    // y counted from FStartY, so that scrolls, which move both, need no bookkeeping.
    TCellPoint FHostEnd{-1, 0};
};
