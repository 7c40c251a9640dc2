#include "colouredit/ColEdit2.h"

#include <algorithm>
#include <cstring>

// The editor's clipboard commands and its keys.

namespace {

constexpr char CR = 13;

bool IsDelimiter(char c)
{
    return c == 0 || c == 10 || c == CR || c == ' ';
}

} // namespace

// --- Clipboard.

void TAbstractColourEdit::CopyToClipboard()
{
    if (!HasSelection()) return;
    TColourAttr a = AttrAt(FSelStart);
    std::string coloured = ColourCodesBetween(static_cast<TColourAttr>(~a), a);
    coloured.append(&FBuf[FSelStart], FSelEnd - FSelStart);
    coloured += '\0';
    std::string plain;
    for (int j = FSelStart; j < FSelEnd; ++j) {
        if (FBuf[j] == 1)
            ++j;
        else if (IsLineBreak(j))
            plain += "\r\n";
        else
            plain += FBuf[j];
    }
    if (FClipboard) FClipboard->SetTexts(plain, coloured);
}

void TAbstractColourEdit::CutToClipboard()
{
    CopyToClipboard();
    if (!FReadOnly) DeleteSelection();
}

void TAbstractColourEdit::PasteFromClipboard()
{
    if (FReadOnly || !FClipboard) return;
    std::string data;
    std::string text;
    if (FAcceptColourPaste && FClipboard->GetColoured(data)) {
        data.resize(std::min(strnlen(data.data(), data.size()), static_cast<size_t>(FLimit)));
        // A soft break of a copied edit stands for a space; CR LF is one line break.
        text = CleanText(data, true);
        std::replace(text.begin(), text.end(), CR, ' ');
    } else if (FClipboard->GetPlain(data)) {
        data.resize(
            std::min(strnlen(data.data(), data.size()), static_cast<size_t>(std::max(FLimit - 2, 0))));
        for (char c : CleanText(data, false))
            if (c != 1) text += c;
    } else {
        return;
    }
    FilterPaste(text);
    Insert(text);
    Update();
}

// --- Keys.

bool TAbstractColourEdit::EditKeyDown(uint16_t key, TShiftState shift)
{
    switch (key) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN:
    case VK_HOME:
    case VK_END:
    case VK_BACK:
    case VK_DELETE:
        break;
    default:
        return false;
    }
    FCodePending = false;
    bool withShift = (shift & ssShift) != 0;
    bool withCtrl = (shift & ssCtrl) != 0;
    if (withShift && !HasSelection()) FAnchor = FCaret;
    switch (key) {
    case VK_LEFT:
        if (withCtrl) {
            int i = SkipCodes(FCaret);
            int pc = PrevChar(i);
            if (pc >= 0) i = pc;
            while (IsDelimiter(FBuf[i]) && (pc = PrevChar(i)) >= 0)
                i = pc;
            while (!IsDelimiter(FBuf[i]) && (pc = PrevChar(i)) >= 0)
                i = pc;
            if (IsDelimiter(FBuf[i])) i = Advance(i, 1, true);
            FCaret = i;
        } else if (int pc = PrevChar(FCaret); pc >= 0) {
            FCaret = pc;
        }
        break;
    case VK_RIGHT:
        if (withCtrl) {
            int i = SkipCodes(FCaret);
            while (i < FLen && !IsDelimiter(FBuf[i]))
                i = Advance(i, 1, true);
            while (i < FLen && IsDelimiter(FBuf[i]))
                i = Advance(i, 1, true);
            FCaret = i;
        } else {
            FCaret = Advance(FCaret, 1, true);
        }
        break;
    case VK_UP: {
        int r = FCaret;
        while (r > 0 && !IsLineBreak(r - 1))
            --r;
        if (r > 0) FCaret = Advance(LineStart(r - 1), VisibleColumn(FCaret), false);
        break;
    }
    case VK_DOWN: {
        int e = LineEnd(FCaret);
        if (e < FLen) FCaret = Advance(e + 1, VisibleColumn(FCaret), false);
        break;
    }
    case VK_HOME:
        FCaret = withCtrl ? SkipCodes(0) : LineStart(FCaret);
        break;
    case VK_END:
        FCaret = withCtrl ? FLen : LineEnd(FCaret);
        break;
    case VK_BACK:
    case VK_DELETE:
        if (FReadOnly) break;
        withShift = false; // the anchor taken above no longer exists
        if (HasSelection()) {
            DeleteSelection();
        } else if (key == VK_BACK) {
            int b = BackOverCodes(FCaret);
            if (b > 0) {
                FCaret = b - 1;
                DeleteAndMerge(1);
            } else {
                KeyBeep();
            }
        } else {
            int c = SkipCodes(FCaret);
            if (c < FLen) {
                FCaret = c;
                DeleteAndMerge(1);
            } else {
                KeyBeep();
            }
        }
        Rewrap();
        break;
    }
    if (!withShift) FAnchor = FCaret;
    SelectionChanged();
    return true;
}

bool TAbstractColourEdit::EditKeyPress(uint8_t c)
{
    if (FCodePending) {
        FCodePending = false;
        if (!FReadOnly) ApplyColour(c);
        Update();
        return true;
    }
    switch (c) {
    case 13:
        if (FReadOnly) break;
        if (FLen >= FLimit) {
            KeyBeep();
            break;
        }
        if (!FMultiLine) return false;
        Insert(std::string_view("\n", 1));
        WrapCheck(c);
        break;
    case 1:
        if (!FReadOnly) FCodePending = true;
        break;
    case 3:
        CopyToClipboard();
        break;
    case 22:
        if (!FReadOnly) PasteFromClipboard();
        break;
    case 24:
        if (FReadOnly)
            CopyToClipboard();
        else
            CutToClipboard();
        break;
    case 8:
        break;
    default:
        if (c < 32 || c > 127) {
            KeyBeep();
        } else if (!FReadOnly) {
            if (FLen >= FLimit) {
                KeyBeep();
            } else {
                const char s = static_cast<char>(c);
                Insert(std::string_view(&s, 1));
                WrapCheck(c);
            }
        }
        break;
    }
    Update();
    return true;
}
