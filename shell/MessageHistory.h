// The Messages pane: the express messages of the host, kept across sessions, as
// conversations. The thread list above names each user who wrote, newest first, with the
// count of messages not yet read; the list below shows the chosen thread (or all), newest
// last, with a filter box, copying and saving as text. Reply asks the window to open an
// express message to the thread's user.
#pragma once

#include <QDateTime>
#include <QDockWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TMessageHistory : public QDockWidget
{
    Q_OBJECT

public:
    static constexpr int Capacity = 1000;

    explicit TMessageHistory(QWidget *parent = nullptr);

    // A message; unread unless the pane shows its thread right now.
    void Add(const QDateTime &when, const QString &author, const QString &text, bool outgoing = false);
    // Forgets every message (another host's history is about to be loaded).
    void Clear();
    // Loads kept messages, all read.
    void AddRead(const QDateTime &when, const QString &author, const QString &text, bool outgoing);
    int Count() const;
    // The users with a thread, newest first, and how many of a thread's messages are unread
    // (all threads' for an empty name).
    QStringList Threads() const;
    int Unread(const QString &author = QString()) const;
    // Shows one user's thread (empty: every message); a user's thread shown is read.
    void OpenThread(const QString &author);
    // The user the thread shown is with: Reply writes to them (empty for all messages,
    // unless one message is selected).
    QString ReplyAuthor() const;
    // The messages as text, one a paragraph ("HH:MM:SS author: text"); only the rows
    // the filter and thread show, or only the selected ones.
    QString Text(bool selectedOnly) const;
    // Writes Text(false) to a file (UTF-8); false with a reason when it could not.
    bool SaveTo(const QString &path, QString *error) const;
    QLineEdit *FilterBox() const { return edFilter; }
    QTreeWidget *List() const { return lvMessages; }
    QListWidget *ThreadList() const { return lvThreads; }

signals:
    // The user wants to write to this user.
    void ReplyWanted(const QString &author);
    // The count of unread messages changed.
    void UnreadChanged(int unread);

protected:
    void showEvent(QShowEvent *e) override;

private:
    QTreeWidgetItem *MakeItem(const QDateTime &when, const QString &author, const QString &text,
                              bool outgoing, bool unread);
    void ApplyFilter();
    void FillThreads();
    void MarkShownRead();
    void ThreadChosen();
    void CopySelection();
    void SaveAs();
    void Reply();

    QLineEdit *edFilter;
    QListWidget *lvThreads;
    QTreeWidget *lvMessages;
    QPushButton *btReply;
    QString FThread; // the user whose thread is shown; empty: all
    bool FFilling = false;
};
