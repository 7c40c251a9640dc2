// The preferences: "Preferences" section of the settings file.
#pragma once

#include "config/HostMode.h"
#include "config/IniFile.h"

#include <string>
#include <vector>

enum TFontStyleFlag : unsigned { fsBold = 1, fsItalic = 2 };

class TClientPrefs
{
public:
    // Loads at once.
    explicit TClientPrefs(std::string iniFileName);

    bool ConnectOnStartup = false;
    bool ExitOnDisconnect = false;
    bool DisableColours = false;
    bool DisableFlashing = false;
    int ScreenLines = 24; // the main window clamps it into 5..100
    std::string FontName = "Terminal";
    int FontSize = 9;
    unsigned FontStyle = 0;              // fsBold | fsItalic
    bool Debug = false;                  // set only by editing the file; never written
    bool ReconnectAutomatically = false; // after the BBS dropped the connection
    bool MessageNotices = true;          // desktop notices for express messages
    // The terminal a telnet:// or telnets:// link gets.
    THostTerminal EmulationForLinks = THostTerminal::AnsiBbs;
    std::string DownloadFolder; // empty: the desktop's download folder
    int HistoryLines = 10000;   // rows kept below the scrollback, 0..1000000
    bool AnnounceOutput = true; // screen readers hear new output
    bool AnnounceOnlyMessages = false;
    bool SilentWhenInactive = false; // nothing announced while the window is not focused
    bool HighContrast = false;       // the high-contrast terminal palette
    int LiveRows = 8;                // rows live below the history while scrolled back, 1..200

    void Load();
    // Writes the keys whose values changed since they were loaded or last saved, into the
    // file as it is now (another copy of the program may have changed other keys);
    // "Debug" never. False when the file could not be written.
    bool Save();

    const std::string &IniFileName() const { return FIni.FileName(); }

private:
    struct TNoLoad
    {
    };
    TClientPrefs(TNoLoad, std::string iniFileName) : FIni(std::move(iniFileName)) {}

    TIniFile FIni;
    std::vector<std::string> FSaved; // the texts of the keys as loaded or last saved
};
