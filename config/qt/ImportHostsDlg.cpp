#include "config/qt/ImportHostsDlg.h"

#include "config/qt/DialogUtil.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

enum TColumn { coImport, coName, coAddress, coConnection, coNote, coCount };

QString ConnectionText(const THostSettings &h)
{
    const char *kind = h.Transport == THostTransport::Ssh   ? "SSH"
                       : h.Transport == THostTransport::Tls ? "Telnet over TLS"
                                                            : "Telnet";
    return QString::fromLatin1(kind);
}

QTableWidgetItem *Cell(const QString &text, bool editable = false)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

TImportHostsDlg::TImportHostsDlg(THostInfo &hosts, TImportFile file, const QString &fileName, QWidget *parent)
    : QDialog(parent), FHosts(hosts), FFile(std::move(file))
{
    setObjectName(QStringLiteral("ImportHostsDlg"));
    setWindowTitle(QStringLiteral("Import Hosts"));
    SetHelpContext(this, THelpTopic::Directory);
    auto *layout = new QVBoxLayout(this);
    lbSummary = new QLabel(this);
    lbSummary->setTextFormat(Qt::PlainText);
    lbSummary->setWordWrap(true);
    layout->addWidget(lbSummary);

    FTable = new QTableWidget(0, coCount, this);
    FTable->setObjectName(QStringLiteral("lbEntries"));
    FTable->setHorizontalHeaderLabels({QStringLiteral("Import"), QStringLiteral("Save as"),
                                       QStringLiteral("Address"), QStringLiteral("Connection"),
                                       QStringLiteral("Note")});
    FTable->verticalHeader()->hide();
    FTable->horizontalHeader()->setStretchLastSection(true);
    FTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    layout->addWidget(FTable, 1);

    cbPasswords = new QCheckBox(QStringLiteral("Import &passwords"), this);
    cbPasswords->setObjectName(QStringLiteral("cbPasswords"));
    layout->addWidget(cbPasswords);
    auto *note =
        new QLabel(QStringLiteral("The settings file keeps passwords as plain text: anyone who can read "
                                  "the file can read them. Without them, the program asks when it "
                                  "needs one."),
                   this);
    note->setWordWrap(true);
    layout->addWidget(note);

    const TDialogButtons buttons = AddDialogButtons(this, layout);
    buttons.OKBtn->setText(QStringLiteral("&Import"));
    connect(buttons.OKBtn, &QPushButton::clicked, this, &TImportHostsDlg::accept);
    // A renamed entry is planned again: a name taken meanwhile becomes "NAME (2)".
    connect(FTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == coName) Fill();
    });

    FPlan = PlanImport(FHosts, FFile.Entries);
    Fill();
    resize(760, 420);
    CentreOverOwner(this, parent);
    // Wider than a small main window: kept on the screen.
    if (const QScreen *screen = this->screen()) {
        const QRect a = screen->availableGeometry();
        move(std::clamp(x(), a.left(), std::max(a.left(), a.right() - width())),
             std::clamp(y(), a.top(), std::max(a.top(), a.bottom() - height())));
    }
    setWindowTitle(QStringLiteral("Import Hosts from %1").arg(fileName));
}

std::vector<std::string> TImportHostsDlg::WantedNames() const
{
    std::vector<std::string> wanted(FFile.Entries.size());
    for (int row = 0; row < FTable->rowCount(); ++row)
        if (QTableWidgetItem *name = FTable->item(row, coName))
            wanted[size_t(row)] = TextToBytes(name->text());
    return wanted;
}

void TImportHostsDlg::Fill()
{
    if (FTable->rowCount() == int(FFile.Entries.size()))
        FPlan = PlanImport(FHosts, FFile.Entries, WantedNames());
    const QSignalBlocker quiet(FTable);
    std::vector<bool> ticked(FFile.Entries.size(), true);
    for (int row = 0; row < FTable->rowCount(); ++row)
        ticked[size_t(row)] = FTable->item(row, coImport)->checkState() == Qt::Checked;
    FTable->setRowCount(int(FFile.Entries.size()));
    int usable = 0, withPassword = 0;
    for (const TImportPlan &p : FPlan) {
        const TImportEntry &e = FFile.Entries[p.Entry];
        const int row = int(p.Entry);
        const bool use = !p.SaveAs.empty();
        auto *tick = Cell(QString());
        tick->setFlags(use ? (tick->flags() | Qt::ItemIsUserCheckable) : Qt::NoItemFlags);
        tick->setCheckState(use && ticked[p.Entry] ? Qt::Checked : Qt::Unchecked);
        FTable->setItem(row, coImport, tick);
        FTable->setItem(row, coName, Cell(BytesToText(use ? p.SaveAs : e.Name), use));
        FTable->setItem(row, coAddress,
                        Cell(BytesToText(e.Host.Address + (e.Host.Port.empty() ? "" : ":" + e.Host.Port))));
        FTable->setItem(row, coConnection, Cell(ConnectionText(e.Host)));
        std::string note = use ? e.Note : "Skipped: " + p.Skipped;
        if (use && p.SaveAs != e.Name && !e.Name.empty())
            note = "\"" + e.Name + "\" is taken" + (note.empty() ? "" : "; " + note);
        FTable->setItem(row, coNote, Cell(QStringLiteral("line %1: ").arg(e.Line) + BytesToText(note)));
        for (int c = 0; c < coCount && !use; ++c)
            FTable->item(row, c)->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
        usable += use;
        withPassword += use && !e.Host.Password.empty();
    }
    FTable->resizeColumnsToContents();
    lbSummary->setText(
        QStringLiteral("%1 entries in this %2; %3 can be added. A host you have saved is never "
                       "changed; a name already taken gets a number.")
            .arg(FFile.Entries.size())
            .arg(QString::fromLatin1(ImportFormatName(FFile.Format)))
            .arg(usable));
    cbPasswords->setEnabled(withPassword > 0);
    cbPasswords->setText(withPassword
                             ? QStringLiteral("Import &passwords (%1 entries have one)").arg(withPassword)
                             : QStringLiteral("Import &passwords (none in this file)"));
}

void TImportHostsDlg::accept()
{
    FPlan = PlanImport(FHosts, FFile.Entries, WantedNames());
    std::vector<size_t> chosen;
    for (const TImportPlan &p : FPlan)
        if (!p.SaveAs.empty() && FTable->item(int(p.Entry), coImport)->checkState() == Qt::Checked)
            chosen.push_back(p.Entry);
    if (chosen.empty()) {
        QDialog::reject();
        return;
    }
    if (!ApplyImport(FHosts, FFile.Entries, FPlan, cbPasswords->isChecked(), chosen)) {
        ReportSaveFailure(this, FHosts.IniFileName());
        return;
    }
    FAdded = int(chosen.size());
    QDialog::accept();
}
