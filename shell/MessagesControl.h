// The window's express messages: the Messages pane (made when first used), the log kept
// per host, notices while the window is in the background, and replies typed ahead into
// the BBS's prompts.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QMainWindow;
class TClientPrefs;
class TColorTTYWidget;
class TMessageHistory;
class TMessageLog;
class TNotifier;
class TSession;

class TMessagesControl
{
public:
    struct TParts
    {
        QMainWindow &Window;
        TColorTTYWidget &Tty;
        TSession &Session;
        const TClientPrefs &Prefs;
        std::function<TNotifier *()> Notifier;
        std::function<void(const QString &text)> Status;
        std::function<void()> Changed; // the pane was shown, hidden or its unread count moved
        std::function<void(const std::function<void()> &handler)> Guarded;
    };
    explicit TMessagesControl(TParts parts);
    ~TMessagesControl();

    // Null until first used.
    TMessageHistory *Pane() const { return FPane; }
    // View "Messages": shows or hides the pane.
    void Toggle();
    void Arrived(const std::string &author, const std::string &text);
    // A connection came up: the pane shows the kept messages of its host.
    void Load();
    // Opens an express message to this user (typed ahead into the BBS's prompts); false,
    // with a word in the status line, when the connection cannot take one now.
    bool Reply(const QString &author);

private:
    TMessageHistory &Made();

    TParts FParts;
    TMessageHistory *FPane = nullptr;
    std::unique_ptr<TMessageLog> FLog;
    std::string FHost; // whose messages the pane holds
};
