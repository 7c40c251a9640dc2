#include "session/secure/TrustStore.h"

#include "config/IniFile.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <sstream>

namespace {

std::vector<std::string> Fields(const std::string &line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string f; in >> f;)
        fields.push_back(f);
    return fields;
}

bool Names(const std::string &list, const std::string &host)
{
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');)
        if (name == host) return true;
    return false;
}

// Calls `each` with the number and fields of every line that is not blank, a comment, a
// marker line or a hashed name.
template <typename F> void EachLine(const std::string &text, F each)
{
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::vector<std::string> fields = Fields(line);
        if (fields.empty() || fields[0][0] == '#' || fields[0][0] == '@' || fields[0][0] == '|') continue;
        each(number, fields);
    }
}

} // namespace

TTrustEntries TTrustFile::Lookup(const std::string &host) const
{
    TTrustEntries found;
    const std::optional<std::string> text = ReadWholeFile(FPath);
    if (!text) return found;
    EachLine(*text, [&](int number, const std::vector<std::string> &fields) {
        if (!Names(fields[0], host)) return;
        if (fields.size() < 1 + FFields)
            found.Malformed.push_back(number);
        else
            found.Entries.emplace_back(fields.begin() + 1, fields.end());
    });
    return found;
}

std::string TTrustFile::MalformedNotice(const TTrustEntries &found) const
{
    if (found.Malformed.empty()) return {};
    std::string numbers;
    for (int n : found.Malformed)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(n);
    return (found.Malformed.size() == 1 ? "Skipped line " : "Skipped lines ") + numbers + " of " + FPath +
           ": no key.";
}

bool TTrustFile::Append(const std::string &line, std::string &error) const
{
    return Edit({}, line, error);
}

bool TTrustFile::Replace(const std::string &host, const std::string &line, std::string &error) const
{
    return Edit(host, line, error);
}

bool TTrustFile::Edit(const std::string &host, const std::string &line, std::string &error) const
{
    const bool ok = UpdateFileAtomically(FPath, [&](const std::optional<std::string> &old) {
        std::string text;
        std::istringstream in(old.value_or(std::string()));
        for (std::string l; std::getline(in, l);) {
            const std::vector<std::string> fields = Fields(l);
            if (!host.empty() && !fields.empty() && fields[0] == host) continue;
            text += l + '\n';
        }
        return std::optional<std::string>(text + line + '\n');
    });
    if (!ok) error = "Cannot write " + FPath + ": " + std::strerror(errno);
    return ok;
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
