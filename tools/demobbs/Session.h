#pragma once
// One connection of the demo BBS: recognises the client's protocol from its first
// bytes, negotiates Telnet options or runs the CLient edits, and drives login and
// the menu as one state machine. It only reads and writes byte buffers; the
// server owns the socket and everything shared between connections.

#include "tools/demobbs/Board.h"
#include "tools/demobbs/FileArea.h"
#include "tools/demobbs/Screens.h"
#include "tools/demobbs/TelnetCodec.h"

#include <bitset>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace demobbs {

// What a session needs from the server.
class TBbsHost
{
public:
    virtual ~TBbsHost() = default;
    virtual TBoard &Board() = 0;
    // Users online, the Sysop first, each name once.
    virtual std::vector<std::string> OnlineNames() const = 0;
    // The spelling under which a name is online; empty when it is not.
    virtual std::string OnlineName(std::string_view name) const = 0;
    virtual void SendExpress(const std::string &from, const std::string &to, const std::string &text) = 0;
    virtual void LoggedIn(const std::string &name) = 0;
    virtual void PostAdded(const TPost &post) = 0;
    // The file area's folder; empty: there is none.
    virtual std::string FileFolder() const { return {}; }
};

class TSession
{
public:
    static constexpr size_t MaxUpload = 32768;   // an edit's text and its end marks
    static constexpr size_t MaxOutput = 1 << 20; // a peer that reads nothing is dropped
    static constexpr size_t MaxQueued = 20;      // express messages held back while busy
    static constexpr double GreetingWait = 0.8;  // seconds for FF A0 / FF B0 before Telnet
    static constexpr double NegotiationWait = 2.0;
    static constexpr double DetectWait = 1.5; // for the answer to ESC[6n
    static constexpr double LoginWait = 300;  // seconds from connect to a finished login
    static constexpr double LingerWait = 5;   // for the last output before closing
    static constexpr int MaxLoginTries = 3;
    static constexpr int FloodLines = 1000; // the # command's numbered lines

    TSession(TBbsHost &host, double now);

    void Receive(const uint8_t *data, size_t count, double now);
    // Runs what is due at monotonic time now.
    void Tick(double now);
    // When Tick has something to do; negative for never.
    double Deadline() const;

    // Bytes for the peer; the server removes what it wrote.
    std::string &Output() { return FOut; }
    // Close once the output is written.
    bool Finished() const { return FState == ssGone; }
    // Close at once (abuse, or a peer that does not read).
    bool Broken() const { return FBroken; }
    const std::string &BrokenReason() const { return FBrokenReason; }

    bool LoggedIn() const { return FLoggedIn; }
    const std::string &Name() const { return FName; }
    TProto Proto() const { return FProto; }

    void ReceiveExpress(const std::string &from, const std::string &text, std::time_t when);
    // The server stops: a last word, then the connection ends.
    void Shutdown();

    // A file transfer's tool: its pipes in the server's poll set, served after poll.
    void AddPollFds(std::vector<pollfd> &fds);
    void ServicePoll(const std::vector<pollfd> &fds, double now);
    // A transfer's output waits until then to be sent, unless it has grown large; negative
    // when it may go now. sz writes a kilobyte at a time: gathered, the line carries a few
    // large writes where it would carry hundreds of small ones.
    double HoldUntil() const { return FHoldUntil; }

private:
    enum TState : uint8_t {
        ssGreeting,    // waiting for the client's first bytes
        ssNegotiating, // Telnet: waiting for the answers to our options
        ssDetecting,   // Telnet: waiting for an ANSI terminal's cursor position
        ssLoginName,
        ssPassword,
        ssMenu,
        ssExpressTo,
        ssExpressText,
        ssMore, // reading posts, waiting for a key at the MORE mark
        ssPostText,
        ssPostConfirm, // Telnet: save, abort or continue
        ssProfileText,
        ssFileName, // Telnet: the name of a file to download
        ssTransfer, // a file transfer's tool has the connection
        ssGone,
    };
    // How a CLient upload ends: by kind of the edit that was opened.
    enum TFrame : uint8_t { frLine, frNul, frPost, frUnasked };
    // Telnet input: single keys, one line, or lines until an empty one.
    enum TInput : uint8_t { inKey, inLine, inText };

    struct TAnswer
    {
        std::string Text;
        bool Aborted = false;
    };

    // Input
    void OnEvent(const TTelnetEvent &ev);
    void OnOption(uint8_t verb, uint8_t option);
    void OnSub(uint8_t option, std::string_view sub);
    void AnswerOnce(uint8_t verb, uint8_t option);
    void OnData(uint8_t c);
    void OnUploadByte(uint8_t c);
    void FinishUpload();
    void OnTelnetChar(uint8_t c);
    bool SkipEscape(uint8_t c, bool &lone);
    void Choose(TProto proto);
    void Break(const std::string &reason);

    // Output
    void Say(std::string_view text);
    void SendRaw(std::initializer_list<uint8_t> bytes);
    void OpenEdit(uint8_t command, uint8_t p, TFrame frame);
    void AskName(std::string_view prompt);
    void AskPassword();
    void AskText(bool longText, std::string_view prompt);
    void AskProfile();
    void StartLine(size_t max, bool masked);
    void EchoLine(std::string_view text);

    // The state machine (Commands.cpp)
    void StartNegotiation();
    void StartDetection();
    void OnDetectByte(uint8_t c);
    void StartLogin();
    void OnAnswer(const TAnswer &answer);
    void OnKey(uint8_t c);
    void AnswerLoginName(const std::string &text);
    void AnswerPassword(const std::string &text);
    void LoginDone(const std::string &name);
    void EnterMenu(bool full);
    void MenuKey(uint8_t c);
    void ShowWho();
    void ShowPost(int fromId);
    void MoreKey(uint8_t c);
    void AnswerExpressTo(const std::string &text);
    void AnswerExpressText(const TAnswer &answer);
    void AnswerPost(const TAnswer &answer);
    void PostConfirmKey(uint8_t c);
    void SavePost(const std::string &text);
    void AnswerProfile(const TAnswer &answer);
    void FileKey(uint8_t c);
    void AnswerFileName(const std::string &name);
    void TransferDone(bool ok, const std::string &why);
    void DeliverExpress(const std::string &bytes);
    std::string Body(const std::string &text) const;
    std::string ExpressBytes(const std::string &from, const std::string &text, std::time_t when);
    void Leave(std::string_view words);

    TBbsHost &FHost;
    TState FState = ssGreeting;
    TProto FProto = prUnknown;
    double FDeadline = -1; // of the greeting, the negotiation or the last output
    double FLoginBy = 0;
    double FNow = 0;
    bool FStartPending = false;
    std::string FOut;
    bool FBroken = false;
    std::string FBrokenReason;
    TTelnetDecoder FDecoder;
    int FCols = 80;
    int FRows = 24;
    bool FDetected = false; // Telnet: the terminal was asked whether it speaks ANSI
    bool FAnsi = false;     // and it answered
    std::string FReport;    // its answer so far

    // Telnet negotiation: answers still awaited, one bit per request.
    enum : uint8_t { waEcho = 1, waSga = 2, waNaws = 4, waTtype = 8, waSize = 16, waTermName = 32 };
    uint8_t FAwaited = 0;
    std::bitset<256> FAnswered; // options the peer's requests were answered for

    // CLient mode
    int32_t FCount = 0;        // text characters received since the last count reset
    bool FEditPending = false; // an edit is open on the client
    bool FEditReplays = false; // it was sent with our count (not B5)
    TFrame FFrame = frUnasked;
    bool FUploading = false;
    std::string FUpload;
    int FEditsOpened = 0;
    bool FExpectY = false; // the ISCA client's y after its second edit
    bool FOptionsSent = false;
    int FEscape = 0; // bytes of an ESC [ sequence seen (cursor keys are not counted)

    // Telnet line input
    TInput FInput = inKey;
    std::string FLine;
    size_t FLineMax = 0;
    bool FMasked = false;
    bool FAfterCr = false;
    std::string FText; // lines collected so far

    // Login and commands
    bool FLoggedIn = false;
    std::string FName;
    std::string FPendingName;
    int FLoginFailures = 0;
    std::string FExpressTo;
    int FMessageNumber = 0;
    std::deque<std::string> FQueued;
    int FNextPostId = 0; // reading posts: the next post to show

    TFileArea FFiles;
    double FHoldUntil = -1;
};

} // namespace demobbs
