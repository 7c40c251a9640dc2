// What the owner of a session (the window, the replay tool, a test) hears from it. Every
// call comes from the session's own handlers or from a command the owner gave; none asks
// the owner to call back in before it returns.
#pragma once

#include "config/SetHost.h"
#include "session/SessionState.h"
#include "session/Transport.h"

#include <functional>
#include <optional>
#include <string>

struct THighlightEvent;
struct TTransferProgress;
struct TTransferResult;

class TSessionListener
{
public:
    virtual ~TSessionListener() = default;
    // The state changed, or something shown with it did: the reconnect offer, or a whole
    // second of a reconnect countdown went by.
    virtual void SessionStateChanged(TSessionState state) = 0;
    // A text for the status line (" Connected to 127.0.0.1.").
    virtual void SessionStatus(const std::string &text) = 0;
    // A connection to host is about to open: the screen may be sized for it now (its size
    // goes out with the connection).
    virtual void SessionSizeScreen(const THostSettings &host) { (void)host; }
    // A reconnect to last, the host of the lost connection, starts: the host as its store
    // holds it now.
    virtual THostSettings SessionReconnectHost(const THostSettings &last) { return last; }
    // Text the terminal model has just been given (NUL-terminated, as the engine gave it).
    virtual void SessionOutput(const char *text) { (void)text; }
    // A trace text of the engine for the debug pane.
    virtual void SessionDebug(const std::string &text) { (void)text; }
    // An edit of the offline editor opened or closed; delivered from the event loop after
    // the engine call that opened or closed it.
    virtual void SessionEditState(bool open) { (void)open; }
    // An express message the user filter let through: its author (may be empty) and text,
    // both as the terminal got them.
    virtual void SessionExpressMessage(const std::string &author, const std::string &text)
    {
        (void)author;
        (void)text;
    }
    // A line matched a highlight rule that asks for a sound, a notice or a mark (the
    // terminal already shows it recoloured). Comes while output is being handled.
    virtual void SessionHighlight(const THighlightEvent &event) { (void)event; }
    // Something went wrong that the user must read (a refused connection, a lost one with
    // a reason). Delivered from the event loop after that connection's disconnect handling;
    // it asks for nothing more.
    virtual void SessionError(const std::string &message) = 0;
    // The capture failed and has ended; the connection goes on.
    virtual void SessionCaptureStopped(const std::string &why) { (void)why; }
    // The disconnect handling ran and the preferences say the program ends with the
    // connection. Delivered from the event loop, after any SessionError of that connection.
    virtual void SessionEndsProgram() {}
    // A file transfer: its progress while its tool runs, then what became of the files.
    virtual void SessionTransferProgress(const TTransferProgress &progress) { (void)progress; }
    virtual void SessionTransferFinished(const TTransferResult &result) { (void)result; }
    // The BBS waits for files (its ZMODEM receiver spoke; that is not shown).
    virtual void SessionUploadWanted() {}
    // A transport's questions, passed on as asked (see TTransportListener).
    virtual void SessionAskTrust(const TTrustQuestion &question, std::function<void(bool accept)> answer)
    {
        (void)question;
        answer(false);
    }
    virtual void SessionAskPassword(const std::string &user, const std::string &host,
                                    std::function<void(std::optional<std::string> password)> answer)
    {
        (void)user;
        (void)host;
        answer(std::nullopt);
    }
};
