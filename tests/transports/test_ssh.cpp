// The SSH transport against OpenSSH's server on loopback, whose ForceCommand runs the demo
// BBS over standard input and output.
#include "tests/transports/SshServer.h"

#include "session/secure/SshTransport.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char PasswordText[] = "demo-pass";

// An account with a known password, for password logins: made only where we may, with a
// name of this process's own (ctest runs the suite's tests in parallel processes), and
// removed again.
struct TPasswordUser
{
    std::string Name = "wmbbs-" + std::to_string(::getpid());
    bool Made = false;
    TPasswordUser()
    {
        Made = ::geteuid() == 0 && !QStandardPaths::findExecutable("useradd").isEmpty() &&
               TSshServer::Run("useradd", {"-M", "-s", "/bin/sh", QString::fromStdString(Name)}) &&
               TSshServer::Run("chpasswd", {}, QByteArray::fromStdString(Name) + ":" + PasswordText + "\n");
    }
    ~TPasswordUser()
    {
        if (getpwnam(Name.c_str())) TSshServer::Run("userdel", {QString::fromStdString(Name)});
    }
};

struct Ssh : ::testing::Test
{
    static inline TSshServer *Sshd;

    static QString Path(const QString &name) { return Sshd->Path(name); }

    static void SetUpTestSuite()
    {
        Sshd = new TSshServer;
        const std::string check = Sshd->Path("sizecheck").toStdString();
        if (!Sshd->Start("[ -e " + check +
                         " ] && stty size && read x && stty size\nexec " DEMOBBS_BIN
                         " --stdio --sysop-delay 0")) {
            delete Sshd;
            Sshd = nullptr;
            return;
        }
    }
    static void TearDownTestSuite() { delete Sshd; }

    void SetUp() override
    {
        if (!Sshd) GTEST_SKIP() << "sshd did not start";
        QFile::remove(Path("known_hosts"));
    }

    // Opens a transport and waits until it is open or has failed.
    std::unique_ptr<TSshTransport> Connect(Listener &l, const std::string &user = "root",
                                           std::optional<std::string> password = {}, uint8_t cols = 80,
                                           uint8_t rows = 24)
    {
        auto t = std::make_unique<TSshTransport>(Path("known_hosts").toStdString());
        TEndpoint e;
        e.Host = "127.0.0.1";
        e.Port = Sshd->Port;
        e.User = user;
        e.Password = std::move(password);
        e.Cols = cols;
        e.Rows = rows;
        t->Open(e, l);
        EXPECT_TRUE(l.WaitEnd());
        return t;
    }

    static std::string Fingerprint(const QString &publicKey)
    {
        QProcess p;
        p.start("ssh-keygen", {"-l", "-f", publicKey});
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput()).split(' ').value(1).toStdString();
    }
};

} // namespace

TEST_F(Ssh, FirstUseAsksThenTheBbsAnswersAndTheKeyIsKept)
{
    Listener l;
    auto t = Connect(l);
    ASSERT_TRUE(l.Connected) << l.Message;
    EXPECT_EQ(l.TrustAsked, 1);
    EXPECT_EQ(l.Question.KeyKind, "ED25519");
    EXPECT_EQ(l.Question.Host, "127.0.0.1:" + std::to_string(Sshd->Port));
    EXPECT_EQ(l.Question.Fingerprint, Fingerprint(Path("hostkey.pub")));
    EXPECT_EQ(t->Security(), "SSH, ed25519");
    EXPECT_EQ(l.Steps, (std::vector<TTransportStep>{TTransportStep::Connecting, TTransportStep::Securing,
                                                    TTransportStep::Authenticating}));
    const uint8_t hello[] = {0xFF, 0xA0}; // the CLient greeting
    t->Send(hello, sizeof hello);
    EXPECT_TRUE(l.WaitBytes("Demo BBS"));
    t->Close();

    const std::string known = ReadAll(Path("known_hosts"));
    EXPECT_EQ(known.rfind("[127.0.0.1]:" + std::to_string(Sshd->Port) + " ssh-ed25519 ", 0), 0u) << known;
    EXPECT_EQ(QFileInfo(Path("known_hosts")).permissions() & 0x0077, 0); // nobody else reads it

    Listener again; // the second time nothing is asked
    auto t2 = Connect(again);
    EXPECT_TRUE(again.Connected) << again.Message;
    EXPECT_EQ(again.TrustAsked, 0);
}

TEST_F(Ssh, ThePtyHasTheTerminalsSizeAndFollowsIt)
{
    WriteAll(Path("sizecheck"), "");
    Listener l;
    auto t = Connect(l, "root", {}, 100, 30);
    EXPECT_TRUE(l.WaitBytes("30 100"));
    t->SetWindowSize(132, 43);
    t->Send(reinterpret_cast<const uint8_t *>("\r"), 1);
    EXPECT_TRUE(l.WaitBytes("43 132"));
    QFile::remove(Path("sizecheck"));
}

TEST_F(Ssh, Passwords)
{
    const TPasswordUser user;
    if (!user.Made) GTEST_SKIP() << "no account with a password can be made here";
    const struct
    {
        const char *Name;
        std::optional<std::string> Stored, Typed;
        bool Opens;
        int Asked;
    } cases[] = {
        {"stored", PasswordText, std::nullopt, true, 0},
        {"asked", std::nullopt, PasswordText, true, 1},
        {"wrong", "not-the-password", std::nullopt, false, 0},
        {"asking given up", std::nullopt, std::nullopt, false, 1},
    };
    for (const auto &k : cases) {
        Listener l;
        l.Password = k.Typed;
        auto t = Connect(l, user.Name, k.Stored);
        EXPECT_EQ(l.Connected, k.Opens) << k.Name << ": " << l.Message;
        EXPECT_EQ(l.PasswordAsked, k.Asked) << k.Name;
        if (!k.Opens) {
            EXPECT_EQ(l.Message, "Authentication failed for " + user.Name + ". The BBS said: Members only.")
                << k.Name;
        }
    }
}

TEST_F(Ssh, AChangedHostKeyIsRefusedAKeylessLineSkipped)
{
    TSshServer::Run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-f", Path("otherkey")});
    const std::string other = ReadAll(Path("otherkey.pub")),
                      name = "[127.0.0.1]:" + std::to_string(Sshd->Port);
    WriteAll(Path("known_hosts"), name + " " + other.substr(0, other.rfind(' ')) + "\n");
    Listener l;
    auto t = Connect(l);
    ASSERT_TRUE(l.Failed);
    EXPECT_EQ(l.TrustAsked, 0);
    EXPECT_NE(l.Message.find("is not the one you accepted"), std::string::npos) << l.Message;
    EXPECT_NE(l.Message.find(Path("known_hosts").toStdString()), std::string::npos) << l.Message;
    WriteAll(Path("known_hosts"), name + " ssh-ed25519\n"); // the key deleted by hand
    Listener m;
    auto t2 = Connect(m);
    EXPECT_TRUE(m.Connected && m.TrustAsked == 1) << m.Message;
    EXPECT_EQ(m.Notice, "Skipped line 1 of " + Path("known_hosts").toStdString() + ": no key.");
}
