// The main window's terminal events turned into input-controller calls, and the menus,
// titles, light and indicator drawn from the session's state.
#include "shell/Ttywin.h"

#include "colouredit/qt/Colours.h"
#include "shell/ALStatusBar.h"
#include "shell/Conlight.h"
#include "shell/KeyMap.h"
#include "shell/MainMenus.h"
#include "shell/MessageHistory.h"
#include "shell/MessagesControl.h"
#include "shell/PlainText.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>

void TTTYForm::ConnectTerminal()
{
    FColourTTY->OnKeyDown = [this](QKeyEvent *e, int &key) {
        const bool modifier = key == 0 || key == Qt::Key_Shift || key == Qt::Key_Control ||
                              key == Qt::Key_Alt || key == Qt::Key_Meta;
        TKeyUse use = TKeyUse::Passed;
        Guarded([&] { use = FInput->KeyDown(VirtualKey(key), ShiftStateOf(e->modifiers()), modifier); });
        if (use != TKeyUse::Passed) key = 0;
    };
    FColourTTY->OnKeyPress = [this](char &ch) { Guarded([&] { FInput->KeyPress(uint8_t(ch)); }); };
    FColourTTY->OnMouseDown = [this](QMouseEvent *) { Guarded([this] { FInput->SelectionChanged(); }); };
    FColourTTY->OnMouseUp = FColourTTY->OnMouseDown;
    FColourTTY->OnMouseMove = [this](QMouseEvent *) {
        if (FColourTTY->Tty().Tracking) Guarded([this] { FInput->SelectionChanged(); });
    };
    FColourTTY->OnDblClick = [this] { Guarded([this] { OpenLink(); }); };
}

void TTTYForm::OpenLink()
{
    const TLink link = FInput->SelectedLink();
    if (link.Address.empty()) return;
    const QString address = QString::fromUtf8(link.Address.data(), qsizetype(link.Address.size()));
    if (link.Ask) {
        QMessageBox box(QMessageBox::Question, qApp->property("applicationTitle").toString(),
                        tr("Open this address with the desktop's program for it?\n\n%1").arg(address),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes) return;
    }
    if (FPlatform.OpenAddress) FPlatform.OpenAddress(address);
}

void TTTYForm::UpdateMenus()
{
    const TSession &s = *FSession;
    FMenus->Draw(*FInput, ColourPalette() != nullptr);
    using M = TMenuItem;
    Item(M::FileCapture)->setChecked(s.Capturing());
    const TMessageHistory *pane = FMessages->Pane();
    Item(M::ViewMessages)->setChecked(pane && !pane->isHidden());
    const int unread = pane ? pane->Unread() : 0;
    Item(M::ViewMessages)->setText(unread ? tr("&Messages (%1 new)").arg(unread) : tr("&Messages"));
    Item(M::EditRestoreDraft)->setVisible(s.Draft() != nullptr);
    Item(M::EditRestoreDraft)->setEnabled(s.DraftFits());

    const bool line = FInput->LineShown();
    FConnectionLight->SetConnected(line);
    // Plain text: Qt would take a tooltip that looks like markup for rich text.
    const std::string &lamp = s.ConnectedText();
    FConnectionLight->setToolTip(
        line ? QString::fromUtf8(lamp.data(), qsizetype(lamp.size())).trimmed().toHtmlEscaped()
             : tr("Not connected"));
    const bool titled = FInput->Titled();
    const QString name = QString::fromUtf8(s.Host().Name.data(), qsizetype(s.Host().Name.size()));
    // What the program calls itself (message box titles); window captions are separate.
    qApp->setProperty("applicationTitle", titled ? name : QString::fromLatin1(IdleApplicationTitle));
    setWindowTitle(titled
                       ? QStringLiteral("%1 \"%2\"").arg(QLatin1String(FormCaption), PlainWindowTitle(name))
                       : QString::fromLatin1(FormCaption));
    SyncIndicator();
}

void TTTYForm::SyncIndicator()
{
    // The panel keeps its own messages (" Disconnected from ..."); the reconnect and the
    // capture speak through the words at its right end.
    const TSession &s = *FSession;
    QStringList words;
    bool alert = false;
    if (s.ReconnectWaiting()) {
        words << tr("Reconnecting in %1 s (any key stops)").arg((s.ReconnectDelay() + 999) / 1000);
        alert = true;
    } else if (s.ReconnectOffered() && !s.IsConnected()) {
        // A BBS that ended the session in order is no alarm; a broken line is.
        alert = s.LastClose() == TCloseKind::Lost;
        words << (alert ? tr("Connection lost: Enter reconnects")
                        : tr("Closed by the BBS: Enter reconnects"));
    } else if (!s.ReconnectNote().empty() && !s.IsConnected()) {
        words << QString::fromStdString(s.ReconnectNote());
        alert = true;
    }
    if (s.Capturing()) {
        words << tr("Capturing");
        alert = true;
    }
    const QString indicator = words.join(QStringLiteral(" | "));
    FStatusLine->SetIndicator(indicator, alert);
    // Said when it changes, not with every second of a countdown.
    QString gist = indicator;
    // by hand: a regular expression here was compiled anew at every key typed
    gist.removeIf([](QChar c) { return c >= u'0' && c <= u'9'; });
    if (gist != FSaidIndicator) {
        FSaidIndicator = gist;
        FColourTTY->Speech().Say(indicator, true);
    }
}
