#include "config/Redirect.h"
#include "config/SetHost.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

namespace {

const std::string HostsFile =
    "[Hosts]\r\n"
    "Host=Moss\r\n"
    "Address=moss.example.org\r\n"
    "Port=2323\r\n"
    "Mode=7\r\n"
    "AutoLogin=1\r\n"
    "Login Name=joe\r\n"
    "Password=pw\r\n"
    "Last1=P\r\nLast2=Q\r\nLast3=R\r\nLast4=S\r\nLast5=T\r\n"
    "Host1=Alpha\r\nHost2=Gamma\r\nHost3=Beta\r\n"
    "\r\n"
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
        EXPECT_EQ(hosts.Port, "2323");
        EXPECT_EQ(hosts.Mode, hmORVO); // above 2 in "Hosts" reads as 0
        EXPECT_TRUE(hosts.AutoLogin);
        EXPECT_EQ(hosts.Password, "pw");
        EXPECT_EQ(hosts.Last5, "T");
    }
    EXPECT_EQ(GetFile(path), HostsFile);

    {
        THostInfo hosts(path);
        hosts.BBSName = "New";
        hosts.Port = "99";
        hosts.Mode = hmISCA;
        hosts.AutoLogin = false;
        hosts.Modified = true;
    }
    THostInfo again(path);
    EXPECT_EQ(again.BBSName, "New");
    EXPECT_EQ(again.Port, "99");
    EXPECT_EQ(again.Mode, hmISCA);
    EXPECT_FALSE(again.AutoLogin);
    EXPECT_EQ(again.LoginName, "joe");

    TTempFolder empty;
    THostInfo defaults(empty / "none.INI");
    EXPECT_EQ(defaults.Port, "1976");
    EXPECT_EQ(defaults.BBSName, "");
    EXPECT_TRUE(defaults.HostMenuNames().empty());
}

TEST_F(HostsTest, TelnetArgumentRegistersTheNamedHost)
{
    {
        THostInfo hosts(path, {"telnet://10.0.0.5:2323/My_BBS", "ignored"});
        EXPECT_TRUE(hosts.Modified);
        EXPECT_EQ(hosts.BBSName, "My BBS");
        EXPECT_EQ(hosts.Address, "10.0.0.5");
        EXPECT_EQ(hosts.Port, "2323");
        EXPECT_EQ(hosts.Mode, hmTelnet);
        EXPECT_TRUE(hosts.AutoLogin); // stays as loaded
        EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "My BBS"}));
        THostSettings my;
        ASSERT_TRUE(hosts.LookupHost("my bbs", my));
        EXPECT_EQ(my.Port, "2323");
        EXPECT_EQ(my.Mode, hmTelnet);
        EXPECT_FALSE(my.AutoLogin);
    }
    // A host whose section has an address is updated but not listed again.
    THostInfo hosts(path, {"telnet://alpha2.example.org/Alpha"});
    EXPECT_EQ(hosts.Port, "23");
    EXPECT_EQ(hosts.HostList().size(), 4u);
    THostSettings alpha;
    ASSERT_TRUE(hosts.LookupHost("Alpha", alpha));
    EXPECT_EQ(alpha.Address, "alpha2.example.org");
}

TEST_F(HostsTest, OtherArguments)
{
    {
        THostInfo hosts(path, {"telnet://10.0.0.5"});
        EXPECT_EQ(hosts.BBSName, "unknown");
        EXPECT_EQ(hosts.Port, "23");
        EXPECT_EQ(GetFile(path), HostsFile); // nothing written yet
        hosts.Modified = false;
    }
    for (const char *arg : {"TELNET://10.0.0.5/X", "/C=Alpha", "Alpha", ""}) {
        THostInfo hosts(path, {arg});
        EXPECT_FALSE(hosts.Modified) << arg;
        EXPECT_EQ(hosts.BBSName, "Moss") << arg;
    }
    {
        // The address ends at a '/' that comes before any ':'; an empty port means 23.
        THostInfo hosts(path, {"telnet://bbs.example.org/Odd:Name"});
        EXPECT_EQ(hosts.Address, "bbs.example.org");
        EXPECT_EQ(hosts.Port, "23");
        EXPECT_EQ(hosts.BBSName, "Odd:Name");
        THostInfo empty(path, {"telnet://h:/"});
        EXPECT_EQ(empty.Port, "23");
        EXPECT_EQ(empty.BBSName, "unknown");
        hosts.Modified = empty.Modified = false;
    }
    THostInfo gamma(path, {"/c=Gamma"});
    EXPECT_TRUE(gamma.Modified);
    EXPECT_EQ(gamma.BBSName, "Gamma");
    EXPECT_EQ(gamma.Address, "10.0.0.9");
    EXPECT_EQ(gamma.Port, ""); // the store's default
    EXPECT_EQ(gamma.Mode, 9);  // a host's own mode is taken as stored
    EXPECT_EQ(gamma.LoginName, "g");
    EXPECT_EQ(gamma.Last1, "P"); // recent list untouched
}

TEST_F(HostsTest, RecentHostPromotion)
{
    THostInfo hosts(path);
    auto recent = [&] {
        return std::vector<std::string>{hosts.Last1, hosts.Last2, hosts.Last3, hosts.Last4, hosts.Last5};
    };
    hosts.BBSName = "P";
    EXPECT_FALSE(hosts.PromoteCurrentHost());
    EXPECT_FALSE(hosts.Modified);
    hosts.BBSName = "Q";
    EXPECT_TRUE(hosts.PromoteCurrentHost());
    EXPECT_TRUE(hosts.Modified);
    EXPECT_EQ(recent(), (std::vector<std::string>{"Q", "P", "R", "S", "T"}));
    hosts.BBSName = "U";
    hosts.PromoteCurrentHost();
    EXPECT_EQ(recent(), (std::vector<std::string>{"U", "Q", "P", "R", "S"}));
    hosts.BBSName = "p"; // case-sensitive: a new name
    hosts.PromoteCurrentHost();
    EXPECT_EQ(recent(), (std::vector<std::string>{"p", "U", "Q", "P", "R"}));
    hosts.BBSName = "";
    hosts.PromoteCurrentHost();
    EXPECT_EQ(recent(), (std::vector<std::string>{"", "p", "U", "Q", "P"}));
}

TEST_F(HostsTest, HostMenuAndDelete)
{
    THostInfo hosts(path);
    EXPECT_EQ(hosts.HostMenuNames(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));

    ASSERT_TRUE(hosts.DeleteHost("Alpha"));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Hosts", "Host1", ""), "Gamma");
    EXPECT_EQ(ini.ReadString("Hosts", "Host2", ""), "Beta");
    EXPECT_TRUE(ini.ValueExists("Hosts", "Host3"));
    EXPECT_EQ(ini.ReadString("Hosts", "Host3", "-"), "");
    EXPECT_FALSE(ini.SectionExists("Alpha"));
    EXPECT_EQ(hosts.BBSName, "Moss");

    const std::string before = GetFile(path);
    EXPECT_FALSE(hosts.DeleteHost("gamma")); // the list compares exactly
    EXPECT_EQ(GetFile(path), before);

    ini.WriteString("Hosts", "Host1", "");
    EXPECT_TRUE(hosts.HostMenuNames().empty()); // menu left as it is

    EXPECT_EQ(SelectionAfterDelete(2, 3), 1);
    EXPECT_EQ(SelectionAfterDelete(0, 3), 0);
    EXPECT_EQ(SelectionAfterDelete(-1, 3), 0);
    EXPECT_EQ(SelectionAfterDelete(0, 0), -1);
}

TEST_F(HostsTest, SetupHostsDialogOperations)
{
    THostInfo hosts(path);
    THostSettings s;
    ASSERT_TRUE(hosts.LookupHost("GAMMA", s));
    EXPECT_EQ(s.Port, "1976"); // the dialog's default
    EXPECT_EQ(s.Mode, hmORVO); // unknown mode shows as ORVO CLient
    EXPECT_TRUE(s.AutoLogin);
    EXPECT_EQ(s.Password, "gp");
    s.Address = "x";
    EXPECT_FALSE(hosts.LookupHost("Nobody", s));
    EXPECT_EQ(s.Address, "");
    EXPECT_EQ(s.Port, "1976");

    THostSettings fresh;
    fresh.Mode = hmISCA;
    fresh.Port = PortForMode(fresh.Port, hmISCA);
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // no address yet
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // listed once all the same
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "Delta"}));
    EXPECT_EQ(TIniFile(path).ReadString("Delta", "Port", ""), "23");
    EXPECT_EQ(TIniFile(path).ReadInteger("Delta", "Mode", -1), hmISCA);
    EXPECT_FALSE(hosts.StoreHost("", fresh));
    EXPECT_FALSE(hosts.StoreHost("Bad\nName", fresh));

    EXPECT_EQ(PortForMode("1976", hmTelnet), "23");
    EXPECT_EQ(PortForMode("23", hmORVO), "1976");
    EXPECT_EQ(PortForMode("2323", hmORVO), "2323");
    EXPECT_EQ(PortForMode("23", hmISCA), "23");
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
    EXPECT_FALSE(Exists(home));

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

    // An installed copy whose folder takes no files keeps its settings per user.
    ::unlink(home.c_str());
    env.FolderWritable = [](const std::string &) { return false; };
    EXPECT_EQ(ResolveIniFileName(env), tmp / "home/.config/winmarlet/winmarlet.INI");

    EXPECT_EQ(ReplaceExtension("/a.b/prog", ".INI"), "/a.b/prog.INI");
    EXPECT_EQ(ReplaceExtension("/a/prog.exe", ".MAC"), "/a/prog.MAC");
    EXPECT_EQ(ReplaceExtension("/a/.hidden", ".INI"), "/a/.hidden.INI");
}
