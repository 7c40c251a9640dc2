// The main window's Edit menu between terminal, offline editor and clipboard; the mouse on
// the terminal, addresses on it, and the edit-state notice.
#include "shell/Ttywin.h"

#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourClipboard.h"
#include "colouredit/qt/Colours.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAction>

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
    return FCLientMachine->EditMode();
}

void TTTYForm::PaletteFollowsCaret()
{
    if (InEditMode()) FColourPalette->SetColours(FOffLineEdit->AttrAtCaret());
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
    const int x = FOffLineEdit->StartX(), y = FOffLineEdit->StartY();
    return s.y < y || (s.y == y && s.x < x);
}

void TTTYForm::TypeText(const std::string &text)
{
    for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (c == '\r') continue;
        if (c == '\n') {
            ColourTTYKeyPress('\r');
            // An empty line typed alone would end the BBS's input: keep it non-empty.
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) ColourTTYKeyPress(' ');
            ColourTTYKeyPress('\n');
            continue;
        }
        ColourTTYKeyPress(c);
    }
}

void TTTYForm::EditPasteItemClick()
{
    if (InEditMode()) {
        FOffLineEdit->PasteFromClipboard();
        PaletteFollowsCaret();
        return;
    }
    std::string text;
    const bool coloured =
        !ClientPrefs.DisableColours && HostInfo.Mode == hmORVO && FEditClipboard->GetColoured(text);
    if (!coloured) {
        if (!FEditClipboard->GetPlain(text)) return;
        if (text.size() > ColouredPasteBufferSize - 1) text.resize(ColouredPasteBufferSize - 1);
    }
    MakeTypeable(text, coloured);
    TypeText(text);
}

void TTTYForm::EditCopyItemClick()
{
    if (!SelectionBeforeEditor() && InEditMode())
        FOffLineEdit->CopyToClipboard();
    else
        FColourTTY->CopyToClipboard();
}

void TTTYForm::EditCutItemClick()
{
    if (!SelectionBeforeEditor() && InEditMode()) {
        FOffLineEdit->CutToClipboard();
    } else {
        FColourTTY->CopyToClipboard();
        FOffLineEdit->DeleteSelection();
    }
    PaletteFollowsCaret();
}

void TTTYForm::EditClearItemClick()
{
    ColourTTYKeyDown(VK_DELETE, 0);
}

void TTTYForm::EditSelectAllItemClick()
{
    FOffLineEdit->SelectAll();
}

void TTTYForm::ColourTTYMouseTrack()
{
    if (!InEditMode()) return;
    const TColorTTY &t = FColourTTY->Tty();
    FOffLineEdit->SetSelectionFrom(t.SelStart, t.SelEnd, t.AnchorIsStart());
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
    for (const char *prefix : {"http://", "ftp://", "telnet://", "mailto:"}) {
        if (word.starts_with(prefix)) {
            const std::string utf8 = cp437::ToUtf8(word);
            if (Platform.OpenAddress)
                Platform.OpenAddress(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
            return;
        }
    }
}

void TTTYForm::EditStateChanged(uintptr_t open)
{
    QAction *cut = Item(QStringLiteral("EditCutItem"));
    if (open < 1) {
        FColourPalette->hide();
        cut->setEnabled(false);
        cut->setShortcut(QKeySequence());
        for (const char *name : {"EditClearItem", "EditSelectAllItem", "EditXCutItem", "EditColoursItem"})
            Item(QString::fromLatin1(name))->setEnabled(false);
        return;
    }
    cut->setEnabled(true);
    cut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    for (const char *name : {"EditClearItem", "EditSelectAllItem", "EditXCutItem"})
        Item(QString::fromLatin1(name))->setEnabled(true);
    PaletteFollowsCaret();
    if (!FOffLineEdit->AcceptColourPaste()) return;
    if (!FColourPalette->InUse)
        Item(QStringLiteral("EditColoursItem"))->setEnabled(true);
    else if (isActiveWindow())
        ShowPalette();
}

void TTTYForm::EditColoursItemClick()
{
    FColourPalette->InUse = true;
    if (InEditMode()) ShowPalette();
    Item(QStringLiteral("EditColoursItem"))->setEnabled(false);
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
    if (InEditMode() && FOffLineEdit->AcceptColourPaste())
        Item(QStringLiteral("EditColoursItem"))->setEnabled(true);
}

void TTTYForm::ApplicationActivate()
{
    if (FOffLineEdit->AcceptColourPaste() && InEditMode() && FColourPalette->InUse) ShowPalette();
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
