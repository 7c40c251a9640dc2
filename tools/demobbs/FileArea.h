#pragma once
// The demo BBS's file area: a folder whose files F lists, D sends with sz and U fills
// with rz, each tool a child whose pipes the server's poll loop serves.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

struct pollfd;

namespace demobbs {

class TFileArea
{
public:
    static constexpr size_t MaxInput = 4 << 20; // bytes for a tool that does not read

    explicit TFileArea(std::string folder) : FFolder(std::move(folder)) {}
    ~TFileArea();
    TFileArea(const TFileArea &) = delete;
    TFileArea &operator=(const TFileArea &) = delete;

    bool Exists() const { return !FFolder.empty(); }
    // The files, one "name  size" line each (CR LF), sorted.
    std::string Listing() const;
    // Starts sz for a listed file, or for several listed names between blanks; false
    // with a reason.
    bool Send(const std::string &names, std::string &why);
    // Starts rz in the folder.
    bool Receive(std::string &why);
    bool Running() const { return FPid > 0; }

    // A byte from the client, for the tool.
    void Input(uint8_t c);
    // The tool's pipes; its output only while the client has Room for it.
    void AddPollFds(std::vector<pollfd> &fds, bool room);
    // After poll: the tool's output, Telnet-escaped, is appended to Out. True once the
    // tool has ended; Ok says whether it succeeded.
    bool Service(const std::vector<pollfd> &fds, std::string &out, bool &ok);
    // Ends the tool (the client is gone).
    void Stop();

    // The answer to a TRANSMIT-BINARY request (empty: none is due).
    std::string BinaryAnswer(uint8_t verb);

private:
    bool Spawn(const std::vector<std::string> &args, std::string &why);
    void CloseAll();

    std::string FFolder;
    pid_t FPid = -1;
    int FIn = -1, FOut = -1; // the tool's stdin and stdout
    size_t FPollAt = 0;      // our entries in the poll set
    bool FPolled = false;
    std::string FPending; // for the tool's stdin
    bool FBinaryIn = false, FBinaryOut = false;
};

} // namespace demobbs
