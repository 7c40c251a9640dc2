#include "session/Transfer.h"

#include "protocol/Telnet.h"
#include "protocol/Xmodem.h"
#include "protocol/Zmodem.h"
#include "session/TransferFiles.h"

#include <algorithm>
#include <cstdio>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

constexpr size_t MaxAfter = 65536;
constexpr int64_t ReportEvery = 100; // milliseconds
constexpr int64_t DrainQuiet = 500;
constexpr int64_t DrainLongest = 5000;
constexpr int64_t ByeWait = 1000;

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

// lrzsz's words for a file it could not write or read: the system's error texts.
bool DiskTrouble(const std::string &text)
{
    for (const char *e : {"No space left", "File too large", "Disk quota", "Read-only file system",
                          "Input/output error", "Permission denied", "write error", "close error"})
        if (text.find(e) != std::string::npos) return true;
    return false;
}

// A receiving tool may die of a full disk before it says so.
bool DiskFull(const std::string &folder)
{
    struct statvfs fs
    {
    };
    return !folder.empty() && ::statvfs(folder.c_str(), &fs) == 0 && fs.f_bavail == 0;
}

} // namespace

std::string SizeText(int64_t bytes)
{
    if (bytes < 1024) return bytes == 1 ? "1 byte" : std::to_string(bytes) + " bytes";
    const char *const units[] = {"KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes) / 1024;
    int u = 0;
    while (v >= 1024 && u < 3) {
        v /= 1024;
        ++u;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", v, units[u]);
    return text;
}

TTransfer::TTransfer(TTelnetStateMachine &engine, TSessionPlatform &platform, TChildFactory children,
                     TTransferListener &listener)
    : FEngine(engine), FPlatform(platform), FChildren(std::move(children)), FListener(listener),
      FDrainTimer(platform.MakeTimer([this] { DrainCheck(); })),
      // A sender behind a pty may flush its "OO" away as it ends: rz, which would wait 30 s
      // for it, sees the end of its input instead.
      FByeTimer(platform.MakeTimer([this] {
          if (FState == stRunning && !FStream->Over()) FChild->CloseInput();
      }))
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
    // A quiet receiver dies of a failed write without a word (rz aborts in its close error),
    // while a verbose one names the error and prints only a few lines more.
    std::vector<std::string> args{Tools[static_cast<int>(protocol)][sending], "--binary",
                                  sending ? "--quiet" : "--verbose"};
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
            const size_t upTo = FProtocol == TTransferProtocol::Zmodem ? BeforeAbort(data, count) : count;
            const bool over = FStream->Over();
            const size_t used = FStream->Feed(data, upTo);
            if (upTo < count) {
                PeerStopped();
                return;
            }
            if (used < count && FAfter.size() < MaxAfter)
                FAfter.append(reinterpret_cast<const char *>(data + used), count - used);
            // Nothing more is the tool's: it ends now instead of waiting for more.
            if (!over && FStream->Over()) FChild->CloseInput();
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

// Five CANs in a row, which ZMODEM's escaping never sends otherwise, are the sender's abort:
// the bytes before them.
size_t TTransfer::BeforeAbort(const uint8_t *data, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        FCanRun = data[i] == zmodem::ZDLE ? FCanRun + 1 : 0;
        if (FCanRun == 5) return i + 1 >= 5 ? i + 1 - 5 : 0;
    }
    return count;
}

// Told of the abort, lrzsz's receivers delete the file they were writing; stopped, they keep
// it, and what arrived is kept as a part file.
void TTransfer::PeerStopped()
{
    FPeerStopped = true;
    FState = stStopping;
    Hold(false);
    FDrainStart = FLastData = FPlatform.Now();
    FChild->Stop();
}

void TTransfer::ChildOutput(const uint8_t *data, size_t count)
{
    if (FState != stRunning) return;
    if (FSending) {
        FStream->Feed(data, count);
        Report(FStream->Offers() != FFileNumber);
    } else {
        // Once the sender is gone, the receiver's repeats would reach the BBS as keys.
        if (FStream->Over()) return;
        FStream->FromReceiver(data, count);
        FEngine.SendData(data, count);
        if (FStream->Ending()) FByeTimer->Start(ByeWait);
    }
}

void TTransfer::ChildMessage(const std::string &line)
{
    std::string text = line;
    text.erase(
        std::remove_if(text.begin(), text.end(), [](char c) { return static_cast<uint8_t>(c) < 0x20; }),
        text.end());
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return;
    // A disk's complaint outlives what the tool says after it (or its crash).
    if (!DiskTrouble(FLastMessage)) FLastMessage = text.substr(first);
}

void TTransfer::ChildFinished(int exitCode)
{
    // A receiver that fails to write cancels, and the sender's own cancel follows: the disk's
    // complaint comes first.
    const bool disk = DiskTrouble(FLastMessage);
    Finish(FLost                       ? TTransferEnd::Lost
           : FCancelled                ? TTransferEnd::Cancelled
           : FPeerStopped && !disk     ? TTransferEnd::Stopped
           : exitCode == 0             ? TTransferEnd::Done
           : disk || DiskFull(FFolder) ? TTransferEnd::DiskError
                                       : TTransferEnd::Stopped);
}

void TTransfer::ChildFailed(const std::string &why)
{
    FLastMessage = why;
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
        if (file.Path.empty()) FPlaceError = error;
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
    // Our side gave up: the other side hears of it.
    if (end != TTransferEnd::Done && end != TTransferEnd::Cancelled && end != TTransferEnd::Lost &&
        !FPeerStopped)
        FEngine.SendData(zmodem::Abort, sizeof zmodem::Abort);
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

    // A received file that could not be kept is the disk's failure, whatever the tools say.
    if (!FPlaceError.empty() && end != TTransferEnd::Cancelled && end != TTransferEnd::Lost)
        result.End = TTransferEnd::DiskError;
    result.Details = FPlaceError.empty() ? FLastMessage : FPlaceError;
    result.Message = EndMessage(result);

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
    case TTransferEnd::Stopped:
    case TTransferEnd::DiskError:
    case TTransferEnd::Failed:
        // What the other side still sends is dropped until it falls quiet.
        if (!FCancelled && !FPeerStopped) FDrainStart = FLastData = FPlatform.Now();
        FState = stDraining;
        FDrainTimer->Start(DrainQuiet);
        FListener.TransferFinished(result);
        return;
    }
}

std::string TTransfer::EndMessage(const TTransferResult &result) const
{
    std::vector<std::string> whole;
    const TTransferFile *partial = nullptr;
    for (const TTransferFile &f : result.Files) {
        if (f.Complete)
            whole.push_back(BaseName(f.Path.empty() ? f.Name : f.Path));
        else
            partial = &f;
    }
    std::string done;
    if (!whole.empty())
        done =
            (FSending ? "Sent " : "Received ") + NameList(whole) + (FSending ? "" : " in " + FFolder) + ".";
    std::string m;
    switch (result.End) {
    case TTransferEnd::Done:
        return done.empty() ? "Nothing was transferred." : done;
    case TTransferEnd::Failed:
        return Command(FProtocol, FSending).front() +
               " could not be started; the lrzsz package provides it." + (done.empty() ? "" : " " + done);
    case TTransferEnd::Cancelled:
        m = "You cancelled the transfer";
        break;
    case TTransferEnd::Lost:
        m = "The connection was lost";
        break;
    case TTransferEnd::Stopped:
        m = "The BBS stopped";
        break;
    case TTransferEnd::DiskError:
        m = FSending ? "The file could not be read" : "The file could not be written to the disk";
        break;
    }
    // How far the file under way got, and what is left of it here.
    const bool underWay = FSending ? partial != nullptr : FStream->Offers() > static_cast<int>(whole.size());
    if (!underWay) {
        m += " before any file began.";
    } else {
        const int64_t size = FStream->Offer().Size;
        const int64_t have = !FSending && partial ? partial->Have : FStream->Position();
        m += " after " + SizeText(have) + (size >= 0 ? " of " + SizeText(size) : std::string());
        if (FSending)
            m += "; " + partial->Name + " was not sent whole.";
        else if (partial && !partial->Path.empty())
            m += "; what arrived is kept as " + BaseName(partial->Path) + ".";
        else
            m += "; nothing of " + FStream->Offer().Name + " was kept.";
    }
    return done.empty() ? m : m + " " + done;
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
