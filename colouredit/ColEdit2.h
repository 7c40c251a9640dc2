// The colour text model: a flat byte buffer holding text with BBS colour codes (0x01 and a
// letter), hard (LF) and soft (CR) line breaks, and every editing operation on it. No
// painting here: the painted memo and the offline editor build on this class.
#pragma once

#include "terminal/ColourAttr.h"
#include "terminal/Keys.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Bytes held by the paste work buffer, its NUL included.
constexpr size_t ColouredPasteBufferSize = 32767;

// The system clipboard as the editors see it. Bytes are 8-bit and passed as they are; the
// Qt layer converts plain text through code page 437 and carries the coloured block under
// ColouredTextMimeType (terminal/ColorTTYSelection.h).
class TColourClipboard
{
public:
    virtual ~TColourClipboard() = default;
    // Replaces the clipboard with both formats at once. `plain` carries no NUL; `coloured`
    // is the exact content of the "ORVO Colored Text" block, its terminating NUL included.
    virtual void SetTexts(std::string_view plain, std::string_view coloured) = 0;
    // The "ORVO Colored Text" block as stored (readers stop at a NUL or the block's end);
    // false when the clipboard holds none.
    virtual bool GetColoured(std::string &block) = 0;
    // The plain text; false when the clipboard holds none.
    virtual bool GetPlain(std::string &text) = 0;
};

// MessageBeep.
class TBeeper
{
public:
    virtual ~TBeeper() = default;
    virtual void Beep(unsigned type) = 0;
};

class TAbstractColourEdit
{
public:
    static constexpr int DefaultCapacity = 32766;
    static constexpr int NotDirty = 32767; // DirtyFrom when nothing needs redrawing
    static constexpr TColourAttr NewControlAttr = 14;

    explicit TAbstractColourEdit(int capacity = DefaultCapacity);
    virtual ~TAbstractColourEdit() = default;
    TAbstractColourEdit(const TAbstractColourEdit &) = delete;
    TAbstractColourEdit &operator=(const TAbstractColourEdit &) = delete;

    // Fired after every insertion and deletion.
    std::function<void(TAbstractColourEdit &)> OnChange;

    // Platform services; unset ones are skipped (no beep, empty clipboard).
    void SetClipboard(TColourClipboard *clipboard) { FClipboard = clipboard; }
    void SetBeeper(TBeeper *beeper) { FBeeper = beeper; }

    // --- Text.
    // Copies the NUL-terminated source up to Capacity, then redraws from the start.
    virtual void SetText(const char *source);
    // Copies up to `size` bytes (NUL-terminated when room is left); returns the text length.
    virtual int GetText(char *dest, int size) const;
    std::string Text() const { return std::string(FBuf.data(), FLen); }
    const char *TextPtr() const { return FBuf.data(); }
    int TextLength() const { return FLen; }
    int Capacity() const { return FCap; }
    int LineCount() const;

    // 0 when the limit equals Capacity. Setting 1..Capacity-1 cuts the text there (and a
    // colour code cut in half); any other value lifts the limit to Capacity.
    int MaxLength() const { return FLimit == FCap ? 0 : FLimit; }
    void SetMaxLength(int value);
    // The limit in force (Capacity when unlimited).
    int EffectiveMaxLength() const { return FLimit; }
    int WrapColumn() const { return FWrap; }
    // Only 1..255 are taken; 0 (the start value) means no wrapping.
    void SetWrapColumn(int value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    // Enter inserts a line break (the memo); a single-line control ignores it.
    bool MultiLine() const { return FMultiLine; }
    void SetMultiLine(bool value) { FMultiLine = value; }
    TColourAttr DefaultAttr() const { return FDefaultAttr; }
    void SetDefaultAttr(TColourAttr a) { FDefaultAttr = a; }
    bool AcceptColourPaste() const { return FAcceptColourPaste; }
    void SetAcceptColourPaste(bool value) { FAcceptColourPaste = value; }

    // --- Positions and selection.
    int Caret() const { return FCaret; }
    int SelStart() const { return FSelStart; }
    int SelEnd() const { return FSelEnd; }
    int Anchor() const { return FAnchor; }
    bool HasSelection() const { return FSelStart != FSelEnd; }
    bool CodePending() const { return FCodePending; }
    int DirtyFrom() const { return FDirtyFrom; }
    int TopIndex() const { return FTopIndex; }
    // Caret and anchor (clamped to the text); the selection follows.
    void SetCaret(int caret, int anchor);
    void SetCaret(int caret) { SetCaret(caret, caret); }

    // --- Walks over the text.
    TColourAttr AttrAt(int i) const;
    TColourAttr AttrAtCaret() const { return AttrAt(FCaret); }
    int SkipCodes(int i) const;
    int BackOverCodes(int i) const;
    int LineStart(int i) const;
    int LineEnd(int i) const;
    int Advance(int i, int n, bool crossLines) const;
    // Visible characters from the start of i's line to i.
    int VisibleColumn(int i) const;
    // Visible characters on i's line.
    int LineVisibleLength(int i) const;

    // --- Editing.
    void DeleteAndMerge(int count);
    // Inserts NUL-terminated bytes (colour codes and LF allowed) in place of the selection.
    void Insert(const char *text);
    void Insert(std::string_view text);
    void DeleteSelection();
    void SelectAll();
    // Ctrl+A followed by `letter`: colours the selection, or inserts the code at the caret.
    void ApplyColour(uint8_t letter);
    void Rewrap();
    void CopyToClipboard();
    void CutToClipboard();
    void PasteFromClipboard();

    // Key handling of the memo (the painted control calls these). EditKeyDown returns
    // whether the key was one of the editing keys. EditKeyPress returns false when the
    // owner's key-press handler must not run (Enter in a single-line control).
    bool EditKeyDown(uint16_t key, TShiftState shift);
    bool EditKeyPress(uint8_t c);

    virtual void SelectionChanged();
    virtual void Update();

    static bool IsCodeLetter(uint8_t c);

protected:
    void Beep();
    // A refused key: beep and collapse the selection to the caret.
    void KeyBeep();
    void Changed();
    void MarkDirty(int i)
    {
        if (i < FDirtyFrom) FDirtyFrom = i;
    }
    // Opens a gap of text.size() bytes at `at` and copies text in (room checked by caller).
    void RawInsert(int at, std::string_view text);
    void RawDelete(int at, int count);
    // Replaces the whole text (cut to Capacity), with a cut code removed; positions clamped.
    void ReplaceText(std::string_view text);
    // Keeps 0x01 bytes paired with a letter; unless keepControls, also turns CR LF into LF,
    // keeps a lone CR only with keepCR and drops other control bytes.
    static std::string CleanText(std::string_view text, bool keepCR, bool keepControls = false);
    // Last say over pasted bytes before they are inserted.
    virtual void FilterPaste(std::string &) {}
    bool IsLineBreak(int i) const { return FBuf[i] == 10 || FBuf[i] == 13; }
    // The visible character before position i, or -1 at the start.
    int PrevChar(int i) const;
    void ClampPositions();
    // Rewrap after typing when the caret's line is too long or `c` was a space.
    void WrapCheck(uint8_t c);

    std::vector<char> FBuf; // Cap + 1 bytes, NUL at Len
    int FCap;
    int FLen = 0;
    int FLimit;
    TColourAttr FDefaultAttr = NewControlAttr;
    bool FReadOnly = false;
    int FCaret = 0, FSelStart = 0, FSelEnd = 0, FAnchor = 0;
    bool FCodePending = false;
    int FWrap = 0;
    int FDirtyFrom = NotDirty;
    bool FAcceptColourPaste = true;
    int FTopIndex = 0;
    bool FMultiLine = false;
    TColourClipboard *FClipboard = nullptr;
    TBeeper *FBeeper = nullptr;
};
