// winmarlet-demobbs as a child process on a free port, spoken to over 127.0.0.1:
// the CLient login with its counts, Telnet negotiation, abusive peers, and the data file.
// The real client against it (express-message headers in both modes, filtering, a post)
// is in the end-to-end tests.

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::string_literals;

namespace {

double Now()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Waits for fd to become readable until the deadline; false on time-out.
bool Readable(int fd, double deadline)
{
    const double left = deadline - Now();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, int(left * 1000) + 1) > 0;
}

class TServerProcess
{
public:
    explicit TServerProcess(const std::string &dataFile)
    {
        int out[2];
        if (::pipe(out) != 0) return;
        Pid = ::fork();
        if (Pid == 0) {
            ::dup2(out[1], 1);
            ::execl(DEMOBBS_BIN, DEMOBBS_BIN, "--port", "0", "--sysop-delay", "0.3", "--data",
                    dataFile.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        const double deadline = Now() + 10;
        while (line.find('\n') == std::string::npos && Readable(out[0], deadline) &&
               ::read(out[0], &c, 1) == 1)
            line += c;
        ::close(out[0]);
        const std::string prefix = "listening on 127.0.0.1:";
        if (line.rfind(prefix, 0) == 0) Port = uint16_t(std::stoi(line.substr(prefix.size())));
    }
    // SIGTERM; the exit status.
    int Stop()
    {
        int status = -1;
        if (Pid > 0 && ::kill(Pid, SIGTERM) == 0 && ::waitpid(Pid, &status, 0) == Pid) Pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~TServerProcess() { Stop(); }
    pid_t Pid = -1;
    uint16_t Port = 0;
};

// A raw client: everything received is kept; WaitFor searches past the last match.
class TPeer
{
public:
    explicit TPeer(uint16_t port)
    {
        Fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(Fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) Close();
    }
    ~TPeer() { Close(); }
    void Close()
    {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }
    void Send(const std::string &bytes)
    {
        ASSERT_EQ(::send(Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
    }
    // Reads what is there until the deadline; false when the peer closed.
    bool Pump(double deadline)
    {
        char buf[4096];
        if (!Readable(Fd, deadline)) return true;
        const ssize_t n = ::recv(Fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        In.append(buf, size_t(n));
        return true;
    }
    bool WaitFor(const std::string &needle, double seconds = 5)
    {
        const double deadline = Now() + seconds;
        for (;;) {
            const size_t at = In.find(needle, Seen);
            if (at != std::string::npos) {
                Seen = at + needle.size();
                return true;
            }
            if (Now() >= deadline || !Pump(deadline)) return false;
        }
    }
    bool WaitClosed(double seconds = 5)
    {
        const double deadline = Now() + seconds;
        while (Now() < deadline)
            if (!Pump(deadline)) return true;
        return false;
    }
    // CLient login as the engine answers: the two edits, the y of ISCA, the options.
    void Login(const std::string &hello, const std::string &name, bool isca)
    {
        Send(hello);
        ASSERT_TRUE(WaitFor("\xff\xa3"s));
        Send("\xff\xa1" + name + "\n");
        ASSERT_TRUE(WaitFor("\xff\xa2"s));
        Send("\xff\xa1pw\n"s + (isca ? "y" : ""));
        ASSERT_TRUE(WaitFor("\xff\xae\0\0\0\0"s));
        Send("\xff\xa1\n");
        ASSERT_TRUE(WaitFor("Lobby>"));
    }
    int Fd = -1;
    std::string In;
    size_t Seen = 0;
};

class DemoBbs : public ::testing::Test
{
protected:
    QTemporaryDir Dir;
    std::string DataFile = Dir.filePath("board.txt").toStdString();
    TServerProcess Server{DataFile};
    void SetUp() override { ASSERT_NE(Server.Port, 0); }
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
    ann.Login("\xff\xa0"s, "Ann", false);
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
                bad.WaitFor("never", 0.2);
        }
        ann.Send("w");
        ASSERT_TRUE(ann.WaitFor("\xff\xb8"s));
        ASSERT_TRUE(ann.WaitFor("Lobby>"));
    }
    // The one who vanished is gone from the who list.
    ann.WaitFor("never", 0.3);
    ann.Send("w");
    const size_t start = ann.Seen;
    ASSERT_TRUE(ann.WaitFor("\xff\xb8"s));
    EXPECT_EQ(ann.In.find("Eve", start), std::string::npos);
}

TEST_F(DemoBbs, DataFileHoldsPostsMessagesAndProfiles)
{
    {
        TPeer p(Server.Port);
        p.Login("\xff\xa0"s, "Ann", false);
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
    stays.Login("\xff\xa0"s, "Bob", false);
    EXPECT_EQ(Server.Stop(), 0); // SIGTERM: a last word to those online, then the data file
    EXPECT_TRUE(stays.WaitFor("going down"));
    EXPECT_TRUE(stays.WaitClosed());
    std::ifstream f(DataFile, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.rfind("winmarlet-demobbs 1\nuser\tAnn\tpw\nuser\tBob\tpw\n", 0), 0u) << text;
    EXPECT_NE(text.find("profile\tAnn\n|I like tea\n.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\tAnn\n|First line\n|second\n.\n"), std::string::npos) << text;
    EXPECT_NE(text.find("message\t"), std::string::npos) << text; // the Sysop's greeting
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files).size(), 1) << "no temporary file left";
}
