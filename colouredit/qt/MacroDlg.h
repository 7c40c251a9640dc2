// The Macro Editor: the 48 function-key macros edited on a working copy in a colour memo,
// written back to the macro table on OK, which saves the table (when it was loaded from a file).
#pragma once

#include "colouredit/qt/ColourEditWidget.h"
#include "config/HelpTopic.h"
#include "config/Setmacro.h"

#include <QDialog>

#include <array>
#include <string>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;

class TMacrosDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::Macros;

    // Centred over `parent` (when given); the memo takes `preferredFont`.
    TMacrosDlg(TMacroTable &table, const QFont &preferredFont, QWidget *parent = nullptr);

    TColourMemo *MacroText;
    QCheckBox *cbShift, *cbControl;
    std::array<QRadioButton *, 12> rbF{};
    QPushButton *OKBtn, *CancelBtn, *HelpBtn;

    int CurrentSlot() const { return FCurrentSlot; }
    // The working copy of a slot, as OK would store it.
    const std::string &WorkingText(int slot) const { return FWork[size_t(slot)]; }

private:
    void CurrentMacroChanged(int keyIndex);
    void cbShiftControlClick();
    void OKBtnClick();
    void StoreCurrent();

    TMacroTable &FTable;
    std::array<std::string, MacroCount> FWork;
    int FCurrentSlot = 1;
    QButtonGroup *FKeys;
};
