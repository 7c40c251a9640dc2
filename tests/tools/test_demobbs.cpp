// winmarlet-demobbs as a child process on a free port, spoken to over 127.0.0.1:
// the CLient login with its counts, Telnet negotiation, abusive peers, and the data file.
// The real client against it (express-message headers in both modes, filtering, a post)
// is in the end-to-end tests.

#include "tests/common/Child.h"
#include "tests/common/Peer.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

class DemoBbs : public ::testing::Test
{
protected:
    QTemporaryDir Dir;
    QString DataFile = Dir.filePath("board.txt");
    TChild Server;
    void SetUp() override
    {
        ASSERT_TRUE(
            Server.StartServer(DEMOBBS_BIN, {"--port", "0", "--sysop-delay", "0.3", "--data", DataFile}));
    }
};

} // namespace

TEST_F(DemoBbs, OrvoLoginCountsEveryCharacterReceived)
{
    TPeer p(Server.Port);
    p.Send("\xff\xa0\xff\xfa\x1f\0\x50\0\x18\xff\xf0"s); // greeting and window size, as the client connects
    // Count reset, then the name edit at 1, the masked password edit at 1 + "Ann\n".
    ASSERT_TRUE(p.WaitFor("\xff\xac"s));
    ASSERT_TRUE(p.WaitFor("\xff\xa3\0\0\0\x01"s));
    p.Send("\xff\xa1"
           "Ann\n");
    ASSERT_TRUE(p.WaitFor("\xff\xa2\xf0\0\0\x05"s));
    p.Send("\xff\xa1pw\n");
    ASSERT_TRUE(p.WaitFor("\xff\xae\0\0\0\0"s));
    p.Send("\xff\xa1\n"); // the options answer counts one
    ASSERT_TRUE(p.WaitFor("Lobby>"));
    // Cursor keys are not counted; typed keys are; type-ahead during an edit is not.
    p.Send("\x1b[A"
           "e");
    ASSERT_TRUE(p.WaitFor("\xff\xa5\0\0\0\x0a"s));
    p.Send("zz\xff\xa1"
           "Hi all\n\x04s");
    ASSERT_TRUE(p.WaitFor("Post 1 saved."));
    p.Send("w");
    ASSERT_TRUE(p.WaitFor("\xff\xb7"s));
    EXPECT_TRUE(p.WaitFor("\x01nSysop\x01N"));
    EXPECT_TRUE(p.WaitFor("\x01nAnn\x01N"));
    EXPECT_TRUE(p.WaitFor("\xff\xb8"s));
    // The Sysop greets, then answers the post.
    EXPECT_TRUE(p.WaitFor("\xff\xa7"s));
    EXPECT_TRUE(p.WaitFor("I have answered your post 1"));
    // B5 takes its count from the client's side: a key typed ahead of it stays counted.
    p.Send("pk");
    ASSERT_TRUE(p.WaitFor("\xff\xb5"s));
    p.Send("\xff\xa1me\n\0"s);
    ASSERT_TRUE(p.WaitFor("Profile saved."));
    p.Send("e");
    EXPECT_TRUE(p.WaitFor("\xff\xa5\0\0\0\x1b"s));
}

TEST_F(DemoBbs, TelnetNegotiatesAndHonoursTheWindowSize)
{
    TPeer p(Server.Port);      // says nothing until asked
    TPeer silent(Server.Port); // never answers at all
    ASSERT_TRUE(p.WaitFor("\xff\xfb\x01\xff\xfb\x03\xff\xfd\x1f\xff\xfd\x18"s));
    p.Send("\xff\xfd\x01\xff\xfd\x03\xff\xfb\x1f\xff\xfa\x1f\0\x2c\0\x10\xff\xf0\xff\xfb\x18"s);
    ASSERT_TRUE(p.WaitFor("\xff\xfa\x18\x01\xff\xf0"s));
    p.Send("\xff\xfa\x18\0ansi\xff\xf0"s);
    ASSERT_TRUE(p.WaitFor("\x1b[6n")); // is it an ANSI terminal?
    p.Send("\x1b[7;1R");
    ASSERT_TRUE(p.WaitFor("\xc9" + std::string(42, '\xcd') + "\xbb")); // 44 columns: no art
    const size_t text = p.Seen;
    ASSERT_TRUE(p.WaitFor("Name: "));
    p.Send("tom\r\n");
    ASSERT_TRUE(p.WaitFor("tom\r\n")); // the server echoes
    ASSERT_TRUE(p.WaitFor("Password: "));
    p.Send("pw\r\0"s);
    ASSERT_TRUE(p.WaitFor("**\r\n"));
    ASSERT_TRUE(p.WaitFor("Lobby>"));
    EXPECT_EQ(p.In.find('\x01', text), std::string::npos) << "colour codes become ANSI";
    // An ANSI terminal of 80 columns gets the art: iCE colours, blocks, the cursor placed.
    TPeer art(Server.Port); // answers only as an ANSI terminal
    ASSERT_TRUE(art.WaitFor("\x1b[6n"));
    art.Send("\x1b[1;1R");
    EXPECT_TRUE(art.WaitFor("\x1b[0m\x1b[2J\x1b[?33h"));
    EXPECT_TRUE(art.WaitFor("\x1b[0;1;5;33;44m\xdb"));
    EXPECT_TRUE(art.WaitFor("\x1b[19;1H"));
    // Unanswered negotiation and detection end in time-outs, then the login goes on in
    // plain text.
    EXPECT_TRUE(silent.WaitFor("+----"));
    EXPECT_TRUE(silent.WaitFor("Name: "));
    EXPECT_EQ(silent.In.find_first_of("\x01\xba\xcd"s, silent.In.find("\x1b[6n") + 4), std::string::npos);
}

TEST_F(DemoBbs, AbusivePeersDisturbNobodyElse)
{
    TPeer ann(Server.Port);
    ASSERT_TRUE(ann.Login("Ann"));
    const std::string huge(40000, 'x');
    const std::string noSe = "\xff\xfa\x18" + std::string(5000, 'y');
    struct TCase
    {
        const char *What;
        std::string Bytes;
        bool Dropped;
    } cases[] = {
        {"oversized upload", "\xff\xa0\xff\xa1"s + huge, true},
        {"oversized Telnet line", "\xff\xfc\x01" + huge + "\r", false},
        {"stray IAC sequences", "\xff\xa0\xff\xf1\xff\xff\xff\xfe\xff\xa1\xff\xf0" + noSe + "\xff\xb9",
         false},
        {"vanishing in an edit",
         "\xff\xa0\xff\xa1"
         "Eve\n\xff\xa1pw\n\xff\xa1\ne\xff\xa1half a post"s,
         false},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.What);
        {
            TPeer bad(Server.Port);
            bad.Send(c.Bytes);
            if (c.Dropped)
                EXPECT_TRUE(bad.WaitClosed());
            else
                bad.WaitFor("never", 200); // the server reads it before the close
        }
        ann.Send("w");
        ASSERT_TRUE(ann.WaitFor("\xff\xb8"s));
        ASSERT_TRUE(ann.WaitFor("Lobby>"));
    }
    // The one who vanished leaves the who list.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            ann.Send("w");
            const size_t start = ann.Seen;
            return ann.WaitFor("\xff\xb8"s) &&
                   ann.In.substr(start, ann.Seen - start).find("Eve") == std::string::npos;
        },
        Patience));
}

TEST_F(DemoBbs, DataFileHoldsPostsMessagesAndProfiles)
{
    {
        TPeer p(Server.Port);
        ASSERT_TRUE(p.Login("Ann"));
        p.Send("e");
        ASSERT_TRUE(p.WaitFor("\xff\xa5"s));
        p.Send("\xff\xa1"
               "First line\nsecond\n\x04s");
        ASSERT_TRUE(p.WaitFor("saved."));
        p.Send("p");
        ASSERT_TRUE(p.WaitFor("\xff\xb3\xff\xb4\xff\xb5"s));
        p.Send("\xff\xa1"
               "I like tea\n\0"s);
        ASSERT_TRUE(p.WaitFor("Profile saved."));
        ASSERT_TRUE(p.WaitFor("Welcome to the demo BBS, Ann!"));
        p.Send("q");
        ASSERT_TRUE(p.WaitClosed());
    }
    TPeer stays(Server.Port);
    ASSERT_TRUE(stays.Login("Bob"));
    EXPECT_EQ(Server.Stop(), 0); // SIGTERM: a last word to those online, then the data file
    EXPECT_TRUE(stays.WaitFor("going down"));
    EXPECT_TRUE(stays.WaitClosed());
    const std::string text = ReadAll(DataFile);
    EXPECT_EQ(text.rfind("winmarlet-demobbs 1\nuser\tAnn\tpw\nuser\tBob\tpw\n", 0), 0u) << text;
    EXPECT_NE(text.find("profile\tAnn\n|I like tea\n.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tAnn\n|First line\n|second\n.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("message\t"), std::string::npos) << text; // the Sysop's greeting
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";
}
