// Two copies of the program on one settings file (picking a host while connected starts
// a second one): each store writes only what its user changed, merged into the file as
// it is at that moment, so neither copy undoes the other's change.
#include "config/PaletteSettings.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "config/Setmacro.h"
#include "config/UserFilt.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

namespace {

std::string Names(const TNameList &list)
{
    std::string s;
    for (const std::string &n : list.Items())
        s += n + ",";
    return s;
}

std::string RunHosts(const std::string &ini, const std::function<void(THostInfo &, THostInfo &)> &changes)
{
    PutFile(ini, "[Hosts]\nHost=Moss\nLast1=Moss\nHost1=Alpha\nHost2=Beta\n"
                 "[Alpha]\nAddress=a.example\n[Beta]\nAddress=b.example\n");
    {
        THostInfo a(ini), b(ini);
        changes(a, b);
    }
    THostInfo fresh(ini);
    std::string list;
    for (const std::string &n : fresh.HostList())
        list += n + ",";
    return fresh.BBSName + " " + fresh.Last1 + " " + fresh.Last2 + " " + list;
}

} // namespace

TEST(TwoCopies, EachOnesChangeSurvivesTheOthersSave)
{
    const struct
    {
        const char *store;
        std::function<std::string(const std::string &ini)> run;
        const char *expected;
    } cases[] = {
        {"preferences",
         [](const std::string &ini) {
             TClientPrefs a(ini), b(ini);
             a.DisableColours = true;
             a.Save();
             b.ScreenLines = 30;
             b.Save();
             TClientPrefs fresh(ini);
             return std::to_string(fresh.DisableColours) + " " + std::to_string(fresh.ScreenLines);
         },
         "1 30"},
        {"filter settings and lists",
         [](const std::string &ini) {
             PutFile(ini, "[Friends]\nFriend1=Zed\n[Enemies]\nEnemy1=Eve\n");
             TUserFilter a(ini), b(ini);
             a.ExpressFilter = 1;
             a.Friends.Add("Ann");
             a.Save();
             b.PostFilter = 1;
             b.Friends.Add("Bob");
             b.Enemies.Remove(0);
             b.Save();
             EXPECT_EQ(Names(b.Friends), "Ann,Bob,Zed,"); // the merge, in memory too
             TUserFilter fresh(ini);
             return std::to_string(fresh.ExpressFilter) + std::to_string(fresh.PostFilter) + " " +
                    Names(fresh.Friends) + " " + Names(fresh.Enemies);
         },
         "11 Ann,Bob,Zed, "},
        {"saved hosts",
         [](const std::string &ini) {
             return RunHosts(ini, [](THostInfo &a, THostInfo &b) {
                 a.StoreHost("X", THostSettings());
                 b.StoreHost("Y", THostSettings());
             });
         },
         "Moss Moss  Alpha,Beta,X,Y,"},
        {"recent hosts",
         [](const std::string &ini) {
             return RunHosts(ini, [](THostInfo &a, THostInfo &b) {
                 a.SelectHost("Alpha");
                 a.PromoteCurrentHost();
                 b.SelectHost("Beta");
                 b.PromoteCurrentHost();
             });
         },
         "Alpha Beta Alpha Alpha,Beta,"},
        {"current host",
         [](const std::string &ini) {
             return RunHosts(ini, [](THostInfo &a, THostInfo &b) {
                 a.SelectHost("Beta");
                 a.SaveHosts();
                 b.Modified = true; // ends without a change of its own
             });
         },
         "Beta Moss  Alpha,Beta,"},
        {"macros",
         [](const std::string &ini) {
             TMacroTable a, b;
             a.LoadMacros(MacroFileName(ini));
             b.LoadMacros(MacroFileName(ini));
             a.SetText(2, "a");
             a.MacrosChanged = true;
             a.SaveMacros();
             b.SetText(3, "b");
             b.MacrosChanged = true;
             b.SaveMacros();
             TMacroTable fresh;
             fresh.LoadMacros(MacroFileName(ini));
             return std::string(fresh.View(2)) + std::string(fresh.View(3));
         },
         "ab"},
        {"palette",
         [](const std::string &ini) {
             TPaletteSettingsStore a(ini), b(ini);
             TPaletteSettings sa = a.Load(), sb = b.Load();
             sa.InUse = false;
             a.Save(sa);
             sb.Shape = 1;
             b.Save(sb);
             const TPaletteSettings fresh = TPaletteSettingsStore(ini).Load();
             return std::to_string(fresh.InUse) + std::to_string(fresh.Shape);
         },
         "01"},
    };
    for (const auto &c : cases) {
        TTempFolder tmp;
        EXPECT_EQ(c.run(tmp / "w.INI"), c.expected) << c.store;
    }
}
