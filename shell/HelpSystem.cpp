#include "shell/HelpSystem.h"

#include "shell/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

namespace {

constexpr THelpContext Contexts[] = {
    {THelpSystem::MainWindowContext, "terminal.html"},
    {3, "connecting.html"},         // File menu
    {4, "hosts.html"},              // Setup Hosts dialog
    {5, "edit.html"},               // Edit menu
    {6, "palette.html"},            // colour palette
    {7, "preferences.html"},        // Options menu
    {8, "preferences.html#dialog"}, // Preferences dialog
    {9, "userfilter.html"},         // User Filter dialog
    {10, "macros.html"},            // Macro Editor
    {THelpSystem::HelpMenuContext, "usinghelp.html"},
    {12, "preferences.html#font"}, // font dialog
    {13, "offline.html"},          // the terminal while an edit is open
    {14, "extras.html#find"},      // the find bar
    {15, "extras.html#messages"},  // the Messages pane and the View menu
    {16, "extras.html#capture"},   // Capture to File
    {17, "preferences.html#accessibility"}, // the Preferences' Accessibility page
    {30, "transfers.html"},                 // file transfers and their panel
};

int OwnContext(const QObject *o)
{
    bool ok = false;
    const int context = o->property(THelpSystem::ContextProperty).toInt(&ok);
    return ok && context > 0 ? context : 0;
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
    delete HelpWindow;
}

std::span<const THelpContext> THelpSystem::HelpContexts()
{
    return Contexts;
}

QString THelpSystem::PageForContext(int context)
{
    for (const THelpContext &c : Contexts)
        if (c.Context == context) return QString::fromLatin1(c.Page);
    return QStringLiteral("index.html");
}

int THelpSystem::ContextOf(QObject *start)
{
    for (QObject *o = start; o; o = o->parent()) {
        QAction *active = nullptr;
        if (auto *menu = qobject_cast<QMenu *>(o))
            active = menu->activeAction();
        else if (auto *bar = qobject_cast<QMenuBar *>(o))
            active = bar->activeAction();
        if (active)
            if (int context = OwnContext(active)) return context;
        if (int context = OwnContext(o)) return context;
    }
    return MainWindowContext;
}

THelpWindow &THelpSystem::Open()
{
    if (!HelpWindow) {
        HelpWindow = new THelpWindow;
        HelpWindow->setProperty(ContextProperty, HelpMenuContext);
    }
    // A modal dialog blocks every window but its own children: making the help window
    // transient for the dialog keeps it usable while the dialog is open.
    HelpWindow->winId();
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == HelpWindow) modal = nullptr;
    HelpWindow->windowHandle()->setTransientParent(modal ? modal->windowHandle() : nullptr);
    HelpWindow->show();
    HelpWindow->raise();
    HelpWindow->activateWindow();
    return *HelpWindow;
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
    ShowContext(HelpMenuContext);
}

void THelpSystem::ShowContext(int context)
{
    Open().ShowPage(PageForContext(context));
}

void THelpSystem::Quit()
{
    delete HelpWindow;
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
    const int context = ContextOf(start);
    ClosePopups();
    ShowContext(context);
    return true;
}

THelpWindow *THelpSystem::Window() const
{
    return HelpWindow;
}
