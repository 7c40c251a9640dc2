#include "shell/HelpSystem.h"

#include "shell/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

namespace {

using T = THelpTopic;
constexpr THelpContext Contexts[] = {
    {T::MainWindow, "terminal.html"},
    {T::FileMenu, "connecting.html"},
    {T::SetupHosts, "hosts.html"},
    {T::EditMenu, "edit.html"},
    {T::Palette, "palette.html"},
    {T::OptionsMenu, "preferences.html"},
    {T::Preferences, "preferences.html#dialog"},
    {T::UserFilter, "userfilter.html"},
    {T::Macros, "macros.html"},
    {T::HelpMenu, "usinghelp.html"},
    {T::Font, "preferences.html#font"},
    {T::OfflineEditor, "offline.html"}, // the terminal while an edit is open
    {T::Find, "extras.html#find"},
    {T::Messages, "extras.html#messages"}, // the Messages pane and the View menu
    {T::Capture, "extras.html#capture"},
    {T::Accessibility, "preferences.html#accessibility"}, // the Preferences' Accessibility page
    {T::Transfers, "transfers.html"},                     // file transfers and their panel
    {T::History, "terminal.html#history"},
    {T::Directory, "directory.html"},
    {T::Highlights, "highlights.html"},
    {T::ArtViewer, "artviewer.html"},
};

THelpTopic OwnTopic(const QObject *o)
{
    bool ok = false;
    const int topic = o->property(HelpTopicProperty).toInt(&ok);
    return ok && topic > 0 && topic <= 255 ? THelpTopic(topic) : THelpTopic::None;
}

// Menus hold the keyboard while open and would leave the help window unusable.
void ClosePopups()
{
    for (int guard = 0; guard < 16; ++guard) {
        QWidget *popup = QApplication::activePopupWidget();
        if (!popup) break;
        popup->close();
    }
}

} // namespace

THelpSystem::THelpSystem(QObject *parent) : QObject(parent)
{
}

THelpSystem::~THelpSystem()
{
    delete FHelpWindow;
}

std::span<const THelpContext> THelpSystem::HelpContexts()
{
    return Contexts;
}

void SetHelpTopic(QObject *object, THelpTopic topic)
{
    object->setProperty(HelpTopicProperty, int(topic));
}

QString THelpSystem::PageForContext(THelpTopic topic)
{
    for (const THelpContext &c : Contexts)
        if (c.Topic == topic) return QString::fromLatin1(c.Page);
    return QStringLiteral("index.html");
}

THelpTopic THelpSystem::ContextOf(QObject *start)
{
    for (QObject *o = start; o; o = o->parent()) {
        QAction *active = nullptr;
        if (auto *menu = qobject_cast<QMenu *>(o))
            active = menu->activeAction();
        else if (auto *bar = qobject_cast<QMenuBar *>(o))
            active = bar->activeAction();
        if (active)
            if (THelpTopic topic = OwnTopic(active); topic != THelpTopic::None) return topic;
        if (THelpTopic topic = OwnTopic(o); topic != THelpTopic::None) return topic;
    }
    return THelpTopic::MainWindow;
}

THelpWindow &THelpSystem::Open()
{
    if (!FHelpWindow) {
        FHelpWindow = new THelpWindow;
        SetHelpTopic(FHelpWindow, THelpTopic::HelpMenu);
    }
    // A modal dialog blocks every window but its own children: making the help window
    // transient for the dialog keeps it usable while the dialog is open.
    FHelpWindow->winId();
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == FHelpWindow) modal = nullptr;
    FHelpWindow->windowHandle()->setTransientParent(modal ? modal->windowHandle() : nullptr);
    FHelpWindow->show();
    FHelpWindow->raise();
    FHelpWindow->activateWindow();
    return *FHelpWindow;
}

void THelpSystem::ShowContents()
{
    Open().ShowPage(QStringLiteral("index.html"));
}

void THelpSystem::ShowSearch()
{
    Open().ShowSearch();
}

void THelpSystem::ShowHelpOnHelp()
{
    ShowContext(THelpTopic::HelpMenu);
}

void THelpSystem::ShowContext(THelpTopic topic)
{
    Open().ShowPage(PageForContext(topic));
}

void THelpSystem::Quit()
{
    delete FHelpWindow;
}

void THelpSystem::InstallF1(QApplication &app)
{
    app.installEventFilter(this);
}

bool THelpSystem::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress) return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    // Shift and Control with F1 are function-key macros; only F1 alone is help.
    if ((key->key() != Qt::Key_F1 && key->key() != Qt::Key_Help) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
        return false;
    // An open menu holds the keyboard; otherwise the receiver is the focused widget,
    // unless the event is still on its way there through the window.
    QObject *start = QApplication::activePopupWidget();
    if (!start) start = qobject_cast<QWidget *>(watched);
    if (!start) start = QApplication::focusWidget();
    if (!start) start = QApplication::activeModalWidget();
    if (!start) start = QApplication::activeWindow();
    const THelpTopic topic = ContextOf(start);
    ClosePopups();
    ShowContext(topic);
    return true;
}

THelpWindow *THelpSystem::Window() const
{
    return FHelpWindow;
}
