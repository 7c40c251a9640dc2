// One file transfer over the connection, run by Debian's lrzsz tools as a child: the
// Telnet engine's binary path carries the other side's bytes to the tool and the tool's
// bytes back (0xFF doubled). Received files are written by the tool into a private
// folder and moved into the download folder under safe names that replace nothing.
#pragma once

#include "protocol/SenderStream.h"
#include "session/ChildProcess.h"
#include "session/SessionPlatform.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class TTelnetStateMachine;

enum class TTransferProtocol : uint8_t { Zmodem, Ymodem, Xmodem };

struct TTransferProgress
{
    bool Sending = false;
    std::string FileName; // as the sender gave it; show it as plain text
    int FileNumber = 0;   // from 1; 0 before the first file
    int FileCount = 0;    // 0: not known
    int64_t FileSize = -1;
    int64_t Done = 0;         // bytes of this file
    double Rate = 0;          // bytes per second, over the last seconds
    int64_t SecondsLeft = -1; // -1: not known
};

struct TTransferFile
{
    std::string Name;  // as offered (or sent)
    std::string Path;  // where it is now; empty when it could not be kept
    int64_t Size = -1; // what the sender announced
    int64_t Have = 0;  // bytes there
    bool Complete = false;
};

// How a transfer ended: whole; cancelled by the user; the connection lost; the BBS gave up
// (its tool stopped, or ours gave up on it); a file could not be written or read here; the
// tool could not run.
enum class TTransferEnd : uint8_t { Done, Cancelled, Lost, Stopped, DiskError, Failed };

struct TTransferResult
{
    TTransferEnd End = TTransferEnd::Done;
    bool Sending = false;
    std::vector<TTransferFile> Files;
    std::string Message; // for the user, one line
    std::string Details; // the tool's own last words, or the system's, when there are any
};

// "512 bytes", "12.3 KB", "2.0 MB".
std::string SizeText(int64_t bytes);

class TTransferListener
{
public:
    virtual ~TTransferListener() = default;
    virtual void TransferProgress(const TTransferProgress &progress) = 0;
    // The tool has ended; files are where Result says.
    virtual void TransferFinished(const TTransferResult &result) = 0;
    // The connection is the terminal's again, and Bytes (maybe none) came after the
    // transfer. The last call: the transfer may be destroyed from inside it.
    virtual void TransferReturned(const uint8_t *bytes, size_t count) = 0;
    // The tool is behind: reading the connection stops until it has caught up.
    virtual void TransferHoldInput(bool hold) { (void)hold; }
};

class TTransfer : private TChildListener
{
public:
    TTransfer(TTelnetStateMachine &engine, TSessionPlatform &platform, TChildFactory children,
              TTransferListener &listener);
    ~TTransfer() override;
    TTransfer(const TTransfer &) = delete;
    TTransfer &operator=(const TTransfer &) = delete;

    // Receives into Folder. Initial: bytes of the other side already read (the offer that
    // started it). XmodemName names the one file XMODEM brings. False with Error set when
    // it cannot start; nothing was changed then.
    bool Receive(TTransferProtocol protocol, const std::string &folder, const std::string &xmodemName,
                 const uint8_t *initial, size_t count, std::string &error);
    // Sends Files (XMODEM: the first only).
    bool Send(TTransferProtocol protocol, const std::vector<std::string> &files, std::string &error);

    // Ends it from our side: the other side is told (eight CAN, eight BS), the tool stopped.
    void Cancel();
    // The connection is gone: the tool is stopped.
    void ConnectionLost();

    // The tool runs (the panel shows).
    bool Running() const { return FState == stRunning; }

    // The program name and arguments of each tool (tests and the benchmark read them).
    static std::vector<std::string> Command(TTransferProtocol protocol, bool sending);

private:
    enum TState : uint8_t { stIdle, stRunning, stStopping, stDraining, stReturned };
    struct TStaged
    {
        std::string Staged; // its name in the private folder
        TTransferFile File;
    };

    bool Start(TTransferProtocol protocol, bool sending, std::vector<std::string> args,
               const std::string &folder, std::string &error);
    void FromPeer(const uint8_t *data, size_t count);
    size_t BeforeAbort(const uint8_t *data, size_t count);
    void PeerStopped();
    void ToChild(const uint8_t *data, size_t count);
    std::string StageName(const TFileOffer &offer);
    void Report(bool force);
    void Finish(TTransferEnd end);
    std::string EndMessage(const TTransferResult &result) const;
    void PlaceFiles(TTransferEnd end, TTransferResult &result);
    void Return(const uint8_t *bytes, size_t count);
    void DrainCheck();
    void Hold(bool hold);

    void ChildOutput(const uint8_t *data, size_t count) override;
    void ChildMessage(const std::string &line) override;
    void ChildFinished(int exitCode) override;
    void ChildFailed(const std::string &why) override;
    void ChildInputTaken() override;

    TTelnetStateMachine &FEngine;
    TSessionPlatform &FPlatform;
    TChildFactory FChildren;
    TTransferListener &FListener;
    std::unique_ptr<TChildProcess> FChild;
    std::unique_ptr<TSenderStream> FStream; // the sender's bytes: the peer's or the tool's
    TState FState = stIdle;
    TTransferProtocol FProtocol = TTransferProtocol::Zmodem;
    bool FSending = false;
    bool FCancelled = false;
    bool FLost = false;
    bool FPeerStopped = false; // the sender aborted
    int FCanRun = 0;           // CANs in a row from the sender
    bool FHolding = false;     // the connection is not read until the tool takes its input
    std::string FFolder, FStaging;
    std::vector<TStaged> FStaged;
    std::vector<std::string> FSendFiles;
    std::string FAfter;       // the other side's bytes after the transfer, for the terminal
    std::string FLastMessage; // the tool's last complaint
    std::string FPlaceError;  // a received file could not be moved into the folder
    int FFileNumber = 0;
    int64_t FLastReport = -1000, FDrainStart = 0, FLastData = 0; // platform milliseconds
    std::deque<std::pair<int64_t, int64_t>> FSamples;            // for the rate: when, bytes done
    std::unique_ptr<TSessionTimer> FDrainTimer;
    std::unique_ptr<TSessionTimer> FByeTimer; // the sender's "OO" is overdue
};
