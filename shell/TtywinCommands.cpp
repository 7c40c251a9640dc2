// The main window's menu commands, run from the menus' table, and the screen sized for
// the host.
#include "shell/Ttywin.h"

#include "colouredit/qt/MacroDlg.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/qt/UserFilterDlg.h"
#include "session/qt/TransferPanel.h"
#include "shell/About.h"
#include "shell/ArtFiles.h"
#include "shell/CaptureControl.h"
#include "shell/FindBar.h"
#include "shell/HelpSystem.h"
#include "shell/HighlightMarks.h"
#include "shell/HostsControl.h"
#include "shell/MessagesControl.h"
#include "shell/PaletteControl.h"
#include "shell/WindowDialogs.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QApplication>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

namespace {

constexpr int AnsiBbsScreenLines = 25;
constexpr int HostSizeSettleMs = 400; // a drag of the window's edge has ended

} // namespace

void TTTYForm::Command(TMenuItem item)
{
    using M = TMenuItem;
    switch (item) {
    case M::FileConnect:
        ConnectCommand();
        break;
    case M::FileAbort:
        FSession->Abort();
        break;
    case M::FileDisconnect:
        ConfirmDisconnect();
        break;
    case M::FileSetHost:
        FHosts->SetupHosts();
        break;
    case M::FileDirectory:
        FHosts->OpenDirectory();
        break;
    case M::FileImportHosts:
        FHosts->ImportHosts();
        break;
    case M::FileCapture:
        FCapture->Toggle();
        break;
    case M::FileOpenArt:
        OpenArtChosen(this);
        break;
    case M::FileSaveAnsi:
        SaveAnsiChosen(this, FColourTTY->Tty(), FSession->Host().Name,
                       [this](const QString &t) { SetStatus(t); });
        break;
    case M::FileReceiveFiles:
    case M::FileSendFiles:
        TransferCommand(item == M::FileSendFiles);
        break;
    case M::FileExit:
        close();
        break;
    case M::FileLast1:
    case M::FileLast2:
    case M::FileLast3:
    case M::FileLast4:
    case M::FileLast5:
        // The name as stored, not cut from the caption: a long name must not pick another host.
        PickHost(std::string(FHostInfo.Last(int(item) - int(M::FileLast1) + 1)));
        break;
    case M::EditCut:
    case M::EditXCut:
        FInput->Cut();
        break;
    case M::EditCopy:
    case M::EditXCopy:
        FInput->Copy();
        break;
    case M::EditPaste:
    case M::EditXPaste:
        FInput->Paste();
        break;
    case M::EditClear:
        FInput->Clear();
        break;
    case M::EditSelectAll:
        FInput->SelectAll();
        break;
    case M::EditRestoreDraft:
        if (FSession->RestoreDraft()) FPalette->CaretMoved();
        UpdateMenus();
        break;
    case M::EditColours:
        FPalette->Command();
        break;
    case M::EditFind:
        if (!FFindBar) FFindBar = new TFindBar(FColourTTY);
        FFindBar->Open();
        break;
    case M::EditClearHistory: {
        TColorTTY &tty = FColourTTY->Tty();
        const int n = tty.Screen().HistoryRows();
        if (n == 0) break;
        const QString question =
            n == 1
                ? tr("Forget the line of history kept above the scrollback?")
                : tr("Forget the %1 lines of history kept above the scrollback?").arg(QLocale().toString(n));
        QMessageBox box(QMessageBox::Question, qApp->property("applicationTitle").toString(), question,
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        box.setDefaultButton(QMessageBox::Cancel);
        SetHelpTopic(&box, THelpTopic::History);
        if (box.exec() != QMessageBox::Ok) break;
        tty.ClearHistory();
        if (FFindBar) FFindBar->TerminalChanged();
        break;
    }
    case M::ViewMessages:
        FMessages->Toggle();
        break;
    case M::OptionsPreferences: {
        const int lines = FClientPrefs.ScreenLines;
        RunPreferences(this, *FColourTTY, FClientPrefs);
        ApplyHistoryLines();
        if (FClientPrefs.ScreenLines != lines) {
            FClientPrefs.ScreenLines = qBound(5, FClientPrefs.ScreenLines, 100);
            SizeTerminal(FClientPrefs.ScreenLines, true);
        }
        ApplySpeech(*FColourTTY, FClientPrefs);
        break;
    }
    case M::OptionsFont:
        if (ChooseTerminalFont(this, *FColourTTY, FClientPrefs))
            SizeTerminal(FColourTTY->Tty().VisibleRows, true);
        break;
    case M::OptionsMacros: {
        TMacrosDlg dialog(FMacroTable, FColourTTY->font(), this);
        dialog.exec();
        break;
    }
    case M::OptionsUserFilter: {
        TUserFilterDlg dialog(FUserFilter, this);
        SetHelpTopic(&dialog, THelpTopic::UserFilter);
        dialog.exec();
        break;
    }
    case M::OptionsHighlights:
        FHighlights->EditRules();
        break;
    case M::HelpContents:
        FHelp->ShowContents();
        break;
    case M::HelpTopicSearch:
        FHelp->ShowSearch();
        break;
    case M::HelpHowToUseHelp:
        FHelp->ShowHelpOnHelp();
        break;
    case M::HelpAbout: {
        TAboutBox box(FPlatform.OpenAddress, this);
        box.exec();
        break;
    }
    default: // separators and submenus
        break;
    }
}

// Boards draw 25-row screens: an ANSI-BBS host gets 25 rows unless the user sized the window
// for it. Classic hosts keep the window as it is.
void TTTYForm::SessionSizeScreen(const THostSettings &host)
{
    FSizedHost.clear();
    if (host.Terminal != THostTerminal::AnsiBbs) return;
    const int stored = FHostInfo.ScreenLines(host.Name);
    FSizedRows = stored ? stored : AnsiBbsScreenLines;
    if (isMaximized() || isFullScreen()) return;
    FSizedHost = host.Name;
    TColorTTY &tty = FColourTTY->Tty();
    if (tty.VisibleRows == FSizedRows) return;
    // a cursor waiting at the top of the screen (a fresh or cleared one) stays at its top
    const bool atTop = tty.CursorY == tty.ScreenTop();
    SizeTerminal(FSizedRows, true);
    if (atTop) tty.MoveCursor(tty.CursorX, tty.ScreenTop());
}

void TTTYForm::HostScreenResized()
{
    if (FSizedHost.empty() || FInput->CanConnect() || FSession->Host().Name != FSizedHost || isMaximized() ||
        isFullScreen())
        return;
    if (FColourTTY->Tty().VisibleRows == FSizedRows) return; // as sized (or back to it)
    if (!FHostSizeTimer) {
        FHostSizeTimer = new QTimer(this);
        FHostSizeTimer->setSingleShot(true);
        connect(FHostSizeTimer, &QTimer::timeout, this, [this] {
            Guarded([this] {
                if (FSizedHost.empty() || isMaximized() || isFullScreen()) return;
                FSizedRows = FColourTTY->Tty().VisibleRows;
                FHostInfo.SetScreenLines(FSizedHost, FSizedRows);
            });
        });
    }
    FHostSizeTimer->start(HostSizeSettleMs);
}

void TTTYForm::SessionEditState(bool open)
{
    FPalette->EditState(open);
}

void TTTYForm::SessionHighlight(const THighlightEvent &event)
{
    FHighlights->Matched(event);
}

void TTTYForm::SessionExpressMessage(const std::string &author, const std::string &text)
{
    Guarded([&] { FMessages->Arrived(author, text); });
}

void TTTYForm::SessionCaptureStopped(const std::string &why)
{
    FCapture->Failed(why);
}

void TTTYForm::moveEvent(QMoveEvent *e)
{
    QMainWindow::moveEvent(e);
    if (FPalette) FPalette->WindowMoved();
}
