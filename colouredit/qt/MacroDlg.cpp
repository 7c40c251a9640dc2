#include "colouredit/qt/MacroDlg.h"

#include "config/qt/DialogUtil.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QPushButton>
#include <QRadioButton>

TMacrosDlg::TMacrosDlg(TMacroTable &table, const QFont &preferredFont, QWidget *parent)
    : QDialog(parent), FTable(table)
{
    setWindowTitle(tr("Macro Editor"));
    SetHelpContext(this, HelpContext);

    MacroText = new TColourMemo(this);
    MacroText->setObjectName(QStringLiteral("MacroText"));
    MacroText->setAccessibleName(tr("Macro text"));
    MacroText->setMinimumSize(573, 130);
    MacroText->SetColor(Qt::black);
    MacroText->SetWantReturns(true);
    // A slot holds MacroMaxLength bytes: the memo refuses more rather than losing it later.
    MacroText->SetMaxLength(MacroMaxLength);

    cbShift = new QCheckBox(tr("Shift"), this);
    cbShift->setObjectName(QStringLiteral("cbShift"));
    cbControl = new QCheckBox(tr("Control"), this);
    cbControl->setObjectName(QStringLiteral("cbControl"));

    auto *keys = new QGridLayout;
    keys->addWidget(cbShift, 0, 0);
    keys->addWidget(cbControl, 1, 0);
    FKeys = new QButtonGroup(this);
    for (int k = 0; k < 12; ++k) {
        const QString name = QStringLiteral("F%1").arg(k + 1);
        auto *rb = new QRadioButton(name, this);
        rb->setObjectName(QStringLiteral("rb") + name);
        keys->addWidget(rb, k / 6, 1 + k % 6);
        FKeys->addButton(rb, k); // the id is the key index
        rbF[size_t(k)] = rb;
    }
    keys->setColumnStretch(7, 1);
    rbF[1]->setChecked(true);
    rbF[0]->setEnabled(false);
    rbF[9]->setEnabled(false);

    auto *main = new QVBoxLayout(this);
    main->addWidget(MacroText, 1);
    main->addLayout(keys);
    const TDialogButtons buttons = AddDialogButtons(this, main);
    OKBtn = buttons.OKBtn;
    CancelBtn = buttons.CancelBtn;
    HelpBtn = buttons.HelpBtn;
    for (QPushButton *b : {OKBtn, CancelBtn, HelpBtn})
        b->setAutoDefault(false); // Enter is a line break in the memo

    connect(FKeys, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) CurrentMacroChanged(id);
    });
    connect(cbShift, &QCheckBox::clicked, this, &TMacrosDlg::cbShiftControlClick);
    connect(cbControl, &QCheckBox::clicked, this, &TMacrosDlg::cbShiftControlClick);
    connect(OKBtn, &QPushButton::clicked, this, &TMacrosDlg::OKBtnClick);

    // FormCreate.
    FixClientSize(this, QSize(589, 214));
    CentreOverOwner(this, parent);
    for (int slot = 0; slot < MacroCount; ++slot)
        FWork[size_t(slot)] = std::string(FTable.View(slot));
    FCurrentSlot = 1;
    MacroText->SetText(FWork[1].c_str());
    MacroText->setFont(preferredFont);
    MacroText->setFocus();
}

void TMacrosDlg::StoreCurrent()
{
    // The memo's limit keeps the text within a slot; the table cuts anything longer.
    FWork[size_t(FCurrentSlot)] = MacroText->Text().substr(0, MacroMaxLength);
}

void TMacrosDlg::CurrentMacroChanged(int keyIndex)
{
    StoreCurrent();
    if (keyIndex < 0) keyIndex = FCurrentSlot % 12;
    FCurrentSlot = MacroSlot(keyIndex, cbShift->isChecked(), cbControl->isChecked());
    MacroText->SetText(FWork[size_t(FCurrentSlot)].c_str());
}

void TMacrosDlg::cbShiftControlClick()
{
    const bool modified = cbShift->isChecked() || cbControl->isChecked();
    if (!modified && (rbF[0]->isChecked() || rbF[9]->isChecked())) {
        rbF[0]->setEnabled(false);
        rbF[9]->setEnabled(false);
        rbF[1]->setChecked(true); // changes the slot to F2 by itself
    }
    // F1 and F10 are macros only with Shift or Control.
    for (int k : {0, 9})
        rbF[size_t(k)]->setEnabled(modified);
    CurrentMacroChanged(-1);
}

void TMacrosDlg::OKBtnClick()
{
    StoreCurrent();
    FTable.MacrosChanged = true;
    for (int slot = 0; slot < MacroCount; ++slot)
        FTable.SetText(slot, FWork[size_t(slot)]);
    // Saved now, merged into the file as it is: another copy of the program may have
    // changed other keys' macros meanwhile.
    if (!FTable.FileName().empty() && !FTable.SaveMacros()) ReportSaveFailure(this, FTable.FileName());
    accept();
}
