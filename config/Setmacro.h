// The function-key macros: 48 texts, kept in a file of their own.
#pragma once

#include <array>
#include <string>
#include <string_view>

constexpr int MacroCount = 48;
constexpr int MacroMaxLength = 545; // bytes of text before the terminating zero
constexpr int MacroBufferSize = MacroMaxLength + 1;

// Slot of F1..F12 (keyIndex 0..11) with Shift and Control; -1 for another key index.
int MacroSlot(int keyIndex, bool shift, bool control);
// F1 (help) and F10 (the menu) are never macros.
bool MacroSlotEditable(int slot);

// The settings file's path with the extension ".MAC".
std::string MacroFileName(const std::string &iniFileName);

class TMacroTable
{
public:
    TMacroTable(); // all macros empty

    // Set by the Macro Editor's OK; SaveMacros writes only then.
    bool MacrosChanged = false;

    // Zero-terminated text of a slot ("" for a slot outside 0..47).
    const char *Text(int slot) const;
    std::string_view View(int slot) const;
    // Stores text up to its first zero byte, cut to MacroMaxLength bytes.
    void SetText(int slot, std::string_view text);
    void Clear();

    // Reads the file: each slot up to and including its zero byte. A missing file
    // leaves every macro empty; a file that ends early leaves the rest empty; an
    // entry longer than a slot is cut. Clears MacrosChanged; remembers the file.
    void LoadMacros(const std::string &fileName);
    // When MacrosChanged: the slots changed since loading or the last save, merged into
    // the file as it is now (another copy of the program may have changed others), which
    // is replaced atomically (mode 0600 when new) by the 48 texts each followed by its
    // zero byte. The table then holds the merge and MacrosChanged is cleared. False
    // when the file could not be written.
    bool SaveMacros(const std::string &fileName);
    bool SaveMacros() { return SaveMacros(FFileName); }
    // The file LoadMacros read (empty before).
    const std::string &FileName() const { return FFileName; }
    // The file's content for the current table.
    std::string FileBytes() const;

private:
    std::array<std::array<char, MacroBufferSize>, MacroCount> FSlots;
    std::array<std::string, MacroCount> FSaved; // the texts as loaded or last saved
    std::string FFileName;
};
