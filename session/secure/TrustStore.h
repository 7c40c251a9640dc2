// The files of keys and certificates the user has accepted (trust on first use), kept in
// the per-user config folder beside the settings file, never in ~/.ssh: "known_hosts" in
// OpenSSH's format for SSH, "known_certs" for TLS, one line per "host:port" with the
// SHA-256 of the certificate's public key. Each is rewritten whole and atomically, 0600.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// What a trust file holds for one host.
struct TTrustEntries
{
    // The fields after the host name of every well-formed line for it, blank-separated.
    std::vector<std::vector<std::string>> Entries;
    // Lines for the host that lack fields (a fingerprint deleted by hand): skipped, never a
    // match. Their numbers, from 1.
    std::vector<int> Malformed;
};

class TTrustFile
{
public:
    // `fields`: how many fields a well-formed line has after the host name, at least.
    TTrustFile(std::string path, std::size_t fields) : FPath(std::move(path)), FFields(fields) {}
    const std::string &Path() const { return FPath; }

    // The lines whose first field names `host` (OpenSSH's comma-separated lists too; blank
    // lines, comments, markers and hashed names skipped).
    TTrustEntries Lookup(const std::string &host) const;
    // Adds one line, reading and rewriting the file under the folder's write lock so that
    // another copy's line added meanwhile stays; false with `error` set when it cannot.
    bool Append(const std::string &line, std::string &error) const;
    // Replaces the lines for `host` by `line` (under the same lock).
    bool Replace(const std::string &host, const std::string &line, std::string &error) const;
    // The status-line report of the malformed lines found, or empty.
    std::string MalformedNotice(const TTrustEntries &found) const;

private:
    bool Edit(const std::string &host, const std::string &line, std::string &error) const;
    std::string FPath;
    std::size_t FFields;
};

// "SHA256:" and the unpadded base64 of the digest, as ssh-keygen -l prints it.
std::string Sha256Fingerprint(const unsigned char *data, std::size_t length);

// The refusal when a host shows another key or certificate than the one accepted.
std::string ChangedKeyMessage(const std::string &what, const std::string &hostPort, const std::string &entry,
                              const std::string &file);
