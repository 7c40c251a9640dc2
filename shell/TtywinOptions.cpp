// The main window's Options and Help commands.
#include "shell/Ttywin.h"

#include "shell/DirectoryWindow.h"

#include "colouredit/qt/MacroDlg.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/qt/DialogUtil.h"
#include "config/qt/PreferenceDlg.h"
#include "config/qt/SetHostDlg.h"
#include "config/qt/UserFilterDlg.h"
#include "shell/About.h"
#include "shell/HelpSystem.h"
#include "terminal/PsfFont.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

void TTTYForm::OptionsPreferencesItemClick()
{
    const bool colours = FClientPrefs.DisableColours, flashing = FClientPrefs.DisableFlashing;
    const int lines = FClientPrefs.ScreenLines;
    {
        TPreferenceDlg dialog(FClientPrefs, this);
        dialog.exec();
    }
    TColorTTYOptions o = FColourTTY->Options();
    if (FClientPrefs.DisableColours != colours)
        o = FClientPrefs.DisableColours ? TColorTTYOptions(o & ~OptionBit(coColors))
                                        : TColorTTYOptions(o | OptionBit(coColors));
    if (FClientPrefs.DisableFlashing != flashing)
        o = FClientPrefs.DisableFlashing ? TColorTTYOptions(o & ~OptionBit(coFlashing))
                                         : TColorTTYOptions(o | OptionBit(coFlashing));
    if (o != FColourTTY->Options()) FColourTTY->SetOptions(o);
    ApplyHistoryLines();
    if (FClientPrefs.ScreenLines != lines) {
        FClientPrefs.ScreenLines = qBound(5, FClientPrefs.ScreenLines, 100);
        SizeTerminal(FClientPrefs.ScreenLines, true);
    }
    ApplySpeech();
}

namespace {

constexpr int AnsiBbsScreenLines = 25;
constexpr int HostSizeSettleMs = 400; // a drag of the window's edge has ended

// Qt's font dialog labels its lists, and the fields above them stand in for the lists,
// but screen readers find no name on either: each takes its label's.
void NameByLabels(QDialog &dialog)
{
    for (const QLabel *label : dialog.findChildren<QLabel *>()) {
        QWidget *buddy = label->buddy();
        if (!buddy || !buddy->accessibleName().isEmpty()) continue;
        const QString name = label->text().remove(QLatin1Char('&')).remove(QLatin1Char(':'));
        buddy->setAccessibleName(name);
        for (QLineEdit *field : dialog.findChildren<QLineEdit *>())
            if (field->focusProxy() == buddy && field->accessibleName().isEmpty())
                field->setAccessibleName(name);
    }
    // A list under a labelled field, in its column, is chosen from for that field.
    for (QAbstractItemView *list : dialog.findChildren<QAbstractItemView *>()) {
        if (!list->accessibleName().isEmpty()) continue;
        for (const QLineEdit *field : dialog.findChildren<QLineEdit *>())
            if (field->parent() == list->parent() && field->x() == list->x() &&
                !field->accessibleName().isEmpty())
                list->setAccessibleName(field->accessibleName());
    }
}

} // namespace

void TTTYForm::ApplySpeech()
{
    TTerminalSpeech &speech = FColourTTY->Speech();
    speech.SetAnnounceOutput(FClientPrefs.AnnounceOutput && !FClientPrefs.AnnounceOnlyMessages);
    speech.SetSilentWhenInactive(FClientPrefs.SilentWhenInactive);
    FColourTTY->SetHighContrast(FClientPrefs.HighContrast);
}

void TTTYForm::OptionsFontItemClick()
{
    // The fixed-pitch fonts, and the VGA font, a bitmap font of the terminal's own.
    QDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("Font"));
    SetHelpTopic(&dialog, THelpTopic::Font);
    auto *layout = new QVBoxLayout(&dialog);
    auto *fonts = new QFontDialog(FColourTTY->font(), &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOptions(QFontDialog::MonospacedFonts | QFontDialog::NoButtons |
                      QFontDialog::DontUseNativeDialog);
    layout->addWidget(fonts);
    auto *vga = new QCheckBox(
        QStringLiteral("&VGA 8x16, the IBM PC's font (size 12 is 8 by 16 pixels, 24 twice that)"), &dialog);
    vga->setObjectName(QStringLiteral("cbVga"));
    vga->setChecked(FColourTTY->UsesBitmapFont());
    vga->setEnabled(VgaFont() != nullptr);
    layout->addWidget(vga);
    QObject::connect(AddDialogButtons(&dialog, layout).OKBtn, &QPushButton::clicked, &dialog,
                     &QDialog::accept);
    // Esc and Enter reach the font chooser first (a dialog of its own): they answer the
    // whole dialog rather than hide the chooser inside it.
    QObject::connect(fonts, &QDialog::rejected, &dialog, &QDialog::reject);
    QObject::connect(fonts, &QDialog::accepted, &dialog, &QDialog::accept);
    NameByLabels(dialog);
    if (dialog.exec() != QDialog::Accepted) return;

    const QFont chosen = fonts->currentFont();
    if (vga->isChecked()) {
        FClientPrefs.FontName = VgaFontName;
        FClientPrefs.FontSize = chosen.pointSize();
        FClientPrefs.FontStyle = 0;
        UseTerminalFont();
    } else {
        const QFont current = FColourTTY->font();
        if (!FColourTTY->UsesBitmapFont() && chosen.family() == current.family() &&
            chosen.pointSize() == current.pointSize() && chosen.bold() == current.bold() &&
            chosen.italic() == current.italic())
            return;
        FColourTTY->SetBitmapFont(nullptr);
        FColourTTY->setFont(chosen);
        FClientPrefs.FontName = QFontInfo(chosen).family().toStdString();
        FClientPrefs.FontSize = chosen.pointSize();
        FClientPrefs.FontStyle =
            (chosen.bold() ? unsigned(fsBold) : 0u) | (chosen.italic() ? unsigned(fsItalic) : 0u);
    }
    FClientPrefs.Save();
    SizeTerminal(FColourTTY->Tty().VisibleRows, true);
}

// "VGA 8x16" at the preferred size in whole steps (16 pixels are 12 points), else the
// preferred font stays.
void TTTYForm::UseTerminalFont()
{
    if (FClientPrefs.FontName == VgaFontName && VgaFont())
        FColourTTY->SetBitmapFont(VgaFont(), std::clamp((FClientPrefs.FontSize + 6) / 12, 1, 4));
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
    const TSessionState s = FSession->State();
    if (FSizedHost.empty() || s == TSessionState::Idle || s == TSessionState::WaitingToReconnect ||
        FSession->Host().Name != FSizedHost || isMaximized() || isFullScreen())
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

void TTTYForm::OptionsMacrosItemClick()
{
    TMacrosDlg dialog(FMacroTable, FColourTTY->font(), this);
    dialog.exec();
}

void TTTYForm::OptionsUserFilterItemClick()
{
    TUserFilterDlg dialog(FUserFilter, this);
    SetHelpTopic(&dialog, THelpTopic::UserFilter);
    dialog.exec();
}

void TTTYForm::FileSetHostItemClick()
{
    TSetHostDlg dialog(FHostInfo, this);
    // While connected or connecting the dialog still stores the host, but the current one stays.
    const auto idle = [this] {
        const TSessionState s = FSession->State();
        return s == TSessionState::Idle || s == TSessionState::WaitingToReconnect;
    };
    if (dialog.exec() == QDialog::Accepted && idle()) FHostInfo.UseHost(dialog.BBSName(), dialog.Settings());
    FillHostsMenu();
    if (FDirectory) FDirectory->Reload();
}

void TTTYForm::HelpContentsItemClick()
{
    FHelp->ShowContents();
}

void TTTYForm::HelpTopicSearchItemClick()
{
    FHelp->ShowSearch();
}

void TTTYForm::HelpHowToUseHelpItemClick()
{
    FHelp->ShowHelpOnHelp();
}

void TTTYForm::HelpAboutItemClick()
{
    TAboutBox box(FPlatform.OpenAddress, this);
    box.exec();
}
