// The express messages of each host, kept across sessions in a file beside the settings:
// one message a line, the newest last, at most PerHost of them a host. Every append reads
// the file afresh and rewrites it atomically under the folder's write lock, so two running
// programs both keep their messages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TLoggedMessage
{
    int64_t When = 0; // seconds since the epoch
    std::string Peer; // the other user (UTF-8; may be empty)
    std::string Text; // UTF-8, line breaks kept
    bool Outgoing = false;
};

class TMessageLog
{
public:
    static constexpr size_t PerHost = 1000;

    explicit TMessageLog(std::string fileName, size_t perHost = PerHost)
        : FFileName(std::move(fileName)), FPerHost(perHost)
    {
    }
    const std::string &FileName() const { return FFileName; }

    // The host's messages, oldest first; none when the file is missing or unreadable.
    std::vector<TLoggedMessage> Load(std::string_view host) const;
    // Adds a message to the host's and drops its oldest beyond the bound; false when the file
    // could not be written (it is then as it was).
    bool Append(std::string_view host, const TLoggedMessage &message);

private:
    std::string FFileName;
    size_t FPerHost;
};

// The log's file for a settings file: beside it, same name, extension .MSG.
std::string MessageLogFileName(const std::string &iniFileName);
