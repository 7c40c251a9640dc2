// The settings file: sections of Key=Value lines, edited in place.
//
// Names compare without regard to letter case, the first matching section and key
// win, blanks around names and values are dropped on reading. Values are UTF-8; one
// that is not (written by an older version) reads as Latin-1, converted.
// Writing a key rewrites only its own line; every other byte of the file stays.
// The file is read afresh for every read and rewritten for every write (under an
// advisory lock, via a temporary file in the same folder that is flushed and
// renamed over the old one), so two running programs sharing it never undo each
// other's keys and a crash never leaves a half-written file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

class TIniDocument;

// Integer text as the profile reader takes it: optional sign and decimal digits,
// blanks around allowed; anything else (or out of range) gives std::nullopt.
std::optional<int> ParseIniInteger(std::string_view text);

// The reads and writes of the format, declared once for the content in memory
// (TIniDocument) and the file (TIniFile). Derived gives View(f), which shows f the content,
// and Change(f), which lets f edit it and is false when f refused (a name the format cannot
// hold: empty, a line break, '=' or a leading '[' or ';' in a key) or the change could not
// be stored. A written value is cut at its first line break or NUL byte, so it can never
// inject lines.
template <class Derived> class TIniAccess
{
public:
    std::optional<std::string> Find(std::string_view section, std::string_view key) const
    {
        return Self().View([&](const auto &d) { return d.FindValue(section, key); });
    }
    std::string ReadString(std::string_view section, std::string_view key, std::string_view def) const
    {
        std::optional<std::string> v = Find(section, key);
        return v ? *v : std::string(def);
    }
    int ReadInteger(std::string_view section, std::string_view key, int def) const
    {
        std::optional<std::string> v = Find(section, key);
        return v ? ParseIniInteger(*v).value_or(def) : def;
    }
    bool ReadBool(std::string_view section, std::string_view key, bool def) const
    {
        return ReadInteger(section, key, def ? 1 : 0) != 0;
    }
    bool SectionExists(std::string_view section) const
    {
        return Self().View([&](const auto &d) { return d.HasSection(section); });
    }
    bool ValueExists(std::string_view section, std::string_view key) const
    {
        return Find(section, key).has_value();
    }

    bool WriteString(std::string_view section, std::string_view key, std::string_view value)
    {
        return Self().Change([&](auto &d) { return d.SetValue(section, key, value); });
    }
    bool WriteInteger(std::string_view section, std::string_view key, int value)
    {
        return WriteString(section, key, std::to_string(value));
    }
    bool WriteBool(std::string_view section, std::string_view key, bool value)
    {
        return WriteString(section, key, value ? "1" : "0");
    }
    // Removes every section of that name with all its lines.
    bool EraseSection(std::string_view section)
    {
        return Self().Change([&](auto &d) {
            d.RemoveSection(section);
            return true;
        });
    }

private:
    const Derived &Self() const { return static_cast<const Derived &>(*this); }
    Derived &Self() { return static_cast<Derived &>(*this); }
};

// The file's content in memory, with every line kept byte for byte.
class TIniDocument : public TIniAccess<TIniDocument>
{
public:
    TIniDocument() = default;
    static TIniDocument Parse(std::string_view bytes);
    // The bytes to write back; identical to the parsed bytes when nothing was changed.
    std::string Text() const;

    template <class F> auto View(F f) const { return f(*this); }
    template <class F> bool Change(F f) { return f(*this); }

    // The primitives under TIniAccess.
    std::optional<std::string> FindValue(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);
    void RemoveSection(std::string_view section);

private:
    struct TLine
    {
        std::string Text; // without its line end
        std::string Eol;  // "\r\n", "\n" or "" (last line without one)
    };
    std::string FBom; // a leading UTF-8 byte-order mark, kept for writing back
    std::vector<TLine> FLines;
    std::string NewEol() const;
    // Index range [first, end) of the lines of the first matching section after its header.
    bool SectionRange(std::string_view section, size_t &header, size_t &end, size_t from = 0) const;
};

// Case-insensitive comparison of names (see CompareFoldedNames).
bool SameIniName(std::string_view a, std::string_view b);
// Orders names without regard to case (<0, 0, >0).
int CompareIniNames(std::string_view a, std::string_view b);

// The folder part of a path ("." when there is none) and its file-name part.
std::string FolderOf(const std::string &path);
std::string FileNameOf(const std::string &path);

class TIniFile : public TIniAccess<TIniFile>
{
public:
    explicit TIniFile(std::string fileName);
    const std::string &FileName() const { return FFileName; }

    // A missing or unreadable file reads as empty.
    TIniDocument Load() const;

    // Several changes under one lock and one rewrite. The edit sees the file as it
    // is now (another program may have changed it). Nothing is written when the
    // edit leaves the text unchanged. False when the file could not be written; the old
    // file is then untouched.
    bool Update(const std::function<void(TIniDocument &)> &edit);

    template <class F> auto View(F f) const { return f(Load()); }
    template <class F> bool Change(F f)
    {
        bool accepted = true;
        const bool written = Update([&](TIniDocument &doc) { accepted = f(doc); });
        return accepted && written;
    }

private:
    std::string FFileName;
};

// Replaces the file at path by data: a temporary file in the same folder, flushed
// and renamed over the old one; the folder is created (0700) when missing. A new
// file gets createMode; an existing one keeps its mode, and one that this process
// may not write is left alone (the write fails). On failure the old file is
// left as it was and the temporary file removed; those of killed writers go with
// the next write. A symbolic link is written through. Takes the folder's write lock.
bool WriteFileAtomically(const std::string &path, std::string_view data, mode_t createMode = 0600);

// Reads the file (std::nullopt when missing) and replaces it by what edit makes of it
// (std::nullopt: nothing to write), under the folder's write lock, so that no other
// writer comes between the read and the write. False when the file could not be read or
// written; the old file is then untouched.
using TFileEdit = std::function<std::optional<std::string>(const std::optional<std::string> &)>;
bool UpdateFileAtomically(const std::string &path, const TFileEdit &edit, mode_t createMode = 0600);

// Reads a whole file; std::nullopt when it cannot be opened or read (errno tells why).
std::optional<std::string> ReadWholeFile(const std::string &path);

// The path a write to path ends up at: symbolic links followed, even dangling ones.
std::string ResolveFileLinks(const std::string &path);

// Creates a folder and its missing parents (mode 0700 for the new ones).
bool MakeFolders(const std::string &path);

// Exclusive advisory lock (flock) that serialises writers of the files of one
// folder across processes. It locks the folder rather than the file, because a
// writer's rename replaces the file and a lock on the old one would then guard nothing.
class TFileWriteLock
{
public:
    explicit TFileWriteLock(const std::string &filePath);
    ~TFileWriteLock();
    TFileWriteLock(const TFileWriteLock &) = delete;
    TFileWriteLock &operator=(const TFileWriteLock &) = delete;
    bool Locked() const { return FFd >= 0; }

private:
    int FFd = -1;
};

// Test hook: called by WriteFileAtomically after half of the data went into the
// temporary file; returning false makes the write fail as if the disk were full.
using TAtomicWriteHook = std::function<bool()>;
void SetAtomicWriteHook(TAtomicWriteHook hook);
