#include "session/secure/TrustStore.h"

#include "config/IniFile.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <sstream>

std::vector<std::string> TTrustFile::Lookup(const std::string &host) const
{
    std::vector<std::string> found;
    const std::optional<std::string> text = ReadWholeFile(FPath);
    if (!text) return found;
    std::istringstream in(*text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::size_t space = line.find(' ');
        if (space == std::string::npos || line.compare(0, space, host) != 0) continue;
        found.push_back(line.substr(line.find_first_not_of(' ', space)));
    }
    return found;
}

bool TTrustFile::Append(const std::string &line, std::string &error) const
{
    std::string text = ReadWholeFile(FPath).value_or(std::string());
    if (!text.empty() && text.back() != '\n') text += '\n';
    text += line + '\n';
    if (WriteFileAtomically(FPath, text, 0600)) return true;
    error = "Cannot write " + FPath + ": " + std::strerror(errno);
    return false;
}

std::string Sha256Fingerprint(const unsigned char *data, std::size_t length)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(data, length, digest, &size, EVP_sha256(), nullptr);
    unsigned char b64[2 * EVP_MAX_MD_SIZE];
    int n = EVP_EncodeBlock(b64, digest, static_cast<int>(size));
    std::string text(reinterpret_cast<char *>(b64), static_cast<std::size_t>(n));
    while (!text.empty() && text.back() == '=')
        text.pop_back();
    return "SHA256:" + text;
}

std::string ChangedKeyMessage(const std::string &what, const std::string &hostPort, const std::string &entry,
                              const std::string &file)
{
    return "The " + what + " of " + hostPort +
           " is not the one you accepted before. Someone may be listening in, or the BBS has a new " + what +
           ". winMarlet does not connect.\n\nIf you know that the BBS changed it, remove the line for " +
           entry + " from " + file + " and connect again.";
}
