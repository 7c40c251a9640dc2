#include "config/Prefernc.h"

#include <algorithm>


namespace {
const char *const Section = "Preferences";
}

TClientPrefs::TClientPrefs(std::string iniFileName) : FIni(std::move(iniFileName))
{
    Load();
}

void TClientPrefs::Load()
{
    const TIniDocument doc = FIni.Load();
    ConnectOnStartup = doc.ReadBool(Section, "Connect on Startup", false);
    ExitOnDisconnect = doc.ReadBool(Section, "Exit on Disconnect", false);
    DisableColours = doc.ReadBool(Section, "Disable Colours", false);
    DisableFlashing = doc.ReadBool(Section, "Disable Flashing", false);
    ScreenLines = doc.ReadInteger(Section, "Screen Lines", 24);
    FontName = doc.ReadString(Section, "FontName", "Terminal");
    FontSize = doc.ReadInteger(Section, "FontSize", 9);
    FontStyle = 0;
    if (doc.ReadBool(Section, "FontBold", false)) FontStyle |= fsBold;
    if (doc.ReadBool(Section, "FontItalic", false)) FontStyle |= fsItalic;
    Debug = doc.ReadBool(Section, "Debug", false);
    ReconnectAutomatically = doc.ReadBool(Section, "Reconnect automatically", false);
    MessageNotices = doc.ReadBool(Section, "Message notices", true);
    EmulationForLinks = TerminalFromKey(doc.ReadString(Section, "Emulation for links", "ansi"))
                            .value_or(THostTerminal::AnsiBbs);
    DownloadFolder = doc.ReadString(Section, "Download folder", "");
    HistoryLines = std::clamp(doc.ReadInteger(Section, "History lines", 10000), 0, 1000000);
    AnnounceOutput = doc.ReadBool(Section, "Announce output", true);
    AnnounceOnlyMessages = doc.ReadBool(Section, "Announce only messages", false);
    SilentWhenInactive = doc.ReadBool(Section, "Silent when inactive", false);
    HighContrast = doc.ReadBool(Section, "High contrast", false);
}

bool TClientPrefs::Save() const
{
    return FIni.Update([&](TIniDocument &doc) {
        doc.WriteBool(Section, "Connect on Startup", ConnectOnStartup);
        doc.WriteBool(Section, "Exit on Disconnect", ExitOnDisconnect);
        doc.WriteBool(Section, "Disable Colours", DisableColours);
        doc.WriteBool(Section, "Disable Flashing", DisableFlashing);
        doc.WriteInteger(Section, "Screen Lines", ScreenLines);
        doc.WriteString(Section, "FontName", FontName);
        doc.WriteInteger(Section, "FontSize", FontSize);
        doc.WriteBool(Section, "FontBold", FontStyle & fsBold);
        doc.WriteBool(Section, "FontItalic", FontStyle & fsItalic);
        doc.WriteBool(Section, "Reconnect automatically", ReconnectAutomatically);
        doc.WriteBool(Section, "Message notices", MessageNotices);
        // Keys newer than the dialog's first page are written once they leave their
        // defaults, so an older file keeps its shape.
        const auto put = [&](const char *key, const std::string &value, bool isDefault) {
            if (!isDefault || doc.ValueExists(Section, key)) doc.WriteString(Section, key, value);
        };
        put("Emulation for links", std::string(TerminalKey(EmulationForLinks)),
            EmulationForLinks == THostTerminal::AnsiBbs);
        put("Download folder", DownloadFolder, DownloadFolder.empty());
        put("History lines", std::to_string(HistoryLines), HistoryLines == 10000);
        put("Announce output", AnnounceOutput ? "1" : "0", AnnounceOutput);
        put("Announce only messages", AnnounceOnlyMessages ? "1" : "0", !AnnounceOnlyMessages);
        put("Silent when inactive", SilentWhenInactive ? "1" : "0", !SilentWhenInactive);
        put("High contrast", HighContrast ? "1" : "0", !HighContrast);
    });
}
