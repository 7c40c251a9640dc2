#include "shell/MessageHistory.h"

#include "shell/PlainText.h"

#include "shell/HelpSystem.h"
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>

TMessageHistory::TMessageHistory(QWidget *parent) : QDockWidget(tr("Messages"), parent)
{
    setObjectName(QStringLiteral("MessageHistory"));
    SetHelpTopic(this, THelpTopic::Messages);
    auto *body = new QWidget(this);
    edFilter = new QLineEdit(body);
    edFilter->setObjectName(QStringLiteral("edFilter"));
    edFilter->setPlaceholderText(tr("Filter"));
    edFilter->setAccessibleName(tr("Filter messages"));
    edFilter->setClearButtonEnabled(true);
    auto *copy = new QPushButton(tr("&Copy"), body);
    auto *save = new QPushButton(tr("&Save..."), body);
    lvMessages = new QTreeWidget(body);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setAccessibleName(tr("Express messages"));
    lvMessages->setHeaderLabels({tr("Time"), tr("From"), tr("Message")});
    lvMessages->setRootIsDecorated(false);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->setWordWrap(true);
    lvMessages->header()->setStretchLastSection(true);
    auto *copyKey = new QAction(lvMessages);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetShortcut);
    lvMessages->addAction(copyKey);

    auto *top = new QHBoxLayout;
    top->addWidget(edFilter, 1);
    top->addWidget(copy);
    top->addWidget(save);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(lvMessages);
    setWidget(body);

    connect(edFilter, &QLineEdit::textChanged, this, &TMessageHistory::ApplyFilter);
    connect(copy, &QPushButton::clicked, this, &TMessageHistory::CopySelection);
    connect(copyKey, &QAction::triggered, this, &TMessageHistory::CopySelection);
    connect(save, &QPushButton::clicked, this, &TMessageHistory::SaveAs);
}

void TMessageHistory::Add(const QDateTime &when, const QString &author, const QString &text)
{
    auto *item = new QTreeWidgetItem({when.toString(QStringLiteral("HH:mm:ss")), author, text});
    item->setToolTip(2, PlainToolTip(text));
    lvMessages->addTopLevelItem(item);
    while (lvMessages->topLevelItemCount() > Capacity)
        delete lvMessages->takeTopLevelItem(0);
    const QString f = edFilter->text();
    item->setHidden(!f.isEmpty() && !author.contains(f, Qt::CaseInsensitive) &&
                    !text.contains(f, Qt::CaseInsensitive));
    if (!item->isHidden()) lvMessages->scrollToItem(item);
    if (lvMessages->topLevelItemCount() == 1) {
        lvMessages->resizeColumnToContents(0);
        lvMessages->resizeColumnToContents(1);
    }
}

int TMessageHistory::Count() const
{
    return lvMessages->topLevelItemCount();
}

void TMessageHistory::ApplyFilter()
{
    const QString f = edFilter->text();
    for (int i = 0; i < lvMessages->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lvMessages->topLevelItem(i);
        item->setHidden(!f.isEmpty() && !item->text(1).contains(f, Qt::CaseInsensitive) &&
                        !item->text(2).contains(f, Qt::CaseInsensitive));
    }
}

QString TMessageHistory::Text(bool selectedOnly) const
{
    QString out;
    for (int i = 0; i < lvMessages->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lvMessages->topLevelItem(i);
        if (item->isHidden() || (selectedOnly && !item->isSelected())) continue;
        out += item->text(0) + QLatin1Char(' ') + item->text(1) + QStringLiteral(": ") + item->text(2) +
               QStringLiteral("\n\n");
    }
    return out;
}

void TMessageHistory::CopySelection()
{
    const bool any = !lvMessages->selectedItems().isEmpty();
    QApplication::clipboard()->setText(Text(any));
}

bool TMessageHistory::SaveTo(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Text(false).toUtf8()) < 0 || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void TMessageHistory::SaveAs()
{
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save Messages"), QStringLiteral("messages.txt"), tr("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!SaveTo(path, &error))
        ShowPlainMessage(this, QMessageBox::Warning, tr("Save Messages"),
                         tr("The messages could not be saved: %1").arg(error));
}
