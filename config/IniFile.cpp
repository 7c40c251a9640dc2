#include "config/IniFile.h"

#include "config/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// What a line of the file is, with the name it carries.
enum class TKind { Other, Section, Key };

TKind Classify(std::string_view line, std::string_view &name, std::string_view *value = nullptr)
{
    std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';') return TKind::Other;
    if (t.front() == '[') {
        t.remove_prefix(1);
        // The last ']' ends the name, so a name holding ']' reads back whole.
        size_t close = t.rfind(']');
        name = Trim(close == std::string_view::npos ? t : t.substr(0, close));
        return TKind::Section;
    }
    size_t eq = t.find('=');
    if (eq == std::string_view::npos) return TKind::Other;
    name = Trim(t.substr(0, eq));
    if (name.empty()) return TKind::Other;
    if (value) *value = Trim(t.substr(eq + 1));
    return TKind::Key;
}

bool HasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool ValidSectionName(std::string_view s)
{
    return !s.empty() && !HasLineBreakOrNul(s);
}

bool ValidKeyName(std::string_view s)
{
    return !s.empty() && !HasLineBreakOrNul(s) && s.find('=') == std::string_view::npos && s.front() != '[' &&
           s.front() != ';';
}

bool WriteAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

TAtomicWriteHook &WriteHook()
{
    static TAtomicWriteHook hook;
    return hook;
}

} // namespace

bool SameIniName(std::string_view a, std::string_view b)
{
    return CompareIniNames(a, b) == 0;
}

int CompareIniNames(std::string_view a, std::string_view b)
{
    return CompareFoldedNames(a, b);
}

std::string FolderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<int> ParseIniInteger(std::string_view text)
{
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > (long long)INT_MAX + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return int(value);
}

// ---- TIniDocument ----

TIniDocument TIniDocument::Parse(std::string_view bytes)
{
    TIniDocument doc;
    // An editor's UTF-8 byte-order mark is no part of the first line; written back as found.
    constexpr std::string_view Bom = "\xEF\xBB\xBF";
    if (bytes.substr(0, Bom.size()) == Bom) {
        doc.FBom = Bom;
        bytes.remove_prefix(Bom.size());
    }
    while (!bytes.empty()) {
        size_t lf = bytes.find('\n');
        TLine line;
        if (lf == std::string_view::npos) {
            line.Text = std::string(bytes);
            bytes = {};
        } else {
            size_t end = lf;
            if (end > 0 && bytes[end - 1] == '\r') {
                --end;
                line.Eol = "\r\n";
            } else {
                line.Eol = "\n";
            }
            line.Text = std::string(bytes.substr(0, end));
            bytes.remove_prefix(lf + 1);
        }
        doc.FLines.push_back(std::move(line));
    }
    return doc;
}

std::string TIniDocument::Text() const
{
    std::string out = FBom;
    for (const TLine &line : FLines) {
        out += line.Text;
        out += line.Eol;
    }
    return out;
}

std::string TIniDocument::NewEol() const
{
    for (const TLine &line : FLines)
        if (!line.Eol.empty()) return line.Eol;
    return "\r\n";
}

bool TIniDocument::SectionRange(std::string_view section, size_t &header, size_t &end, size_t from) const
{
    section = Trim(section);
    for (size_t i = from; i < FLines.size(); ++i) {
        std::string_view name;
        if (Classify(FLines[i].Text, name) != TKind::Section || !SameIniName(name, section)) continue;
        header = i;
        end = i + 1;
        while (end < FLines.size() && Classify(FLines[end].Text, name) != TKind::Section)
            ++end;
        return true;
    }
    return false;
}

std::optional<std::string> TIniDocument::FindValue(std::string_view section, std::string_view key) const
{
    size_t header, end;
    if (!SectionRange(section, header, end)) return std::nullopt;
    key = Trim(key);
    for (size_t i = header + 1; i < end; ++i) {
        std::string_view name, value;
        if (Classify(FLines[i].Text, name, &value) == TKind::Key && SameIniName(name, key))
            return TextFromStored(value);
    }
    return std::nullopt;
}

bool TIniDocument::HasSection(std::string_view section) const
{
    size_t header, end;
    return SectionRange(section, header, end);
}

bool TIniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value)
{
    section = Trim(section);
    key = Trim(key);
    if (!ValidSectionName(section) || !ValidKeyName(key)) return false;
    size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string_view::npos) value = value.substr(0, cut);

    size_t header, end;
    if (SectionRange(section, header, end)) {
        for (size_t i = header + 1; i < end; ++i) {
            std::string_view name;
            if (Classify(FLines[i].Text, name) == TKind::Key && SameIniName(name, key)) {
                // Keep the key as the file spells it, and whatever precedes '='.
                std::string &text = FLines[i].Text;
                text = text.substr(0, text.find('=') + 1) + std::string(value);
                return true;
            }
        }
        // After the last non-blank line of the section, so blank lines that
        // separate it from the next section stay in front of that one.
        size_t last = end - 1;
        while (last > header && Trim(FLines[last].Text).empty())
            --last;
        std::string eol = NewEol();
        if (FLines[last].Eol.empty()) FLines[last].Eol = eol;
        FLines.insert(FLines.begin() + std::ptrdiff_t(last + 1),
                      TLine{std::string(key) + "=" + std::string(value), eol});
        return true;
    }

    std::string eol = NewEol();
    if (!FLines.empty()) {
        if (FLines.back().Eol.empty()) FLines.back().Eol = eol;
        if (!Trim(FLines.back().Text).empty()) FLines.push_back(TLine{"", eol});
    }
    FLines.push_back(TLine{"[" + std::string(section) + "]", eol});
    FLines.push_back(TLine{std::string(key) + "=" + std::string(value), eol});
    return true;
}

void TIniDocument::RemoveSection(std::string_view section)
{
    // Every section of the name goes, so a later duplicate cannot surface in its place.
    size_t header, end;
    while (SectionRange(section, header, end))
        FLines.erase(FLines.begin() + std::ptrdiff_t(header), FLines.begin() + std::ptrdiff_t(end));
}

// ---- files ----

std::optional<std::string> ReadWholeFile(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string data;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            errno = err;
            return std::nullopt;
        }
        if (n == 0) break;
        data.append(buf, size_t(n));
    }
    ::close(fd);
    return data;
}

std::string ResolveFileLinks(const std::string &path)
{
    std::string current = path;
    for (int depth = 0; depth < 16; ++depth) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char buf[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), buf, sizeof buf - 1);
        if (n <= 0) return current;
        std::string target(buf, size_t(n));
        current = target.front() == '/' ? target : FolderOf(current) + "/" + target;
    }
    return current;
}

bool MakeFolders(const std::string &path)
{
    if (path.empty()) return true;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        std::string part = path.substr(0, pos);
        if (part.empty() || ::mkdir(part.c_str(), 0700) == 0 || errno == EEXIST) continue;
        return false;
    }
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TFileWriteLock::TFileWriteLock(const std::string &filePath)
{
    FFd = ::open(FolderOf(filePath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (FFd < 0) return;
    while (::flock(FFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(FFd);
            FFd = -1;
            return;
        }
    }
}

TFileWriteLock::~TFileWriteLock()
{
    if (FFd >= 0) ::close(FFd); // releases the lock
}

void SetAtomicWriteHook(TAtomicWriteHook hook)
{
    WriteHook() = std::move(hook);
}

namespace {

// Temporary files left by a writer that was killed: with the folder locked, no
// writer of this file is running, so every one of them is stale.
void RemoveStaleTemporaries(const std::string &dir, const std::string &prefix)
{
    DIR *d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent *e = ::readdir(d)) {
        std::string_view name = e->d_name;
        if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix)
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

// The write itself; the caller has resolved links, made the folder and locked it.
bool ReplaceFile(const std::string &target, std::string_view data, mode_t createMode, bool locked)
{
    const std::string dir = FolderOf(target);
    // Marked well enough that no file of the user's is ever taken for a stale one.
    const std::string prefix = "." + FileNameOf(target) + ".wmtmp-";
    if (locked) RemoveStaleTemporaries(dir, prefix);

    mode_t mode = createMode & 07777;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        // A file we may not write (made read-only by its owner) is not replaced behind its back.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;
        mode = st.st_mode & 07777;
    }

    std::string temp = dir + "/" + prefix + "XXXXXX";
    int fd = ::mkostemp(temp.data(), O_CLOEXEC); // created 0600, never wider
    if (fd < 0) return false;

    size_t half = data.size() / 2;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data.data(), half);
    if (ok && WriteHook()) ok = WriteHook()();
    ok = ok && WriteAll(fd, data.data() + half, data.size() - half) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        int err = errno;
        ::unlink(temp.c_str());
        errno = err;
        return false;
    }
    // Make the rename itself durable; failing here loses nothing that was there.
    int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const std::string &path, std::string_view data, mode_t createMode)
{
    const std::string target = ResolveFileLinks(path);
    if (!MakeFolders(FolderOf(target))) return false;
    TFileWriteLock lock(target);
    return ReplaceFile(target, data, createMode, lock.Locked());
}

bool UpdateFileAtomically(const std::string &path, const TFileEdit &edit, mode_t createMode)
{
    const std::string target = ResolveFileLinks(path);
    if (!MakeFolders(FolderOf(target))) return false;
    TFileWriteLock lock(target); // without a lock (odd file system) still write, atomically

    std::optional<std::string> old = ReadWholeFile(target);
    if (!old && errno != ENOENT) return false; // an existing file we cannot read must not be replaced
    std::optional<std::string> data = edit(old);
    return !data || ReplaceFile(target, *data, createMode, lock.Locked());
}

// ---- TIniFile ----

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName))
{
}

TIniDocument TIniFile::Load() const
{
    std::optional<std::string> bytes = ReadWholeFile(FFileName);
    return bytes ? TIniDocument::Parse(*bytes) : TIniDocument();
}

bool TIniFile::Update(const std::function<void(TIniDocument &)> &edit)
{
    return UpdateFileAtomically(FFileName,
                                [&](const std::optional<std::string> &old) -> std::optional<std::string> {
                                    TIniDocument doc = TIniDocument::Parse(old.value_or(std::string()));
                                    edit(doc);
                                    std::string text = doc.Text();
                                    if (old ? text == *old : text.empty()) return std::nullopt;
                                    return text;
                                });
}
