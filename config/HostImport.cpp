#include "config/HostImport.h"

#include "config/HostLink.h"
#include "config/TextEncoding.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

// The file's lines without their line ends.
std::vector<std::string_view> Lines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    while (!bytes.empty()) {
        const size_t lf = bytes.find('\n');
        std::string_view line = bytes.substr(0, lf);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        bytes.remove_prefix(lf + 1);
    }
    return lines;
}

std::string LineError(int line, const std::string &what)
{
    return "Line " + std::to_string(line) + ": " + what;
}

bool HasControl(std::string_view s)
{
    return std::any_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x20 || c == 0x7F; });
}

// Text the settings file can hold: valid UTF-8 (else read as Latin-1), no control bytes.
std::string CleanText(std::string_view s)
{
    std::string out = TextFromStored(s);
    for (char &c : out)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = ' ';
    return TrimBlanks(out);
}

// Address and port checks shared by every format; sets Skip on a fault.
void CheckAddress(TImportEntry &e)
{
    e.Host.Address = TrimBlanks(e.Host.Address);
    if (e.Host.Address.empty())
        e.Skip = "no address";
    else if (HasControl(e.Host.Address) || e.Host.Address.find_first_of(" /") != std::string::npos)
        e.Skip = "the address \"" + CleanText(e.Host.Address) + "\" is not valid";
    else if (!ValidPort(e.Host.Port))
        e.Skip = "the port \"" + CleanText(e.Host.Port) + "\" is not a number from 1 to 65535";
    if (e.Name.empty() && e.Skip.empty()) e.Name = e.Host.Address;
}

TImportEntry NewEntry(int line)
{
    TImportEntry e;
    e.Line = line;
    e.Host.Mode = hmTelnet;
    e.Host.Terminal = THostTerminal::AnsiBbs;
    e.Host.Port.clear();
    return e;
}

// --- SyncTERM

struct TSyncTermType
{
    const char *Name;
    int Number; // its place in SyncTERM's list of connection types
    bool Usable;
    THostTransport Transport;
    const char *Port;
};
const TSyncTermType SyncTermTypes[] = {
    {"Unknown", 0, false, THostTransport::Tcp, ""},
    {"RLogin", 1, false, THostTransport::Tcp, "513"},
    {"RLoginReversed", 2, false, THostTransport::Tcp, "513"},
    {"Telnet", 3, true, THostTransport::Tcp, "23"},
    {"Raw", 4, true, THostTransport::Tcp, "23"},
    {"SSH", 5, true, THostTransport::Ssh, "22"},
    {"SSHNA", 6, true, THostTransport::Ssh, "22"},
    {"Modem", 7, false, THostTransport::Tcp, ""},
    {"Serial", 8, false, THostTransport::Tcp, ""},
    {"NoRTS", 9, false, THostTransport::Tcp, ""},
    {"Shell", 10, false, THostTransport::Tcp, ""},
    {"MBBSGhost", 11, false, THostTransport::Tcp, ""},
    {"TelnetS", 12, true, THostTransport::Tls, "992"},
    {"MQTT", 13, false, THostTransport::Tcp, ""},
};

const TSyncTermType *SyncTermType(std::string_view value)
{
    const std::string v = Lower(TrimBlanks(value));
    for (const TSyncTermType &t : SyncTermTypes)
        if (v == Lower(t.Name) || v == std::to_string(t.Number)) return &t;
    return nullptr;
}

bool IniTrue(std::string_view v)
{
    const std::string s = Lower(TrimBlanks(v));
    return s == "1" || s == "true" || s == "yes" || s == "on";
}

void FinishSyncTerm(TImportEntry &e, const std::vector<std::pair<std::string, std::string>> &keys)
{
    auto find = [&](const char *key) -> const std::string * {
        for (const auto &[k, v] : keys)
            if (Lower(k) == Lower(key)) return &v;
        return nullptr;
    };
    const TSyncTermType *type = &SyncTermTypes[5]; // SyncTERM's own default: SSH
    if (const std::string *t = find("ConnectionType")) {
        type = SyncTermType(*t);
        if (!type) {
            e.Skip = "the connection type \"" + CleanText(*t) + "\" is unknown";
            return;
        }
    }
    if (const std::string *dumb = find("BeDumb"); dumb && IniTrue(*dumb)) type = &SyncTermTypes[4];
    if (!type->Usable) {
        e.Skip = std::string("connection type ") + type->Name + " is not supported";
        return;
    }
    e.Host.Transport = type->Transport;
    if (type->Number == 4) e.Note = "a raw connection, read as Telnet";
    if (const std::string *a = find("Address")) e.Host.Address = *a;
    const std::string *port = find("Port");
    e.Host.Port = port ? TrimBlanks(*port) : type->Port;
    if (const std::string *u = find("UserName")) e.Host.LoginName = CleanText(*u);
    if (const std::string *p = find("Password")) e.Host.Password = TextFromStored(*p);
    if (const std::string *c = find("Comment")) e.Comment = CleanText(*c);
    if (const std::string *lf = find("LFExpand"); lf && IniTrue(*lf))
        e.Note += std::string(e.Note.empty() ? "" : "; ") +
                  "its LF expansion is not kept (winMarlet has no such setting)";
    e.Host.AutoLogin = !e.Host.Password.empty();
    CheckAddress(e);
}

// --- IcyTERM

// A TOML value on one line: "basic" and 'literal' strings, and bare words (numbers, booleans,
// dates); arrays and inline tables are skipped whole. False when the value is not one.
bool TomlValue(std::string_view v, std::string &out, std::string &error)
{
    out.clear();
    if (v.empty()) return error = "a key without a value", false;
    if (v.substr(0, 3) == "\"\"\"" || v.substr(0, 3) == "'''")
        return error = "multi-line strings are not read", false;
    size_t end = 0;
    if (v.front() == '\'') {
        end = v.find('\'', 1);
        if (end == std::string_view::npos) return error = "a string without its closing quote", false;
        out = std::string(v.substr(1, end - 1));
        ++end;
    } else if (v.front() == '"') {
        for (end = 1; end < v.size() && v[end] != '"'; ++end) {
            if (v[end] != '\\') {
                out += v[end];
                continue;
            }
            if (++end >= v.size()) break;
            switch (v[end]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '"':
                out += '"';
                break;
            case '\\':
                out += '\\';
                break;
            case 'u':
            case 'U': {
                const size_t n = v[end] == 'u' ? 4 : 8;
                if (end + n >= v.size()) return error = "a broken \\u escape", false;
                unsigned long cp = 0;
                for (size_t i = 1; i <= n; ++i) {
                    const char c = v[end + i];
                    if (!std::isxdigit((unsigned char)c)) return error = "a broken \\u escape", false;
                    cp = cp * 16 +
                         unsigned(std::isdigit((unsigned char)c) ? c - '0' : (std::tolower(c) - 'a' + 10));
                }
                end += n;
                if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                    return error = "a broken \\u escape", false;
                if (cp < 0x80) {
                    out += char(cp);
                } else if (cp < 0x800) {
                    out += char(0xC0 | (cp >> 6));
                    out += char(0x80 | (cp & 0x3F));
                } else if (cp < 0x10000) {
                    out += char(0xE0 | (cp >> 12));
                    out += char(0x80 | ((cp >> 6) & 0x3F));
                    out += char(0x80 | (cp & 0x3F));
                } else {
                    out += char(0xF0 | (cp >> 18));
                    out += char(0x80 | ((cp >> 12) & 0x3F));
                    out += char(0x80 | ((cp >> 6) & 0x3F));
                    out += char(0x80 | (cp & 0x3F));
                }
                break;
            }
            default:
                return error = "an unknown escape in a string", false;
            }
        }
        if (end >= v.size()) return error = "a string without its closing quote", false;
        ++end;
    } else if (v.front() == '[' || v.front() == '{') {
        // Nested brackets, with strings that may hold brackets themselves.
        int depth = 0;
        char quote = 0;
        for (end = 0; end < v.size(); ++end) {
            const char c = v[end];
            if (quote) {
                if (c == '\\' && quote == '"')
                    ++end;
                else if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '[' || c == '{') {
                ++depth;
            } else if ((c == ']' || c == '}') && --depth == 0) {
                break;
            }
        }
        if (end >= v.size()) return error = "an array or table not closed on its line", false;
        ++end;
    } else {
        end = std::min(v.find('#'), v.size());
        out = TrimBlanks(v.substr(0, end));
        if (out.empty() || HasControl(out)) return error = "a value that is not one", false;
        return true;
    }
    const std::string rest = TrimBlanks(v.substr(end));
    if (!rest.empty() && rest.front() != '#') return error = "text after the value", false;
    return true;
}

void FinishIcyTerm(TImportEntry &e, const std::vector<std::pair<std::string, std::string>> &keys)
{
    std::string protocol = "telnet", address;
    bool autoLoginScript = false;
    for (const auto &[k, v] : keys) {
        if (k == "system_name")
            e.Name = CleanText(v);
        else if (k == "address")
            address = TrimBlanks(v);
        else if (k == "protocol")
            protocol = Lower(TrimBlanks(v));
        else if (k == "user_name")
            e.Host.LoginName = CleanText(v);
        else if (k == "password")
            e.Host.Password = TextFromStored(v);
        else if (k == "comment")
            e.Comment = CleanText(v);
        else if (k == "auto_login")
            autoLoginScript = !TrimBlanks(v).empty();
        else if (k == "ice_mode")
            e.Host.IceColours = v == "true";
    }
    if (protocol == "telnet" || protocol == "raw") {
        e.Host.Transport = THostTransport::Tcp;
        if (protocol == "raw") e.Note = "a raw connection, read as Telnet";
    } else if (protocol == "ssh") {
        e.Host.Transport = THostTransport::Ssh;
    } else {
        e.Skip = "the protocol \"" + CleanText(protocol) + "\" is not supported";
        return;
    }
    if (autoLoginScript)
        e.Note += std::string(e.Note.empty() ? "" : "; ") + "its auto-login script is not kept";
    // host, host:port or [v6]:port.
    std::string_view a = address;
    std::string port;
    if (!a.empty() && a.front() == '[') {
        const size_t close = a.find(']');
        e.Host.Address = std::string(a.substr(1, close == std::string_view::npos ? a.size() : close - 1));
        if (close != std::string_view::npos && close + 1 < a.size() && a[close + 1] == ':')
            port = std::string(a.substr(close + 2));
    } else if (std::count(a.begin(), a.end(), ':') == 1) {
        e.Host.Address = std::string(a.substr(0, a.find(':')));
        port = std::string(a.substr(a.find(':') + 1));
    } else {
        e.Host.Address = std::string(a);
    }
    e.Host.Port = port.empty() ? DefaultLinkPort(e.Host.Transport) : port;
    e.Host.AutoLogin = !e.Host.Password.empty();
    CheckAddress(e);
}

} // namespace

const char *ImportFormatName(TImportFormat format)
{
    switch (format) {
    case TImportFormat::SyncTerm:
        return "SyncTERM directory";
    case TImportFormat::IcyTerm:
        return "IcyTERM phone book";
    case TImportFormat::PlainList:
        break;
    }
    return "list of hosts";
}

TImportFormat GuessImportFormat(std::string_view fileName, std::string_view bytes)
{
    const std::string name = Lower(fileName);
    auto endsWith = [&](std::string_view tail) {
        return name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
    };
    if (endsWith(".lst")) return TImportFormat::SyncTerm;
    if (endsWith(".toml")) return TImportFormat::IcyTerm;
    if (bytes.find("[[addresses]]") != std::string_view::npos) return TImportFormat::IcyTerm;
    for (std::string_view line : Lines(bytes)) {
        const std::string t = TrimBlanks(line);
        if (t.empty() || t.front() == '#' || t.front() == ';') continue;
        return t.front() == '[' && t.back() == ']' ? TImportFormat::SyncTerm : TImportFormat::PlainList;
    }
    return TImportFormat::PlainList;
}

TImportFile ReadSyncTermList(std::string_view bytes)
{
    TImportFile file;
    file.Format = TImportFormat::SyncTerm;
    std::vector<std::pair<std::string, std::string>> keys;
    std::set<std::string> seen;
    bool inEntry = false;
    auto finish = [&] {
        if (inEntry) FinishSyncTerm(file.Entries.back(), keys);
        keys.clear();
    };
    const std::vector<std::string_view> lines = Lines(bytes);
    for (size_t i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        const std::string t = TrimBlanks(lines[i]);
        if (t.empty() || t.front() == ';' || t.front() == '#') continue;
        if (t.find('\0') != std::string::npos) {
            file.Error = LineError(number, "this is not a text file.");
            break;
        }
        if (t.front() == '[') {
            if (t.back() != ']') {
                file.Error = LineError(number, "a section name without its closing ']'.");
                break;
            }
            finish();
            TImportEntry e = NewEntry(number);
            e.Name = CleanText(std::string_view(t).substr(1, t.size() - 2));
            // SyncTERM keeps the first of two sections of one name (letter case aside).
            if (e.Name.empty())
                e.Skip = "a section without a name";
            else if (!seen.insert(Lower(e.Name)).second)
                e.Skip = "a second entry of this name";
            file.Entries.push_back(std::move(e));
            inEntry = true;
            continue;
        }
        const size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0) {
            file.Error = LineError(number, "neither a [section] nor a key=value line.");
            break;
        }
        // Keys before the first section are SyncTERM's defaults, not a board.
        if (inEntry) keys.emplace_back(TrimBlanks(t.substr(0, eq)), TrimBlanks(t.substr(eq + 1)));
    }
    if (!file.Error.empty()) {
        file.Entries.clear();
        return file;
    }
    finish();
    return file;
}

TImportFile ReadIcyTermPhonebook(std::string_view bytes)
{
    TImportFile file;
    file.Format = TImportFormat::IcyTerm;
    std::vector<std::pair<std::string, std::string>> keys;
    bool inEntry = false;
    const std::vector<std::string_view> lines = Lines(bytes);
    for (size_t i = 0; i < lines.size() && file.Error.empty(); ++i) {
        const int number = int(i + 1);
        const std::string t = TrimBlanks(lines[i]);
        if (t.empty() || t.front() == '#') continue;
        if (t.front() == '[') {
            if (inEntry) FinishIcyTerm(file.Entries.back(), keys);
            keys.clear();
            inEntry = t.rfind("[[addresses]]", 0) == 0;
            if (inEntry)
                file.Entries.push_back(NewEntry(number));
            else if (t.find(']') == std::string::npos)
                file.Error = LineError(number, "a table name without ']'.");
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            file.Error = LineError(number, "neither a [table] nor a key = value line.");
            break;
        }
        std::string key = TrimBlanks(t.substr(0, eq)), value, error;
        if (key.size() >= 2 && (key.front() == '"' || key.front() == '\''))
            key = key.substr(1, key.size() - 2);
        if (!TomlValue(TrimBlanks(t.substr(eq + 1)), value, error)) {
            file.Error = LineError(number, error + ".");
            break;
        }
        if (inEntry) keys.emplace_back(key, value);
    }
    if (!file.Error.empty()) {
        file.Entries.clear();
        return file;
    }
    if (inEntry) FinishIcyTerm(file.Entries.back(), keys);
    // IcyTERM has no rule on names; two of one name are told apart by the links rule later.
    return file;
}

TImportFile ReadPlainHostList(std::string_view bytes)
{
    TImportFile file;
    const std::vector<std::string_view> lines = Lines(bytes);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string t = TrimBlanks(lines[i]);
        if (t.empty() || t.front() == '#' || t.front() == ';') continue;
        if (t.find('\0') != std::string::npos || HasControl(t)) {
            file.Entries.clear();
            file.Error = LineError(int(i + 1), "this is not a text file.");
            return file;
        }
        TImportEntry e = NewEntry(int(i + 1));
        if (IsHostLink(t)) {
            std::string why;
            if (std::optional<THostLink> link = ParseHostLink(t, &why)) {
                e.Name = link->Name;
                e.Host.Address = link->Address;
                e.Host.Port = link->Port;
                e.Host.Transport = link->Transport;
                e.Host.LoginName = link->User;
            } else {
                e.Host.Address = t;
                e.Skip = why;
            }
        } else if (t.find("://") != std::string::npos) {
            e.Host.Address = t;
            e.Skip = "only telnet://, telnets:// and ssh:// links are read";
        } else {
            std::optional<THostLink> link = ParseHostLink("telnet://" + t);
            if (!link || !link->Name.empty()) {
                e.Host.Address = t;
                e.Skip = "not a host[:port]";
            } else {
                e.Host.Address = link->Address;
                e.Host.Port = link->Port;
            }
        }
        if (e.Skip.empty()) {
            CheckAddress(e);
            if (e.Name == e.Host.Address && e.Host.Port != DefaultLinkPort(e.Host.Transport))
                e.Name += ":" + e.Host.Port;
        }
        file.Entries.push_back(std::move(e));
    }
    return file;
}

TImportFile ReadHostFile(std::string_view fileName, std::string_view bytes)
{
    switch (GuessImportFormat(fileName, bytes)) {
    case TImportFormat::SyncTerm:
        return ReadSyncTermList(bytes);
    case TImportFormat::IcyTerm:
        return ReadIcyTermPhonebook(bytes);
    case TImportFormat::PlainList:
        break;
    }
    return ReadPlainHostList(bytes);
}

std::vector<TImportPlan> PlanImport(const THostInfo &hosts, const std::vector<TImportEntry> &entries,
                                    const std::vector<std::string> &wanted)
{
    // The hosts saved now, to find an entry that is one of them already.
    std::vector<std::pair<std::string, THostSettings>> saved;
    for (const std::string &name : hosts.HostList()) {
        THostSettings s;
        if (hosts.LookupHost(name, s)) saved.emplace_back(name, s);
    }
    std::vector<std::string> taken; // names given out by this plan
    auto isTaken = [&](const std::string &name) {
        return IsReservedHostName(name) || hosts.IsSavedHost(name) ||
               std::any_of(taken.begin(), taken.end(),
                           [&](const std::string &t) { return SameIniName(t, name); });
    };
    std::vector<TImportPlan> plan;
    for (size_t i = 0; i < entries.size(); ++i) {
        const TImportEntry &e = entries[i];
        TImportPlan p;
        p.Entry = i;
        if (!e.Skip.empty()) {
            p.Skipped = e.Skip;
            plan.push_back(p);
            continue;
        }
        // The same host saved already: under this very name if there is one.
        for (const auto &[name, s] : saved)
            if (SameIniName(s.Address, e.Host.Address) && s.Port == e.Host.Port &&
                s.Transport == e.Host.Transport && s.LoginName == e.Host.LoginName &&
                (p.Skipped.empty() || SameIniName(name, e.Name)))
                p.Skipped = "already saved as " + name;
        const std::string base =
            i < wanted.size() && !TrimBlanks(wanted[i]).empty() ? CleanText(wanted[i]) : e.Name;
        for (int n = 1; p.Skipped.empty() && p.SaveAs.empty() && n <= 1000; ++n) {
            const std::string candidate = n == 1 ? base : base + " (" + std::to_string(n) + ")";
            if (!isTaken(candidate)) p.SaveAs = candidate;
        }
        if (p.Skipped.empty() && p.SaveAs.empty()) p.Skipped = "no free name";
        if (!p.SaveAs.empty()) taken.push_back(p.SaveAs);
        plan.push_back(p);
    }
    return plan;
}

bool ApplyImport(THostInfo &hosts, const std::vector<TImportEntry> &entries,
                 const std::vector<TImportPlan> &plan, bool withPasswords, const std::vector<size_t> &chosen)
{
    std::vector<TNewHost> add;
    for (const TImportPlan &p : plan) {
        if (p.SaveAs.empty() || p.Entry >= entries.size()) continue;
        if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), p.Entry) == chosen.end()) continue;
        const TImportEntry &e = entries[p.Entry];
        TNewHost h{p.SaveAs, e.Host, {}};
        if (!withPasswords) {
            h.Host.Password.clear();
            h.Host.AutoLogin = false;
        }
        if (!e.Comment.empty()) h.Extra.emplace_back("Comment", e.Comment);
        add.push_back(std::move(h));
    }
    return add.empty() || hosts.StoreNewHosts(add);
}
