// The program's help: HTML pages built into the program, shown in a help window, and
// F1 opening the page of whatever window or menu the user is in.
//
// Windows, dialogs, menus and menu items name their topic with the dynamic property
// "helpContext" (an int, see HelpContexts()). F1 walks from the focused widget, or the
// open menu's highlighted item, up through the parents to the first that has one.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <span>

class QApplication;
class THelpWindow;

struct THelpContext
{
    int Context;
    const char *Page; // page in the help resource, may carry an #anchor
};

class THelpSystem : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *ContextProperty = "helpContext";
    static constexpr int MainWindowContext = 2; // what F1 shows when nothing names a topic
    static constexpr int HelpMenuContext = 11;  // the Help menu and the help window itself
    static constexpr int HistoryContext = 25;   // the history and Edit "Clear History..."

    explicit THelpSystem(QObject *parent = nullptr);
    ~THelpSystem() override;

    void ShowContents();
    // The window with its search box focused.
    void ShowSearch();
    void ShowHelpOnHelp();
    // The topic of a help context; an unknown context shows the contents.
    void ShowContext(int context);
    // Closes the help window (the program is ending).
    void Quit();
    // Makes plain F1 anywhere in the application open the topic of where the user is.
    // No action may carry F1 as its shortcut, or it would take the key first.
    void InstallF1(QApplication &app);

    // The topic where `start` is: its own "helpContext" or that of the nearest parent
    // that has one (for a menu, its highlighted item's first); MainWindowContext
    // when there is none.
    static int ContextOf(QObject *start);
    // Help contexts and their pages.
    static std::span<const THelpContext> HelpContexts();
    // The page of a context, "index.html" for an unknown one.
    static QString PageForContext(int context);

    // The help window, or nullptr before help was first shown and after Quit.
    THelpWindow *Window() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    THelpWindow &Open();

    QPointer<THelpWindow> HelpWindow;
};
