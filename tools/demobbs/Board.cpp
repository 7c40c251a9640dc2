#include "tools/demobbs/Board.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace demobbs {

namespace {

const char Magic[] = "winmarlet-demobbs 1";

std::vector<std::string> SplitTabs(const std::string &line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

// Field text: tabs and line breaks would break the record.
std::string Field(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

void AppendText(std::string &out, std::string_view text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        out += '|';
        out.append(text.substr(start, end - start));
        out += '\n';
        start = end + 1;
    }
    out += ".\n";
}

std::string Capped(std::string_view text)
{
    return std::string(text.substr(0, TBoard::MaxText));
}

bool WriteAtomically(const std::string &path, const std::string &data)
{
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    const bool ok = done == data.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x + 32);
        if (y >= 'A' && y <= 'Z') y = char(y + 32);
        if (x != y) return false;
    }
    return true;
}

bool TBoard::Load(std::string &error)
{
    if (FDataFile.empty()) return true;
    std::ifstream in(FDataFile, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return true;
        error = FDataFile + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    if (!std::getline(in, line)) return true; // an empty file is an empty board
    if (line != Magic) {
        error = FDataFile + ": not a winmarlet-demobbs data file";
        return false;
    }
    // A record and the text that follows it.
    std::vector<std::string> record;
    std::string text;
    bool inText = false;
    bool firstLine = true;
    auto finish = [&] {
        if (record.empty()) return;
        const std::string &kind = record[0];
        if (kind == "profile" && record.size() >= 2) {
            if (TUser *u = FindUser(record[1])) u->Profile = Capped(text);
        } else if (kind == "post" && record.size() >= 4) {
            TPost p{std::atoi(record[1].c_str()), std::time_t(std::atoll(record[2].c_str())), record[3],
                    Capped(text)};
            FNextPostId = std::max(FNextPostId, p.Id + 1);
            FPosts.push_back(std::move(p));
            if (FPosts.size() > MaxPosts) FPosts.pop_front();
        } else if (kind == "message" && record.size() >= 4) {
            FMessages.push_back(
                {std::time_t(std::atoll(record[1].c_str())), record[2], record[3], Capped(text)});
            if (FMessages.size() > MaxMessages) FMessages.pop_front();
        }
        record.clear();
    };
    while (std::getline(in, line)) {
        if (inText) {
            if (line == ".") {
                inText = false;
                finish();
            } else if (!line.empty() && line[0] == '|') {
                if (!firstLine) text += '\n';
                text.append(line, 1);
                firstLine = false;
            }
            continue;
        }
        std::vector<std::string> f = SplitTabs(line);
        if (f[0] == "user" && f.size() >= 3 && !f[1].empty() && !FindUser(f[1]) && FUsers.size() < MaxUsers) {
            FUsers.push_back({f[1], f[2], {}});
        } else if (f[0] == "profile" || f[0] == "post" || f[0] == "message") {
            record = std::move(f);
            text.clear();
            inText = true;
            firstLine = true;
        }
    }
    return true;
}

std::string TBoard::Serialize() const
{
    std::string out = std::string(Magic) + "\n";
    for (const TUser &u : FUsers)
        out += "user\t" + Field(u.Name) + "\t" + Field(u.Password) + "\n";
    for (const TUser &u : FUsers) {
        if (u.Profile.empty()) continue;
        out += "profile\t" + Field(u.Name) + "\n";
        AppendText(out, u.Profile);
    }
    for (const TPost &p : FPosts) {
        out += "post\t" + std::to_string(p.Id) + "\t" + std::to_string(int64_t(p.Time)) + "\t" +
               Field(p.Author) + "\n";
        AppendText(out, p.Text);
    }
    for (const TMessage &m : FMessages) {
        out +=
            "message\t" + std::to_string(int64_t(m.Time)) + "\t" + Field(m.From) + "\t" + Field(m.To) + "\n";
        AppendText(out, m.Text);
    }
    return out;
}

bool TBoard::SaveIfChanged()
{
    if (!FChanged || FDataFile.empty()) return true;
    if (!WriteAtomically(FDataFile, Serialize())) return false;
    FChanged = false;
    return true;
}

TUser *TBoard::FindUser(std::string_view name)
{
    for (TUser &u : FUsers)
        if (SameName(u.Name, name)) return &u;
    return nullptr;
}

TUser *TBoard::AddUser(const std::string &name, const std::string &password)
{
    if (FUsers.size() >= MaxUsers) return nullptr;
    FUsers.push_back({name, password, {}});
    FChanged = true;
    return &FUsers.back();
}

void TBoard::SetProfile(TUser &user, std::string_view text)
{
    user.Profile = Capped(text);
    FChanged = true;
}

const TPost &TBoard::AddPost(const std::string &author, std::string_view text, std::time_t when)
{
    FPosts.push_back({FNextPostId++, when, author, Capped(text)});
    if (FPosts.size() > MaxPosts) FPosts.pop_front();
    FChanged = true;
    return FPosts.back();
}

void TBoard::AddMessage(const std::string &from, const std::string &to, std::string_view text,
                        std::time_t when)
{
    FMessages.push_back({when, from, to, Capped(text)});
    if (FMessages.size() > MaxMessages) FMessages.pop_front();
    FChanged = true;
}

} // namespace demobbs
