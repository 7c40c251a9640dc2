#include "config/Prefernc.h"

TClientPrefs *ClientPrefs = nullptr;

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
    });
}
