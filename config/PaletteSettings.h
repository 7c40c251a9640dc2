// The floating colour palette's settings: section "ColourPalette" of the settings file.
#pragma once

#include "config/IniFile.h"

#include <string>
#include <vector>

struct TPaletteSettings
{
    bool InUse = true;
    int Shape = 3;            // 1: 8 x 2, 2: 4 x 4, 3: 2 x 8; other values keep the window's layout
    int Left = -50, Top = 50; // the offset from the owner's top-left corner
};

class TPaletteSettingsStore
{
public:
    explicit TPaletteSettingsStore(std::string iniFileName);
    // Missing keys read as the defaults above.
    TPaletteSettings Load();
    // Writes the keys that changed since they were loaded or last saved. False when the
    // file could not be written.
    bool Save(const TPaletteSettings &settings);

private:
    TIniFile FIni;
    std::vector<std::string> FSaved;
};
