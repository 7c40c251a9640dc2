// The session's file transfers: a ZMODEM offer spotted in Telnet text starts a download by
// itself; the user starts the others. A running transfer has the connection: received
// bytes bypass the capture, Telnet commands stay with the engine, keys are not sent.
#pragma once

#include "protocol/Zmodem.h"
#include "session/Transfer.h"

#include <memory>
#include <string>
#include <vector>

class TClientPrefs;
class TSessionListener;

// Where the session sends the bytes it receives.
enum class TReceiveRoute : uint8_t {
    Terminal, // the capture, then the connection's engine and the terminal
    Transfer, // the Telnet engine's binary mode, past the capture: they are the tool's
};

// What the transfers reach of their session.
class TTransferPort
{
public:
    virtual ~TTransferPort() = default;
    // The Telnet engine that carries a transfer both ways; null unless a Telnet connection
    // is up.
    virtual TTelnetStateMachine *TelnetLine() = 0;
    virtual TSessionPlatform &EventLoop() = 0;
    virtual TSessionListener &Listener() = 0;
    virtual void RouteReceived(TReceiveRoute route) = 0;
    // Reading the connection stops (or goes on).
    virtual void HoldInput(bool hold) = 0;
    // Text for the terminal, the capture and the listener.
    virtual void ShowText(const char *text) = 0;
    // Bytes received after a transfer, for a raw capture.
    virtual void CaptureReceived(const std::string &bytes) = 0;
    // An error for the user, from the event loop.
    virtual void PostError(const std::string &message) = 0;
};

class TSessionTransfers : private TTransferListener
{
public:
    TSessionTransfers(TTransferPort &port, const TClientPrefs &prefs) : FPort(port), FPrefs(prefs) {}
    ~TSessionTransfers() override;
    TSessionTransfers(const TSessionTransfers &) = delete;
    TSessionTransfers &operator=(const TSessionTransfers &) = delete;

    // The tools' process maker and the folder downloads go to when the preferences name
    // none. Without them nothing starts, and ZMODEM offers are shown as text.
    void SetTools(TChildFactory children, std::string defaultFolder);
    // Transfers can start now: tools, a Telnet connection, none running.
    bool CanStart() const;
    std::string DownloadFolder() const;

    // The user's commands; false with Error set when nothing started.
    bool Receive(TTransferProtocol protocol, const std::string &xmodemName, std::string &error);
    bool Send(TTransferProtocol protocol, const std::vector<std::string> &files, std::string &error);
    void Cancel();
    // A tool has the connection.
    bool Running() const { return FTransfer && FTransfer->Running(); }
    // Until the terminal has the connection again (a cancelled transfer's end is dropped).
    bool Busy() const { return FTransfer != nullptr; }

    // The session's hooks: Telnet text on its way to the terminal (true when it was taken
    // care of here), and the end of the connection.
    bool Scan(const char *text);
    void ConnectionEnded();

private:
    bool Start(const std::function<bool(TTransfer &, std::string &)> &how, std::string &error);
    // What the spotter found: text to show, a sender's offer, a receiver waiting.
    void ShowSpotted(const uint8_t *text, size_t count);
    void TakeOffer(const uint8_t *rest, size_t count);
    void OfferUpload();
    void TransferProgress(const TTransferProgress &progress) override;
    void TransferFinished(const TTransferResult &result) override;
    void TransferReturned(const uint8_t *bytes, size_t count) override;
    void TransferHoldInput(bool hold) override;

    TTransferPort &FPort;
    const TClientPrefs &FPrefs;
    TChildFactory FChildren;
    std::string FDefaultFolder;
    TZmodemSpotter FSpotter;
    const TZmodemSpotterSink FSpotted{[this](const uint8_t *t, size_t n) { ShowSpotted(t, n); },
                                      [this](const uint8_t *rest, size_t n) { TakeOffer(rest, n); },
                                      [this] { OfferUpload(); }};
    std::unique_ptr<TTransfer> FTransfer;
    std::vector<std::unique_ptr<TTransfer>> FEnded; // destroyed from the event loop
};
