#include "config/HostDirectory.h"

#include "config/HostLink.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <functional>

namespace {

const char *const CommentKey = "Comment";
const char *const LastConnectedKey = "Last Connected";
const char *const CallsKey = "Calls";
const char *const LastCheckKey = "Last Check";
const char *const LastCheckedKey = "Last Checked";

// Writes into a saved host's section only; a name that is no saved host is refused.
bool UpdateHost(THostInfo &hosts, const std::string &name, const std::function<void(TIniDocument &)> &edit)
{
    return hosts.IsSavedHost(name) && hosts.Ini().Update(edit);
}

std::string PercentEncoded(const std::string &s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const unsigned char u = (unsigned char)c;
        if (c == ' ') {
            out += '_';
        } else if (std::isalnum(u) || c == '-' || c == '.' || c == '~' || c == '_' || c == '(' || c == ')') {
            out += c;
        } else {
            out += '%';
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

} // namespace

std::vector<THostRecord> ReadHostDirectory(const THostInfo &hosts)
{
    std::vector<THostRecord> records;
    const TIniDocument doc = hosts.Ini().Load();
    for (const std::string &name : hosts.HostList()) {
        THostRecord r;
        r.Name = name;
        hosts.LookupHost(name, r.Host);
        r.Comment = doc.ReadString(name, CommentKey, "");
        r.LastConnected = doc.ReadString(name, LastConnectedKey, "");
        r.Calls = std::max(0, doc.ReadInteger(name, CallsKey, 0));
        r.LastCheck = doc.ReadString(name, LastCheckKey, "");
        r.LastChecked = doc.ReadString(name, LastCheckedKey, "");
        records.push_back(std::move(r));
    }
    return records;
}

bool RecordCall(THostInfo &hosts, const std::string &name, const std::string &when)
{
    return UpdateHost(hosts, name, [&](TIniDocument &doc) {
        doc.WriteString(name, LastConnectedKey, when);
        doc.WriteInteger(name, CallsKey, std::max(0, doc.ReadInteger(name, CallsKey, 0)) + 1);
    });
}

bool RecordCheck(THostInfo &hosts, const std::string &name, const std::string &when,
                 const std::string &result)
{
    return UpdateHost(hosts, name, [&](TIniDocument &doc) {
        doc.WriteString(name, LastCheckKey, result);
        doc.WriteString(name, LastCheckedKey, when);
    });
}

bool StoreComment(THostInfo &hosts, const std::string &name, const std::string &comment)
{
    return UpdateHost(hosts, name, [&](TIniDocument &doc) {
        if (doc.ReadString(name, CommentKey, "") != comment) doc.WriteString(name, CommentKey, comment);
    });
}

std::string DirectoryTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

std::string ExportSyncTermList(const std::vector<THostRecord> &hosts, bool withPasswords)
{
    std::string out;
    for (const THostRecord &r : hosts) {
        const THostSettings &h = r.Host;
        const char *type = h.Transport == THostTransport::Ssh   ? "SSH"
                           : h.Transport == THostTransport::Tls ? "TelnetS"
                                                                : "Telnet";
        out += "[" + r.Name + "]\n";
        out += "\tAddress=" + h.Address + "\n";
        out += "\tPort=" + (ValidPort(h.Port) ? TrimBlanks(h.Port) : DefaultLinkPort(h.Transport)) + "\n";
        out += std::string("\tConnectionType=") + type + "\n";
        if (!h.LoginName.empty()) out += "\tUserName=" + h.LoginName + "\n";
        if (withPasswords && !h.Password.empty()) out += "\tPassword=" + h.Password + "\n";
        if (!r.Comment.empty()) out += "\tComment=" + r.Comment + "\n";
        out += "\n";
    }
    return out;
}

std::string HostLinkOf(const std::string &name, const THostSettings &host)
{
    const char *scheme = host.Transport == THostTransport::Ssh   ? "ssh://"
                         : host.Transport == THostTransport::Tls ? "telnets://"
                                                                 : "telnet://";
    std::string link = scheme;
    if (host.Transport == THostTransport::Ssh && !host.LoginName.empty())
        link += PercentEncoded(host.LoginName) + "@";
    link += host.Address.find(':') != std::string::npos ? "[" + host.Address + "]" : host.Address;
    const std::string port = TrimBlanks(host.Port);
    if (ValidPort(port) && port != DefaultLinkPort(host.Transport)) link += ":" + port;
    return link + "/" + PercentEncoded(name);
}

std::string ExportHostLinks(const std::vector<THostRecord> &hosts)
{
    std::string out;
    for (const THostRecord &r : hosts)
        out += HostLinkOf(r.Name, r.Host) + "\n";
    return out;
}
