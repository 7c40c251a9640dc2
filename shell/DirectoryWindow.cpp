#include "shell/DirectoryWindow.h"

#include "config/HelpTopic.h"
#include "config/HostDirectory.h"
#include "config/HostLink.h"
#include "config/IniFile.h"
#include "config/qt/DialogUtil.h"
#include "session/qt/TransportFactory.h"
#include "session/secure/SecureTransports.h"
#include "shell/PlainText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Text(const std::string &s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString ConnectionText(const THostSettings &h)
{
    const char *const modes[] = {"ORVO CLient", "Telnet", "ISCA Client"};
    const QString mode = QString::fromLatin1(h.Mode <= hmISCA ? modes[h.Mode] : modes[0]);
    switch (h.Transport) {
    case THostTransport::Tls:
        return mode + QStringLiteral(" over TLS");
    case THostTransport::Ssh:
        return QStringLiteral("SSH");
    case THostTransport::Tcp:
        break;
    }
    return mode;
}

QTableWidgetItem *Cell(const QString &text, bool editable = false)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    item->setToolTip(PlainToolTip(text)); // names and comments come from others
    return item;
}

// "up, 12 ms: Telnet: WILL ECHO, ..." or "down: connection refused ...", stored as shown.
QString CheckText(const TProbeResult &r)
{
    const QString what = Text(r.Text);
    if (!r.Answered) return QStringLiteral("down: ") + what;
    return QStringLiteral("up, %1 ms: %2").arg(r.ConnectMs).arg(what);
}

void ColourCheck(QTableWidgetItem *item)
{
    const QString t = item->text();
    if (t.startsWith(QLatin1String("up, ")) || t.startsWith(QLatin1String("down: ")))
        item->setForeground(t.startsWith(QLatin1String("up")) ? QColor(0, 110, 0) : QColor(170, 0, 0));
}

// The Export dialog: which form, and whether passwords go too (never unless ticked).
bool AskExport(QWidget *parent, bool &links, bool &passwords)
{
    QDialog d(parent);
    d.setWindowTitle(QStringLiteral("Export Hosts"));
    SetHelpContext(&d, THelpTopic::Directory);
    auto *layout = new QVBoxLayout(&d);
    auto *form = new QComboBox(&d);
    form->addItems({QStringLiteral("SyncTERM directory (syncterm.lst)"),
                    QStringLiteral("List of telnet://, telnets:// and ssh:// links")});
    layout->addWidget(BuddyLabel(QStringLiteral("&Form"), form, &d));
    layout->addWidget(form);
    auto *cb = new QCheckBox(QStringLiteral("Include &passwords"), &d);
    layout->addWidget(cb);
    auto *note = new QLabel(
        QStringLiteral("Passwords are written as plain text. A list of links never holds them."), &d);
    note->setWordWrap(true);
    layout->addWidget(note);
    QObject::connect(form, &QComboBox::currentIndexChanged, cb, [cb](int i) { cb->setEnabled(i == 0); });
    const TDialogButtons buttons = AddDialogButtons(&d, layout);
    QObject::connect(buttons.OKBtn, &QPushButton::clicked, &d, &QDialog::accept);
    if (d.exec() != QDialog::Accepted) return false;
    links = form->currentIndex() == 1;
    passwords = !links && cb->isChecked();
    return true;
}

} // namespace

TDirectoryWindow::TDirectoryWindow(THostInfo &hosts, std::string configFolder, QWidget *parent)
    : QWidget(parent, Qt::Window), FHosts(hosts), FConfigFolder(std::move(configFolder))
{
    setObjectName(QStringLiteral("DirectoryWindow"));
    setWindowTitle(QStringLiteral("Directory"));
    SetHelpContext(this, THelpTopic::Directory);
    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    edSearch = new QLineEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    edSearch->setPlaceholderText(QStringLiteral("Name, address or comment"));
    edSearch->setClearButtonEnabled(true);
    top->addWidget(BuddyLabel(QStringLiteral("&Search"), edSearch, this));
    top->addWidget(edSearch, 1);
    layout->addLayout(top);

    FTable = new QTableWidget(0, coCount, this);
    FTable->setObjectName(QStringLiteral("lbHosts"));
    FTable->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Address"), QStringLiteral("Connection"),
         QStringLiteral("Terminal"), QStringLiteral("Last connected"), QStringLiteral("Calls"),
         QStringLiteral("Comment"), QStringLiteral("Checked"), QStringLiteral("Check")});
    FTable->verticalHeader()->hide();
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FTable->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    FTable->setWordWrap(false);
    FTable->verticalHeader()->setDefaultSectionSize(FTable->fontMetrics().height() + 6);
    FTable->horizontalHeader()->setStretchLastSection(true);
    FTable->sortByColumn(coName, Qt::AscendingOrder);
    layout->addWidget(FTable, 1);

    auto *row = new QHBoxLayout;
    auto *connectBtn = MakeButton(this, "btConnect", QStringLiteral("&Connect"));
    btCheck = MakeButton(this, "btCheck", QStringLiteral("C&heck"));
    auto *importBtn = MakeButton(this, "btImport", QStringLiteral("&Import..."));
    auto *exportBtn = MakeButton(this, "btExport", QStringLiteral("&Export..."));
    auto *closeBtn = MakeButton(this, "btClose", QStringLiteral("Close"));
    lbStatus = new QLabel(this);
    lbStatus->setTextFormat(Qt::PlainText);
    for (QWidget *w : {static_cast<QWidget *>(connectBtn), static_cast<QWidget *>(btCheck),
                       static_cast<QWidget *>(importBtn), static_cast<QWidget *>(exportBtn)})
        row->addWidget(w);
    row->addWidget(lbStatus, 1);
    row->addWidget(closeBtn);
    layout->addLayout(row);

    connect(edSearch, &QLineEdit::textChanged, this, &TDirectoryWindow::Filter);
    // A double click or Enter.
    connect(FTable, &QAbstractItemView::activated, this, [this] { ConnectCurrent(); });
    connect(connectBtn, &QPushButton::clicked, this, &TDirectoryWindow::ConnectCurrent);
    connect(btCheck, &QPushButton::clicked, this, &TDirectoryWindow::Check);
    connect(importBtn, &QPushButton::clicked, this, [this] {
        if (OnImport) OnImport();
    });
    connect(exportBtn, &QPushButton::clicked, this, &TDirectoryWindow::ExportHosts);
    connect(closeBtn, &QPushButton::clicked, this, &QWidget::close);
    connect(FTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (FFilling || item->column() != coComment) return;
        const std::string name = TextToBytes(FTable->item(item->row(), coName)->text());
        if (!StoreComment(FHosts, name, TextToBytes(item->text().simplified())))
            ReportSaveFailure(this, FHosts.IniFileName());
    });

    FProber = MakeHostChecks([this](size_t index, const TProbeResult &result) {
        // From a worker thread: the table is the event loop's.
        QMetaObject::invokeMethod(
            this, [this, index, result] { CheckResult(index, result); }, Qt::QueuedConnection);
    });
    Reload();
    resize(1180, 520);
}

TDirectoryWindow::~TDirectoryWindow()
{
    FProber.reset(); // no result after this
}

int TDirectoryWindow::RowOf(const std::string &name) const
{
    for (int row = 0; row < FTable->rowCount(); ++row)
        if (TextToBytes(FTable->item(row, coName)->text()) == name) return row;
    return -1;
}

void TDirectoryWindow::Reload()
{
    // The selection stays on its host, wherever the sorting puts it.
    const int current = FTable->currentRow();
    const std::string selected =
        current >= 0 ? TextToBytes(FTable->item(current, coName)->text()) : std::string();
    FFilling = true;
    FTable->setSortingEnabled(false);
    const std::vector<THostRecord> records = ReadHostDirectory(FHosts);
    FTable->setRowCount(int(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        const THostRecord &r = records[i];
        const int row = int(i);
        FTable->setItem(row, coName, Cell(Text(r.Name)));
        const std::string port = TrimBlanks(r.Host.Port);
        FTable->setItem(row, coAddress, Cell(Text(r.Host.Address + (port.empty() ? "" : ":" + port))));
        FTable->setItem(row, coConnection, Cell(ConnectionText(r.Host)));
        FTable->setItem(row, coTerminal,
                        Cell(r.Host.Terminal == THostTerminal::AnsiBbs ? QStringLiteral("ANSI-BBS")
                                                                       : QStringLiteral("Classic")));
        FTable->setItem(row, coLastConnected, Cell(Text(r.LastConnected)));
        auto *calls = Cell(QString());
        calls->setData(Qt::DisplayRole, r.Calls);
        FTable->setItem(row, coCalls, calls);
        FTable->setItem(row, coComment, Cell(Text(r.Comment), true));
        FTable->setItem(row, coCheck, Cell(Text(r.LastCheck)));
        ColourCheck(FTable->item(row, coCheck));
        FTable->setItem(row, coChecked, Cell(Text(r.LastChecked)));
    }
    FTable->setSortingEnabled(true);
    FTable->resizeColumnsToContents();
    // Long comments and results are cut, in full in their tooltips.
    for (const int c : {int(coComment), int(coCheck)})
        FTable->setColumnWidth(c, std::min(FTable->columnWidth(c), fontMetrics().averageCharWidth() * 40));
    if (const int row = RowOf(selected); row >= 0) FTable->setCurrentCell(row, coName);
    FFilling = false;
    Filter();
    lbStatus->setText(QStringLiteral("%1 hosts").arg(records.size()));
}

void TDirectoryWindow::Filter()
{
    const QString text = edSearch->text().trimmed();
    for (int row = 0; row < FTable->rowCount(); ++row) {
        bool match = text.isEmpty();
        for (int c : {coName, coAddress, coComment})
            match = match || FTable->item(row, c)->text().contains(text, Qt::CaseInsensitive);
        FTable->setRowHidden(row, !match);
    }
}

void TDirectoryWindow::ConnectCurrent()
{
    const int row = FTable->currentRow();
    if (row < 0 || FTable->isRowHidden(row) || !OnConnect) return;
    OnConnect(TextToBytes(FTable->item(row, coName)->text()));
}

void TDirectoryWindow::Check()
{
    std::vector<TProbeTarget> targets;
    FChecked.clear();
    const std::string known = KnownHostsFile(FConfigFolder), certs = KnownCertsFile(FConfigFolder);
    for (const THostRecord &r : ReadHostDirectory(FHosts)) {
        const int row = RowOf(r.Name);
        if (row < 0) continue;
        if (!ValidPort(r.Host.Port) || r.Host.Address.empty()) {
            FTable->item(row, coCheck)
                ->setText(r.Host.Address.empty() ? QStringLiteral("no address")
                                                 : QStringLiteral("the port is not a number"));
            continue;
        }
        FTable->item(row, coCheck)->setText(QStringLiteral("checking..."));
        FTable->item(row, coCheck)->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        targets.push_back(
            {r.Host.Address, uint16_t(std::stoi(TrimBlanks(r.Host.Port))), r.Host.Transport, known, certs});
        FChecked.push_back(r.Name);
    }
    FPending = int(targets.size());
    btCheck->setEnabled(FPending == 0);
    lbStatus->setText(QStringLiteral("Checking %1 hosts...").arg(FPending));
    if (FProber) {
        FProber->Start(std::move(targets));
        return;
    }
    for (size_t i = 0; i < FChecked.size(); ++i)
        CheckResult(i, TProbeResult{false, -1, "no checks: the module winmarlet-secure.so is missing"});
}

void TDirectoryWindow::CheckResult(size_t index, const TProbeResult &result)
{
    if (index >= FChecked.size()) return;
    const std::string &name = FChecked[index];
    const std::string when = DirectoryTimeNow();
    const QString text = CheckText(result);
    RecordCheck(FHosts, name, when, TextToBytes(text));
    if (const int row = RowOf(name); row >= 0) {
        QTableWidgetItem *item = FTable->item(row, coCheck);
        item->setText(text);
        item->setToolTip(PlainToolTip(text));
        ColourCheck(item);
        FTable->item(row, coChecked)->setText(Text(when));
    }
    if (--FPending <= 0) {
        FPending = 0;
        btCheck->setEnabled(true);
        lbStatus->setText(QStringLiteral("Checked %1 hosts.").arg(FChecked.size()));
        FTable->resizeColumnToContents(coChecked);
    } else {
        lbStatus->setText(QStringLiteral("Checking: %1 to go...").arg(FPending));
    }
}

void TDirectoryWindow::ExportHosts()
{
    bool links = false, passwords = false;
    if (!AskExport(this, links, passwords)) return;
    const QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Export Hosts"),
                                     links ? QStringLiteral("hosts.txt") : QStringLiteral("syncterm.lst"),
                                     links ? QStringLiteral("Lists of links (*.txt);;All files (*)")
                                           : QStringLiteral("SyncTERM directories (*.lst);;All files (*)"));
    if (path.isEmpty()) return;
    const std::vector<THostRecord> records = ReadHostDirectory(FHosts);
    const std::string text = links ? ExportHostLinks(records) : ExportSyncTermList(records, passwords);
    if (!WriteFileAtomically(path.toLocal8Bit().toStdString(), text, 0600))
        ShowMessage(this, QMessageBox::Critical, windowTitle(), QStringLiteral("Cannot write %1.").arg(path));
    else
        lbStatus->setText(QStringLiteral("Exported %1 hosts.").arg(records.size()));
}
