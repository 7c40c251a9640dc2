#include "colouredit/OffLine.h"

#include <cctype>
#include <cstring>

// The offline editor's keys: typing, Enter, the save question and the name rules.

namespace {

constexpr char LF = 10;

} // namespace

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
        std::string_view tail(&FBuf[ls], FLen - ls);
        if (FLinesUsed < FMaxLines && !FLastWasEnter && FLen < FLimit && FLen > 0 && tail != "ABORT" &&
            tail != "PING" && c != 4) {
            Insert(std::string_view("\n", 1));
            return false;
        }
        MoveCursorTo(FLen);
        WriteLF();
        std::string_view line(&FBuf[ls], LineEnd(FCaret) - ls);
        if (line == "PING") {
            FLen = 0;
            FBuf[0] = 0;
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
        if (FLen == 0 || FBuf[FLen - 1] != LF) {
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
    if ((pc < 0 || FBuf[pc] == ' ') && c >= 'a' && c <= 'z') c -= 32;
    return true;
}

void TOffLineEdit::Complete()
{
    int prefix = FWho.PrefixLength;
    bool found = false;
    for (int k = std::max(FWho.Index, 0); k < FWho.Count(); ++k) {
        const std::string &name = FWho.Names[k];
        if (prefix > 0 && (prefix > FLen || static_cast<int>(name.size()) < prefix ||
                           std::memcmp(name.data(), FBuf.data(), prefix) != 0))
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
        if (FBuf[k] == ' ') {
            space = k;
            break;
        }
    if (space < 0) return;
    FPending.assign(&FBuf[space + 1], FLen - space - 1);
    FLen = space + 1;
    FBuf[FLen] = 0;
    ClampPositions();
    MarkDirty(FLen);
    Changed();
}
