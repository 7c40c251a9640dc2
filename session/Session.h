// One connection's life: the transport, the engine for the host's mode with its greeting
// and window-size report, the read buffer, the capture tap, reconnecting, and the offline
// editor's draft. Plain C++: the owner hears of everything through TSessionListener and
// lends its clock, timers and event loop through TSessionPlatform.
//
// Bytes in:  transport -> ClientSocketRead (read buffer, lone-byte rule) -> HandOn, by the
//            receive route: capture, engine ProcessInput -> StateMachineTerminalOut ->
//            terminal; or the Telnet engine's binary mode -> a transfer's tool.
// Keys out:  KeyPress / KeyDown -> engine SendChar / SendKey -> StateMachineSocketOut ->
//            transport Send, only while Connected.
// State:     transport event or command -> Enter(event) -> Transition -> listener.
#pragma once

#include "config/SetHost.h"
#include "protocol/CLient.h"
#include "protocol/Telnet.h"
#include "session/HighlightTap.h"
#include "session/ReconnectPolicy.h"
#include "session/SessionListener.h"
#include "session/SessionPlatform.h"
#include "session/SessionState.h"
#include "session/SessionTransfer.h"
#include "session/Transport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class TClientPrefs;
class TColorTTY;
class TOffLineEdit;
class TSessionCapture;
class TUserFilter;
class TWhoList;

// The stores a session reads: the preferences when it needs them, the user filter through
// the CLient engine.
struct TSessionStores
{
    TClientPrefs &Prefs;
    TUserFilter &Filter;
};

// Text composed in an edit when its connection ended, kept to be offered back.
struct TDraft
{
    int Kind = 0; // the edit kind (TEditKind)
    std::string Text;
};

class TSession : private TTransportListener, private TTransferPort
{
public:
    // The read buffer; each read leaves room for the NUL the engines expect after the data.
    static constexpr int ReadBufferSize = 32768;
    static constexpr int MaxRead = ReadBufferSize - 2;

    TSession(TSessionStores stores, TColorTTY &terminal, TSessionListener &listener,
             TTransportFactory factory, std::unique_ptr<TSessionPlatform> platform);
    ~TSession() override;
    TSession(const TSession &) = delete;
    TSession &operator=(const TSession &) = delete;

    // --- Commands.
    // Connects to host; also stops a reconnect countdown. Only from Idle or
    // WaitingToReconnect. A reconnect asks the listener for the host anew.
    void Connect(const THostSettings &host);
    // Gives up a connection attempt (" Aborted connection to ...") or a countdown.
    void Abort();
    // The user's Disconnect, once confirmed.
    void Disconnect();
    // Key-press handling: one byte to the engine. 0xFF goes out as a blank where it would be
    // Telnet's IAC, as itself on a raw stream; nothing is sent or echoed while not connected.
    void KeyPress(uint8_t ch);
    // A character typed on the keyboard: as KeyPress, but Return ends a Telnet line with
    // CR LF (line-oriented servers wait for the LF); on a raw stream (SSH) with CR alone, as
    // a terminal sends it to a pty.
    void TypeChar(uint8_t ch);
    // A key-down to the engine's SendKey (not while not connected). An ANSI-BBS host gets the
    // sequences it reads, function keys included; true when the key went out so.
    bool KeyDown(uint16_t key, TShiftState shift);
    // Types text as a paste does outside an edit: CR is skipped, LF is typed as CR and LF
    // (CR alone on a raw stream) with a blank after the CR when the next line is empty. When
    // the host asked for bracketed pastes, the text goes between ESC[200~ and ESC[201~ as it
    // is, lines ended by CR.
    void TypeText(const std::string &text);
    // The terminal's size changed: the engines are told, and the BBS when it asked.
    void SetScreenSize(uint8_t cols, uint8_t rows);
    // Puts the kept draft into the open edit of its kind; false when there is none.
    bool RestoreDraft();
    // The highlight rules; those for the current host run from now on (and for the host of
    // each new connection).
    void SetHighlightRules(std::vector<THighlightRule> rules);
    const std::vector<THighlightRule> &HighlightRules() const { return FHighlightRules; }

    // --- Reconnecting.
    // A key on the terminal while a reconnect waits or is offered. True when the key was
    // used up by that: it stopped the countdown, or Enter took the offer.
    bool ReconnectKey(bool enter);
    // What the countdown's timer runs.
    void ReconnectNow();
    bool ReconnectWaiting() const;
    // Milliseconds left of the countdown (0 when none).
    int64_t ReconnectDelay() const;
    // The BBS dropped the line and Enter would reconnect.
    bool ReconnectOffered() const { return FReconnectOffered; }
    // Why reconnecting gave up, until the next Connect.
    const std::string &ReconnectNote() const { return FReconnectNote; }
    // How the last connection ended (meaningful once one ended).
    TCloseKind LastClose() const { return FLastClose; }

    // --- Capture: everything shown (or received, raw) from now on, across connections.
    void StartCapture(std::unique_ptr<TSessionCapture> capture);
    // Ends the capture and hands it back (to be finished); null when none runs.
    std::unique_ptr<TSessionCapture> TakeCapture();
    bool Capturing() const { return bool(FCapture); }

    // Bytes for the BBS as they are, only while connected.
    void SendRaw(const uint8_t *data, size_t count);

    // --- File transfers (SessionTransfer.cpp); they reach the session through its
    // TTransferPort (SessionPort.cpp).
    TSessionTransfers &Transfers() { return FTransfers; }

    // --- State.
    TSessionState State() const { return FState; }
    // What the status line said when the connection opened (" Connected to HOST (TLS 1.3)."):
    // the lamp's tooltip while connected.
    const std::string &ConnectedText() const { return FConnectedText; }
    bool IsConnected() const { return FState == TSessionState::Connected; }
    // The host of the current (or last) connection.
    const THostSettings &Host() const { return FHost; }
    // The Edit menu's connected form: from a connect until the disconnect handling of a
    // CLient host (after a Telnet connection it stays).
    bool EditMenuConnected() const { return FEditMenuConnected; }
    // The edit state as last delivered to the listener.
    bool EditOpen() const { return FEditOpen; }
    // The engine's own flag (set at once when an edit opens).
    bool InEditMode() const;
    const TDraft *Draft() const { return FDraft ? &*FDraft : nullptr; }
    // Whether RestoreDraft would act now.
    bool DraftFits() const;

    TTelnetStateMachine &StateMachine() const { return *FStateMachine; }
    TCLientStateMachine &CLientMachine() const { return *FCLientMachine; }
    TOffLineEdit &OffLineEdit() const { return *FOffLineEdit; }
    TWhoList &WhoList() const { return *FWhoList; }
    TColorTTY &Terminal() const { return FTerminal; }
    TSessionPlatform &Platform() const { return *FPlatform; }

private:
    // TTransportListener.
    void TransportStep(TTransportStep step) override;
    void TransportConnected() override;
    void TransportReceived(const uint8_t *data, size_t count) override;
    void TransportDrained() override;
    void TransportNotice(const std::string &text) override;
    void TransportClosed(TCloseKind kind, const std::string &why) override;
    void TransportFailed(const std::string &message) override;
    void TransportAskTrust(const TTrustQuestion &question, std::function<void(bool accept)> answer) override;
    void TransportAskPassword(const std::string &user, const std::string &host,
                              std::function<void(std::optional<std::string> password)> answer) override;
    // The CLient engine's edit-state notice, delivered from the event loop.
    void EditStateChanged(bool open);

    enum class TDrop : uint8_t { Finished, Close, Abort };

    // The one place a state changes.
    void Enter(TSessionEvent event);
    // Tells the listener of a change that left the state as it was (the reconnect offer).
    void Notify();
    void SetStatus(const std::string &text);
    void StartConnecting(const THostSettings &host);
    void ClientSocketConnect();
    void ClientSocketRead(const uint8_t *data, size_t count);
    void ClientSocketDisconnect(TCloseKind kind, const std::string &why);
    void ConnectFailed(const std::string &message);
    // `error`, when not empty, reaches the listener after the handling.
    void DisconnectHandling(const std::string &error);
    void DropTransport(TDrop how);
    void HandOn(uint16_t count);
    // The Telnet engine runs without Telnet: a Telnet host reached over SSH.
    bool RawStream() const { return FStateMachine->Framing() == TFraming::Raw; }
    void LineEnd();
    void CaptureFailed();
    void StateMachineSocketOut(const uint8_t *buf, int32_t count);
    void StateMachineTerminalOut(const char *text);
    void ShowText(const char *text) override; // to the terminal, the capture and the listener
    void CompileHighlights();
    void TellHighlights();
    void StateMachineDebug(const std::string &text);
    void EditStateDelivered(bool open);
    void KeepDraft();
    void PostError(const std::string &message) override;

    // TTransferPort (SessionPort.cpp).
    TTelnetStateMachine *TelnetLine() override;
    TSessionPlatform &EventLoop() override { return *FPlatform; }
    TSessionListener &Listener() override { return FListener; }
    void RouteReceived(TReceiveRoute route) override { FRoute = route; }
    void HoldInput(bool hold) override;
    void CaptureReceived(const std::string &bytes) override;

    // Reconnecting (SessionReconnect.cpp).
    void UserConnecting();
    void ConnectionDropped();
    void ScheduleReconnect();
    void StopReconnect();

    TClientPrefs &FClientPrefs;
    TUserFilter &FUserFilter;
    TColorTTY &FTerminal;
    TSessionListener &FListener;
    TTransportFactory FFactory;
    std::unique_ptr<TSessionPlatform> FPlatform;

    TSessionState FState = TSessionState::Idle;
    THostSettings FHost;
    std::unique_ptr<TTransport> FTransport;
    std::string FConnectedText;
    std::unique_ptr<TWhoList> FWhoList;
    std::unique_ptr<TOffLineEdit> FOffLineEdit;
    TTelnetStateMachine FTelnetStateMachine;
    std::unique_ptr<TCLientStateMachine> FCLientMachine;
    TTelnetStateMachine *FStateMachine = nullptr;
    std::unique_ptr<uint8_t[]> FReadBuffer;
    uint16_t FReadCount = 0;
    std::unique_ptr<TSessionCapture> FCapture;
    TReceiveRoute FRoute = TReceiveRoute::Terminal;
    bool FEditMenuConnected = false;
    bool FEditOpen = false;
    std::optional<TDraft> FDraft;
    std::vector<THighlightRule> FHighlightRules;
    THighlightTap FHighlights{FTerminal};
    std::vector<THighlightEvent> FHighlightEvents;

    TReconnectPolicy FReconnect;
    std::unique_ptr<TSessionTimer> FReconnectTimer;
    int64_t FReconnectAt = 0;
    bool FAutoReconnecting = false; // an automatic reconnect waits or is under way
    bool FReconnectOffered = false;
    std::string FReconnectNote;
    TCloseKind FLastClose = TCloseKind::Clean;

    // Last: a transfer goes before the engines.
    TSessionTransfers FTransfers{static_cast<TTransferPort &>(*this), FClientPrefs};
};
