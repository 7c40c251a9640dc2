#include "session/InputController.h"

#include "colouredit/OffLine.h"
#include "config/HostMode.h"
#include "config/Prefernc.h"
#include "config/Setmacro.h"
#include "session/Session.h"
#include "terminal/ColorTTY.h"
#include "terminal/Cp437.h"

#include <string_view>
#include <utility>

namespace {

// Bytes a paste may type outside an edit: text, colour codes, tabs and line breaks. Other
// control bytes would act on the BBS (an escape sequence, Telnet's IAC), not be typed there.
void MakeTypeable(std::string &text, bool colourCodes)
{
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const uint8_t c = uint8_t(ch);
        if (c == 0) break;
        if (c == 0xFF)
            out += ' '; // the non-breaking space of code page 437 is Telnet's IAC
        else if (c >= 0x20 || c == '\r' || c == '\n' || c == '\t' || (colourCodes && c == 0x01))
            out += ch;
    }
    text.swap(out);
}

int FunctionKey(uint16_t key)
{
    return key >= VK_F1 && key <= VK_F12 ? key - VK_F1 + 1 : 0;
}

} // namespace

TInputController::TInputController(TSession &session, TMacroTable &macros, const TClientPrefs &prefs,
                                   TColourClipboard &clipboard, TInputView &view)
    : FSession(session), FMacros(macros), FPrefs(prefs), FClipboard(clipboard), FView(view)
{
    Edit().SetClipboard(&clipboard); // the editor's copy, cut and paste use the same one
}

TSessionState TInputController::State() const
{
    return FSession.State();
}

bool TInputController::InEdit() const
{
    return FSession.InEditMode();
}

TOffLineEdit &TInputController::Edit() const
{
    return FSession.OffLineEdit();
}

// --- Keys.

TKeyUse TInputController::KeyDown(uint16_t key, TShiftState shift, bool modifier)
{
    // A key whose key-down was used up takes its own character with it, and no other.
    FSwallowKeyPress = false;
    if (!modifier && FSession.ReconnectKey(key == VK_RETURN)) {
        FSwallowKeyPress = true;
        return TKeyUse::Swallowed;
    }
    if ((key == VK_PRIOR || key == VK_NEXT) && (shift & (ssCtrl | ssShift | ssAlt)) == (ssCtrl | ssShift)) {
        FSwallowKeyPress = true;
        FView.ReviewMark(key == VK_PRIOR ? -1 : 1);
        return TKeyUse::Swallowed;
    }
    return key ? Route(key, shift) : TKeyUse::Passed;
}

TKeyUse TInputController::Route(uint16_t key, TShiftState shift)
{
    if (const int fn = FunctionKey(key)) {
        // F3 and Shift+F3 step through the hits while the find bar is open; otherwise macros.
        if (fn == 3 && !(shift & ssCtrl) && FView.StepFind(shift & ssShift)) return TKeyUse::Used;
        const int slot = MacroSlot(fn - 1, shift & ssShift, shift & ssCtrl);
        // F1 is help and F10 the menu: never macros. A key without a macro sends what an
        // ANSI-BBS host reads of it (other hosts get nothing).
        if (MacroSlotEditable(slot) && !FMacros.View(slot).empty()) {
            SendMacro(slot);
            FView.KeysSent();
        } else if (FSession.KeyDown(key, shift)) {
            FView.KeysSent();
        }
        return TKeyUse::Used;
    }
    const bool sent = FSession.KeyDown(key, shift);
    if (sent) FView.KeysSent();
    FView.CaretMoved();
    return sent ? TKeyUse::Used : TKeyUse::Passed;
}

void TInputController::KeyPress(uint8_t ch)
{
    if (std::exchange(FSwallowKeyPress, false)) return;
    FSession.TypeChar(ch);
    FView.CaretMoved();
}

void TInputController::SendMacro(int slot)
{
    for (const char c : FMacros.View(slot)) {
        FSession.KeyPress(c == '\n' ? '\r' : uint8_t(c));
        FView.CaretMoved();
    }
}

void TInputController::TypeColour(int colour, bool foreground)
{
    if (!InEdit()) return;
    // From the opposite colour, so the codes always carry both brightness and colour.
    const int from = colour ^ 15;
    const std::string codes = foreground
                                  ? ColourCodesBetween(TColourAttr(from), TColourAttr(colour))
                                  : ColourCodesBetween(TColourAttr(from * 16), TColourAttr(colour * 16));
    for (const char c : codes) {
        FSession.KeyPress(uint8_t(c));
        FView.CaretMoved();
    }
}

// --- The Edit menu.

bool TInputController::SelectionBeforeEditor() const
{
    const TCellPoint s = FSession.Terminal().SelStart;
    const int x = Edit().StartX(), y = Edit().StartY();
    return s.y < y || (s.y == y && s.x < x);
}

void TInputController::Copy()
{
    if (!SelectionBeforeEditor() && InEdit())
        Edit().CopyToClipboard();
    else
        FView.CopyTerminalSelection();
}

void TInputController::Cut()
{
    if (!SelectionBeforeEditor() && InEdit()) {
        Edit().CutToClipboard();
    } else {
        FView.CopyTerminalSelection();
        Edit().DeleteSelection();
    }
    FView.CaretMoved();
}

void TInputController::Paste()
{
    if (InEdit()) {
        Edit().PasteFromClipboard();
        FView.CaretMoved();
        return;
    }
    // Colour codes only for the host of the connection that reads them.
    std::string text;
    const bool coloured =
        !FPrefs.DisableColours && FSession.Host().Mode == hmORVO && FClipboard.GetColoured(text);
    if (!coloured) {
        if (!FClipboard.GetPlain(text)) return;
        if (text.size() > ColouredPasteBufferSize - 1) text.resize(ColouredPasteBufferSize - 1);
    }
    MakeTypeable(text, coloured);
    FSession.TypeText(text);
    FView.CaretMoved();
}

void TInputController::Clear()
{
    Route(VK_DELETE, 0);
}

void TInputController::SelectAll()
{
    Edit().SelectAll();
}

void TInputController::SelectionChanged()
{
    if (!InEdit()) return;
    const TColorTTY &t = FSession.Terminal();
    Edit().SetSelectionFrom(t.SelStart, t.SelEnd, t.AnchorIsStart());
    FView.CaretMoved();
}

TLink TInputController::SelectedLink() const
{
    char buf[255];
    FSession.Terminal().GetSelTextBuf(buf, sizeof buf);
    std::string_view word(buf);
    while (!word.empty()) {
        const char c = word.front();
        if (c == ' ' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) break;
        word.remove_prefix(1);
    }
    // Web pages open at once; an address that starts another program (mail, file transfer,
    // a terminal) is shown whole and opened only when the user agrees.
    const bool web = word.starts_with("http://") || word.starts_with("https://");
    const bool mail = word.starts_with("mailto:");
    if (!web && !mail && !word.starts_with("ftp://") && !word.starts_with("telnet://")) return {};
    if (mail) word = word.substr(0, word.find('?')); // the address only: no attachment, no body
    return {cp437::ToUtf8(word), !web};
}

// --- What the commands may do.

bool TInputController::CanTransfer() const
{
    return FSession.Transfers().CanStart();
}

bool TInputController::EditForm() const
{
    return FSession.EditMenuConnected();
}

bool TInputController::EditOpen() const
{
    return FSession.EditOpen();
}

bool TInputController::ColoursShown() const
{
    return EditForm() && FSession.Host().Mode == hmORVO;
}

bool TInputController::ColoursUsable() const
{
    return EditOpen() && Edit().AcceptColourPaste();
}
