// The options that answer without a window: adding a host never takes over one that is
// set up already.
#include "config/SetHost.h"
#include "shell/CommandLine.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>

TEST(CommandLine, AddHostAddsOnlyWhatIsMissing)
{
    QTemporaryDir dir;
    const std::string ini = dir.filePath("winmarlet.INI").toStdString();
    std::ofstream(ini) << "[Hosts]\nHost1=Mine\n[Mine]\nAddress=mine.example\nPort=23\nMode=1\n";
    const struct
    {
        std::vector<std::string> Args;
        int Status;
    } cases[] = {
        {{"Demo BBS", "127.0.0.1", "1976", "orvo", "Demo", "demo"}, 0},
        {{"Mine", "127.0.0.1", "1976", "orvo"}, 0}, // set up already: left as it is
        {{"Other", "127.0.0.1", "0", "orvo"}, 2},
        {{"Other", "127.0.0.1", "23", "vt100"}, 2},
        {{"Other", "127.0.0.1", "23"}, 2},
    };
    std::FILE *null = std::fopen("/dev/null", "w");
    for (const auto &c : cases)
        EXPECT_EQ(AddHostTo(ini, c.Args, null, null), c.Status) << c.Args[0];
    std::fclose(null);
    THostInfo hosts(ini);
    EXPECT_EQ(hosts.HostList(), (std::vector<std::string>{"Mine", "Demo BBS"}));
    THostSettings demo, mine;
    ASSERT_TRUE(hosts.LookupHost("Demo BBS", demo) && hosts.LookupHost("Mine", mine));
    EXPECT_EQ(std::tuple(demo.Address, demo.Port, demo.Mode, demo.AutoLogin, demo.LoginName, demo.Password),
              std::tuple(std::string("127.0.0.1"), std::string("1976"), hmORVO, true, std::string("Demo"),
                         std::string("demo")));
    EXPECT_EQ(std::tuple(mine.Address, mine.Mode), std::tuple(std::string("mine.example"), hmTelnet));
}

TEST(CommandLine, ImportHostsReportsEachEntry)
{
    QTemporaryDir tmp;
    const std::string ini = tmp.filePath("winmarlet.INI").toStdString();
    const std::string list = tmp.filePath("hosts.txt").toStdString();
    std::ofstream(list) << "a.example.org\nftp://x/\n";
    char *text = nullptr;
    size_t size = 0;
    FILE *out = open_memstream(&text, &size);
    EXPECT_EQ(ImportHostsTo(ini, {list}, out, stderr), 0);
    EXPECT_EQ(ImportHostsTo(ini, {tmp.filePath("missing").toStdString()}, out, stderr), 1);
    std::fclose(out);
    EXPECT_EQ(std::string(text, size),
              "line 1: added as \"a.example.org\"\n"
              "line 2: skipped \"ftp://x/\": only telnet://, telnets:// and ssh:// links "
              "are read\n");
    std::free(text);
}
