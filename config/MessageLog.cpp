#include "config/MessageLog.h"

#include "config/IniFile.h"
#include "config/Redirect.h"

#include <charconv>
#include <deque>
#include <optional>

namespace {

// Tabs, line breaks and backslashes inside a field are escaped, so a line is a record.
std::string Escaped(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\0':
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Unescaped(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

struct TRecord
{
    std::string Host;
    TLoggedMessage Message;
};

// host TAB seconds TAB direction ("<" in, ">" out) TAB peer TAB text; other lines are skipped.
std::optional<TRecord> ParseLine(std::string_view line)
{
    std::string_view f[5];
    for (int i = 0; i < 4; ++i) {
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return std::nullopt;
        f[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    f[4] = line;
    TRecord r;
    if (std::from_chars(f[1].data(), f[1].data() + f[1].size(), r.Message.When).ec != std::errc()) return {};
    if (f[2] != "<" && f[2] != ">") return std::nullopt;
    r.Host = Unescaped(f[0]);
    r.Message.Outgoing = f[2] == ">";
    r.Message.Peer = Unescaped(f[3]);
    r.Message.Text = Unescaped(f[4]);
    return r;
}

std::string FormatLine(std::string_view host, const TLoggedMessage &m)
{
    return Escaped(host) + '\t' + std::to_string(m.When) + '\t' + (m.Outgoing ? ">" : "<") + '\t' +
           Escaped(m.Peer) + '\t' + Escaped(m.Text) + '\n';
}

template <class F> void ForEachLine(std::string_view text, F f)
{
    while (!text.empty()) {
        const size_t eol = text.find('\n');
        f(text.substr(0, eol));
        if (eol == std::string_view::npos) break;
        text.remove_prefix(eol + 1);
    }
}

} // namespace

std::vector<TLoggedMessage> TMessageLog::Load(std::string_view host) const
{
    std::deque<TLoggedMessage> kept;
    if (std::optional<std::string> text = ReadWholeFile(FFileName))
        ForEachLine(*text, [&](std::string_view line) {
            std::optional<TRecord> r = ParseLine(line);
            if (!r || r->Host != host) return;
            kept.push_back(std::move(r->Message));
            if (kept.size() > FPerHost) kept.pop_front();
        });
    return {std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end())};
}

bool TMessageLog::Append(std::string_view host, const TLoggedMessage &message)
{
    return UpdateFileAtomically(
        FFileName, [&](const std::optional<std::string> &old) -> std::optional<std::string> {
            // Count the host's lines to know how many of its oldest to drop; other hosts' lines
            // and lines this version cannot read stay as they are.
            size_t mine = 1;
            if (old)
                ForEachLine(*old, [&](std::string_view line) {
                    if (std::optional<TRecord> r = ParseLine(line); r && r->Host == host) ++mine;
                });
            size_t drop = mine > FPerHost ? mine - FPerHost : 0;
            std::string out;
            if (old) {
                out.reserve(old->size() + 256);
                ForEachLine(*old, [&](std::string_view line) {
                    if (line.empty()) return;
                    if (drop > 0)
                        if (std::optional<TRecord> r = ParseLine(line); r && r->Host == host) {
                            --drop;
                            return;
                        }
                    out.append(line);
                    out += '\n';
                });
            }
            out += FormatLine(host, message);
            return out;
        });
}

std::string MessageLogFileName(const std::string &iniFileName)
{
    return ReplaceExtension(iniFileName, ".MSG");
}
