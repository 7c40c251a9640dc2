// The files of keys and certificates the user has accepted (trust on first use), kept in
// the per-user config folder beside the settings file, never in ~/.ssh: "known_hosts" in
// OpenSSH's format for SSH, "known_certs" for TLS, one line per "host:port" with the
// SHA-256 of the certificate's public key. Each is rewritten whole and atomically, 0600.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TTrustFile
{
public:
    explicit TTrustFile(std::string path) : FPath(std::move(path)) {}
    const std::string &Path() const { return FPath; }

    // The rest of every line whose first field is `host` (blank lines and comments skipped).
    std::vector<std::string> Lookup(const std::string &host) const;
    // Adds one line; false with `error` set when the file cannot be written.
    bool Append(const std::string &line, std::string &error) const;

private:
    std::string FPath;
};

// "SHA256:" and the unpadded base64 of the digest, as ssh-keygen -l prints it.
std::string Sha256Fingerprint(const unsigned char *data, std::size_t length);

// The refusal when a host shows another key or certificate than the one accepted.
std::string ChangedKeyMessage(const std::string &what, const std::string &hostPort, const std::string &entry,
                              const std::string &file);
