// The main window's Options and Help commands.
#include "shell/Ttywin.h"

#include "config/Prefernc.h"
#include "shell/About.h"
#include "shell/HelpSystem.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QFontDialog>
#include <QFontInfo>

void TTTYForm::OptionsPreferencesItemClick()
{
}

void TTTYForm::OptionsFontItemClick()
{
    QFontDialog dialog(FColourTTY->font(), this);
    dialog.setOption(QFontDialog::MonospacedFonts);
    dialog.setProperty("helpContext", 12);
    if (dialog.exec() != QDialog::Accepted) return;
    const QFont chosen = dialog.selectedFont();
    const QFont current = FColourTTY->font();
    if (chosen.family() == current.family() && chosen.pointSize() == current.pointSize() &&
        chosen.bold() == current.bold() && chosen.italic() == current.italic())
        return;
    FColourTTY->setFont(chosen);
    ClientPrefs.FontName = QFontInfo(chosen).family().toStdString();
    ClientPrefs.FontSize = chosen.pointSize();
    ClientPrefs.FontStyle =
        (chosen.bold() ? unsigned(fsBold) : 0u) | (chosen.italic() ? unsigned(fsItalic) : 0u);
    ClientPrefs.Save();
    SizeTerminal(FColourTTY->Tty().VisibleRows, true);
}

void TTTYForm::OptionsMacrosItemClick()
{
}

void TTTYForm::OptionsUserFilterItemClick()
{
}

void TTTYForm::FileSetHostItemClick()
{
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
    TAboutBox box(Platform.OpenAddress, this);
    box.exec();
}
