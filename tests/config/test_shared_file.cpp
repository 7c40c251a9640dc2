// Two copies of the program on one settings file (picking a host while connected starts
// a second one): each store writes only what its user changed, merged into the file as
// it is at that moment, so neither copy undoes the other's change. (The macro dialog's
// test shows the macros' merge.)
#include "config/PaletteSettings.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/UserFilt.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

namespace {

struct TPalette
{
    TPaletteSettingsStore Store;
    TPaletteSettings Settings = Store.Load();
    explicit TPalette(const std::string &ini) : Store(ini) {}
};

void Save(TClientPrefs &p)
{
    p.Save();
}
void Save(TUserFilter &f)
{
    f.Save();
}
void Save(THostInfo &h)
{
    h.SaveHosts();
}
void Save(TPalette &p)
{
    p.Store.Save(p.Settings);
}

// Both copies read the file; the first changes and saves, then the second; what a third reads.
template <class S>
std::string TwoCopies(const std::string &file, void (*first)(S &), void (*second)(S &),
                      std::string (*read)(S &))
{
    TTempFolder tmp;
    PutFile(tmp / "w.INI", file);
    S a(tmp / "w.INI"), b(tmp / "w.INI");
    first(a);
    Save(a);
    second(b);
    Save(b);
    S fresh(tmp / "w.INI");
    return read(fresh);
}

std::string Names(const TNameList &list)
{
    std::string s;
    for (const std::string &n : list.Items())
        s += n + ",";
    return s;
}

} // namespace

TEST(TwoCopies, EachOnesChangeSurvivesTheOthersSave)
{
    EXPECT_EQ(
        TwoCopies<TClientPrefs>(
            "", [](TClientPrefs &p) { p.DisableColours = true; }, [](TClientPrefs &p) { p.ScreenLines = 30; },
            [](TClientPrefs &p) { return std::to_string(p.DisableColours) + std::to_string(p.ScreenLines); }),
        "130");
    EXPECT_EQ(TwoCopies<TUserFilter>(
                  "[Friends]\nFriend1=Zed\n[Enemies]\nEnemy1=Eve\n",
                  [](TUserFilter &f) { f.ExpressFilter = 1, f.Friends.Add("Ann"); },
                  [](TUserFilter &f) { f.PostFilter = 1, f.Friends.Add("Bob"), f.Enemies.Remove(0); },
                  [](TUserFilter &f) {
                      return std::to_string(f.ExpressFilter) + std::to_string(f.PostFilter) + " " +
                             Names(f.Friends) + " " + Names(f.Enemies);
                  }),
              "11 Ann,Bob,Zed, ");
    // The recent list and the current host.
    EXPECT_EQ(TwoCopies<THostInfo>(
                  "[Hosts]\nHost=Moss\nAddress=m\nPort=23\nLast1=Moss\nHost1=Alpha\nHost2=Moss\n"
                  "[Alpha]\nAddress=a\nPort=23\n[Moss]\nAddress=m\nPort=23\n",
                  [](THostInfo &h) { h.SelectHost("Alpha"), h.PromoteCurrentHost(); },
                  [](THostInfo &h) { h.PromoteCurrentHost(); }, // its current host, unchanged
                  [](THostInfo &h) { return h.BBSName() + " " + h.Last(1) + " " + h.Last(2); }),
              "Alpha Moss Alpha");
    EXPECT_EQ(
        TwoCopies<TPalette>(
            "", [](TPalette &p) { p.Settings.InUse = false; }, [](TPalette &p) { p.Settings.Shape = 1; },
            [](TPalette &p) { return std::to_string(p.Settings.InUse) + std::to_string(p.Settings.Shape); }),
        "01");
}
