#include "session/Session.h"

#include "colouredit/OffLine.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "terminal/ColorTTY.h"
#include "terminal/Cp437.h"
#include "terminal/CtermKeys.h"
#include "terminal/SessionCapture.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <utility>

namespace {

// The port as a number, as the socket layer takes one: modulo 65536; 0 for a service name.
uint16_t PortNumber(const std::string &port)
{
    long value = 0;
    const char *end = port.data() + port.size();
    const auto [at, error] = std::from_chars(port.data(), end, value);
    if (error != std::errc() || at != end || value == -1) return 0;
    return uint16_t(value);
}

} // namespace

TSession::TSession(TSessionStores stores, TColorTTY &terminal, TSessionListener &listener,
                   TTransportFactory factory, std::unique_ptr<TSessionPlatform> platform)
    : FClientPrefs(stores.Prefs), FUserFilter(stores.Filter), FTerminal(terminal), FListener(listener),
      FFactory(std::move(factory)), FPlatform(std::move(platform)), FWhoList(std::make_unique<TWhoList>()),
      FOffLineEdit(std::make_unique<TOffLineEdit>(terminal, *FWhoList)),
      FReadBuffer(std::make_unique<uint8_t[]>(ReadBufferSize)),
      FReconnect([this] { return FPlatform->Random(); })
{
    FCLientMachine = std::make_unique<TCLientStateMachine>(FHost, FUserFilter, *FOffLineEdit, *FWhoList,
                                                           [this](bool open) { EditStateChanged(open); });
    for (TTelnetStateMachine *engine :
         {&FTelnetStateMachine, static_cast<TTelnetStateMachine *>(FCLientMachine.get())}) {
        engine->OnSocketOut = [this](TTelnetStateMachine *, const uint8_t *b, int32_t n) {
            StateMachineSocketOut(b, n);
        };
        engine->OnTerminalOut = [this](TTelnetStateMachine *, const char *t) { StateMachineTerminalOut(t); };
        engine->OnDebug = [this](TTelnetStateMachine *, const std::string &t) { StateMachineDebug(t); };
    }
    FCLientMachine->OnExpressMessage = [this](const std::string &author, const std::string &text) {
        FListener.SessionExpressMessage(author, text);
    };
    FStateMachine = &FTelnetStateMachine;
    // The countdown wakes at each whole second: the listener shows the time left.
    FReconnectTimer = FPlatform->MakeTimer([this] {
        const int64_t left = ReconnectDelay();
        if (left <= 0) return ReconnectNow();
        FReconnectTimer->Start(CountdownStep(left));
        Notify();
    });
    // The terminal's answers to the host's queries go out as the engine's own bytes do.
    FTerminal.AnsiBbs().SetAnswerHandler([this](const char *bytes, size_t count) {
        StateMachineSocketOut(reinterpret_cast<const uint8_t *>(bytes), int32_t(count));
    });
}

TSession::~TSession()
{
    FReconnectTimer.reset();
    DropTransport(TDrop::Abort);
    if (FCapture) FCapture->Finish(); // the last, unfinished line
    FTerminal.AnsiBbs().SetAnswerHandler(nullptr);
    FTelnetStateMachine.OnSocketOut = nullptr;
    FCLientMachine->OnSocketOut = nullptr;
    FCLientMachine->OnExpressMessage = nullptr;
    FCLientMachine->SetEditStateChanged(nullptr);
}

// --- States.

void TSession::Enter(TSessionEvent event)
{
    const TSessionState next = Transition(FState, event);
    if (next == FState) return;
    FState = next;
    FListener.SessionStateChanged(next);
}

void TSession::Notify()
{
    FListener.SessionStateChanged(FState);
}

void TSession::SetStatus(const std::string &text)
{
    FListener.SessionStatus(text);
}

void TSession::PostError(const std::string &message)
{
    FPlatform->Post([this, message] { FListener.SessionError(message); });
}

void TSession::DropTransport(TDrop how)
{
    // Destroyed here, after its last call: a transport may end inside its own listener call.
    const std::unique_ptr<TTransport> transport = std::move(FTransport);
    if (!transport) return;
    if (how == TDrop::Close) transport->Close();
    if (how == TDrop::Abort) transport->Abort();
}

// --- Commands.

void TSession::Connect(const THostSettings &host)
{
    if (!MayConnect(FState)) return;
    UserConnecting();
    StartConnecting(host);
}

void TSession::StartConnecting(const THostSettings &host)
{
    FHost = host;
    CompileHighlights();
    FStateMachine = FHost.Mode == hmTelnet ? &FTelnetStateMachine : FCLientMachine.get();
    // An SSH channel carries bytes: the pty and its requests stand for Telnet's options.
    FTelnetStateMachine.SetFraming(
        FHost.Mode == hmTelnet && FHost.Transport == THostTransport::Ssh ? TFraming::Raw : TFraming::Telnet);
    if (FHost.Mode == hmISCA) {
        FWhoList->Clear();
        for (const std::string &name : FUserFilter.Friends.Items())
            FWhoList->Add(cp437::FromUtf8(name)); // the filter keeps UTF-8, the BBS code page 437
    }
    FListener.SessionSizeScreen(FHost);
    Enter(TSessionEvent::Connect);
    SetStatus(" Connecting to " + FHost.Address + ".");

    FTransport = FFactory ? FFactory(FHost.Transport) : nullptr;
    if (!FTransport) {
        ConnectFailed("Connections over " + std::string(TransportKey(FHost.Transport)) +
                      " are not available.");
        return;
    }
    TEndpoint endpoint;
    endpoint.Host = FHost.Address.substr(0, 255);
    endpoint.Service = FHost.Port;
    endpoint.Port = PortNumber(FHost.Port);
    endpoint.User = FHost.LoginName;
    if (FHost.AutoLogin) endpoint.Password = FHost.Password;
    endpoint.Cols = uint8_t(FTerminal.Cols);
    endpoint.Rows = uint8_t(FTerminal.VisibleRows);
    endpoint.TerminalType = TTelnetStateMachine::TerminalType;
    FTransport->Open(endpoint, *this);
}

void TSession::Abort()
{
    if (FState == TSessionState::WaitingToReconnect) {
        StopReconnect();
        return;
    }
    if (!Attempting(FState)) return;
    DropTransport(TDrop::Abort);
    StopReconnect();
    Enter(TSessionEvent::Abort);
    SetStatus(" Aborted connection to " + FHost.Address + ".");
}

void TSession::Disconnect()
{
    if (!MayDisconnect(FState)) return;
    StopReconnect();
    DropTransport(TDrop::Close);
    Enter(TSessionEvent::Close);
    DisconnectHandling({});
}

void TSession::KeyPress(uint8_t ch)
{
    // While a file transfer's tool has the connection, a key would corrupt its stream.
    if (FState != TSessionState::Connected || FTransfers.Running()) return;
    // Code page 437's non-breaking space is Telnet's IAC.
    FStateMachine->SendChar(ch == 0xFF && !RawStream() ? ' ' : ch);
}

void TSession::TypeChar(uint8_t ch)
{
    if (ch == '\r')
        LineEnd();
    else
        KeyPress(ch);
}

void TSession::LineEnd()
{
    KeyPress('\r');
    if (FStateMachine == &FTelnetStateMachine && !RawStream()) KeyPress('\n');
}

bool TSession::KeyDown(uint16_t key, TShiftState shift)
{
    if (FState != TSessionState::Connected || FTransfers.Running()) return false;
    if (FHost.Terminal == THostTerminal::AnsiBbs && !InEditMode()) {
        const std::string bytes = AnsiBbsKeyBytes(key, shift, FTerminal.AnsiBbs().Cterm().Doorway);
        if (!bytes.empty()) {
            StateMachineSocketOut(reinterpret_cast<const uint8_t *>(bytes.data()), int32_t(bytes.size()));
            return true;
        }
    }
    if (key < VK_F1 || key > VK_F12) FStateMachine->SendKey(key, shift);
    return false;
}

void TSession::TypeText(const std::string &text)
{
    if (FHost.Terminal == THostTerminal::AnsiBbs && FTerminal.AnsiBbs().Cterm().BracketedPaste) {
        if (FState != TSessionState::Connected || FTransfers.Running()) return;
        std::string paste = "\x1b[200~";
        for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
            const char c = text[i];
            if (c == '\x1b' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                continue; // no end mark inside
            paste += c == '\n' ? '\r' : c == '\xff' ? ' ' : c;
        }
        paste += "\x1b[201~";
        StateMachineSocketOut(reinterpret_cast<const uint8_t *>(paste.data()), int32_t(paste.size()));
        return;
    }
    for (size_t i = 0; i < text.size() && text[i] != 0; ++i) {
        const uint8_t c = uint8_t(text[i]);
        if (c == '\r') continue;
        if (c == '\n') {
            KeyPress('\r');
            // An empty line typed alone would end the BBS's input: keep it non-empty.
            if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) KeyPress(' ');
            if (!RawStream()) KeyPress('\n');
            continue;
        }
        KeyPress(c);
    }
}

void TSession::SetScreenSize(uint8_t cols, uint8_t rows)
{
    FTelnetStateMachine.Cols = FCLientMachine->Cols = cols;
    FTelnetStateMachine.Rows = FCLientMachine->Rows = rows;
    FStateMachine->SendWindowSize();
    if (FTransport && FState == TSessionState::Connected) FTransport->SetWindowSize(cols, rows);
}

void TSession::SendRaw(const uint8_t *data, size_t count)
{
    if (FState == TSessionState::Connected && FTransport && count > 0) FTransport->Send(data, count);
}

bool TSession::InEditMode() const
{
    return FCLientMachine->EditMode();
}

// --- The transport's events.

void TSession::TransportStep(TTransportStep step)
{
    switch (step) {
    case TTransportStep::LookingUp:
        Enter(TSessionEvent::LookUp);
        SetStatus(" Looking up " + FHost.Address + ".");
        break;
    case TTransportStep::Connecting:
        Enter(TSessionEvent::Progress);
        SetStatus(" Connecting to " + FHost.Address + ".");
        break;
    case TTransportStep::Securing:
        Enter(TSessionEvent::Progress);
        SetStatus(" Securing the connection to " + FHost.Address + ".");
        break;
    case TTransportStep::Authenticating:
        Enter(TSessionEvent::Progress);
        SetStatus(" Logging in to " + FHost.Address + ".");
        break;
    }
}

void TSession::TransportConnected()
{
    ClientSocketConnect();
}

void TSession::TransportReceived(const uint8_t *data, size_t count)
{
    ClientSocketRead(data, count);
}

void TSession::TransportDrained()
{
    if (FHighlights.Active()) {
        FHighlights.Paused(FHighlightEvents);
        TellHighlights();
    }
    FTerminal.OutputPaused();
}

void TSession::TransportNotice(const std::string &text)
{
    SetStatus(FConnectedText + " " + text);
}

void TSession::TransportClosed(TCloseKind kind, const std::string &why)
{
    ClientSocketDisconnect(kind, why);
}

void TSession::TransportFailed(const std::string &message)
{
    ConnectFailed(message);
    if (IsAuthenticationFailure(message)) SetStatus(" " + message);
}

void TSession::TransportAskTrust(const TTrustQuestion &question, std::function<void(bool accept)> answer)
{
    FListener.SessionAskTrust(question, std::move(answer));
}

void TSession::TransportAskPassword(const std::string &user, const std::string &host,
                                    std::function<void(std::optional<std::string> password)> answer)
{
    FListener.SessionAskPassword(user, host, std::move(answer));
}

void TSession::ClientSocketConnect()
{
    if (!FTransport) return;
    // The greeting and the window size go out before anything the engine says.
    uint8_t hello[2] = {telnet::IAC, 0};
    if (FHost.Mode == hmORVO) hello[1] = client::HELLO;
    if (FHost.Mode == hmISCA) hello[1] = client::ISCA_HELLO;
    if (hello[1]) FTransport->Send(hello, sizeof hello);
    if (!RawStream()) { // over SSH the pty request carried the size
        uint8_t naws[11];
        FTransport->Send(naws, size_t(TTelnetStateMachine::WindowSizeReport(
                                   uint8_t(FTerminal.Cols), uint8_t(FTerminal.VisibleRows), naws)));
    }

    // The host's output is read in its emulation from the first byte on.
    if (FHost.Terminal == THostTerminal::AnsiBbs) {
        FTerminal.SetEmulation(teAnsiBbs);
        FTerminal.AnsiBbs().ResetModes();
    } else {
        FTerminal.SetEmulation(teClassic);
    }
    FTerminal.AnsiBbs().SetIceColours(FHost.IceColours);
    FTerminal.AnsiBbs().SetLfExpand(FHost.LfExpand);
    FTerminal.AnsiBbs().SetHideSauce(FHost.HideSauce);
    FTerminal.InvalidateAll();

    FEditMenuConnected = true;
    FStateMachine->Reset();
    FReadCount = 0;
    FAutoReconnecting = false;
    FReconnectOffered = false;
    FReconnect.Connected(FPlatform->Now());
    // What protects the line, if anything: " Connected to HOST (SSH, ed25519)."
    const std::string security = FTransport->Security();
    FConnectedText = " Connected to " + FHost.Address + (security.empty() ? "" : " (" + security + ")") + ".";
    Enter(TSessionEvent::Opened);
    SetStatus(FConnectedText);
}

void TSession::ClientSocketRead(const uint8_t *data, size_t count)
{
    while (count > 0) {
        const size_t n = std::min(count, size_t(MaxRead - FReadCount));
        std::memcpy(FReadBuffer.get() + FReadCount, data, n);
        data += n;
        count -= n;
        FReadCount = uint16_t(FReadCount + n);
        FReadBuffer[FReadCount] = 0;
        if (FCLientMachine->EditMode() && FReadCount == 1) {
            // A lone byte in an edit is kept for the next read: the BBS may be echoing.
            if (FReadBuffer[0] == 0x08) {
                FTerminal.WriteChar(char(0x08));
                continue;
            }
            if (FReadBuffer[0] == '*') {
                SetStatus("Express message received.");
                continue;
            }
        }
        HandOn(std::exchange(FReadCount, 0));
    }
}

void TSession::HandOn(uint16_t count)
{
    if (count == 0) return;
    switch (FRoute) {
    case TReceiveRoute::Terminal:
        // Captured before the engine, which writes into the buffer.
        if (FCapture && !FCapture->Received(FReadBuffer.get(), count)) CaptureFailed();
        FStateMachine->ProcessInput(FReadBuffer.get(), count);
        return;
    case TReceiveRoute::Transfer:
        FTelnetStateMachine.ProcessInput(FReadBuffer.get(), count);
        return;
    }
}

void TSession::CaptureFailed()
{
    const std::string why = FCapture->Error();
    FCapture.reset();
    FListener.SessionCaptureStopped(why);
}

void TSession::ClientSocketDisconnect(TCloseKind kind, const std::string &why)
{
    FLastClose = kind;
    DropTransport(TDrop::Finished);
    Enter(TSessionEvent::Close);
    DisconnectHandling(why);
    ConnectionDropped();
}

void TSession::ConnectFailed(const std::string &message)
{
    DropTransport(TDrop::Finished);
    Enter(TSessionEvent::Failed);
    // An automatic reconnect that failed says so in the status line and tries again later.
    const bool retry = FAutoReconnecting;
    DisconnectHandling(retry ? std::string() : message);
    if (retry) ScheduleReconnect();
}

void TSession::DisconnectHandling(const std::string &error)
{
    FTransfers.ConnectionEnded();
    KeepDraft();
    SetStatus(" Disconnected from " + FHost.Address + ".");
    if (FHost.Mode != hmTelnet) FEditMenuConnected = false;
    FStateMachine->Reset(); // an open edit closes; its upload is dropped, as nothing is connected
    FReadCount = 0;
    Enter(TSessionEvent::Closed);
    if (!error.empty()) PostError(error);
    if (FClientPrefs.ExitOnDisconnect) FPlatform->Post([this] { FListener.SessionEndsProgram(); });
}

// --- Edits and the draft.

void TSession::EditStateChanged(bool open)
{
    FPlatform->Post([this, open] { EditStateDelivered(open); });
}

void TSession::EditStateDelivered(bool open)
{
    FEditOpen = open;
    FListener.SessionEditState(open);
    if (open && DraftFits())
        SetStatus(" The text you were writing when the connection ended is kept: Ctrl+Shift+R.");
}

void TSession::KeepDraft()
{
    if (FStateMachine != FCLientMachine.get() || !FCLientMachine->EditMode() || FOffLineEdit->Masked())
        return;
    std::string text(size_t(TCLientStateMachine::MaxUpload) + 1, '\0');
    FOffLineEdit->GetText(text.data(), int(text.size()) - 1);
    text.resize(strlen(text.c_str()));
    if (!text.empty()) FDraft = TDraft{FOffLineEdit->Kind(), std::move(text)};
}

bool TSession::DraftFits() const
{
    return FDraft && FCLientMachine->EditMode() && FOffLineEdit->IsOpen() &&
           FOffLineEdit->Kind() == FDraft->Kind && !FOffLineEdit->Masked();
}

bool TSession::RestoreDraft()
{
    if (!DraftFits()) return false;
    FOffLineEdit->SetText(FDraft->Text.c_str());
    FOffLineEdit->SetCaret(FOffLineEdit->TextLength()); // writing goes on where it stopped
    FDraft.reset();
    Notify();
    return true;
}

// --- Capture.

void TSession::StartCapture(std::unique_ptr<TSessionCapture> capture)
{
    FCapture = std::move(capture);
}

std::unique_ptr<TSessionCapture> TSession::TakeCapture()
{
    return std::move(FCapture);
}

// --- The engines' events.

void TSession::StateMachineSocketOut(const uint8_t *buf, int32_t count)
{
    // An empty write (the upload of an empty edit) goes on too: a replay shows it.
    if (FState == TSessionState::Connected && FTransport && count >= 0) FTransport->Send(buf, size_t(count));
}

void TSession::StateMachineTerminalOut(const char *text)
{
    // Telnet text may carry a ZMODEM offer.
    if (FStateMachine == &FTelnetStateMachine && FTransfers.Scan(text)) return;
    ShowText(text);
}

void TSession::ShowText(const char *text)
{
    FHighlights.BeforeWrite();
    FTerminal.Write(text);
    if (FHighlights.Active()) {
        FHighlights.AfterWrite(FHighlightEvents);
        TellHighlights();
    }
    if (FCapture && !FCapture->Text(text)) CaptureFailed();
    FListener.SessionOutput(text);
}

void TSession::SetHighlightRules(std::vector<THighlightRule> rules)
{
    FHighlightRules = std::move(rules);
    CompileHighlights();
}

void TSession::CompileHighlights()
{
    FHighlights.SetMatcher(
        FHighlightRules.empty() ? nullptr : std::make_unique<THighlightMatcher>(FHighlightRules, FHost.Name));
}

void TSession::TellHighlights()
{
    // Taken first: the listener may write to the terminal.
    std::vector<THighlightEvent> events;
    events.swap(FHighlightEvents);
    for (const THighlightEvent &e : events)
        FListener.SessionHighlight(e);
}

void TSession::StateMachineDebug(const std::string &text)
{
    FListener.SessionDebug(text);
}
