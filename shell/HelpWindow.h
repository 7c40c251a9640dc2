// The help window: the help pages in a browser with Back, Forward, Home, Contents and
// a search over all pages. Top-level and non-modal; it remembers nothing on disk.
#pragma once

#include "shell/HelpIndex.h"

#include <QMainWindow>
#include <QUrl>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTextBrowser;

class THelpWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Where the pages live in the program's resources.
    static constexpr const char *PagePrefix = "qrc:/help/";

    explicit THelpWindow(QWidget *parent = nullptr);

    // Opens a page of the help ("edit.html", "preferences.html#font").
    void ShowPage(const QString &page);
    // Shows the search box with the keyboard in it.
    void ShowSearch();

    QUrl Source() const;
    // The shown page's title.
    QString Title() const;
    // The names of all help pages.
    static QStringList Pages();

private:
    void Search(const QString &query);
    void OpenResult(QListWidgetItem *item);
    void SourceChanged();
    void BuildIndex();

    QTextBrowser *FBrowser;
    QWidget *FSearchPanel;
    QLineEdit *FSearchBox;
    QLabel *FSearchStatus;
    QListWidget *FResults;
    QAction *FSearchAction;
    QString FLastQuery;
    THelpIndex FIndex;
};
