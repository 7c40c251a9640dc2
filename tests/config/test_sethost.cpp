#include "config/Redirect.h"
#include "config/SetHost.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

namespace {

const std::string HostsFile =
    "[Hosts]\r\nHost=Moss\r\nAddress=moss.example.org\r\nPort=2323\r\nMode=7\r\nAutoLogin=1\r\n"
    "Login Name=joe\r\nPassword=pw\r\nLast1=P\r\nLast2=Q\r\nLast3=R\r\nLast4=S\r\nLast5=T\r\n"
    "Host1=Alpha\r\nHost2=Gamma\r\nHost3=Beta\r\n\r\n"
    "[Alpha]\r\nAddress=alpha.example.org\r\nPort=23\r\nMode=1\r\n"
    "[Gamma]\r\nAddress=10.0.0.9\r\nMode=9\r\nAutoLogin=1\r\nLogin Name=g\r\nPassword=gp\r\n"
    "[Beta]\r\nAddress=beta.example.org\r\n";

struct HostsTest : ::testing::Test
{
    TTempFolder tmp;
    std::string path = tmp / "winmarlet.INI";
    void SetUp() override { PutFile(path, HostsFile); }
};

} // namespace

TEST_F(HostsTest, LoadsTheCurrentHostAndSavesOnlyWhenModified)
{
    {
        THostInfo hosts(path);
        EXPECT_FALSE(hosts.Modified);
        EXPECT_EQ(hosts.BBSName, "Moss");
        EXPECT_EQ(hosts.Mode, hmORVO); // above 2 in "Hosts" reads as 0
    }
    EXPECT_EQ(GetFile(path), HostsFile);
    {
        THostInfo hosts(path);
        hosts.BBSName = "New";
        hosts.Mode = hmISCA;
        hosts.Modified = true;
    }
    THostInfo again(path);
    EXPECT_EQ(again.BBSName, "New");
    EXPECT_EQ(again.Mode, hmISCA);
    EXPECT_EQ(again.LoginName, "joe");
    EXPECT_EQ(THostInfo(tmp / "none.INI").Port, "1976"); // no file: the CLient port
}

TEST_F(HostsTest, CommandLine)
{
    struct Case
    {
        const char *arg, *name, *address, *port;
        int mode;
        bool modified;
    };
    const Case cases[] = {
        {"telnet://10.0.0.5", "unknown", "10.0.0.5", "23", hmTelnet, true},
        {"telnet://h:/", "unknown", "h", "23", hmTelnet, true}, // empty port and name
        {"/c=Gamma", "Gamma", "10.0.0.9", "", 9, true},         // the store's defaults; mode as stored
        {"TELNET://10.0.0.5/X", "Moss", "moss.example.org", "2323", hmORVO, false},
        {"/C=Alpha", "Moss", "moss.example.org", "2323", hmORVO, false},
        {"Alpha", "Moss", "moss.example.org", "2323", hmORVO, false},
    };
    for (const Case &c : cases) {
        THostInfo hosts(path, {c.arg, "ignored"});
        EXPECT_EQ(hosts.BBSName, c.name) << c.arg;
        EXPECT_EQ(hosts.Address, c.address) << c.arg;
        EXPECT_EQ(hosts.Port, c.port) << c.arg;
        EXPECT_EQ(hosts.Mode, c.mode) << c.arg;
        EXPECT_EQ(hosts.Modified, c.modified) << c.arg;
        EXPECT_EQ(hosts.Last1, "P") << c.arg;
        EXPECT_EQ(GetFile(path), HostsFile) << c.arg; // nothing written
        hosts.Modified = false;
    }

    {
        THostInfo hosts(path, {"telnet://10.0.0.5:2323/My_BBS"});
        EXPECT_EQ(hosts.BBSName, "My BBS");
        EXPECT_EQ(hosts.Port, "2323");
        EXPECT_TRUE(hosts.AutoLogin); // stays as loaded
        EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "My BBS"}));
        THostSettings my;
        ASSERT_TRUE(hosts.LookupHost("my bbs", my));
        EXPECT_EQ(my.Mode, hmTelnet);
    }
    {
        // A host whose section has an address is updated but not listed again.
        THostInfo hosts(path, {"telnet://alpha2.example.org/Alpha"});
        EXPECT_EQ(hosts.Port, "23");
        EXPECT_EQ(hosts.HostList().size(), 4u);
        THostSettings alpha;
        ASSERT_TRUE(hosts.LookupHost("Alpha", alpha));
        EXPECT_EQ(alpha.Address, "alpha2.example.org");
    }
    THostInfo odd(path, {"telnet://bbs.example.org/Odd:Name"}); // a '/' before any ':' ends the address
    EXPECT_EQ(odd.Address, "bbs.example.org");
    EXPECT_EQ(odd.BBSName, "Odd:Name");
}

TEST_F(HostsTest, RecentHostPromotion)
{
    THostInfo hosts(path);
    auto promote = [&](const char *name) {
        hosts.BBSName = name;
        hosts.PromoteCurrentHost();
        return std::vector<std::string>{hosts.Last1, hosts.Last2, hosts.Last3, hosts.Last4, hosts.Last5};
    };
    EXPECT_EQ(promote("P"), (std::vector<std::string>{"P", "Q", "R", "S", "T"}));
    EXPECT_FALSE(hosts.Modified);
    EXPECT_EQ(promote("R"), (std::vector<std::string>{"R", "P", "Q", "S", "T"}));
    EXPECT_TRUE(hosts.Modified);
    EXPECT_EQ(promote("p"), (std::vector<std::string>{"p", "R", "P", "Q", "S"})); // case-sensitive
}

TEST_F(HostsTest, HostMenuAndDelete)
{
    THostInfo hosts(path);
    EXPECT_EQ(hosts.HostMenuNames(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));

    ASSERT_TRUE(hosts.DeleteHost("Alpha"));
    TIniFile ini(path);
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Gamma", "Beta"}));
    EXPECT_TRUE(ini.ValueExists("Hosts", "Host3")); // the last entry is blanked, not deleted
    EXPECT_FALSE(ini.SectionExists("Alpha"));

    const std::string before = GetFile(path);
    EXPECT_FALSE(hosts.DeleteHost("gamma")); // the list compares exactly
    EXPECT_EQ(GetFile(path), before);

    ini.WriteString("Hosts", "Host2", "");
    EXPECT_EQ(hosts.HostMenuNames(), std::vector<std::string>{"Gamma"});
    ini.WriteString("Hosts", "Host1", "");
    EXPECT_TRUE(hosts.HostMenuNames().empty()); // menu left as it is

    EXPECT_EQ(SelectionAfterDelete(2, 3), 1);
    EXPECT_EQ(SelectionAfterDelete(0, 0), -1);
}

TEST_F(HostsTest, SetupHostsDialogOperations)
{
    THostInfo hosts(path);
    THostSettings s;
    ASSERT_TRUE(hosts.LookupHost("GAMMA", s));
    EXPECT_EQ(s.Port, "1976"); // the dialog's default
    EXPECT_EQ(s.Mode, hmORVO); // unknown mode shows as ORVO CLient
    EXPECT_EQ(s.Password, "gp");
    s.Address = "x";
    EXPECT_FALSE(hosts.LookupHost("Nobody", s));
    EXPECT_EQ(s.Address, "");

    THostSettings fresh;
    fresh.Mode = hmISCA;
    fresh.Port = PortForMode(fresh.Port, hmISCA);
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // no address yet
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // listed once all the same
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "Delta"}));
    EXPECT_EQ(TIniFile(path).ReadString("Delta", "Port", ""), "23");
    EXPECT_FALSE(hosts.StoreHost("", fresh));
    EXPECT_FALSE(hosts.StoreHost("Bad\nName", fresh));

    EXPECT_EQ(PortForMode("1976", hmTelnet), "23");
    EXPECT_EQ(PortForMode("23", hmORVO), "1976");
    EXPECT_EQ(PortForMode("2323", hmORVO), "2323");
}

TEST(Location, HomeFileRedirectAndUserFolder)
{
    TTempFolder tmp;
    ASSERT_EQ(::mkdir((tmp / "bin").c_str(), 0755), 0);
    TConfigEnvironment env;
    env.ExecutablePath = tmp / "bin/winmarlet";
    env.XdgConfigHome = tmp / "xdg";
    env.Home = tmp / "home";
    const std::string home = tmp / "bin/winmarlet.INI";

    EXPECT_EQ(ResolveIniFileName(env), home);
    EXPECT_FALSE(std::filesystem::exists(home));

    // WindowsDir: copied once, without "Redirect"; later starts use the copy.
    PutFile(home, "[Redirect]\r\nWindowsDir=1\r\n[Hosts]\r\nHost=Moss\r\n");
    const std::string user = tmp / "xdg/winmarlet/winmarlet.INI";
    EXPECT_EQ(ResolveIniFileName(env), user);
    EXPECT_EQ(GetFile(user), "[Hosts]\r\nHost=Moss\r\n");
    EXPECT_EQ(ModeOf(user), 0600u);
    TIniFile(user).WriteString("Hosts", "Host", "Changed");
    EXPECT_EQ(ResolveIniFileName(env), user);
    EXPECT_EQ(TIniFile(user).ReadString("Hosts", "Host", ""), "Changed");

    env.XdgConfigHome = "relative/ignored";
    EXPECT_EQ(ResolveIniFileName(env), tmp / "home/.config/winmarlet/winmarlet.INI");

    // Redirect to a file that already exists: used unchanged.
    PutFile(tmp / "other.ini", "[Hosts]\r\nHost=Other\r\n");
    PutFile(home, "[Redirect]\r\nRedirect=" + tmp / "other.ini" + "\r\n");
    EXPECT_EQ(ResolveIniFileName(env), tmp / "other.ini");
    EXPECT_EQ(GetFile(tmp / "other.ini"), "[Hosts]\r\nHost=Other\r\n");

    // An installed copy whose folder takes no files keeps its settings per user;
    // a file that was there already goes along, else every write would fail.
    ::unlink(home.c_str());
    env.FolderWritable = [](const std::string &) { return false; };
    env.Home = tmp / "home2";
    EXPECT_EQ(ResolveIniFileName(env), tmp / "home2/.config/winmarlet/winmarlet.INI");
    PutFile(home, "[Hosts]\r\nHost=Installed\r\n");
    env.Home = tmp / "home3";
    EXPECT_EQ(GetFile(ResolveIniFileName(env)), "[Hosts]\r\nHost=Installed\r\n");
    // Installed, the folder is not written even when it could be (root, a prefix in the home).
    env.FolderWritable = [](const std::string &) { return true; };
    env.Installed = true;
    env.Home = tmp / "home4";
    EXPECT_EQ(ResolveIniFileName(env), tmp / "home4/.config/winmarlet/winmarlet.INI");

    EXPECT_EQ(ReplaceExtension("/a.b/prog", ".INI"), "/a.b/prog.INI");
    EXPECT_EQ(ReplaceExtension("/a/.hidden", ".INI"), "/a/.hidden.INI");
}
