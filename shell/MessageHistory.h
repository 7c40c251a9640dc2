// The Messages pane: every express message of the session, newest last, with a filter
// box, copying and saving as text. It keeps the last Capacity messages.
#pragma once

#include <QDateTime>
#include <QDockWidget>

class QLineEdit;
class QTreeWidget;

class TMessageHistory : public QDockWidget
{
    Q_OBJECT

public:
    static constexpr int Capacity = 500;

    explicit TMessageHistory(QWidget *parent = nullptr);

    void Add(const QDateTime &when, const QString &author, const QString &text);
    int Count() const;
    // The messages as text, one a paragraph ("HH:MM:SS author: text"); only the rows
    // the filter shows, or only the selected ones.
    QString Text(bool selectedOnly) const;
    // Writes Text(false) to a file (UTF-8); false with a reason when it could not.
    bool SaveTo(const QString &path, QString *error) const;
    QLineEdit *FilterBox() const { return edFilter; }
    QTreeWidget *List() const { return lvMessages; }

private:
    void ApplyFilter();
    void CopySelection();
    void SaveAs();

    QLineEdit *edFilter;
    QTreeWidget *lvMessages;
};
