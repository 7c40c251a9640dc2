// winmarlet-replay in the CLient modes: options, a typed session with auto-login, a
// filtered express message, type-ahead and a who list, end to end through the tool.

#include "tests/tools/RunReplayTool.h"
#include "tools/replay/Args.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/wait.h>

namespace {

const char Script[] =
    "recv \"Welcome\\r\\n\" FF A0 FF AC\n"
    "recv \"Name: \" FF A2 14 00 00 01\n"
    "recv \"\\r\\nPassword: \" FF A2 F8 00 00 07\n"
    "recv \"\\r\\n\" FF A7 \"*** Message from bob at 10:00 \\x04bob                 \\r\\n\"\n"
    "recv \"go away\\r\\n\" FF A8 \"Lobby> \"\n"
    "recv FF B7 \"\\x01nann\\x01N  idle\\n\\x01ncarol\\x01N\\n\" FF B8\n"
    "type \"ab\"\n"
    "recv \"\\r\\nChoice: \" FF A2 14 00 00 0B\n"
    "type 0D\n"
    "recv \"\\r\\nPost: \" FF A4 00 00 00 0E\n"
    "type \"hi\" 04\n";

} // namespace

TEST(ReplayClientArgs, Options)
{
    TReplayOptions o;
    EXPECT_EQ(ParseReplayArgs({"--mode", "isca", "--password=pw", "--enemy", "bob", "--enemy", "eve",
                               "--friend", "ann", "--express-filter", "2", "--post-filter=-1"},
                              o),
              "");
    EXPECT_EQ(o.Mode, "isca");
    EXPECT_TRUE(o.AutoLogin);
    EXPECT_EQ(o.Login, "");
    EXPECT_EQ(o.Password, "pw");
    EXPECT_EQ(o.Enemies, (std::vector<std::string>{"bob", "eve"}));
    EXPECT_EQ(o.Friends, (std::vector<std::string>{"ann"}));
    EXPECT_EQ(o.ExpressFilter, 2);
    EXPECT_EQ(o.PostFilter, -1);
    TReplayOptions d;
    EXPECT_EQ(ParseReplayArgs({"--mode", "orvo"}, d), "");
    EXPECT_FALSE(d.AutoLogin);
    for (std::vector<std::string> Bad : std::vector<std::vector<std::string>>{{"--mode", "ORVO"},
                                                                              {"--login"},
                                                                              {"--enemy", ""},
                                                                              {"--express-filter", "x"},
                                                                              {"--post-filter", "1e3"}}) {
        TReplayOptions x;
        EXPECT_NE(ParseReplayArgs(Bad, x), "") << Bad[0];
    }
}

TEST(ReplayClientTool, TypedSessionInBothModes)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const std::string Path = Dir.filePath("s.txt").toStdString();
    std::ofstream(Path, std::ios::binary) << Script;
    const std::string Common = " --login guest --password pw --enemy Bob --express-filter 1 --size 40x12 ";

    std::string Out, Err;
    ASSERT_EQ(RunTool("--mode orvo" + Common + Path, Out, Err, Dir), 0) << Err;
    EXPECT_EQ(Out.substr(0, Out.find("screen:")), "> FF A0\n"
                                                  "> FF A1\n> 67 75 65 73 74 0A\nedit: 1\nedit: 0\n"
                                                  "> FF A1\n> 70 77 0A\nedit: 1\nedit: 0\n"
                                                  "> 61\n> 62\n"
                                                  "edit: 1\n"
                                                  "> FF A1\n> 62 0A\nedit: 0\n"
                                                  "edit: 1\n> FF A1\n> 68 69 0A 00\nedit: 0\n");
    EXPECT_NE(Out.find("\nPassword: ..\n Message from bob was killed.\nLobby> "), std::string::npos) << Out;
    EXPECT_EQ(Out.find("go away"), std::string::npos);
    // Of the two typed characters the server had seen one when it asked.
    EXPECT_NE(Out.find("\nChoice: b\n"), std::string::npos) << Out;
    EXPECT_EQ(Out.substr(Out.find("\ncursor: ") + 1), "cursor: 0 9\nwho: ann\nwho: carol\n");

    // ISCA: the count reset is answered, a y follows the second edit (and counts), the
    // who list is not collected and starts as the friends.
    ASSERT_EQ(RunTool("--mode isca --friend zed" + Common + Path, Out, Err, Dir), 0) << Err;
    EXPECT_EQ(Out.substr(0, Out.find("screen:")), "> FF A0\n> FF AF\n"
                                                  "> FF A1\n> 67 75 65 73 74 0A\nedit: 1\nedit: 0\n"
                                                  "> FF A1\n> 70 77 0A\n> 79\nedit: 1\nedit: 0\n"
                                                  "> 61\n> 62\n"
                                                  "edit: 1\n"
                                                  "> FF A1\n> 61 62 0A\nedit: 0\n"
                                                  "edit: 1\n> FF A1\n> 68 69 0A 00\nedit: 0\n");
    EXPECT_NE(Out.find("\nChoice: ab\n"), std::string::npos) << Out;
    EXPECT_EQ(
        Out.substr(Out.find("\ncursor: ") + 1).substr(Out.substr(Out.find("\ncursor: ") + 1).find('\n') + 1),
        "who: zed\n");
}
