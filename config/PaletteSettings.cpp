#include "config/PaletteSettings.h"

#include "config/IniFields.h"

namespace {

const char *const Section = "ColourPalette";

std::span<const TIniField<TPaletteSettings>> Fields()
{
    using P = TPaletteSettings;
    static const std::vector<TIniField<P>> fields = {Field("In Use", &P::InUse), Field("Shape", &P::Shape),
                                                     Field("Left", &P::Left), Field("Top", &P::Top)};
    return fields;
}

} // namespace

TPaletteSettingsStore::TPaletteSettingsStore(std::string iniFileName) : FIni(std::move(iniFileName))
{
}

TPaletteSettings TPaletteSettingsStore::Load()
{
    TPaletteSettings settings;
    ReadFields(FIni.Load(), Section, Fields(), settings);
    FSaved = FieldTexts(Fields(), settings);
    return settings;
}

bool TPaletteSettingsStore::Save(const TPaletteSettings &settings)
{
    std::vector<std::string> saved = FSaved;
    const bool written =
        FIni.Update([&](TIniDocument &doc) { WriteFields(doc, Section, Fields(), settings, saved); });
    if (written) FSaved = saved;
    return written;
}
