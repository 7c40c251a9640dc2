// winmarlet-replay: its script language and options, and the built tool end to end. What
// the engines do with the bytes is the engines' tests' business; here only the wiring.
#include "tools/replay/Args.h"
#include "tools/replay/Script.h"
#include "tools/replay/Session.h"

#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using Bytes = std::vector<uint8_t>;

// Runs the built tool with blank-separated arguments; its exit status, stdout and stderr.
int RunTool(const std::string &Args, std::string &Out, std::string &Err)
{
    QProcess p;
    p.start(QStringLiteral(REPLAY_BIN), QString::fromStdString(Args).split(u' ', Qt::SkipEmptyParts));
    p.waitForFinished();
    Out = p.readAllStandardOutput().toStdString();
    Err = p.readAllStandardError().toStdString();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

std::string WriteFile(const QTemporaryDir &Dir, const char *Name, const std::string &Text)
{
    const std::string Path = Dir.filePath(Name).toStdString();
    std::ofstream(Path, std::ios::binary) << Text;
    return Path;
}

} // namespace

TEST(ReplayScript, ByteListsStepsAndErrorLines)
{
    // \x takes at most two digits, so a colour code letter after it stays a letter.
    EXPECT_EQ(ParseByteList(R"(FF fb "N:\r\n" 00 "\x01r\e\0\101\377\"\\\t" "")", 1),
              (Bytes{0xFF, 0xFB, 'N', ':', 13, 10, 0, 1, 'r', 27, 0, 'A', 255, '"', '\\', 9}));
    for (const char *Bad :
         {"F", "FFF", "GG", "0x41", R"("abc)", R"("\q")", R"("\x")", R"("\400")", R"("a"b)", R"("a\)"})
        EXPECT_THROW(ParseByteList(Bad, 7), EScriptError) << Bad;

    std::istringstream In("# a session\n\nrecv 41\r\n  type \"x\\r\"\nkey PageUp shift ctrl\nreset\n");
    const TScript s = ParseScript(In);
    ASSERT_EQ(s.size(), 4u);
    EXPECT_EQ(s[0].Line, 3);
    EXPECT_EQ(s[1].Bytes, (Bytes{'x', 13}));
    EXPECT_EQ(s[2].Key, VK_PRIOR);
    EXPECT_EQ(s[2].Shift, ssShift | ssCtrl);
    EXPECT_EQ(s[3].Kind, TScriptStep::skReset);
    const std::pair<const char *, int> Bad[] = {
        {"recv 41\nsend 41\n", 2}, {"recv\n", 1},        {"\n\ntype ZZ\n", 3},
        {"key F1\n", 1},           {"key Up meta\n", 1}, {"key\n", 1},
        {"reset now\n", 1},        {"recv \"open\n", 1}, {"Recv 41\n", 1}};
    for (auto [Text, Line] : Bad) {
        std::istringstream i(Text);
        try {
            ParseScript(i);
            ADD_FAILURE() << "accepted: " << Text;
        } catch (const EScriptError &e) {
            EXPECT_EQ(e.Line, Line) << Text;
        }
    }
}

TEST(ReplayArgs, OptionsAndRefusals)
{
    TReplayOptions o;
    EXPECT_EQ(ParseReplayArgs({"--size", "132x50", "--attrs", "--mode", "isca", "--password=pw", "--enemy",
                               "bob", "--enemy", "eve", "--friend", "ann", "--express-filter", "2",
                               "--post-filter=-1", "s"},
                              o),
              "");
    EXPECT_EQ(
        std::tuple(o.Cols, o.Rows, o.Attrs, o.Path, o.Mode, o.AutoLogin, o.Password, o.ExpressFilter,
                   o.PostFilter),
        std::tuple(132, 50, true, std::string("s"), std::string("isca"), true, std::string("pw"), 2, -1));
    EXPECT_EQ(o.Enemies, (std::vector<std::string>{"bob", "eve"}));
    EXPECT_EQ(o.Friends, (std::vector<std::string>{"ann"}));
    for (const char *Bad :
         {"--size 80", "--size 0x24", "--size 256x24", "--size", "--mode vt100", "--bogus", "a b", "--raw",
          "--raw a b", "--mode ORVO", "--login", "--enemy ", "--express-filter x", "--post-filter 1e3"}) {
        std::vector<std::string> Args;
        std::istringstream Words(Bad + std::string(" ")); // "--enemy " ends in an empty word
        for (std::string w; std::getline(Words, w, ' ');)
            Args.push_back(w);
        TReplayOptions x;
        EXPECT_NE(ParseReplayArgs(Args, x), "") << Bad;
    }
}

TEST(ReplaySession, WideScreenFitsTheCellLimit)
{
    // 132 x 819 cells would pass the buffer's limit: the scrollback is shorter instead.
    std::ostringstream Out;
    TReplaySession s(132, 50, Out);
    const TColorTTY &t = s.Terminal();
    EXPECT_LE(t.Rows * t.Cols, MaxTTYCells);
    EXPECT_EQ(t.Top, t.Rows - 50);
    const uint8_t Text[] = "top\x1b[50;132Hz";
    s.Receive(Text, sizeof Text - 1);
    s.PrintScreen(false);
    EXPECT_EQ(Out.str().substr(0, 12), "screen:\ntop\n");
    EXPECT_NE(Out.str().find(std::string(131, ' ') + "z\ncursor: 132 49\n"), std::string::npos) << Out.str();
}

TEST(ReplayTool, TelnetScriptAndRawCapture)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const std::string Script = WriteFile(Dir, "s.txt",
                                         "recv FF FD 18 FF FA 18 01 FF F0\n"
                                         "recv \"\\x1b[1;31mName:\\x01a \\xb0\\x01Z\" FF\n"
                                         "recv FD 01\n"
                                         "type \"Bo\"\n"
                                         "key Left\n");
    std::string Out, Err;
    ASSERT_EQ(RunTool("--size 12x2 --attrs " + Script, Out, Err), 0) << Err;
    EXPECT_EQ(Out, "> FF FB 18\n> FF FA 18 00 61 6E 73 69 FF F0\n> FF FB 01\n> 42\n> 6F\n> 1B 5B 44\n"
                   "screen:\nName: .\n  090909090907070000000000\n\n  000000000000000000000000\n"
                   "cursor: 7 0\n");

    const std::string Raw = WriteFile(Dir, "cap.bin",
                                      std::string("\xFF\xFD\x1F"
                                                  "abc\r\nd",
                                                  9));
    ASSERT_EQ(RunTool("--raw " + Raw + " --size 10x2", Out, Err), 0) << Err;
    EXPECT_EQ(Out, "> FF FB 1F\n> FF FA 1F 00 0A 00 02 FF F0\nscreen:\nabc\nd\ncursor: 1 1\n");

    // A malformed line, bad options and a missing file exit with 2.
    EXPECT_EQ(RunTool(WriteFile(Dir, "bad.txt", "recv 41\n# fine\nrecv 4G\n"), Out, Err), 2);
    EXPECT_EQ(Out, "");
    EXPECT_NE(Err.find("bad.txt:3:"), std::string::npos) << Err;
    EXPECT_EQ(RunTool("--size 80", Out, Err), 2);
    EXPECT_EQ(RunTool(Dir.filePath("missing").toStdString(), Out, Err), 2);
}

TEST(ReplayTool, ClientModesTakeTheLoginFilterAndFriends)
{
    QTemporaryDir Dir;
    const std::string Script =
        WriteFile(Dir, "c.txt",
                  "recv \"Name: \" FF A2 14 00 00 00\n"
                  "recv \"\\r\\n\" FF A7 \"*** Message from bob at 10:00 \\x04bob                 \\r\\n\"\n"
                  "recv \"go away\\r\\n\" FF A8 \"> \"\n"
                  "recv FF B7 \"\\x01nann\\x01N\\n\" FF B8\n");
    const std::string Common = " --login guest --enemy Bob --express-filter 1 --size 40x4 ";
    std::string Out, Err;
    ASSERT_EQ(RunTool("--mode orvo" + Common + Script, Out, Err), 0) << Err;
    EXPECT_EQ(Out.substr(0, Out.find("screen:")), "> FF A1\n> 67 75 65 73 74 0A\nedit: 1\nedit: 0\n");
    EXPECT_NE(Out.find(" Message from bob was killed.\n> "), std::string::npos) << Out;
    EXPECT_EQ(Out.substr(Out.find("\ncursor: ") + 1), "cursor: 0 3\nwho: ann\n");
    // ISCA: the who list is not collected and starts as the friends.
    ASSERT_EQ(RunTool("--mode isca --friend zed" + Common + Script, Out, Err), 0) << Err;
    EXPECT_EQ(Out.substr(Out.find("\ncursor: ") + 1), "cursor: 0 3\nwho: zed\n");
}

// Two logins to ENiGMA½ as received (tests/peers/enigma/transcripts) keep the cells stored
// beside them. After a deliberate change to the terminal, regenerate each with
// winmarlet-replay --raw NAME.bin --emulation ansi --size 80x25 --cells > NAME.cells
TEST(ReplayTool, EnigmaTranscriptsKeepTheirCells)
{
    for (const std::string Name : {"telnet-login", "ssh-login"}) {
        const std::string Base = ENIGMA_TRANSCRIPTS "/" + Name;
        std::string Out, Err;
        ASSERT_EQ(RunTool("--raw " + Base + ".bin --emulation ansi --size 80x25 --cells", Out, Err), 0)
            << Err;
        std::ostringstream Want;
        Want << std::ifstream(Base + ".cells").rdbuf();
        EXPECT_EQ(Out, Want.str()) << Name;
    }
}
