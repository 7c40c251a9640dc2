#include "shell/WindowDialogs.h"

#include "config/Prefernc.h"
#include "config/qt/DialogUtil.h"
#include "config/qt/PreferenceDlg.h"
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
#include <QVBoxLayout>

#include <algorithm>

namespace {

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

void RunPreferences(QWidget *parent, TColorTTYWidget &tty, TClientPrefs &prefs)
{
    const bool colours = prefs.DisableColours, flashing = prefs.DisableFlashing;
    {
        TPreferenceDlg dialog(prefs, parent);
        dialog.exec();
    }
    TColorTTYOptions o = tty.Options();
    if (prefs.DisableColours != colours)
        o = prefs.DisableColours ? TColorTTYOptions(o & ~OptionBit(coColors))
                                 : TColorTTYOptions(o | OptionBit(coColors));
    if (prefs.DisableFlashing != flashing)
        o = prefs.DisableFlashing ? TColorTTYOptions(o & ~OptionBit(coFlashing))
                                  : TColorTTYOptions(o | OptionBit(coFlashing));
    if (o != tty.Options()) tty.SetOptions(o);
}

bool ChooseTerminalFont(QWidget *parent, TColorTTYWidget &tty, TClientPrefs &prefs)
{
    // The fixed-pitch fonts, and the VGA font, a bitmap font of the terminal's own.
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Font"));
    SetHelpTopic(&dialog, THelpTopic::Font);
    auto *layout = new QVBoxLayout(&dialog);
    auto *fonts = new QFontDialog(tty.font(), &dialog);
    fonts->setWindowFlags(Qt::Widget);
    fonts->setOptions(QFontDialog::MonospacedFonts | QFontDialog::NoButtons |
                      QFontDialog::DontUseNativeDialog);
    layout->addWidget(fonts);
    auto *vga = new QCheckBox(
        QStringLiteral("&VGA 8x16, the IBM PC's font (size 12 is 8 by 16 pixels, 24 twice that)"), &dialog);
    vga->setObjectName(QStringLiteral("cbVga"));
    vga->setChecked(tty.UsesBitmapFont());
    vga->setEnabled(VgaFont() != nullptr);
    layout->addWidget(vga);
    QObject::connect(AddDialogButtons(&dialog, layout).OKBtn, &QPushButton::clicked, &dialog,
                     &QDialog::accept);
    // Esc and Enter reach the font chooser first (a dialog of its own): they answer the
    // whole dialog rather than hide the chooser inside it.
    QObject::connect(fonts, &QDialog::rejected, &dialog, &QDialog::reject);
    QObject::connect(fonts, &QDialog::accepted, &dialog, &QDialog::accept);
    NameByLabels(dialog);
    if (dialog.exec() != QDialog::Accepted) return false;

    const QFont chosen = fonts->currentFont();
    if (vga->isChecked()) {
        prefs.FontName = VgaFontName;
        prefs.FontSize = chosen.pointSize();
        prefs.FontStyle = 0;
        UseTerminalFont(tty, prefs);
    } else {
        const QFont current = tty.font();
        if (!tty.UsesBitmapFont() && chosen.family() == current.family() &&
            chosen.pointSize() == current.pointSize() && chosen.bold() == current.bold() &&
            chosen.italic() == current.italic())
            return false;
        tty.SetBitmapFont(nullptr);
        tty.setFont(chosen);
        prefs.FontName = QFontInfo(chosen).family().toStdString();
        prefs.FontSize = chosen.pointSize();
        prefs.FontStyle =
            (chosen.bold() ? unsigned(fsBold) : 0u) | (chosen.italic() ? unsigned(fsItalic) : 0u);
    }
    prefs.Save();
    return true;
}

void UseTerminalFont(TColorTTYWidget &tty, const TClientPrefs &prefs)
{
    if (prefs.FontName == VgaFontName && VgaFont())
        tty.SetBitmapFont(VgaFont(), std::clamp((prefs.FontSize + 6) / 12, 1, 4));
}

void ApplySpeech(TColorTTYWidget &tty, const TClientPrefs &prefs)
{
    TTerminalSpeech &speech = tty.Speech();
    speech.SetAnnounceOutput(prefs.AnnounceOutput && !prefs.AnnounceOnlyMessages);
    speech.SetSilentWhenInactive(prefs.SilentWhenInactive);
    tty.SetHighContrast(prefs.HighContrast);
}
