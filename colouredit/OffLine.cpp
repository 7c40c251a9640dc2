#include "colouredit/OffLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char CR = 13;
constexpr char LF = 10;

// A cyan '>' at the start of every further line of a short message, attribute kept.
constexpr char LinePrefix[] = "\x1b"
                              "7\x01"
                              "a\x01"
                              "c>\x1b"
                              "8";

constexpr char QuestionWithAbort[] = "\x1b"
                                     "7\x01"
                                     "f\x01"
                                     "r<\x01"
                                     "wS\x01"
                                     "r>\x01"
                                     "gave, \x01"
                                     "r<\x01"
                                     "wA\x01"
                                     "r>\x01"
                                     "gbort or \x01"
                                     "r<\x01"
                                     "wC\x01"
                                     "r>\x01"
                                     "gontinue? \x01"
                                     "w-> ";

constexpr char QuestionNoAbort[] = "\x1b"
                                   "7\x01"
                                   "f\x01"
                                   "r<\x01"
                                   "wS\x01"
                                   "r>\x01"
                                   "gave or \x01"
                                   "r<\x01"
                                   "wC\x01"
                                   "r>\x01"
                                   "gontinue? \x01"
                                   "w-> ";

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
    Buf[0] = 0;
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
    FTty.SetLocalDrawing(true);
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
    FTty.SetLocalDrawing(false);
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
            if (Buf[j] == 1) {
                ++j;
                continue;
            }
            if (Buf[j] == CR || Buf[j] == LF) {
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
    if (d > 0 && Buf[d - 1] == 1) --d;
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
            WriteRun(&Buf[j], e - j, false);
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
    FTty.ResetOutputReach();
}

void TOffLineEdit::EndOutput()
{
    SaveHostState();
    if (!StartFixed()) return;
    const int cx = FTty.CursorX, cy = FTty.CursorY;
    // Everything the output reached stays above the edit: a row it left unfinished too.
    // (Measured as the furthest it got, the result is the same however the host's output
    // was cut into reads.)
    const int lines = std::min(FTty.OutputReach() - FStartY, FTty.Rows);
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
    if (text < FLen && text > 0 && Buf[text - 1] == 1) --text;
    for (int i = 0; i < text; ++i)
        dest[i] = Buf[i] == CR ? LF : Buf[i];
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
        bool lf = FLen > 0 && Buf[FLen - 1] == LF;
        FLen = std::max(FCap - n - (lf ? 1 : 0), 0);
        if (FLen > 0 && Buf[FLen - 1] == 1) --FLen;
        if (lf) Buf[FLen++] = LF;
        Buf[FLen] = 0;
    }
    RawInsert(FLen, bytes);
    ClampPositions();
}

// --- Keys.

void TOffLineEdit::KeyDown(uint16_t key, TShiftState shift)
{
    FixStart();
    if (FConfirming) return;
    if (key == VK_BACK || key == VK_DELETE) {
        FWho.Index = 0;
        FWho.PrefixLength = 0;
    }
    EditKeyDown(key, shift);
}

bool TOffLineEdit::KeyPress(uint8_t c)
{
    FixStart();
    bool finished = false;
    if (FConfirming) {
        finished = Answer(c);
    } else if (FCodePending) {
        ApplyColour(c);
        FWho.PrefixLength = FLen;
    } else if (c < 28) {
        switch (c) {
        case 1:
            if (ColourAllowed())
                FCodePending = true;
            else
                KeyBeep();
            break;
        case 4:
        case 13:
            finished = EnterKey(c);
            break;
        case 8:
            break;
        case 9:
            if (FKind == ekName && FP != 3)
                Complete();
            else
                KeyBeep();
            break;
        case 27:
            if (FKind == ekShort) {
                MoveCursorTo(FLen);
                WriteLF();
                ReplaceText("ABORT\n");
                finished = true;
            } else {
                KeyBeep();
            }
            break;
        default:
            KeyBeep();
            break;
        }
    } else if (c >= 32 && c <= 126 && FLen < FLimit) {
        bool insert = FKind != ekName || NameRules(c, finished);
        if (insert) {
            const char ch = static_cast<char>(c);
            Insert(std::string_view(&ch, 1));
            FWho.PrefixLength = FLen;
            if (FKind == ekShort || FKind == ekLong) {
                if (LineVisibleLength(FCaret) <= FWrap) {
                    if (c == ' ') Rewrap();
                } else if (FLinesUsed < FMaxLines) {
                    Rewrap();
                } else {
                    Update();
                    finished = KeyPress(13); // the last allowed line is full
                }
            } else if (FKind == ekWrapLine && FCaret >= FLimit) {
                CarryLastWord();
                Update();
                finished = KeyPress(13);
            }
        }
    } else {
        KeyBeep();
    }
    Update();
    FLastWasEnter = c == 13;
    if (finished) {
        FOpen = false;
        RestoreHostState();
    }
    return finished;
}

bool TOffLineEdit::EnterKey(uint8_t c)
{
    switch (FKind) {
    case ekShort: {
        int ls = LineStart(FCaret);
        std::string_view tail(&Buf[ls], FLen - ls);
        if (FLinesUsed < FMaxLines && !FLastWasEnter && FLen < FLimit && FLen > 0 && tail != "ABORT" &&
            tail != "PING" && c != 4) {
            Insert(std::string_view("\n", 1));
            return false;
        }
        MoveCursorTo(FLen);
        WriteLF();
        std::string_view line(&Buf[ls], LineEnd(FCaret) - ls);
        if (line == "PING") {
            FLen = 0;
            Buf[0] = 0;
        }
        FCaret = FAnchor = FSelStart = FSelEnd = FLen;
        AppendRaw("\n");
        return true;
    }
    case ekLong:
        if (c != 4 && !FLastWasEnter && FLen > 0 && FLen < FLimit) {
            Insert(std::string_view("\n", 1));
            return false;
        }
        FTty.MoveCursor(0, FStartY + FLinesUsed - 1);
        FLimit = std::min(FLimit + 1, FCap);
        if (FLen == 0 || Buf[FLen - 1] != LF) {
            WriteLF();
            AppendRaw("\n");
        }
        FTty.Write(Question());
        FConfirming = true;
        return false;
    default:
        MoveCursorTo(FLen);
        if (FKind == ekName) WriteLF();
        FLimit = std::min(FLimit + 1, FCap);
        AppendRaw("\n");
        return true;
    }
}

bool TOffLineEdit::Answer(uint8_t c)
{
    switch (std::tolower(c)) {
    case 's':
        FTty.Write("\x01gSaved\n");
        if (FP != TextBlockParam) AppendRaw("\x04s");
        return true;
    case 'a':
        if (FP == TextBlockParam) return false;
        FTty.Write("\x01rAborted\n");
        ReplaceText("\x04"
                    "a");
        return true;
    case 'c':
        FTty.Write("\x01"
                   "bContinue");
        FConfirming = false;
        FCaret = FAnchor = FSelStart = FSelEnd = FLen;
        MoveCursorTo(FLen);
        FLimit = std::max(FLimit - 1, 1);
        FTty.EraseToEndOfLine();
        FTty.Write("\x1b"
                   "8");
        FLastWasEnter = false;
        return false;
    default:
        return false;
    }
}

bool TOffLineEdit::NameRules(uint8_t &c, bool &finished)
{
    if (FP == 6 && c == ',') { // the name goes out at once
        MoveCursorTo(FLen);
        FLimit = std::min(FLimit + 2, FCap);
        AppendRaw(",\n");
        finished = true;
        return false;
    }
    FWho.Index = 0;
    if (!NameCharAllowed(c)) {
        KeyBeep();
        FLastWasEnter = false;
        Update();
        return false;
    }
    int pc = PrevChar(FCaret);
    if ((pc < 0 || Buf[pc] == ' ') && c >= 'a' && c <= 'z') c -= 32;
    return true;
}

void TOffLineEdit::Complete()
{
    int prefix = FWho.PrefixLength;
    bool found = false;
    for (int k = std::max(FWho.Index, 0); k < FWho.Count(); ++k) {
        const std::string &name = FWho.Names[k];
        if (prefix > 0 && (prefix > FLen || static_cast<int>(name.size()) < prefix ||
                           std::memcmp(name.data(), Buf.data(), prefix) != 0))
            continue;
        std::string clean;
        for (char ch : CleanText(name, false))
            if (ch != 1 && ch != LF) clean += ch;
        if (static_cast<int>(clean.size()) > FLimit) clean.resize(FLimit);
        ReplaceText(clean);
        FWho.Index = k + 1;
        found = true;
        break;
    }
    if (!found) FWho.Index = 0;
    FCaret = FAnchor = FSelStart = FSelEnd = FLen;
    MarkDirty(std::clamp(prefix, 0, FLen));
}

void TOffLineEdit::CarryLastWord()
{
    int space = -1;
    for (int k = std::min(FLimit - 2, FLen - 1); k >= 0; --k)
        if (Buf[k] == ' ') {
            space = k;
            break;
        }
    if (space < 0) return;
    FPending.assign(&Buf[space + 1], FLen - space - 1);
    FLen = space + 1;
    Buf[FLen] = 0;
    ClampPositions();
    MarkDirty(FLen);
    Changed();
}
