#include "config/Setmacro.h"

#include "config/IniFile.h"
#include "config/Redirect.h"

#include <algorithm>
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

namespace {

// The file's texts: each slot up to its zero byte, cut to a slot's size; a file that ends
// early leaves the rest empty.
std::array<std::string, MacroCount> ParseMacroFile(std::string_view bytes)
{
    std::array<std::string, MacroCount> texts;
    for (std::string &text : texts) {
        if (bytes.empty()) break;
        const size_t end = std::min(bytes.find('\0'), bytes.size());
        text = bytes.substr(
            0, std::min(end, size_t(MacroMaxLength))); // the rest of an over-long entry is skipped
        bytes.remove_prefix(std::min(end + 1, bytes.size()));
    }
    return texts;
}

std::string MacroFileBytes(const std::array<std::string, MacroCount> &texts)
{
    std::string bytes;
    for (const std::string &text : texts) {
        bytes += text;
        bytes += '\0';
    }
    return bytes;
}

} // namespace

void TMacroTable::LoadMacros(const std::string &fileName)
{
    MacrosChanged = false;
    FFileName = fileName;
    const std::optional<std::string> bytes = ReadWholeFile(fileName);
    FSaved = ParseMacroFile(bytes.value_or(std::string()));
    for (int slot = 0; slot < MacroCount; ++slot)
        SetText(slot, FSaved[size_t(slot)]);
}

std::string TMacroTable::FileBytes() const
{
    std::array<std::string, MacroCount> texts;
    for (int slot = 0; slot < MacroCount; ++slot)
        texts[size_t(slot)] = std::string(View(slot));
    return MacroFileBytes(texts);
}

bool TMacroTable::SaveMacros(const std::string &fileName)
{
    if (!MacrosChanged) return true;
    std::array<std::string, MacroCount> merged;
    const bool written = UpdateFileAtomically(
        fileName, [&](const std::optional<std::string> &old) -> std::optional<std::string> {
            merged = ParseMacroFile(old.value_or(std::string()));
            for (int slot = 0; slot < MacroCount; ++slot)
                if (View(slot) != FSaved[size_t(slot)]) merged[size_t(slot)] = std::string(View(slot));
            std::string bytes = MacroFileBytes(merged);
            if (old && bytes == *old) return std::nullopt;
            return bytes;
        });
    if (!written) return false;
    for (int slot = 0; slot < MacroCount; ++slot)
        SetText(slot, merged[size_t(slot)]);
    FSaved = merged;
    MacrosChanged = false;
    return true;
}
