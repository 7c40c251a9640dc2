#include "session/SessionTransfer.h"

#include "config/Prefernc.h"
#include "session/SessionListener.h"

#include <cstring>

TSessionTransfers::~TSessionTransfers() = default;

void TSessionTransfers::SetTools(TChildFactory children, std::string defaultFolder)
{
    FChildren = std::move(children);
    FDefaultFolder = std::move(defaultFolder);
}

bool TSessionTransfers::CanStart() const
{
    return FChildren && FPort.TelnetLine() && !Running();
}

std::string TSessionTransfers::DownloadFolder() const
{
    const std::string &chosen = FPrefs.DownloadFolder;
    return chosen.empty() ? FDefaultFolder : chosen;
}

bool TSessionTransfers::Start(const std::function<bool(TTransfer &, std::string &)> &how, std::string &error)
{
    if (!CanStart()) {
        error = Running() ? "A transfer is under way." : "File transfers need a Telnet connection.";
        return false;
    }
    FTransfer.reset(); // one still dropping the end of the last
    FTransfer = std::make_unique<TTransfer>(*FPort.TelnetLine(), FPort.EventLoop(), FChildren,
                                            static_cast<TTransferListener &>(*this));
    if (!how(*FTransfer, error)) {
        FTransfer.reset();
        return false;
    }
    FPort.RouteReceived(TReceiveRoute::Transfer);
    return true;
}

bool TSessionTransfers::Receive(TTransferProtocol protocol, const std::string &xmodemName, std::string &error)
{
    return Start(
        [&](TTransfer &t, std::string &e) {
            return t.Receive(protocol, DownloadFolder(), xmodemName, nullptr, 0, e);
        },
        error);
}

bool TSessionTransfers::Send(TTransferProtocol protocol, const std::vector<std::string> &files,
                             std::string &error)
{
    return Start([&](TTransfer &t, std::string &e) { return t.Send(protocol, files, e); }, error);
}

void TSessionTransfers::Cancel()
{
    if (FTransfer) FTransfer->Cancel();
}

bool TSessionTransfers::Scan(const char *text)
{
    if (!FChildren) return false;
    FSpotter.Scan(reinterpret_cast<const uint8_t *>(text), std::strlen(text), FSpotted);
    return true;
}

void TSessionTransfers::ConnectionEnded()
{
    FSpotter = TZmodemSpotter();
    FPort.RouteReceived(TReceiveRoute::Terminal);
    if (FTransfer) FTransfer->ConnectionLost();
}

void TSessionTransfers::ShowSpotted(const uint8_t *text, size_t count)
{
    if (text[count] == 0) { // the whole text, or its end
        FPort.ShowText(reinterpret_cast<const char *>(text));
        return;
    }
    const std::string part(reinterpret_cast<const char *>(text), count);
    FPort.ShowText(part.c_str());
}

void TSessionTransfers::TakeOffer(const uint8_t *rest, size_t count)
{
    const std::string initial =
        zmodem::RequestInit + std::string(reinterpret_cast<const char *>(rest), count);
    const auto *bytes = reinterpret_cast<const uint8_t *>(initial.data());
    std::string error;
    if (Start(
            [&](TTransfer &t, std::string &e) {
                return t.Receive(TTransferProtocol::Zmodem, DownloadFolder(), {}, bytes, initial.size(), e);
            },
            error))
        return;
    // Not ours to take: the offer stays text, and the user hears why.
    ShowSpotted(bytes, initial.size());
    if (!Running()) FPort.PostError("The BBS offers files, but they cannot be received: " + error);
}

void TSessionTransfers::OfferUpload()
{
    FPort.Listener().SessionUploadWanted();
}

void TSessionTransfers::TransferProgress(const TTransferProgress &progress)
{
    FPort.Listener().SessionTransferProgress(progress);
}

void TSessionTransfers::TransferFinished(const TTransferResult &result)
{
    FPort.Listener().SessionTransferFinished(result);
}

void TSessionTransfers::TransferHoldInput(bool hold)
{
    FPort.HoldInput(hold);
}

void TSessionTransfers::TransferReturned(const uint8_t *bytes, size_t count)
{
    FPort.RouteReceived(TReceiveRoute::Terminal);
    FEnded.push_back(std::move(FTransfer)); // it is still on the stack
    FPort.EventLoop().Post([this] { FEnded.clear(); });
    // What came after it is the BBS's again: the capture gets it as received, the terminal
    // as text (NULs dropped, as the engine drops them).
    const std::string after(reinterpret_cast<const char *>(bytes), count);
    if (!after.empty()) FPort.CaptureReceived(after);
    for (size_t at = 0; at < after.size();) {
        const size_t nul = std::min(after.find('\0', at), after.size());
        if (nul > at) Scan(after.substr(at, nul - at).c_str());
        at = nul + 1;
    }
}
