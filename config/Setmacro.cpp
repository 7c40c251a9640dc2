#include "config/Setmacro.h"

#include "config/IniFile.h"
#include "config/Redirect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>


int MacroSlot(int keyIndex, bool shift, bool control)
{
    if (keyIndex < 0 || keyIndex > 11) return -1;
    return keyIndex + (shift ? 12 : 0) + (control ? 24 : 0);
}

bool MacroSlotEditable(int slot)
{
    return slot >= 0 && slot < MacroCount && slot != 0 && slot != 9;
}

std::string MacroFileName(const std::string &iniFileName)
{
    return ReplaceExtension(iniFileName, ".MAC");
}

TMacroTable::TMacroTable()
{
    Clear();
}

void TMacroTable::Clear()
{
    for (auto &slot : FSlots)
        slot.fill(0);
}

const char *TMacroTable::Text(int slot) const
{
    if (slot < 0 || slot >= MacroCount) return "";
    return FSlots[size_t(slot)].data();
}

std::string_view TMacroTable::View(int slot) const
{
    return Text(slot);
}

void TMacroTable::SetText(int slot, std::string_view text)
{
    if (slot < 0 || slot >= MacroCount) return;
    size_t len = std::min({text.size(), text.find('\0'), size_t(MacroMaxLength)});
    auto &buf = FSlots[size_t(slot)];
    std::memcpy(buf.data(), text.data(), len);
    std::memset(buf.data() + len, 0, buf.size() - len);
}

void TMacroTable::LoadMacros(const std::string &fileName)
{
    MacrosChanged = false;
    Clear();
    FILE *file = std::fopen(fileName.c_str(), "rb");
    if (!file) return;
    int c = 0;
    for (auto &slot : FSlots) {
        size_t len = 0;
        while ((c = std::getc(file)) != EOF && c != 0) {
            if (len < size_t(MacroMaxLength)) // the rest of an over-long entry is skipped
                slot[len++] = char(c);
        }
        if (c == EOF) break;
    }
    std::fclose(file);
}

std::string TMacroTable::FileBytes() const
{
    std::string bytes;
    for (int slot = 0; slot < MacroCount; ++slot) {
        bytes += View(slot);
        bytes += '\0';
    }
    return bytes;
}

bool TMacroTable::SaveMacros(const std::string &fileName) const
{
    if (!MacrosChanged) return true;
    return WriteFileAtomically(fileName, FileBytes(), 0600);
}
