// The program's help: HTML pages built into the program, shown in a help window, and
// F1 opening the page of whatever window or menu the user is in.
//
// Windows, dialogs, menus and menu items name their topic with the dynamic property
// HelpTopicProperty (config/HelpTopic.h). F1 walks from the focused widget, or the open
// menu's highlighted item, up through the parents to the first that has one.
#pragma once

#include "config/HelpTopic.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <span>

class QApplication;
class THelpWindow;

struct THelpContext
{
    THelpTopic Topic;
    const char *Page; // page in the help resource, may carry an #anchor
};

// Names the help topic of a window, dialog, menu or menu item.
void SetHelpTopic(QObject *object, THelpTopic topic);

class THelpSystem : public QObject
{
    Q_OBJECT

public:
    explicit THelpSystem(QObject *parent = nullptr);
    ~THelpSystem() override;

    void ShowContents();
    // The window with its search box focused.
    void ShowSearch();
    void ShowHelpOnHelp();
    // The page of a topic; an unknown one shows the contents.
    void ShowContext(THelpTopic topic);
    // Closes the help window (the program is ending).
    void Quit();
    // Makes plain F1 anywhere in the application open the topic of where the user is.
    // No action may carry F1 as its shortcut, or it would take the key first.
    void InstallF1(QApplication &app);

    // The topic where `start` is: its own or that of the nearest parent that has one (for
    // a menu, its highlighted item's first); the main window's when there is none.
    static THelpTopic ContextOf(QObject *start);
    // Help topics and their pages.
    static std::span<const THelpContext> HelpContexts();
    // The page of a topic, "index.html" for an unknown one.
    static QString PageForContext(THelpTopic topic);

    // The help window, or nullptr before help was first shown and after Quit.
    THelpWindow *Window() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    THelpWindow &Open();

    QPointer<THelpWindow> FHelpWindow;
};
