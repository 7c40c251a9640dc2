// What every reader of another terminal's directory promises, whatever the bytes: entries or
// an error naming a line, never both, and every entry offered for import has an address, a
// port from 1 to 65535 and a name the settings file can hold.
#pragma once

#include "config/HostImport.h"
#include "config/HostLink.h"

#include <cstdint>
#include <cstdlib>
#include <string>

inline int FuzzImportReader(TImportFile (*read)(std::string_view), const uint8_t *data, size_t size)
{
    const TImportFile file = read(std::string_view(reinterpret_cast<const char *>(data), size));
    if (!file.Error.empty() && !file.Entries.empty()) std::abort();
    for (const TImportEntry &e : file.Entries) {
        if (!e.Skip.empty()) continue;
        if (e.Host.Address.empty() || !ValidPort(e.Host.Port) || e.Name.empty()) std::abort();
        for (const char c : e.Name + e.Comment + e.Host.Address)
            if (static_cast<unsigned char>(c) < 0x20) std::abort();
    }
    return 0;
}
