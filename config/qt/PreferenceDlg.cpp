#include "config/qt/PreferenceDlg.h"

#include "config/qt/DialogUtil.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QCheckBox *Check(const char *name, const QString &caption, bool checked, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

} // namespace

TPreferenceDlg::TPreferenceDlg(TClientPrefs &prefs, QWidget *parent) : QDialog(parent), FPrefs(prefs)
{
    setWindowTitle(tr("Preferences"));
    SetHelpContext(this, HelpContext);

    cbStartCon = Check("cbStartCon", tr("Connect at Startup"), prefs.ConnectOnStartup, this);
    cbDisExit = Check("cbDisExit", tr("Exit on Disconnect"), prefs.ExitOnDisconnect, this);
    cbColours = Check("cbColours", tr("Disable Colours"), prefs.DisableColours, this);
    cbFlashing = Check("cbFlashing", tr("Disable Flashing"), prefs.DisableFlashing, this);
    cbReconnect = Check("cbReconnect", tr("Reconnect automatically"), prefs.ReconnectAutomatically, this);
    cbNotices = Check("cbNotices", tr("Message notices"), prefs.MessageNotices, this);
    edLines = new QLineEdit(QString::number(prefs.ScreenLines), this);
    edLines->setObjectName(QStringLiteral("edLines"));
    edLines->setMaximumWidth(edLines->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 6 + 16);
    lbLines = new QLabel(tr("Lines on Screen"), this);
    lbLines->setObjectName(QStringLiteral("lbLines"));
    lbLines->setBuddy(edLines);
    OKBtn = MakeButton(this, "OKBtn", tr("OK"));
    OKBtn->setDefault(true);
    CancelBtn = MakeButton(this, "CancelBtn", tr("Cancel"));
    HelpBtn = MakeButton(this, "HelpBtn", tr("&Help")); // F1 help; no click action

    auto *grid = new QGridLayout;
    grid->addWidget(cbStartCon, 0, 0);
    grid->addWidget(cbDisExit, 1, 0);
    grid->addWidget(cbColours, 0, 1);
    grid->addWidget(cbFlashing, 1, 1);
    auto *lines = new QHBoxLayout;
    lines->addWidget(lbLines);
    lines->addWidget(edLines);
    lines->addStretch();
    grid->addWidget(cbReconnect, 2, 0);
    grid->addWidget(cbNotices, 2, 1);
    grid->addLayout(lines, 3, 0, 1, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *b : {OKBtn, CancelBtn, HelpBtn})
        buttons->addWidget(b);
    auto *main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addStretch();
    main->addLayout(buttons);

    setTabOrder(cbStartCon, cbDisExit);
    setTabOrder(cbDisExit, cbColours);
    setTabOrder(cbColours, cbFlashing);
    setTabOrder(cbFlashing, cbReconnect);
    setTabOrder(cbReconnect, cbNotices);
    setTabOrder(cbNotices, edLines);
    setTabOrder(edLines, OKBtn);
    setTabOrder(OKBtn, CancelBtn);
    setTabOrder(CancelBtn, HelpBtn);

    FixClientSize(this, QSize(274, 156));
    CentreOverOwner(this, parent);
    connect(OKBtn, &QPushButton::clicked, this, &TPreferenceDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    cbStartCon->setFocus();
}

void TPreferenceDlg::OKBtnClick()
{
    FPrefs.ConnectOnStartup = cbStartCon->isChecked();
    FPrefs.ExitOnDisconnect = cbDisExit->isChecked();
    FPrefs.DisableColours = cbColours->isChecked();
    FPrefs.DisableFlashing = cbFlashing->isChecked();
    FPrefs.ReconnectAutomatically = cbReconnect->isChecked();
    FPrefs.MessageNotices = cbNotices->isChecked();
    // No range check here: the main window clamps the value when it uses it.
    if (std::optional<int> lines = ParseIniInteger(edLines->text().toStdString()))
        FPrefs.ScreenLines = *lines;
    else
        QMessageBox::critical(this, tr("Error"), tr("Invalid screen lines value discarded."));
    if (!FPrefs.Save()) ReportSaveFailure(this, FPrefs.IniFileName());
    accept();
}
