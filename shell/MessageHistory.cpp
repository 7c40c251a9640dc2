#include "shell/MessageHistory.h"

#include "shell/HelpSystem.h"
#include "shell/PlainText.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTreeWidget>

namespace {

// Where an item keeps what the columns do not show.
constexpr int AuthorRole = Qt::UserRole;
constexpr int UnreadRole = Qt::UserRole + 1;
constexpr int OutgoingRole = Qt::UserRole + 2;

QString AuthorOf(const QTreeWidgetItem *item)
{
    return item->data(0, AuthorRole).toString();
}

} // namespace

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
    btReply = new QPushButton(tr("&Reply..."), body);
    btReply->setObjectName(QStringLiteral("btReply"));
    btReply->setToolTip(tr("Write an express message to this user"));
    auto *copy = new QPushButton(tr("&Copy"), body);
    auto *save = new QPushButton(tr("&Save..."), body);
    auto *split = new QSplitter(Qt::Vertical, body);
    lvThreads = new QListWidget(split);
    lvThreads->setObjectName(QStringLiteral("lvThreads"));
    lvThreads->setAccessibleName(tr("Conversations"));
    lvMessages = new QTreeWidget(split);
    lvMessages->setObjectName(QStringLiteral("lvMessages"));
    lvMessages->setAccessibleName(tr("Express messages"));
    lvMessages->setHeaderLabels({tr("Time"), tr("From"), tr("Message")});
    lvMessages->setRootIsDecorated(false);
    lvMessages->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvMessages->setWordWrap(true);
    lvMessages->header()->setStretchLastSection(true);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    auto *copyKey = new QAction(lvMessages);
    copyKey->setShortcut(QKeySequence::Copy);
    copyKey->setShortcutContext(Qt::WidgetShortcut);
    lvMessages->addAction(copyKey);

    auto *top = new QHBoxLayout;
    top->addWidget(edFilter, 1);
    top->addWidget(btReply);
    top->addWidget(copy);
    top->addWidget(save);
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    layout->addWidget(split);
    setWidget(body);
    FillThreads();

    connect(edFilter, &QLineEdit::textChanged, this, &TMessageHistory::ApplyFilter);
    connect(lvThreads, &QListWidget::currentRowChanged, this, &TMessageHistory::ThreadChosen);
    connect(lvThreads, &QListWidget::itemActivated, this, &TMessageHistory::Reply);
    connect(lvMessages, &QTreeWidget::itemSelectionChanged, this,
            [this] { btReply->setEnabled(!ReplyAuthor().isEmpty()); });
    connect(btReply, &QPushButton::clicked, this, &TMessageHistory::Reply);
    connect(copy, &QPushButton::clicked, this, &TMessageHistory::CopySelection);
    connect(copyKey, &QAction::triggered, this, &TMessageHistory::CopySelection);
    connect(save, &QPushButton::clicked, this, &TMessageHistory::SaveAs);
}

QTreeWidgetItem *TMessageHistory::MakeItem(const QDateTime &when, const QString &author, const QString &text,
                                           bool outgoing, bool unread)
{
    const QString shown = outgoing ? tr("to %1").arg(author) : author;
    auto *item = new QTreeWidgetItem({when.toString(QStringLiteral("HH:mm:ss")), shown, text});
    item->setToolTip(0, when.toString(Qt::TextDate));
    item->setToolTip(2, PlainToolTip(text));
    item->setData(0, AuthorRole, author);
    item->setData(0, UnreadRole, unread && !outgoing);
    item->setData(0, OutgoingRole, outgoing);
    lvMessages->addTopLevelItem(item);
    while (lvMessages->topLevelItemCount() > Capacity)
        delete lvMessages->takeTopLevelItem(0);
    if (lvMessages->topLevelItemCount() == 1) {
        lvMessages->resizeColumnToContents(0);
        lvMessages->resizeColumnToContents(1);
    }
    return item;
}

void TMessageHistory::Add(const QDateTime &when, const QString &author, const QString &text, bool outgoing)
{
    // Only opening a user's thread reads it; a message without an author has no thread.
    const bool seen = author.isEmpty() || (isVisible() && FThread == author);
    QTreeWidgetItem *item = MakeItem(when, author, text, outgoing, !seen);
    ApplyFilter();
    FillThreads();
    if (!item->isHidden()) lvMessages->scrollToItem(item);
    emit UnreadChanged(Unread());
}

void TMessageHistory::AddRead(const QDateTime &when, const QString &author, const QString &text,
                              bool outgoing)
{
    MakeItem(when, author, text, outgoing, false);
}

void TMessageHistory::Clear()
{
    lvMessages->clear();
    FThread.clear();
    ApplyFilter();
    FillThreads();
    emit UnreadChanged(0);
}

int TMessageHistory::Count() const
{
    return lvMessages->topLevelItemCount();
}

QStringList TMessageHistory::Threads() const
{
    QStringList names; // newest first: walk from the newest message
    for (int i = lvMessages->topLevelItemCount() - 1; i >= 0; --i) {
        const QString a = AuthorOf(lvMessages->topLevelItem(i));
        if (!a.isEmpty() && !names.contains(a)) names << a;
    }
    return names;
}

int TMessageHistory::Unread(const QString &author) const
{
    int n = 0;
    for (int i = 0; i < lvMessages->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = lvMessages->topLevelItem(i);
        if (item->data(0, UnreadRole).toBool() && (author.isEmpty() || AuthorOf(item) == author)) ++n;
    }
    return n;
}

void TMessageHistory::FillThreads()
{
    // Rebuilt whole: a host has few correspondents, and the counts change with every message.
    FFilling = true;
    lvThreads->clear();
    const auto add = [this](const QString &author, const QString &caption, int unread) {
        auto *item = new QListWidgetItem(unread ? tr("%1 (%2 new)").arg(caption).arg(unread) : caption);
        item->setData(AuthorRole, author);
        QFont font = item->font();
        font.setBold(unread > 0);
        item->setFont(font);
        lvThreads->addItem(item);
        if (author == FThread) lvThreads->setCurrentItem(item);
    };
    add(QString(), tr("All messages"), Unread());
    for (const QString &a : Threads())
        add(a, a, Unread(a));
    if (!lvThreads->currentItem()) {
        FThread.clear();
        lvThreads->setCurrentRow(0);
    }
    FFilling = false;
    btReply->setEnabled(!ReplyAuthor().isEmpty());
}

void TMessageHistory::ThreadChosen()
{
    if (FFilling || !lvThreads->currentItem()) return;
    FThread = lvThreads->currentItem()->data(AuthorRole).toString();
    ApplyFilter();
    MarkShownRead();
}

void TMessageHistory::OpenThread(const QString &author)
{
    FThread = author;
    ApplyFilter();
    FillThreads();
    MarkShownRead();
}

void TMessageHistory::MarkShownRead()
{
    if (FThread.isEmpty() || !isVisible()) return;
    bool changed = false;
    for (int i = 0; i < lvMessages->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lvMessages->topLevelItem(i);
        if (item->data(0, UnreadRole).toBool() && AuthorOf(item) == FThread) {
            item->setData(0, UnreadRole, false);
            changed = true;
        }
    }
    if (!changed) return;
    // Not from inside the list's own signal: rebuilding it there would pull the rug.
    QMetaObject::invokeMethod(
        this, [this] { FillThreads(); }, Qt::QueuedConnection);
    emit UnreadChanged(Unread());
}

void TMessageHistory::showEvent(QShowEvent *e)
{
    QDockWidget::showEvent(e);
    MarkShownRead();
}

QString TMessageHistory::ReplyAuthor() const
{
    if (!FThread.isEmpty()) return FThread;
    const QList<QTreeWidgetItem *> chosen = lvMessages->selectedItems();
    return chosen.size() == 1 ? AuthorOf(chosen.front()) : QString();
}

void TMessageHistory::Reply()
{
    const QString author = ReplyAuthor();
    if (!author.isEmpty()) emit ReplyWanted(author);
}

void TMessageHistory::ApplyFilter()
{
    const QString f = edFilter->text();
    QTreeWidgetItem *last = nullptr;
    for (int i = 0; i < lvMessages->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = lvMessages->topLevelItem(i);
        const bool inThread = FThread.isEmpty() || AuthorOf(item) == FThread;
        const bool matches = f.isEmpty() || item->text(1).contains(f, Qt::CaseInsensitive) ||
                             item->text(2).contains(f, Qt::CaseInsensitive);
        item->setHidden(!inThread || !matches);
        if (!item->isHidden()) last = item;
    }
    if (last) lvMessages->scrollToItem(last);
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
