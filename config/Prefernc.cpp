#include "config/Prefernc.h"

#include "config/IniFields.h"

#include <algorithm>

namespace {

const char *const Section = "Preferences";

TIniField<TClientPrefs> FontStyleField(const char *key, unsigned flag)
{
    return {key, [flag](const TClientPrefs &p) { return std::string(p.FontStyle & flag ? "1" : "0"); },
            [flag](TClientPrefs &p, const std::string &v) {
                if (ParseIniInteger(v).value_or(0) != 0) p.FontStyle |= flag;
            },
            nullptr, 1};
}

std::vector<TIniField<TClientPrefs>> MakeFields()
{
    using P = TClientPrefs;
    std::vector<TIniField<P>> f = {
        Field("Connect on Startup", &P::ConnectOnStartup),
        Field("Exit on Disconnect", &P::ExitOnDisconnect),
        Field("Disable Colours", &P::DisableColours),
        Field("Disable Flashing", &P::DisableFlashing),
        Field("Screen Lines", &P::ScreenLines),
        // The font is one choice: its keys are written together.
        Field("FontName", &P::FontName, nullptr, 1),
        Field("FontSize", &P::FontSize, nullptr, 1),
        FontStyleField("FontBold", fsBold),
        FontStyleField("FontItalic", fsItalic),
        Field("Reconnect automatically", &P::ReconnectAutomatically),
        Field("Message notices", &P::MessageNotices),
        // Keys newer than the dialog's first page: a file keeps its shape until they change.
        Field("Emulation for links", &P::EmulationForLinks, "ansi"),
        Field("Download folder", &P::DownloadFolder, ""),
        Field("History lines", &P::HistoryLines, "10000"),
        Field("Announce output", &P::AnnounceOutput, "1"),
        Field("Announce only messages", &P::AnnounceOnlyMessages, "0"),
        Field("Silent when inactive", &P::SilentWhenInactive, "0"),
        Field("High contrast", &P::HighContrast, "0"),
        Field("Split live rows", &P::LiveRows, "8"),
    };
    TIniField<P> debug = Field("Debug", &P::Debug);
    debug.Get = nullptr; // set only by editing the file
    f.push_back(debug);
    return f;
}

std::span<const TIniField<TClientPrefs>> Fields()
{
    static const std::vector<TIniField<TClientPrefs>> fields = MakeFields();
    return fields;
}

} // namespace

TClientPrefs::TClientPrefs(std::string iniFileName) : FIni(std::move(iniFileName))
{
    Load();
}

void TClientPrefs::Load()
{
    const std::string file = FIni.FileName();
    *this = TClientPrefs(TNoLoad{}, file); // the defaults, then what the file holds
    ReadFields(FIni.Load(), Section, Fields(), *this);
    HistoryLines = std::clamp(HistoryLines, 0, 1000000);
    LiveRows = std::clamp(LiveRows, 1, 200);
    FSaved = FieldTexts(Fields(), *this);
}

bool TClientPrefs::Save()
{
    std::vector<std::string> saved = FSaved;
    const bool written =
        FIni.Update([&](TIniDocument &doc) { WriteFields(doc, Section, Fields(), *this, saved); });
    if (written) FSaved = saved;
    return written;
}
