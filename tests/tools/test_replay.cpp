#include "tests/tools/RunReplayTool.h"
#include "tools/replay/Args.h"
#include "tools/replay/Script.h"
#include "tools/replay/Session.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReplayScript, ByteLists)
{
    EXPECT_EQ(ParseByteList("FF fb 1F", 1), (Bytes{0xFF, 0xFB, 0x1F}));
    EXPECT_EQ(ParseByteList(R"("Name:\r\n" 00 "a b")", 1),
              (Bytes{'N', 'a', 'm', 'e', ':', 13, 10, 0, 'a', ' ', 'b'}));
    // \x takes at most two digits, so a colour code letter after it stays a letter.
    EXPECT_EQ(ParseByteList(R"("\x01r" "\x01a" "\x1b[0m")", 1), (Bytes{1, 'r', 1, 'a', 27, '[', '0', 'm'}));
    EXPECT_EQ(ParseByteList(R"("\e\0\101\377\"\\\t")", 1), (Bytes{27, 0, 'A', 255, '"', '\\', 9}));
    EXPECT_EQ(ParseByteList(R"("")", 1), Bytes{});

    for (const char *Bad :
         {"F", "FFF", "GG", "0x41", R"("abc)", R"("\q")", R"("\x")", R"("\400")", R"("a"b)", R"("a\)"})
        EXPECT_THROW(ParseByteList(Bad, 7), EScriptError) << Bad;
}

TEST(ReplayScript, StepsAndLineNumbers)
{
    std::istringstream In("# a session\n"
                          "\n"
                          "recv FF FD 1F \"hi\"\r\n"
                          "  type \"x\\r\"\n"
                          "key PageUp shift ctrl\n"
                          "key left\n"
                          "reset\n");
    const TScript s = ParseScript(In);
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0].Kind, TScriptStep::skRecv);
    EXPECT_EQ(s[0].Line, 3);
    EXPECT_EQ(s[0].Bytes, (Bytes{0xFF, 0xFD, 0x1F, 'h', 'i'}));
    EXPECT_EQ(s[1].Kind, TScriptStep::skType);
    EXPECT_EQ(s[1].Bytes, (Bytes{'x', 13}));
    EXPECT_EQ(s[2].Key, VK_PRIOR);
    EXPECT_EQ(s[2].Shift, ssShift | ssCtrl);
    EXPECT_EQ(s[3].Key, VK_LEFT);
    EXPECT_EQ(s[3].Shift, 0);
    EXPECT_EQ(s[4].Kind, TScriptStep::skReset);

    const struct
    {
        const char *Text;
        int Line;
    } Bad[] = {{"recv 41\nsend 41\n", 2}, {"recv\n", 1},        {"# c\n\ntype ZZ\n", 3},
               {"key F1\n", 1},           {"key Up meta\n", 1}, {"key\n", 1},
               {"reset now\n", 1},        {"recv \"open\n", 1}, {"Recv 41\n", 1}};
    for (const auto &b : Bad) {
        std::istringstream i(b.Text);
        try {
            ParseScript(i);
            ADD_FAILURE() << "accepted: " << b.Text;
        } catch (const EScriptError &e) {
            EXPECT_EQ(e.Line, b.Line) << b.Text;
        }
    }
}

TEST(ReplayArgs, Options)
{
    TReplayOptions o;
    EXPECT_EQ(ParseReplayArgs({"--size", "132x50", "--attrs", "s.txt"}, o), "");
    EXPECT_EQ(o.Cols, 132);
    EXPECT_EQ(o.Rows, 50);
    EXPECT_TRUE(o.Attrs);
    EXPECT_EQ(o.Path, "s.txt");
    TReplayOptions r;
    EXPECT_EQ(ParseReplayArgs({"--raw", "cap.bin", "--mode=telnet"}, r), "");
    EXPECT_TRUE(r.Raw);
    EXPECT_EQ(r.Path, "cap.bin");
    for (std::vector<std::string> Bad : std::vector<std::vector<std::string>>{{"--size", "80"},
                                                                              {"--size", "0x24"},
                                                                              {"--size", "256x24"},
                                                                              {"--size"},
                                                                              {"--mode", "vt100"},
                                                                              {"--bogus"},
                                                                              {"a", "b"},
                                                                              {"--raw"},
                                                                              {"--raw", "a", "b"}}) {
        TReplayOptions x;
        EXPECT_NE(ParseReplayArgs(Bad, x), "") << Bad[0];
    }
}

TEST(ReplaySession, StartsAtBottomScreenAndRendersWhatArrives)
{
    std::ostringstream Out;
    TReplaySession s(20, 4, Out);
    EXPECT_EQ(s.Terminal().CursorY, TReplaySession::ScrollbackRows - 4);
    std::istringstream In("recv FF FD 1F \"ab\\x01rc\\r\\n\" FF FB 01\n"
                          "type \"q\"\n"
                          "key Down\n");
    s.Run(ParseScript(In));
    s.PrintScreen(true);
    // Echo was agreed, so neither the typed q nor the key shows on the screen.
    EXPECT_EQ(Out.str(), "> FF FB 1F\n"
                         "> FF FA 1F 00 14 00 04 FF F0\n"
                         "> FF FD 01\n"
                         "> 71\n"
                         "> 1B 5B 42\n"
                         "screen:\n"
                         "abc\n"
                         "  0F0F090000000000000000000000000000000000\n"
                         "\n"
                         "  0000000000000000000000000000000000000000\n"
                         "\n"
                         "  0000000000000000000000000000000000000000\n"
                         "\n"
                         "  0000000000000000000000000000000000000000\n"
                         "cursor: 0 1\n");
}

TEST(ReplaySession, WideScreenFitsTheCellLimit)
{
    // 132 x 819 cells would pass the buffer's limit: the scrollback is shorter instead.
    std::ostringstream Out;
    TReplaySession s(132, 50, Out);
    const TColorTTY &t = s.Terminal();
    EXPECT_LE(t.Rows * t.Cols, MaxTTYCells);
    EXPECT_EQ(t.Cols, 132);
    EXPECT_EQ(t.CursorY, t.Rows - 50);
    EXPECT_EQ(t.Top, t.Rows - 50);
    const uint8_t Text[] = "top\x1b[50;132Hz";
    s.Receive(Text, sizeof Text - 1);
    s.PrintScreen(false);
    const std::string o = Out.str();
    EXPECT_EQ(o.substr(0, 12), "screen:\ntop\n");
    EXPECT_NE(o.find(std::string(131, ' ') + "z\ncursor: 132 49\n"), std::string::npos) << o;
}

void WriteFile(const std::string &Path, const std::string &Text)
{
    std::ofstream(Path, std::ios::binary) << Text;
}

TEST(ReplayTool, EndToEnd)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const std::string Script = Dir.filePath("s.txt").toStdString();
    WriteFile(Script, "# login prompt\n"
                      "recv FF FD 18 FF FA 18 01 FF F0\n"
                      "recv \"\\x1b[1;31mName:\\x01a \\xb0\\x01Z\" FF\n"
                      "recv FD 01\n"
                      "type \"Bo\"\n"
                      "key Left\n");
    std::string Out, Err;
    ASSERT_EQ(RunTool("--size 12x3 --attrs " + Script, Out, Err, Dir), 0) << Err;
    EXPECT_EQ(Out, "> FF FB 18\n"
                   "> FF FA 18 00 61 6E 73 69 FF F0\n"
                   "> FF FB 01\n"
                   "> 42\n"
                   "> 6F\n"
                   "> 1B 5B 44\n"
                   "screen:\n"
                   "Name: .\n"
                   "  090909090907070000000000\n"
                   "\n"
                   "  000000000000000000000000\n"
                   "\n"
                   "  000000000000000000000000\n"
                   "cursor: 7 0\n");

    // The same bytes as a raw capture, read by stdin-less --raw.
    const std::string Raw = Dir.filePath("cap.bin").toStdString();
    WriteFile(Raw, std::string("\xFF\xFD\x1F"
                               "abc\r\nd",
                               9));
    ASSERT_EQ(RunTool("--raw " + Raw + " --size 10x2", Out, Err, Dir), 0) << Err;
    EXPECT_EQ(Out, "> FF FB 1F\n"
                   "> FF FA 1F 00 0A 00 02 FF F0\n"
                   "screen:\n"
                   "abc\n"
                   "d\n"
                   "cursor: 1 1\n");
}

TEST(ReplayTool, MalformedLineExitsWithItsNumber)
{
    QTemporaryDir Dir;
    const std::string Script = Dir.filePath("bad.txt").toStdString();
    WriteFile(Script, "recv 41\n# fine\nrecv 4G\n");
    std::string Out, Err;
    EXPECT_EQ(RunTool(Script, Out, Err, Dir), 2);
    EXPECT_EQ(Out, "");
    EXPECT_NE(Err.find("bad.txt:3:"), std::string::npos) << Err;
    EXPECT_EQ(RunTool("--size 80", Out, Err, Dir), 2);
    EXPECT_EQ(RunTool(Dir.filePath("missing").toStdString(), Out, Err, Dir), 2);
}

} // namespace
