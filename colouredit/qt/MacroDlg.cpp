#include "colouredit/qt/MacroDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

TMacrosDlg::TMacrosDlg(TMacroTable &table, const QFont &preferredFont, QWidget *parent)
    : QDialog(parent), Table(table)
{
    setWindowTitle(QStringLiteral("Macro Editor"));
    setProperty("helpContext", HelpContext);
    setFixedSize(589, 214);

    MacroText = new TColourMemo(this);
    MacroText->setObjectName(QStringLiteral("MacroText"));
    MacroText->setAccessibleName(QStringLiteral("Macro text"));
    MacroText->setGeometry(8, 8, 573, 130);
    MacroText->SetColor(Qt::black);
    MacroText->SetWantReturns(true);
    // A slot holds MacroMaxLength bytes: the memo refuses more rather than losing it later.
    MacroText->SetMaxLength(MacroMaxLength);

    cbShift = new QCheckBox(QStringLiteral("Shift"), this);
    cbShift->setObjectName(QStringLiteral("cbShift"));
    cbShift->setGeometry(8, 148, 68, 22);
    cbControl = new QCheckBox(QStringLiteral("Control"), this);
    cbControl->setObjectName(QStringLiteral("cbControl"));
    cbControl->setGeometry(8, 178, 68, 22);

    FKeys = new QButtonGroup(this);
    for (int k = 0; k < 12; ++k) {
        const QString name = QStringLiteral("F%1").arg(k + 1);
        auto *rb = new QRadioButton(name, this);
        rb->setObjectName(QStringLiteral("rb") + name);
        rb->setGeometry(84 + (k % 6) * 52, k < 6 ? 148 : 178, 50, 22);
        FKeys->addButton(rb, k); // the id is the key index
        rbF[size_t(k)] = rb;
    }
    rbF[1]->setChecked(true);
    rbF[0]->setEnabled(false);
    rbF[9]->setEnabled(false);

    auto button = [this](const char *name, const char *caption, int x, int y) {
        auto *b = new QPushButton(QString::fromLatin1(caption), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(x, y, 75, 26);
        b->setAutoDefault(false);
        return b;
    };
    OKBtn = button("OKBtn", "OK", 426, 146);
    CancelBtn = button("CancelBtn", "Cancel", 506, 146);
    HelpBtn = button("HelpBtn", "Help", 506, 176); // F1 shows the help; the button does nothing
    OKBtn->setDefault(true);

    connect(FKeys, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) CurrentMacroChanged(id);
    });
    connect(cbShift, &QCheckBox::clicked, this, &TMacrosDlg::cbShiftControlClick);
    connect(cbControl, &QCheckBox::clicked, this, &TMacrosDlg::cbShiftControlClick);
    connect(OKBtn, &QPushButton::clicked, this, &TMacrosDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    // FormCreate.
    if (parent) move(CentredOver(parent->window()->frameGeometry(), frameGeometry().size()));
    for (int slot = 0; slot < MacroCount; ++slot)
        Work[size_t(slot)] = std::string(Table.View(slot));
    FCurrentSlot = 1;
    MacroText->SetText(Work[1].c_str());
    MacroText->setFont(preferredFont);
    MacroText->setFocus();
}

QPoint TMacrosDlg::CentredOver(const QRect &owner, const QSize &size)
{
    // Integer division rounds toward zero, also for a window wider than its owner.
    return {owner.left() + (owner.width() - size.width()) / 2,
            owner.top() + (owner.height() - size.height()) / 2};
}

void TMacrosDlg::StoreCurrent()
{
    // The memo's limit keeps the text within a slot; the table cuts anything longer.
    Work[size_t(FCurrentSlot)] = MacroText->Text().substr(0, MacroMaxLength);
}

void TMacrosDlg::CurrentMacroChanged(int keyIndex)
{
    StoreCurrent();
    if (keyIndex < 0) keyIndex = FCurrentSlot % 12;
    FCurrentSlot = MacroSlot(keyIndex, cbShift->isChecked(), cbControl->isChecked());
    MacroText->SetText(Work[size_t(FCurrentSlot)].c_str());
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
    Table.MacrosChanged = true;
    for (int slot = 0; slot < MacroCount; ++slot)
        Table.SetText(slot, Work[size_t(slot)]);
    accept();
}
