#include "colouredit/ColEdit2.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char CR = 13;
constexpr char LF = 10;

} // namespace

TAbstractColourEdit::TAbstractColourEdit(int capacity)
    : FBuf(std::max(capacity, 1) + 1, 0), FCap(std::max(capacity, 1)), FLimit(FCap)
{
}

bool TAbstractColourEdit::IsCodeLetter(uint8_t c)
{
    return c != 0 && std::strchr("BCDGPRWYabcdefgiprwy", c) != nullptr;
}

// --- Platform and notification helpers.

void TAbstractColourEdit::Beep()
{
    if (FBeeper) FBeeper->Beep(1);
}

void TAbstractColourEdit::KeyBeep()
{
    Beep();
    FAnchor = FCaret;
    SelectionChanged();
}

void TAbstractColourEdit::Changed()
{
    if (OnChange) OnChange(*this);
}

// --- Text.

std::string TAbstractColourEdit::CleanText(std::string_view text, bool keepCR, bool keepControls)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        if (b == 0) break;
        if (b == 1) {
            // A code needs a letter after it; a lone 0x01 would swallow the next byte.
            if (i + 1 < text.size() && text[i + 1] > 32 && text[i + 1] < 127) {
                out += text[i];
                out += text[++i];
            }
        } else if (keepControls) {
            out += static_cast<char>(b);
        } else if (b == CR) {
            if (i + 1 < text.size() && text[i + 1] == LF) continue;
            if (keepCR) out += CR;
        } else if (b == LF || b >= 32) {
            out += static_cast<char>(b);
        }
        // Other control bytes (ESC, TAB, ...) would act on the terminal; they are dropped.
    }
    return out;
}

void TAbstractColourEdit::ReplaceText(std::string_view text)
{
    size_t n = std::min<size_t>(text.size(), FCap);
    std::memcpy(FBuf.data(), text.data(), n);
    FLen = static_cast<int>(n);
    if (FLen > 0 && FBuf[FLen - 1] == 1) --FLen; // half a code
    FBuf[FLen] = 0;
    ClampPositions();
}

void TAbstractColourEdit::SetText(const char *source)
{
    std::string_view src = source ? std::string_view(source, strnlen(source, FCap + 1)) : std::string_view();
    ReplaceText(CleanText(src, true, true));
    FDirtyFrom = 0;
    Update();
}

int TAbstractColourEdit::GetText(char *dest, int size) const
{
    if (!dest || size <= 0) return FLen;
    int n = std::min(FLen, size);
    std::memcpy(dest, FBuf.data(), n);
    if (n < size) dest[n] = 0;
    return FLen;
}

int TAbstractColourEdit::LineCount() const
{
    int n = 1;
    for (int i = 0; i < FLen; ++i)
        if (FBuf[i] == 1)
            ++i;
        else if (IsLineBreak(i))
            ++n;
    return n;
}

void TAbstractColourEdit::SetMaxLength(int value)
{
    if (value < 1 || value > FCap - 1) {
        FLimit = FCap;
        return;
    }
    FLimit = value;
    if (FLen > value) {
        FLen = value;
        // A code cut in half leaves its 0x01 alone at the end.
        if (FBuf[FLen - 1] == 1) --FLen;
        FBuf[FLen] = 0;
        ClampPositions();
        MarkDirty(FLen);
        Changed();
    }
}

void TAbstractColourEdit::SetWrapColumn(int value)
{
    if (value >= 1 && value <= 255) FWrap = value;
}

void TAbstractColourEdit::ClampPositions()
{
    auto clamp = [this](int &p) {
        p = std::clamp(p, 0, FLen);
        if (p > 0 && FBuf[p - 1] == 1) --p; // never inside a code
    };
    clamp(FCaret);
    clamp(FAnchor);
    clamp(FSelStart);
    clamp(FSelEnd);
    if (FSelStart > FSelEnd) std::swap(FSelStart, FSelEnd);
}

void TAbstractColourEdit::SetCaret(int caret, int anchor)
{
    FCaret = caret;
    FAnchor = anchor;
    ClampPositions();
    SelectionChanged();
}

// --- Walks.

TColourAttr TAbstractColourEdit::AttrAt(int i) const
{
    TColourAttr a = FDefaultAttr;
    i = std::min(i, FLen);
    for (int j = 0; j < i; ++j)
        if (FBuf[j] == 1) {
            if (j + 1 >= i) break;
            a = ApplyColourCode(a, static_cast<uint8_t>(FBuf[++j]));
        }
    return a;
}

int TAbstractColourEdit::SkipCodes(int i) const
{
    i = std::clamp(i, 0, FLen);
    while (i + 1 < FLen && FBuf[i] == 1)
        i += 2;
    return i;
}

int TAbstractColourEdit::BackOverCodes(int i) const
{
    i = std::clamp(i, 0, FLen);
    if (i > 0 && FBuf[i - 1] == 1) --i;
    while (i >= 2 && FBuf[i - 2] == 1)
        i -= 2;
    return i;
}

int TAbstractColourEdit::LineStart(int i) const
{
    int j = std::clamp(i, 0, FLen);
    while (j > 0 && !IsLineBreak(j - 1))
        --j;
    return SkipCodes(j);
}

int TAbstractColourEdit::LineEnd(int i) const
{
    int j = std::clamp(i, 0, FLen);
    while (j < FLen && !IsLineBreak(j)) {
        if (FBuf[j] == 1 && j + 1 < FLen) ++j;
        ++j;
    }
    return std::min(j, FLen);
}

int TAbstractColourEdit::Advance(int i, int n, bool crossLines) const
{
    i = SkipCodes(i);
    for (int k = 0; k < n && i < FLen; ++k) {
        if (!crossLines && IsLineBreak(i)) break;
        i = SkipCodes(i + 1);
    }
    return i;
}

int TAbstractColourEdit::VisibleColumn(int i) const
{
    i = std::clamp(i, 0, FLen);
    int j = i;
    while (j > 0 && !IsLineBreak(j - 1))
        --j;
    int n = 0;
    while (j < i) {
        if (FBuf[j] == 1)
            j += 2;
        else {
            ++n;
            ++j;
        }
    }
    return n;
}

int TAbstractColourEdit::LineVisibleLength(int i) const
{
    return VisibleColumn(LineEnd(i));
}

int TAbstractColourEdit::PrevChar(int i) const
{
    int b = BackOverCodes(i);
    return b > 0 ? b - 1 : -1;
}

// --- Raw buffer edits (callers have checked the room).

void TAbstractColourEdit::RawInsert(int at, std::string_view text)
{
    int n = static_cast<int>(text.size());
    if (n == 0 || FLen + n > FCap) return;
    std::memmove(&FBuf[at + n], &FBuf[at], FLen - at + 1);
    std::memcpy(&FBuf[at], text.data(), n);
    FLen += n;
}

void TAbstractColourEdit::RawDelete(int at, int count)
{
    if (count <= 0) return;
    std::memmove(&FBuf[at], &FBuf[at + count], FLen - at - count + 1);
    FLen -= count;
}

// --- Editing.

void TAbstractColourEdit::DeleteAndMerge(int count)
{
    if (FCaret > 0 && FBuf[FCaret - 1] == 1) --FCaret;
    int a = BackOverCodes(FCaret);
    int e = std::min(FCaret + std::max(count, 0), FLen);
    if (e > 0 && e < FLen && FBuf[e - 1] == 1 && e - 1 >= FCaret) ++e; // never split a code
    int b = SkipCodes(e);
    if (a == b) return;
    std::string c = ColourCodesBetween(AttrAt(a), AttrAt(b));
    int run = b - a;
    if (count == 0 && run <= static_cast<int>(c.size())) return;
    if (FLen - run + static_cast<int>(c.size()) > FCap) {
        // No room for the shortest transition: keep the codes that were there.
        c.clear();
        for (int j = a; j < b; ++j)
            if (FBuf[j] == 1) {
                c += FBuf[j];
                c += FBuf[++j];
            }
    }
    RawDelete(a, run);
    RawInsert(a, c);
    FCaret = a + static_cast<int>(c.size());
    MarkDirty(FCaret);
    Changed();
}

void TAbstractColourEdit::Insert(const char *text)
{
    Insert(text ? std::string_view(text, strnlen(text, FCap + 1)) : std::string_view());
}

void TAbstractColourEdit::Insert(std::string_view text)
{
    int n = static_cast<int>(text.size());
    int selLen = FSelEnd - FSelStart;
    if (FLen - selLen + n > FLimit) {
        Beep();
        return;
    }
    if (selLen > 0) {
        FCaret = FSelStart;
        DeleteAndMerge(selLen);
    }
    if (FCaret > 0 && FBuf[FCaret - 1] == 1) --FCaret;
    if (FLen + n > FCap) { // only when merges had to keep codes: refuse rather than overflow
        Beep();
        FSelStart = FSelEnd = FAnchor = FCaret;
        return;
    }
    MarkDirty(FCaret);
    int start = FCaret;
    RawInsert(start, text);
    if (n == 1) {
        FCaret = start + 1;
    } else if (n > 1) {
        int end = start + n;
        FCaret = start;
        int b = SkipCodes(start);
        int before = FLen;
        DeleteAndMerge(0);
        if (FLen != before) end = end >= b ? end + (FLen - before) : FCaret;
        FCaret = end;
        DeleteAndMerge(0);
    }
    FSelStart = FSelEnd = FAnchor = FCaret;
    Changed();
}

void TAbstractColourEdit::DeleteSelection()
{
    if (HasSelection()) {
        FCaret = FSelStart;
        DeleteAndMerge(FSelEnd - FSelStart);
        FSelStart = FSelEnd = FAnchor = FCaret;
    }
    Update();
}

void TAbstractColourEdit::SelectAll()
{
    FAnchor = FSelStart = 0;
    FSelEnd = FCaret = FLen;
    SelectionChanged();
}

void TAbstractColourEdit::ApplyColour(uint8_t letter)
{
    FCodePending = false;
    if (!IsCodeLetter(letter) || FLen >= FLimit - 1) {
        KeyBeep();
        return;
    }
    const char code[2] = {1, static_cast<char>(letter)};
    if (!HasSelection()) {
        Insert(std::string_view(code, 2));
        return;
    }
    const int s = FSelStart, en = FSelEnd;
    const bool caretAtEnd = FCaret == en;
    // The typed code goes in front of the selection, again after every old code inside it
    // (so the new colour wins), and the codes back to the old colour after it. Where these
    // meet codes that were there already, the run is rewritten to the shortest one when that
    // is shorter, so repeated colouring does not pile codes up.
    const int a = BackOverCodes(s), b = SkipCodes(en);
    const TColourAttr e = AttrAt(en);
    TColourAttr shown = AttrAt(a), old = shown;
    TColourAttr now = ApplyColourCode(AttrAt(s), letter);
    std::string out, run;
    bool hadCodes = false; // the current run holds codes that were there before
    int from = -1, to = -1;
    for (int j = a;; ++j) {
        if (j == s) run.append(code, 2);
        if (j == en && en < FLen) run += ColourCodesBetween(now, e);
        if (j < b && FBuf[j] == 1 && j + 1 < FLen) {
            const uint8_t c = static_cast<uint8_t>(FBuf[++j]);
            const char old2[2] = {1, static_cast<char>(c)};
            run.append(old2, 2);
            hadCodes = true;
            old = ApplyColourCode(old, c);
            if (j > s && j < en) {
                run.append(code, 2);
                now = ApplyColourCode(ApplyColourCode(now, c), letter);
            }
            continue;
        }
        const bool inside = j < en;
        const TColourAttr want = inside || (j >= b && en == FLen) ? now : old;
        if (hadCodes) {
            const std::string shortest = ColourCodesBetween(shown, want);
            if (shortest.size() < run.size()) run = shortest;
        }
        out += run;
        run.clear();
        hadCodes = false;
        shown = want;
        if (inside && from < 0) from = a + static_cast<int>(out.size());
        if (j >= b) break;
        out += FBuf[j];
        if (inside) to = a + static_cast<int>(out.size());
    }
    if (from < 0) from = to = a + static_cast<int>(out.size());
    if (FLen - (b - a) + static_cast<int>(out.size()) > FLimit) {
        KeyBeep();
        return;
    }
    RawDelete(a, b - a);
    RawInsert(a, out);
    FSelStart = from;
    FSelEnd = to;
    FCaret = caretAtEnd ? to : from;
    FAnchor = caretAtEnd ? from : to;
    MarkDirty(a);
    Changed();
    SelectionChanged();
}

void TAbstractColourEdit::Rewrap()
{
    if (FWrap <= 0) return;
    int p = BackOverCodes(LineStart(FCaret));
    if (p > 0 && FBuf[p - 1] == CR) p = BackOverCodes(LineStart(p - 1));
    MarkDirty(p);
    bool changed = false;
    for (int q = p; q < FLen && FBuf[q] != LF; ++q)
        if (FBuf[q] == 1)
            ++q;
        else if (FBuf[q] == CR) {
            FBuf[q] = ' ';
            changed = true;
        }
    int half = FWrap / 2;
    p = Advance(p, FWrap, false);
    while (p < FLen && FBuf[p] != LF) {
        int q = p;
        int col = VisibleColumn(q);
        while (FBuf[q] != ' ' && col > half) {
            q = PrevChar(q);
            --col;
        }
        if (FBuf[q] == ' ' && col > half) {
            FBuf[q] = CR;
            p = SkipCodes(q + 1);
        } else {
            if (FLen >= FCap) break; // no room for a break: the line stays long
            RawInsert(p, "\r");
            for (int *pos : {&FCaret, &FAnchor, &FSelStart, &FSelEnd})
                if (*pos >= p) ++*pos;
            ++p;
        }
        changed = true;
        p = Advance(p, FWrap, false);
    }
    if (changed) Changed();
}

void TAbstractColourEdit::WrapCheck(uint8_t c)
{
    if (FWrap > 0 && (c == ' ' || LineVisibleLength(FCaret) > FWrap)) Rewrap();
}

// --- Display hooks.

void TAbstractColourEdit::SelectionChanged()
{
    int oldStart = FSelStart;
    FSelStart = std::min(FAnchor, FCaret);
    FSelEnd = std::max(FAnchor, FCaret);
    MarkDirty(std::min(oldStart, FSelStart));
    Update();
}

void TAbstractColourEdit::Update()
{
    FDirtyFrom = NotDirty;
}
