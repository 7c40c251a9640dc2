#include "session/Transfer.h"

#include "protocol/Telnet.h"
#include "protocol/Xmodem.h"
#include "protocol/Zmodem.h"
#include "session/TransferFiles.h"

#include <algorithm>
#include <unistd.h>

namespace {

constexpr size_t MaxAfter = 65536;
constexpr int64_t ReportEvery = 100; // milliseconds
constexpr int64_t DrainQuiet = 500;
constexpr int64_t DrainLongest = 5000;

std::string BaseName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "a.bin, b.bin and 3 more"
std::string NameList(const std::vector<std::string> &names)
{
    std::string text;
    for (size_t i = 0; i < names.size() && i < 3; ++i)
        text += (i ? ", " : "") + names[i];
    if (names.size() > 3) text += " and " + std::to_string(names.size() - 3) + " more";
    return text;
}

} // namespace

TTransfer::TTransfer(TTelnetStateMachine &engine, TSessionPlatform &platform, TChildFactory children,
                     TTransferListener &listener)
    : FEngine(engine), FPlatform(platform), FChildren(std::move(children)), FListener(listener),
      FDrainTimer(platform.MakeTimer([this] { DrainCheck(); }))
{
}

TTransfer::~TTransfer()
{
    if (FState == stRunning || FState == stStopping) FChild->Stop();
    if (FState != stIdle && FState != stReturned && !FLost) FEngine.EndBinary();
    if (!FStaging.empty()) ::rmdir(FStaging.c_str());
}

std::vector<std::string> TTransfer::Command(TTransferProtocol protocol, bool sending)
{
    static const char *const Tools[3][2] = {{"rz", "sz"}, {"rb", "sb"}, {"rx", "sx"}};
    std::vector<std::string> args{Tools[static_cast<int>(protocol)][sending], "--binary", "--quiet"};
    // The receivers write only plain names into the folder they run in.
    if (!sending) args.emplace_back("--restricted");
    if (!sending && protocol == TTransferProtocol::Xmodem) args.emplace_back("--with-crc");
    return args;
}

bool TTransfer::Receive(TTransferProtocol protocol, const std::string &folder, const std::string &xmodemName,
                        const uint8_t *initial, size_t count, std::string &error)
{
    const std::string staging = MakeStagingFolder(folder, error);
    if (staging.empty()) return false;
    FFolder = folder;
    FStaging = staging;
    std::vector<std::string> args = Command(protocol, false);
    auto toChild = [this](const uint8_t *b, size_t n) { ToChild(b, n); };
    auto rename = [this](const TFileOffer &offer) { return StageName(offer); };
    if (protocol == TTransferProtocol::Zmodem) {
        FStream = std::make_unique<TZmodemScanner>(toChild, rename);
    } else {
        FStream = std::make_unique<TXmodemFollower>(toChild, rename, protocol == TTransferProtocol::Ymodem);
        if (protocol == TTransferProtocol::Xmodem) {
            TFileOffer offer;
            offer.Name = xmodemName.empty() ? "download" : xmodemName;
            args.push_back(StageName(offer));
        }
    }
    if (!Start(protocol, false, std::move(args), staging, error)) return false;
    if (count > 0) FromPeer(initial, count);
    return true;
}

bool TTransfer::Send(TTransferProtocol protocol, const std::vector<std::string> &files, std::string &error)
{
    if (files.empty()) {
        error = "No files to send.";
        return false;
    }
    std::vector<std::string> args = Command(protocol, true);
    for (const std::string &f : files) {
        if (::access(f.c_str(), R_OK) != 0) {
            error = "Cannot read " + f + ".";
            return false;
        }
        // An argument never reads as an option.
        args.push_back(f[0] == '-' ? "./" + f : f);
        FSendFiles.push_back(f);
        if (protocol == TTransferProtocol::Xmodem) break;
    }
    auto toPeer = [this](const uint8_t *b, size_t n) { FEngine.SendData(b, n); };
    if (protocol == TTransferProtocol::Zmodem)
        FStream = std::make_unique<TZmodemScanner>(toPeer);
    else
        FStream = std::make_unique<TXmodemFollower>(toPeer, nullptr, protocol == TTransferProtocol::Ymodem);
    return Start(protocol, true, std::move(args), ".", error);
}

bool TTransfer::Start(TTransferProtocol protocol, bool sending, std::vector<std::string> args,
                      const std::string &folder, std::string &)
{
    FProtocol = protocol;
    FSending = sending;
    FChild = FChildren();
    const std::string program = args.front();
    args.erase(args.begin());
    FState = stRunning;
    FEngine.BeginBinary([this](TTelnetStateMachine *, const uint8_t *b, size_t n) { FromPeer(b, n); });
    FChild->Start(program, args, folder, *this);
    Report(true);
    return true;
}

std::string TTransfer::StageName(const TFileOffer &offer)
{
    // An offer made again before its data (the receiver missed it) keeps its place.
    if (!FStaged.empty() && FStream && FStream->Offers() <= static_cast<int>(FStaged.size())) {
        FStaged.back().File.Size = offer.Size;
        return FStaged.back().Staged;
    }
    TStaged staged;
    staged.Staged = "file-" + std::to_string(FStaged.size() + 1);
    staged.File.Name = offer.Name;
    staged.File.Size = offer.Size;
    FStaged.push_back(staged);
    return staged.Staged;
}

void TTransfer::ToChild(const uint8_t *data, size_t count)
{
    if (FState != stRunning || count == 0) return;
    FChild->Write(data, count);
    // Whatever the other side sends, no more than this waits for the tool.
    constexpr size_t HoldAbove = 4u << 20;
    if (FChild->Queued() > HoldAbove) Hold(true);
}

void TTransfer::Hold(bool hold)
{
    if (FHolding == hold) return;
    FHolding = hold;
    FListener.TransferHoldInput(hold);
}

void TTransfer::ChildInputTaken()
{
    Hold(false);
}

void TTransfer::FromPeer(const uint8_t *data, size_t count)
{
    const int64_t now = FPlatform.Now();
    switch (FState) {
    case stRunning:
        if (FSending) {
            // sz ends with its "OO"; sb still needs the receiver's last ACK after its end.
            if (FStream->Over() && FProtocol == TTransferProtocol::Zmodem) {
                if (FAfter.size() < MaxAfter) FAfter.append(reinterpret_cast<const char *>(data), count);
                return;
            }
            FStream->FromReceiver(data, count);
            ToChild(data, count);
            return;
        } else {
            const size_t used = FStream->Feed(data, count);
            if (used < count && FAfter.size() < MaxAfter)
                FAfter.append(reinterpret_cast<const char *>(data + used), count - used);
            Report(FStream->Offers() != FFileNumber);
        }
        return;
    case stStopping: // what the other side still had under way
        FLastData = now;
        return;
    case stDraining:
        if (now - FLastData >= DrainQuiet || now - FDrainStart >= DrainLongest) {
            FEngine.EndBinary();
            Return(data, count);
            return;
        }
        FLastData = now;
        return;
    case stIdle:
    case stReturned:
        return;
    }
}

void TTransfer::ChildOutput(const uint8_t *data, size_t count)
{
    if (FState != stRunning) return;
    if (FSending) {
        FStream->Feed(data, count);
        Report(FStream->Offers() != FFileNumber);
    } else {
        FStream->FromReceiver(data, count);
        FEngine.SendData(data, count);
    }
}

void TTransfer::ChildMessage(const std::string &line)
{
    std::string text = line;
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x20; }),
        text.end());
    const size_t first = text.find_first_not_of(' ');
    if (first != std::string::npos) FLastMessage = text.substr(first);
}

void TTransfer::ChildFinished(int exitCode)
{
    Finish(FLost           ? TTransferEnd::Lost
           : FCancelled    ? TTransferEnd::Cancelled
           : exitCode == 0 ? TTransferEnd::Done
                           : TTransferEnd::Failed);
}

void TTransfer::ChildFailed(const std::string &why)
{
    FLastMessage = why + " (the lrzsz package provides it)";
    Finish(FLost ? TTransferEnd::Lost : TTransferEnd::Failed);
}

void TTransfer::Cancel()
{
    if (FState != stRunning) return;
    FCancelled = true;
    FState = stStopping;
    Hold(false); // what comes now is read and dropped
    FDrainStart = FLastData = FPlatform.Now();
    // Only the other side hears the abort: lrzsz's receivers delete the file they were
    // writing when told so, but keep it when stopped.
    FEngine.SendData(zmodem::Abort, sizeof zmodem::Abort);
    FChild->Stop();
}

void TTransfer::ConnectionLost()
{
    if (FState == stRunning || FState == stStopping) {
        FLost = true;
        FState = stStopping;
        Hold(false);
        FChild->Stop();
    } else if (FState == stDraining) {
        FLost = true;
        Return(nullptr, 0);
    }
}

void TTransfer::DrainCheck()
{
    const int64_t now = FPlatform.Now();
    if (FState != stDraining) return;
    if (now - FLastData >= DrainQuiet || now - FDrainStart >= DrainLongest) {
        FEngine.EndBinary();
        Return(nullptr, 0);
        return;
    }
    FDrainTimer->Start(DrainQuiet);
}

void TTransfer::Report(bool force)
{
    const int64_t now = FPlatform.Now();
    if (!force && now - FLastReport < ReportEvery) return;
    FLastReport = now;
    TTransferProgress p;
    p.Sending = FSending;
    const TFileOffer &offer = FStream->Offer();
    p.FileNumber = FStream->Offers();
    if (p.FileNumber != FFileNumber) { // a new file: what the last one had counts as moved
        FFileNumber = p.FileNumber;
        FSamples.clear();
    }
    p.FileName = offer.Name;
    p.FileSize = offer.Size;
    p.Done = offer.Size >= 0 ? std::min(FStream->Position(), offer.Size) : FStream->Position();
    if (FSending)
        p.FileCount = static_cast<int>(FSendFiles.size());
    else if (offer.FilesLeft > 0)
        p.FileCount = p.FileNumber - 1 + offer.FilesLeft;
    // The rate over the last few seconds of this file.
    if (FSamples.empty() || now - FSamples.back().first >= 200) FSamples.emplace_back(now, p.Done);
    while (FSamples.size() > 2 && now - FSamples.front().first > 5000)
        FSamples.pop_front();
    const double seconds = double(now - FSamples.front().first) / 1000;
    if (seconds >= 0.2) p.Rate = static_cast<double>(p.Done - FSamples.front().second) / seconds;
    if (p.Rate > 0 && p.FileSize >= 0)
        p.SecondsLeft = static_cast<int64_t>(static_cast<double>(p.FileSize - p.Done) / p.Rate + 0.5);
    FListener.TransferProgress(p);
}

void TTransfer::PlaceFiles(TTransferEnd end, TTransferResult &result)
{
    // Files the tool wrote under names of its own (YMODEM without an offer we saw).
    for (const std::string &name : FilesIn(FStaging))
        if (std::none_of(FStaged.begin(), FStaged.end(),
                         [&](const TStaged &s) { return s.Staged == name; })) {
            TStaged s;
            s.Staged = name;
            s.File.Name = name;
            FStaged.push_back(s);
        }
    for (size_t i = 0; i < FStaged.size(); ++i) {
        TTransferFile file = FStaged[i].File;
        const std::string path = FStaging + "/" + FStaged[i].Staged;
        file.Have = FileSize(path);
        if (file.Have < 0) continue; // skipped, or never begun
        const bool last = i + 1 == FStaged.size();
        file.Complete = file.Size >= 0 ? file.Have >= file.Size : end == TTransferEnd::Done || !last;
        if (!file.Complete && file.Have == 0) {
            ::unlink(path.c_str());
            continue;
        }
        std::string error;
        file.Path = PlaceFile(path, FFolder, SafeFileName(file.Name) + (file.Complete ? "" : ".part"), error);
        if (file.Path.empty()) FLastMessage = error;
        result.Files.push_back(file);
    }
    ::rmdir(FStaging.c_str());
    FStaging.clear();
}

void TTransfer::Finish(TTransferEnd end)
{
    if (FState == stReturned || FState == stDraining) return;
    FState = stStopping;
    Hold(false);
    Report(true);
    if (end == TTransferEnd::Failed) FEngine.SendData(zmodem::Abort, sizeof zmodem::Abort);
    TTransferResult result;
    result.End = end;
    result.Sending = FSending;
    if (FSending) {
        for (int i = 0; i < FStream->Offers() && i < static_cast<int>(FSendFiles.size()); ++i) {
            TTransferFile file;
            file.Name = BaseName(FSendFiles[size_t(i)]);
            file.Path = FSendFiles[size_t(i)];
            file.Complete = end == TTransferEnd::Done || i + 1 < FStream->Offers();
            result.Files.push_back(file);
        }
    } else {
        PlaceFiles(end, result);
    }

    std::vector<std::string> whole, partial;
    for (const TTransferFile &f : result.Files) {
        const std::string name = BaseName(f.Path.empty() ? f.Name : f.Path);
        if (f.Complete)
            whole.push_back(name);
        else
            partial.push_back(name + " (" + std::to_string(f.Have) +
                              (f.Size >= 0 ? " of " + std::to_string(f.Size) : std::string()) + " bytes)");
    }
    std::string &m = result.Message;
    switch (end) {
    case TTransferEnd::Done:
        m = whole.empty() ? "Nothing was transferred." : (FSending ? "Sent " : "Received ") + NameList(whole);
        if (!whole.empty() && !FSending) m += " in " + FFolder;
        if (!whole.empty()) m += ".";
        break;
    case TTransferEnd::Cancelled:
        m = "Transfer cancelled.";
        break;
    case TTransferEnd::Lost:
        m = "Connection lost during the transfer.";
        break;
    case TTransferEnd::Failed:
        m = "Transfer failed" + (FLastMessage.empty() ? std::string(".") : ": " + FLastMessage + ".");
        break;
    }
    if (end != TTransferEnd::Done) {
        if (!whole.empty()) m += (FSending ? " Sent " : " Received ") + NameList(whole) + ".";
        if (!partial.empty() && !FSending) m += " Kept as partial: " + NameList(partial) + ".";
    }

    switch (end) {
    case TTransferEnd::Done:
        FEngine.EndBinary();
        FListener.TransferFinished(result);
        Return(reinterpret_cast<const uint8_t *>(FAfter.data()), FAfter.size());
        return;
    case TTransferEnd::Lost:
        FListener.TransferFinished(result);
        Return(nullptr, 0);
        return;
    case TTransferEnd::Cancelled:
    case TTransferEnd::Failed:
        // What the other side still sends is dropped until it falls quiet.
        if (!FCancelled) FDrainStart = FLastData = FPlatform.Now();
        FState = stDraining;
        FDrainTimer->Start(DrainQuiet);
        FListener.TransferFinished(result);
        return;
    }
}

void TTransfer::Return(const uint8_t *bytes, size_t count)
{
    FState = stReturned;
    FDrainTimer->Stop();
    const std::string after =
        count ? std::string(reinterpret_cast<const char *>(bytes), count) : std::string();
    FAfter.clear();
    FListener.TransferReturned(reinterpret_cast<const uint8_t *>(after.data()), after.size());
}
