// Settings-file parser and editor: any bytes parse, unchanged documents give back
// their bytes, and a written key always reads back.
#include "config/IniFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    TIniDocument doc = TIniDocument::Parse(bytes);
    if (doc.Text() != bytes) std::abort();

    // The first line names a section, the second a key; the rest is the file.
    size_t lf1 = bytes.find('\n');
    size_t lf2 = lf1 == std::string::npos ? std::string::npos : bytes.find('\n', lf1 + 1);
    std::string section = bytes.substr(0, lf1);
    std::string key = lf1 == std::string::npos ? "Key" : bytes.substr(lf1 + 1, lf2 - lf1 - 1);
    doc.ReadString(section, key, "");
    doc.ReadInteger(section, key, 0);

    if (doc.WriteString(section, key, "value\r\n[Injected]")) {
        if (doc.ReadString(section, key, "") != "value") std::abort();
        TIniDocument again = TIniDocument::Parse(doc.Text());
        if (again.ReadString(section, key, "") != "value") std::abort();
        again.EraseSection(section);
        if (again.SectionExists(section)) std::abort();
    }
    return 0;
}
