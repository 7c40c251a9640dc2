#include "colouredit/OffLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char CR = 13;
constexpr char LF = 10;

// A cyan '>' at the start of every further line of a short message, attribute kept.
constexpr char LinePrefix[] = "\0337\1a\1c>\0338";

constexpr char QuestionWithAbort[] =
    "\0337\1f\1r<\1wS\1r>\1gave, \1r<\1wA\1r>\1gbort or \1r<\1wC\1r>\1gontinue? \1w-> ";

constexpr char QuestionNoAbort[] = "\0337\1f\1r<\1wS\1r>\1gave or \1r<\1wC\1r>\1gontinue? \1w-> ";

} // namespace

int TWhoList::Find(const std::string &name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Names[i] == name) return i;
    return -1;
}

TOffLineEdit::TOffLineEdit(TColorTTY &terminal, TWhoList &whoList)
    : TAbstractColourEdit(DefaultCapacity), FTty(terminal), FWho(whoList)
{
}

bool TOffLineEdit::Masked() const
{
    return (FKind == ekLine || FKind == ekWrapLine) && static_cast<int8_t>(FP) <= 0;
}

void TOffLineEdit::Close()
{
    FOpen = false;
    FConfirming = false;
    RestoreHostState();
}

bool TOffLineEdit::NameCharAllowed(uint8_t c) const
{
    if (c == 0) return false;
    if (std::isalpha(c) || c == ' ') return true;
    if ((FP == 3 || FP == 5) && (std::isdigit(c) || std::strchr("@-._", c))) return true;
    return FP == 3 && std::strchr("!$&'()*+,/:;=?", c) != nullptr;
}

void TOffLineEdit::FilterPaste(std::string &text)
{
    if (FKind == ekShort || FKind == ekLong) return;
    // A one-line answer takes the first line only: a line break would end it early on the
    // host's side, and the rest would answer whatever it asks next.
    size_t lf = text.find(LF);
    if (lf != std::string::npos) text.resize(lf);
    if (FKind == ekName)
        std::erase_if(text, [this](char c) { return c == 0 || !NameCharAllowed(static_cast<uint8_t>(c)); });
}

const char *TOffLineEdit::Question() const
{
    return FP == TextBlockParam ? QuestionNoAbort : QuestionWithAbort;
}

bool TOffLineEdit::ColourAllowed() const
{
    switch (FKind) {
    case ekName:
        return false;
    case ekShort:
    case ekLong:
        return !IscaHost();
    default:
        return !Masked() && !IscaHost();
    }
}

// --- Opening.

void TOffLineEdit::Open(int kind, uint8_t p)
{
    if (kind < ekLine || kind > ekWrapLine) kind = ekLine;
    FKind = kind;
    FP = p;
    FOpen = true;
    FHostSaved = false;
    FHostEnd = {-1, 0};
    FLen = 0;
    FBuf[0] = 0;
    FLinesUsed = 1;
    FCodePending = FConfirming = FLastWasEnter = false;
    FTty.MakeCursorVisible();
    FStartX = FTty.CursorX;
    FStartY = FTty.CursorY;
    FDefaultAttr = FTty.Attr;
    FDirtyFrom = NotDirty;
    FCaret = FSelStart = FSelEnd = FAnchor = 0;

    int length = 0;
    switch (kind) {
    case ekName:
        length = (p == 3 || p == 5) ? 40 : 20;
        FMaxLines = 1;
        FWho.Index = 0;
        break;
    case ekShort:
        length = IscaHost() ? 395 : 553;
        FMaxLines = IscaHost() ? 5 : (p == 1 ? 10 : 7);
        FWrap = 78;
        FTty.Write(">");
        break;
    case ekLong:
        length = 32765;
        FMaxLines = 500;
        FWrap = 79;
        break;
    default:
        length = std::abs(static_cast<int>(static_cast<int8_t>(p)));
        FMaxLines = 1;
        break;
    }
    if (kind != ekShort && kind != ekLong) FWrap = length; // 0 (P = 0) wraps nothing
    SetMaxLength(length);
    FAcceptColourPaste = ColourAllowed();

    FStartX = -1;
    FWho.PrefixLength = 0;
    if (kind == ekWrapLine && !FPending.empty()) {
        std::string carried;
        carried.swap(FPending);
        for (size_t k = 0; k < carried.size(); ++k)
            if (KeyPress(static_cast<uint8_t>(carried[k]))) {
                // The word filled this line too: what is left goes on to the next edit.
                FPending += carried.substr(k + 1);
                break;
            }
    }
}

void TOffLineEdit::FixStart()
{
    SaveHostState();
    if (FStartX < 0) {
        FHostEnd = {-1, 0};
        // A prompt that filled its row leaves the cursor past the last column: the
        // terminal would wrap before the first character, so the edit starts on the next row.
        if (FTty.CursorX >= FTty.Cols) WriteLF();
        FStartX = FTty.CursorX;
        FStartY = FTty.CursorY;
    }
}

// --- The host's terminal state, kept apart from the editor's drawing.

void TOffLineEdit::SaveHostState()
{
    if (FHostSaved) return;
    FHost = FTty.InterpreterState();
    FHostSaved = true;
    FTty.Screen().SetLocalDrawing(true);
    // A sequence the host left unfinished must not swallow the editor's bytes, and the
    // editor draws with colour codes in the terminal's own language.
    FTty.CancelSequence();
    FTty.SetEmulation(teClassic);
}

void TOffLineEdit::RestoreHostState()
{
    if (!FHostSaved) return;
    FTty.SetInterpreterState(FHost);
    FHostSaved = false;
    FTty.Screen().SetLocalDrawing(false);
}

// --- Mapping between text and terminal cells.

TCellPoint TOffLineEdit::CellOf(int i) const
{
    i = std::clamp(i, 0, FLen);
    const bool masked = Masked();
    const int cols = std::max(FTty.Cols, 1);
    int x = FStartX < 0 ? FTty.CursorX : FStartX;
    int y = FStartX < 0 ? FTty.CursorY : FStartY;
    for (int j = 0; j < i; ++j) {
        if (!masked) {
            if (FBuf[j] == 1) {
                ++j;
                continue;
            }
            if (FBuf[j] == CR || FBuf[j] == LF) {
                ++y;
                x = PrefixColumns();
                continue;
            }
        }
        if (x >= cols) { // the terminal wraps before this character
            ++y;
            x = 0;
        }
        ++x;
    }
    int k = masked ? i : SkipCodes(i);
    if (x >= cols && k < FLen && (masked || !IsLineBreak(k))) {
        ++y;
        x = 0;
    }
    return {x, y};
}

int TOffLineEdit::IndexOf(TCellPoint cell) const
{
    const bool masked = Masked();
    const int cols = std::max(FTty.Cols, 1);
    int x = FStartX < 0 ? FTty.CursorX : FStartX;
    int y = FStartX < 0 ? FTty.CursorY : FStartY;
    const int first = masked ? 0 : SkipCodes(0);
    int lastAbove = -1, firstOnRow = -1, bestOnRow = -1;
    for (int j = first;;) {
        // The cell of position j, as CellOf gives it, walked along incrementally.
        bool visibleNext = j < FLen && (masked || !IsLineBreak(j));
        TCellPoint c = x >= cols && visibleNext ? TCellPoint{0, y + 1} : TCellPoint{x, y};
        if (c.y > cell.y) break;
        if (c.y < cell.y) {
            lastAbove = j;
        } else {
            if (firstOnRow < 0) firstOnRow = j;
            if (c.x <= cell.x) bestOnRow = j;
        }
        if (j >= FLen) break;
        if (visibleNext) {
            if (x >= cols) {
                ++y;
                x = 0;
            }
            ++x;
        } else {
            ++y;
            x = PrefixColumns();
        }
        j = masked ? j + 1 : SkipCodes(j + 1);
    }
    if (bestOnRow >= 0) return bestOnRow;
    if (firstOnRow >= 0) return firstOnRow;
    return lastAbove >= 0 ? lastAbove : first;
}

TCellPoint TOffLineEdit::ClampCell(TCellPoint c) const
{
    if (c.y < 0) return {0, 0};
    if (c.y >= FTty.Rows) return {0, FTty.Rows};
    return {std::clamp(c.x, 0, FTty.Cols), c.y};
}

void TOffLineEdit::MoveCursorTo(int i)
{
    TCellPoint c = CellOf(i);
    FTty.MoveCursor(c.x, c.y);
}

// --- Drawing.

void TOffLineEdit::WriteRun(const char *bytes, int count, bool dots)
{
    const int cols = std::max(FTty.Cols, 1);
    int x = FTty.CursorX;
    int seg = 0;
    for (int k = 0; k < count; ++k) {
        if (!dots && bytes[k] == 1) {
            ++k;
            continue;
        }
        if (x >= cols) {
            // The terminal starts a new row for this character; on its last row it scrolls.
            if (k > seg) FTty.Write(bytes + seg, k - seg);
            seg = k;
            if (FTty.CursorY >= FTty.Rows - 1) --FStartY;
            x = 0;
        }
        ++x;
    }
    if (count > seg) FTty.Write(bytes + seg, count - seg);
}

void TOffLineEdit::WritePrefix()
{
    FTty.Write(LinePrefix);
}

void TOffLineEdit::WriteLF()
{
    if (FTty.CursorY >= FTty.Rows - 1) --FStartY; // the line feed scrolls the terminal
    FTty.Write("\r\n");
}

void TOffLineEdit::Update()
{
    if (FDirtyFrom == NotDirty || FStartX < 0) return;
    SaveHostState();
    int d = std::clamp(FDirtyFrom, 0, FLen);
    if (d > 0 && FBuf[d - 1] == 1) --d;
    if (CellOf(d).y < 0) d = IndexOf({0, 0}); // the start has scrolled out of the buffer
    TCellPoint c = CellOf(d);
    if (c.x >= FTty.Cols) { // just past a full row: the cursor cannot stand there, redraw one more
        int pc = Masked() ? d - 1 : PrevChar(d);
        if (pc >= 0) c = CellOf(d = pc);
    }
    FTty.SetAttr(AttrAt(d));
    FTty.MoveCursor(c.x, c.y);
    if (Masked()) {
        std::string dots(FLen - d, '.');
        WriteRun(dots.data(), static_cast<int>(dots.size()), true);
        FTty.EraseToEndOfLine();
        FLinesUsed = FTty.CursorY - FStartY + 1;
    } else {
        for (int j = d;;) {
            int e = LineEnd(j);
            WriteRun(&FBuf[j], e - j, false);
            FTty.EraseToEndOfLine();
            if (e >= FLen) break;
            WriteLF();
            if (FKind == ekShort) WritePrefix();
            j = e + 1;
        }
        FLinesUsed = FTty.CursorY - FStartY + 1;
        while (FTty.CursorY < FTty.Rows - 1) { // clear everything below the text
            WriteLF();
            if (FKind == ekShort) WritePrefix();
            FTty.EraseToEndOfLine();
        }
    }
    FDirtyFrom = NotDirty;
    if (FConfirming) { // redrawn while asking: the question comes back below the text
        MoveCursorTo(FLen);
        FTty.Write(Question());
        return;
    }
    MoveCursorTo(FCaret);
}

void TOffLineEdit::SelectionChanged()
{
    FixStart();
    TAbstractColourEdit::SelectionChanged();
    FTty.SetSelection(ClampCell(CellOf(FSelStart)), ClampCell(CellOf(FSelEnd)));
    MoveCursorTo(FCaret);
}

void TOffLineEdit::SetSelectionFrom(TCellPoint start, TCellPoint end, bool anchorIsStart)
{
    FixStart();
    int s = IndexOf(start), e = IndexOf(end);
    if (s > e) std::swap(s, e);
    FSelStart = s;
    FSelEnd = e;
    FAnchor = anchorIsStart ? s : e;
    FCaret = anchorIsStart ? e : s;
    MoveCursorTo(FCaret);
}

// --- Host output during the edit.

void TOffLineEdit::BeginOutput()
{
    if (!StartFixed()) {
        RestoreHostState();
        return;
    }
    FTty.MoveCursor(FStartX, std::max(FStartY, 0));
    // The edit is redrawn after the output anyway; cleared now, none of it is left behind
    // in lines the host writes over it.
    FTty.EraseToEndOfScreen();
    // The output goes on where the host's last output stopped, as if it had come in one piece.
    if (FHostEnd.x >= 0) FTty.PlaceCursor(FHostEnd.x, std::max(FStartY + FHostEnd.y, 0));
    RestoreHostState();
    FTty.Screen().ResetOutputReach();
}

void TOffLineEdit::EndOutput()
{
    SaveHostState();
    if (!StartFixed()) return;
    const int cx = FTty.CursorX, cy = FTty.CursorY;
    // Everything the output reached stays above the edit: a row it left unfinished too.
    // (Measured as the furthest it got, the result is the same however the host's output
    // was cut into reads.)
    const int lines = std::min(FTty.Screen().OutputReach() - FStartY, FTty.Rows);
    if (lines > 0) {
        FTty.MoveCursor(FTty.Cols - 1, FTty.Rows - 1);
        for (int k = 0; k < lines; ++k)
            FTty.Write("\n");
    }
    FHostEnd = {cx, cy - std::max(lines, 0) - FStartY};
    FDirtyFrom = 0;
    Update();
}

// --- Text in and out.

int TOffLineEdit::GetText(char *dest, int max) const
{
    if (!dest || max <= 0) return 0;
    const bool withNul = FKind == ekShort || (FKind == ekLong && FP == TextBlockParam);
    // The host expects the NUL of these kinds: at the limit the text gives way, never it
    // (nor a colour code cut in half).
    int text = std::min(FLen, withNul ? max - 1 : max);
    if (text < FLen && text > 0 && FBuf[text - 1] == 1) --text;
    for (int i = 0; i < text; ++i)
        dest[i] = FBuf[i] == CR ? LF : FBuf[i];
    const int n = text + (withNul ? 1 : 0);
    if (withNul) dest[text] = 0;
    if (n < max) dest[n] = 0;
    return n;
}

void TOffLineEdit::SetText(const char *text)
{
    FixStart(); // a text given by the host is shown at once
    // Control bytes other than line breaks would act on the terminal the text is drawn into.
    const std::string_view src = text ? std::string_view(text, strnlen(text, FCap + 1)) : std::string_view();
    TAbstractColourEdit::SetText(CleanText(src, true).c_str());
}

void TOffLineEdit::AppendRaw(std::string_view bytes)
{
    int n = static_cast<int>(bytes.size());
    if (FLen + n > FCap) {
        // Make room at the end rather than lose the ending the host expects; a final line
        // break stays.
        bool lf = FLen > 0 && FBuf[FLen - 1] == LF;
        FLen = std::max(FCap - n - (lf ? 1 : 0), 0);
        if (FLen > 0 && FBuf[FLen - 1] == 1) --FLen;
        if (lf) FBuf[FLen++] = LF;
        FBuf[FLen] = 0;
    }
    RawInsert(FLen, bytes);
    ClampPositions();
}
