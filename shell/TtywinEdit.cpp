// The main window's Edit menu between terminal, offline editor and clipboard; the mouse on
// the terminal, addresses on it, and the edit-state notice.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourClipboard.h"
#include "colouredit/qt/ColourTextAccessible.h"
#include "colouredit/qt/Colours.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>

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

} // namespace

bool TTTYForm::InEditMode() const
{
    return FSession->InEditMode();
}

void TTTYForm::PaletteFollowsCaret()
{
    if (!InEditMode()) return;
    FColourPalette->SetColours(OffLineEdit().AttrAtCaret());
    FEditAccess->Changed();
}

// The palette comes up beside the window without taking the keys from it.
void TTTYForm::ShowPalette()
{
    FColourPalette->show();
    show();
    raise();
    activateWindow();
}

bool TTTYForm::SelectionBeforeEditor() const
{
    const TCellPoint s = FColourTTY->Tty().SelStart;
    const int x = OffLineEdit().StartX(), y = OffLineEdit().StartY();
    return s.y < y || (s.y == y && s.x < x);
}

void TTTYForm::EditPasteItemClick()
{
    if (InEditMode()) {
        OffLineEdit().PasteFromClipboard();
        PaletteFollowsCaret();
        return;
    }
    std::string text;
    const bool coloured =
        !FClientPrefs.DisableColours && FHostInfo.Current().Mode == hmORVO && FEditClipboard->GetColoured(text);
    if (!coloured) {
        if (!FEditClipboard->GetPlain(text)) return;
        if (text.size() > ColouredPasteBufferSize - 1) text.resize(ColouredPasteBufferSize - 1);
    }
    MakeTypeable(text, coloured);
    FSession->TypeText(text);
    PaletteFollowsCaret();
}

void TTTYForm::EditCopyItemClick()
{
    if (!SelectionBeforeEditor() && InEditMode())
        OffLineEdit().CopyToClipboard();
    else
        FColourTTY->CopyToClipboard();
}

void TTTYForm::EditCutItemClick()
{
    if (!SelectionBeforeEditor() && InEditMode()) {
        OffLineEdit().CutToClipboard();
    } else {
        FColourTTY->CopyToClipboard();
        OffLineEdit().DeleteSelection();
    }
    PaletteFollowsCaret();
}

void TTTYForm::EditClearItemClick()
{
    ColourTTYKeyDown(VK_DELETE, 0);
}

void TTTYForm::EditSelectAllItemClick()
{
    OffLineEdit().SelectAll();
}

void TTTYForm::ColourTTYMouseTrack()
{
    if (!InEditMode()) return;
    const TColorTTY &t = FColourTTY->Tty();
    OffLineEdit().SetSelectionFrom(t.SelStart, t.SelEnd, t.AnchorIsStart());
    PaletteFollowsCaret();
}

void TTTYForm::ColourTTYDblClick()
{
    char buf[255];
    FColourTTY->Tty().GetSelTextBuf(buf, sizeof buf);
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
    if (!web && !mail && !word.starts_with("ftp://") && !word.starts_with("telnet://")) return;
    if (mail) word = word.substr(0, word.find('?')); // the address only: no attachment, no body
    const std::string utf8 = cp437::ToUtf8(word);
    const QString address = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    if (!web) {
        QMessageBox box(QMessageBox::Question, qApp->property("applicationTitle").toString(),
                        tr("Open this address with the desktop's program for it?\n\n%1").arg(address),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) return;
    }
    if (FPlatform.OpenAddress) FPlatform.OpenAddress(address);
}

void TTTYForm::SessionEditState(bool open)
{
    if (!open) {
        FColourPalette->hide();
        FEditAccess->Closed();
        UpdateMenus();
        return;
    }
    FEditAccess->Opened();
    PaletteFollowsCaret();
    UpdateMenus();
    if (OffLineEdit().AcceptColourPaste() && FColourPalette->InUse && isActiveWindow()) ShowPalette();
}

void TTTYForm::EditRestoreDraftItemClick()
{
    if (FSession->RestoreDraft()) PaletteFollowsCaret();
    UpdateMenus();
}

void TTTYForm::EditColoursItemClick()
{
    // Shown already, the command takes the keyboard to it: arrows, F, B, Esc back.
    if (InEditMode() && FColourPalette->isVisible()) {
        FColourPalette->TakeKeyboard();
        return;
    }
    FColourPalette->InUse = true;
    if (InEditMode()) ShowPalette();
    UpdateMenus();
}

void TTTYForm::ColourSelected(int colour, bool foreground)
{
    if (!InEditMode()) return;
    // From the opposite colour, so the codes always carry both brightness and colour.
    const int from = colour ^ 15;
    const std::string codes = foreground
                                  ? ColourCodesBetween(TColourAttr(from), TColourAttr(colour))
                                  : ColourCodesBetween(TColourAttr(from * 16), TColourAttr(colour * 16));
    for (const char c : codes)
        ColourTTYKeyPress(uint8_t(c));
}

void TTTYForm::PaletteClosed()
{
    UpdateMenus(); // the palette is no longer wanted: Colours... offers it again in an edit
}

void TTTYForm::ApplicationActivate()
{
    if (OffLineEdit().AcceptColourPaste() && InEditMode() && FColourPalette->InUse) ShowPalette();
}

void TTTYForm::ApplicationDeactivate()
{
    if (FColourPalette->isVisible()) FColourPalette->hide();
}

void TTTYForm::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    if (FColourPalette) FColourPalette->Reposition();
}
