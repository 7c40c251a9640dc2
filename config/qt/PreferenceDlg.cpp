#include "config/qt/PreferenceDlg.h"

#include "config/qt/DialogUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>

namespace {

QCheckBox *Check(const char *name, const QString &caption, bool checked, QWidget *parent)
{
    auto *box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    box->setChecked(checked);
    return box;
}

QLineEdit *NumberEdit(const char *name, int value, int digits, QWidget *parent)
{
    auto *edit = new QLineEdit(QString::number(value), parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QLatin1Char('0')) * digits + 16);
    return edit;
}

} // namespace

TPreferenceDlg::TPreferenceDlg(TClientPrefs &prefs, QWidget *parent) : QDialog(parent), FPrefs(prefs)
{
    setWindowTitle(tr("Preferences"));
    SetHelpContext(this, HelpContext);

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setAccessibleName(tr("Pages"));
    PageControl->addTab(GeneralPage(), tr("General"));
    PageControl->addTab(AccessibilityPage(), tr("Accessibility"));
    auto *main = new QVBoxLayout(this);
    main->addWidget(PageControl, 1);
    const TDialogButtons buttons = AddDialogButtons(this, main);
    OKBtn = buttons.OKBtn;
    CancelBtn = buttons.CancelBtn;
    HelpBtn = buttons.HelpBtn;

    QWidget *order[] = {PageControl,     cbStartCon,  cbDisExit,      cbColours,  cbFlashing,
                        cbReconnect,     cbNotices,   cbHighContrast, edLines,    edHistory,
                        cbLinkEmulation, edDownloads, btBrowse,       cbAnnounce, cbAnnounceMessages,
                        cbSilent,        OKBtn,       CancelBtn,      HelpBtn};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    FixClientSize(this, QSize(274, 156));
    CentreOverOwner(this, parent);
    connect(OKBtn, &QPushButton::clicked, this, &TPreferenceDlg::OKBtnClick);
    cbStartCon->setFocus();
}

QWidget *TPreferenceDlg::GeneralPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tsGeneral"));
    const TClientPrefs &p = FPrefs;
    cbStartCon = Check("cbStartCon", tr("Connect at Startup"), p.ConnectOnStartup, page);
    cbDisExit = Check("cbDisExit", tr("Exit on Disconnect"), p.ExitOnDisconnect, page);
    cbColours = Check("cbColours", tr("Disable Colours"), p.DisableColours, page);
    cbFlashing = Check("cbFlashing", tr("Disable Flashing"), p.DisableFlashing, page);
    cbReconnect = Check("cbReconnect", tr("Reconnect automatically"), p.ReconnectAutomatically, page);
    cbNotices = Check("cbNotices", tr("Message notices"), p.MessageNotices, page);
    cbHighContrast = Check("cbHighContrast", tr("High contrast"), p.HighContrast, page);
    cbHighContrast->setToolTip(tr("Terminal colours that stay easy to tell apart and to read"));

    edLines = NumberEdit("edLines", p.ScreenLines, 6, page);
    lbLines = BuddyLabel(tr("&Lines on Screen"), edLines, page, "lbLines");
    edHistory = NumberEdit("edHistory", p.HistoryLines, 9, page);
    edHistory->setToolTip(tr("Lines kept above the scrollback, from 0 to 1,000,000"));
    lbHistory = BuddyLabel(tr("H&istory lines"), edHistory, page, "lbHistory");
    cbLinkEmulation = new QComboBox(page);
    cbLinkEmulation->setObjectName(QStringLiteral("cbLinkEmulation"));
    cbLinkEmulation->addItem(tr("Classic"), int(THostTerminal::Classic));
    cbLinkEmulation->addItem(tr("ANSI-BBS"), int(THostTerminal::AnsiBbs));
    cbLinkEmulation->setCurrentIndex(cbLinkEmulation->findData(int(p.EmulationForLinks)));
    cbLinkEmulation->setToolTip(tr("The terminal of a host that a telnet:// or telnets:// link adds"));
    lbLinkEmulation = BuddyLabel(tr("&Emulation for links"), cbLinkEmulation, page, "lbLinkEmulation");
    edDownloads = new QLineEdit(BytesToText(p.DownloadFolder), page);
    edDownloads->setObjectName(QStringLiteral("edDownloads"));
    edDownloads->setPlaceholderText(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
    edDownloads->setToolTip(tr("Empty: the desktop's download folder"));
    edDownloads->setMinimumWidth(edDownloads->fontMetrics().averageCharWidth() * 32);
    lbDownloads = BuddyLabel(tr("&Download folder"), edDownloads, page, "lbDownloads");
    btBrowse = MakeButton(page, "btBrowse", tr("&Browse..."));
    btBrowse->setAutoDefault(false);
    btBrowse->setAccessibleName(tr("Browse for the download folder"));
    connect(btBrowse, &QPushButton::clicked, this, &TPreferenceDlg::btBrowseClick);

    auto *grid = new QGridLayout(page);
    grid->addWidget(cbStartCon, 0, 0);
    grid->addWidget(cbDisExit, 1, 0);
    grid->addWidget(cbReconnect, 2, 0);
    grid->addWidget(cbNotices, 3, 0);
    grid->addWidget(cbColours, 0, 1, 1, 2);
    grid->addWidget(cbFlashing, 1, 1, 1, 2);
    grid->addWidget(cbHighContrast, 2, 1, 1, 2);
    const std::pair<QLabel *, QWidget *> rows[] = {
        {lbLines, edLines}, {lbHistory, edHistory}, {lbLinkEmulation, cbLinkEmulation}};
    int row = 4;
    for (auto [label, field] : rows) {
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row++, 1, Qt::AlignLeft);
    }
    grid->addWidget(lbDownloads, row, 0);
    grid->addWidget(edDownloads, row, 1);
    grid->addWidget(btBrowse, row++, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget *TPreferenceDlg::AccessibilityPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("tsAccessibility"));
    SetHelpContext(page, AccessibilityHelpContext);
    const TClientPrefs &p = FPrefs;
    cbAnnounce = Check("cbAnnounce", tr("Announce output"), p.AnnounceOutput, page);
    cbAnnounce->setToolTip(tr("A screen reader reads each new line the BBS sends"));
    cbAnnounceMessages =
        Check("cbAnnounceMessages", tr("Announce only express messages"), p.AnnounceOnlyMessages, page);
    cbSilent = Check("cbSilent", tr("Silent while the window is not focused"), p.SilentWhenInactive, page);
    auto *layout = new QVBoxLayout(page);
    for (QCheckBox *box : {cbAnnounce, cbAnnounceMessages, cbSilent})
        layout->addWidget(box);
    layout->addStretch();
    return page;
}

void TPreferenceDlg::btBrowseClick()
{
    const QString start =
        edDownloads->text().isEmpty() ? edDownloads->placeholderText() : edDownloads->text();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Download folder"), start);
    if (!folder.isEmpty()) edDownloads->setText(folder);
}

void TPreferenceDlg::OKBtnClick()
{
    FPrefs.ConnectOnStartup = cbStartCon->isChecked();
    FPrefs.ExitOnDisconnect = cbDisExit->isChecked();
    FPrefs.DisableColours = cbColours->isChecked();
    FPrefs.DisableFlashing = cbFlashing->isChecked();
    FPrefs.ReconnectAutomatically = cbReconnect->isChecked();
    FPrefs.MessageNotices = cbNotices->isChecked();
    FPrefs.HighContrast = cbHighContrast->isChecked();
    FPrefs.EmulationForLinks = THostTerminal(cbLinkEmulation->currentData().toInt());
    FPrefs.DownloadFolder = TextToBytes(edDownloads->text().trimmed());
    FPrefs.AnnounceOutput = cbAnnounce->isChecked();
    FPrefs.AnnounceOnlyMessages = cbAnnounceMessages->isChecked();
    FPrefs.SilentWhenInactive = cbSilent->isChecked();
    // A number that is not one is refused with a message; the other settings are saved all the same.
    // No range check for the lines: the main window clamps the value when it uses it.
    if (std::optional<int> lines = ParseIniInteger(edLines->text().toStdString()))
        FPrefs.ScreenLines = *lines;
    else
        ShowMessage(this, QMessageBox::Critical, tr("Error"), tr("Invalid screen lines value discarded."));
    std::optional<int> history = ParseIniInteger(edHistory->text().toStdString());
    if (history && *history >= 0 && *history <= 1000000)
        FPrefs.HistoryLines = *history;
    else
        ShowMessage(this, QMessageBox::Critical, tr("Error"), tr("Invalid history lines value discarded."));
    if (!FPrefs.Save()) ReportSaveFailure(this, FPrefs.IniFileName());
    accept();
}
