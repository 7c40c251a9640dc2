#include "config/HostLink.h"
#include "config/Redirect.h"
#include "config/SetHost.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

namespace {

const std::string HostsFile =
    "[Hosts]\r\nHost=Moss\r\nAddress=moss.example.org\r\nPort=2323\r\nMode=7\r\nAutoLogin=1\r\n"
    "Login Name=joe\r\nPassword=pw\r\nLast1=Alpha\r\nLast2=Gamma\r\nLast3=R\r\nLast4=S\r\nLast5=T\r\n"
    "Host1=Alpha\r\nHost2=Gamma\r\nHost3=Beta\r\n\r\n"
    "[Alpha]\r\nAddress=alpha.example.org\r\nPort=23\r\nMode=1\r\n"
    "[Gamma]\r\nAddress=10.0.0.9\r\nMode=9\r\nAutoLogin=1\r\nLogin Name=g\r\nPassword=gp\r\n"
    "[Beta]\r\nAddress=beta.example.org\r\n";

struct HostsTest : ::testing::Test
{
    TTempFolder tmp;
    std::string path = tmp / "winmarlet.INI";
    void SetUp() override { PutFile(path, HostsFile); }
    std::vector<std::string> Recent(const THostInfo &h) { return {h.Recent().begin(), h.Recent().end()}; }
};

} // namespace

TEST(HostLink, Parts)
{
    const struct
    {
        const char *arg;
        THostTransport transport;
        const char *address, *port, *name, *user;
    } cases[] = {
        {"telnet://10.0.0.5:2323/My_BBS", THostTransport::Tcp, "10.0.0.5", "2323", "My BBS", ""},
        {"telnet://bbs.example.org/Odd:Name", THostTransport::Tcp, "bbs.example.org", "23", "Odd:Name", ""},
        {"telnet://user:pw@h/X", THostTransport::Tcp, "h", "23", "X", ""}, // only ssh:// takes a user
        {"telnets://bbs.example.org", THostTransport::Tls, "bbs.example.org", "992", "", ""},
        {"ssh://bob@bbs.example.org:2222/Moss%20Place/", THostTransport::Ssh, "bbs.example.org", "2222",
         "Moss Place", "bob"},
        {"ssh://b%C3%B6b;fp=x@h", THostTransport::Ssh, "h", "22", "",
         "b\xC3\xB6"
         "b"},
        {"telnet://[2001:db8::1]:23/V6", THostTransport::Tcp, "2001:db8::1", "23", "V6", ""},
        {"telnet://h/%E4%0A", THostTransport::Tcp, "h", "23", "", ""}, // a name the file cannot hold: none
        {"telnet://h/D%C3%BCsseldorf", THostTransport::Tcp, "h", "23", "D\xC3\xBCsseldorf", ""},
    };
    for (const auto &c : cases) {
        std::optional<THostLink> link = ParseHostLink(c.arg);
        ASSERT_TRUE(link) << c.arg;
        EXPECT_EQ(link->Transport, c.transport) << c.arg;
        EXPECT_EQ(link->Address + " " + link->Port + " " + link->Name + "|" + link->User,
                  std::string(c.address) + " " + c.port + " " + c.name + "|" + c.user);
    }
    for (const char *bad : {"telnet://", "telnet://h:0", "telnet://h:65536", "telnet://h:2x",
                            "telnet://[zz]:23", "telnet://[::1]x", "telnet://[::1", "telnet://a b/X",
                            "telnet://h\n/X", "ssh://%0A@h", "telnet://h;rm/X"}) {
        std::string why;
        EXPECT_FALSE(ParseHostLink(bad, &why)) << bad;
        EXPECT_FALSE(why.empty()) << bad;
    }
    EXPECT_TRUE(ValidPort(" 65535 ") && !ValidPort("") && !ValidPort("-1"));
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
        {"/c=Gamma", "Gamma", "10.0.0.9", "", 9, true}, // the store's defaults; mode as stored
        {"telnet://alpha.example.org/alpha", "Alpha", "alpha.example.org", "23", hmTelnet,
         true}, // the saved host
        {"TELNET://10.0.0.5/X", "Moss", "moss.example.org", "2323", hmORVO, false},
        {"/C=Alpha", "Moss", "moss.example.org", "2323", hmORVO, false},
        {"telnet://h:99999/X", "Moss", "moss.example.org", "2323", hmORVO, false}, // malformed: ignored
        {"Alpha", "Moss", "moss.example.org", "2323", hmORVO, false},
    };
    for (const Case &c : cases) {
        {
            THostInfo hosts(path, {c.arg, "ignored"});
            EXPECT_EQ(hosts.BBSName() + " " + hosts.Current().Address + " " + hosts.Current().Port,
                      std::string(c.name) + " " + c.address + " " + c.port);
            EXPECT_EQ(hosts.Current().Mode, c.mode) << c.arg; // above 2 in "Hosts" reads as 0
            EXPECT_EQ(hosts.Modified(), c.modified) << c.arg;
            EXPECT_EQ(hosts.CommandLineError().empty(),
                      std::string(c.arg).find("99999") == std::string::npos);
            hosts.SetModified(false);
        }
        EXPECT_EQ(GetFile(path), HostsFile) << c.arg; // unmodified: nothing written
    }
    EXPECT_EQ(THostInfo(tmp / "none.INI").Current().Port, "1976"); // no file: the CLient port
}

TEST_F(HostsTest, ALinkNeverTakesOverASavedHostNorCarriesItsPassword)
{
    const struct
    {
        const char *arg, *name, *address;
        THostTerminal terminal;
    } cases[] = {
        {"telnet://evil.example/Gamma", "Gamma (2)", "evil.example", THostTerminal::AnsiBbs},
        {"telnet://evil.example/Gamma", "Gamma (2)", "evil.example",
         THostTerminal::AnsiBbs}, // the same again
        {"telnets://alpha.example.org/Alpha", "Alpha (2)", "alpha.example.org", THostTerminal::AnsiBbs},
        {"telnet://h.example:2323/PREFERENCES", "PREFERENCES (2)", "h.example", THostTerminal::Classic},
        {"ssh://bob@10.0.0.9/Gamma", "Gamma (3)", "10.0.0.9", THostTerminal::AnsiBbs},
        {"telnet://evil.example", "unknown", "evil.example", THostTerminal::AnsiBbs},
    };
    for (const auto &c : cases) {
        THostInfo hosts(path, {c.arg}, c.terminal);
        const THostSettings &now = hosts.Current();
        EXPECT_EQ(now.Name + " " + now.Address, std::string(c.name) + " " + c.address) << c.arg;
        EXPECT_TRUE(!now.AutoLogin && now.Password.empty()) << c.arg;
        EXPECT_EQ(now.LoginName, std::string(c.arg).rfind("ssh://bob", 0) == 0 ? "bob" : "") << c.arg;
        EXPECT_EQ(now.Terminal, c.terminal) << c.arg;
        hosts.PromoteCurrentHost();
        EXPECT_EQ(hosts.Last(1) == hosts.BBSName(), hosts.BBSName() != "unknown")
            << c.arg; // a nameless link is no entry
        THostSettings saved;
        EXPECT_EQ(hosts.LookupHost(c.name, saved), hosts.BBSName() != "unknown") << c.arg;
        EXPECT_EQ(saved.Password, "") << c.arg;
        hosts.SetModified(false);
    }
    THostInfo hosts(path);
    THostSettings gamma;
    ASSERT_TRUE(hosts.LookupHost("Gamma", gamma));
    EXPECT_EQ(gamma.Address + " " + gamma.Password, "10.0.0.9 gp");
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "Gamma (2)", "Alpha (2)",
                                                          "PREFERENCES (2)", "Gamma (3)"}));
    EXPECT_EQ(TIniFile(path).ReadString("Gamma (3)", "Transport", ""), "ssh");
}

TEST_F(HostsTest, RecentListTakesOnlySavedHosts)
{
    THostInfo hosts(path);
    auto promote = [&](const std::string &arg) {
        arg.rfind("/c=", 0) == 0 ? hosts.ApplyCommandLine(arg)
                                 : (hosts.UseHost(arg, hosts.Current()), hosts.SetModified(false));
        hosts.PromoteCurrentHost();
        return Recent(hosts);
    };
    EXPECT_EQ(promote("Alpha"), (std::vector<std::string>{"Alpha", "Gamma", "R", "S", "T"}));
    EXPECT_FALSE(hosts.Modified());
    EXPECT_EQ(promote("Beta"), (std::vector<std::string>{"Beta", "Alpha", "Gamma", "R", "S"}));
    EXPECT_TRUE(hosts.Modified());
    EXPECT_EQ(promote("Gamma"), (std::vector<std::string>{"Gamma", "Beta", "Alpha", "R", "S"}));
    EXPECT_EQ(TIniFile(path).ReadString("Hosts", "Last3", ""), "Alpha"); // written at once
    for (const char *refused : {"/c=Nobody", "", "Hosts"})
        EXPECT_EQ(promote(refused)[0], "Gamma") << refused;
}

TEST_F(HostsTest, ChangesToTheCurrentHostMadeWhileConnectedAreUsedAndKept)
{
    {
        THostInfo hosts(path, {"/c=Gamma"});
        THostSettings changed;
        ASSERT_TRUE(hosts.LookupHost("Gamma", changed));
        changed.Password = "new";
        changed.Address = " 10.0.0.10 ";
        ASSERT_TRUE(hosts.StoreHost("Gamma", changed)); // Setup Hosts OK while connected
        EXPECT_EQ(hosts.Current().Password, "gp");
        EXPECT_TRUE(hosts.RefreshCurrentHost()); // at the next Connect
        EXPECT_EQ(hosts.Current().Address + " " + hosts.Current().Password, "10.0.0.10 new");
        EXPECT_FALSE(hosts.RefreshCurrentHost());
    }
    THostInfo next(path);
    EXPECT_EQ(next.BBSName() + " " + next.Current().Address + " " + next.Current().Password,
              "Gamma 10.0.0.10 new");
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

    // A listed name that is one of the program's own sections leaves the list; the section stays.
    ini.WriteString("Hosts", "Host3", "Preferences");
    ini.WriteString("Preferences", "Screen Lines", "30");
    ASSERT_TRUE(hosts.DeleteHost("Preferences"));
    EXPECT_EQ(ini.ReadString("Preferences", "Screen Lines", ""), "30");

    ini.WriteString("Hosts", "Host2", "");
    EXPECT_EQ(hosts.HostMenuNames(), std::vector<std::string>{"Gamma"});
    ini.WriteString("Hosts", "Host1", "");
    EXPECT_TRUE(hosts.HostMenuNames().empty()); // menu left as it is
}

TEST_F(HostsTest, StoreHostListsOnceTrimsAndRefusesOwnSections)
{
    THostInfo hosts(path);
    THostSettings fresh;
    fresh.Mode = hmISCA;
    fresh.Port = " 23\t";
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // no address yet
    ASSERT_TRUE(hosts.StoreHost("Delta", fresh)); // listed once all the same
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Alpha", "Gamma", "Beta", "Delta"}));
    EXPECT_EQ(TIniFile(path).ReadString("Delta", "Port", ""), "23");
    for (const char *refused : {"", "Bad\nName", "colourpalette", " Redirect"})
        EXPECT_FALSE(hosts.StoreHost(refused, fresh)) << refused;
}

// Files of older versions have none of the keys: their hosts hide SAUCE records and keep
// line feeds as they were; the size the user gave a host outlives the dialog's OK.
TEST_F(HostsTest, TerminalChoicesAndSizesAreWrittenOnlyWhenChanged)
{
    THostInfo hosts(path);
    THostSettings h, read;
    h.Address = "d.example";
    auto keys = [&] {
        TIniFile f(path);
        return f.ReadString("Delta", "LF Expand", "-") + f.ReadString("Delta", "Hide SAUCE", "-") +
               f.ReadString("Delta", "Screen Lines", "-");
    };
    ASSERT_TRUE(hosts.StoreHost("Delta", h) && hosts.LookupHost("Delta", read));
    EXPECT_TRUE(keys() == "---" && read.HideSauce && !read.LfExpand);
    h.LfExpand = true;
    h.HideSauce = false;
    EXPECT_TRUE(hosts.SetScreenLines("Delta", 30) && hosts.StoreHost("Delta", h));
    EXPECT_FALSE(hosts.SetScreenLines("Delta", 30) || hosts.SetScreenLines("Nowhere", 30)); // same; no host
    EXPECT_EQ(keys(), "1030");
    EXPECT_EQ(hosts.ScreenLines("Delta"), 30);
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
