// The main window against ENiGMA½, a real BBS by other people (tests/peers/enigma), over
// Telnet and SSH: the login walk, its terminal queries, ZMODEM downloads, the full-screen
// editor, a refused password and the logoff. One peer serves the whole program.
#include "session/secure/HostProbe.h"
#include "tests/e2e/E2eUtil.h"

#include <QCryptographicHash>

namespace {

const char *const Password = "testpass1";

// ENiGMA½ in a private root on free ports, from the base the build folder keeps.
struct TEnigma
{
    QTemporaryDir Root;
    uint16_t Telnet = UnusedPort(), Ssh = 0;
    TChild Node;

    bool Start()
    {
        while (!Ssh || Ssh == Telnet)
            Ssh = UnusedPort();
        QProcess setup;
        setup.setProcessChannelMode(QProcess::ForwardedChannels);
        setup.start("bash", {ENIGMA_DIR "/setup.sh", ENIGMA_BASE, Root.path(), QString::number(Telnet),
                             QString::number(Ssh)});
        if (!setup.waitForFinished(-1) || setup.exitCode() != 0) return false;
        Node.Process.setWorkingDirectory(ENIGMA_BASE "/src");
        return Node.StartOn("node", {"main.js", "--config", Root.filePath("config/")}, Telnet) &&
               QTest::qWaitFor([&] { return Listening(Ssh); }, Patience);
    }
    std::string Log() const { return ReadAll(Root.filePath("logs/enigma-bbs.log")); }
};
TEnigma *Peer;

class Enigma : public Shell
{
protected:
    QTemporaryDir Downloads;

    static void SetUpTestSuite()
    {
        Peer = new TEnigma;
        if (!Peer->Start()) ADD_FAILURE() << "the ENiGMA½ peer did not start";
    }
    static void TearDownTestSuite() { delete Peer; }

    // The window on a host of the peer; SSH logs in with the host's name and password.
    void OpenHost(bool ssh, const std::string &user, const char *password = Password)
    {
        std::string ini = HostIni(hmTelnet, ssh ? Peer->Ssh : Peer->Telnet) + "Terminal=ansi\n";
        if (ssh) {
            const std::string key = ReadAll(Peer->Root.filePath("config/security/ssh_private_key.pem.pub"));
            WriteAll(Dir.filePath("known_hosts"),
                     "[127.0.0.1]:" + std::to_string(Peer->Ssh) + " " + key.substr(0, key.rfind(' ')) + "\n");
            ini += "Transport=ssh\nAutoLogin=1\nLogin Name=" + user + "\nPassword=" + password + "\n";
        }
        OpenWith(ini + "[Preferences]\nDownload folder=" + Downloads.path().toStdString() + "\n");
        Form->Command(TMenuItem::FileConnect);
    }
    // The visible rows as text: old screens stay in the scrollback above.
    std::string Visible() const
    {
        const std::string all = Screen();
        size_t at = all.size();
        for (int n = Form->ColourTTY()->Tty().VisibleRows; n >= 0 && at > 0; --n)
            at = all.rfind('\n', at - 1);
        return all.substr(at == std::string::npos ? 0 : at + 1);
    }
    bool See(const char *text) const { return Visible().find(text) != std::string::npos; }
    // A menu at its command prompt, taking keys: ENiGMA½ drops what is typed before its
    // menu has focus, which it shows by moving the cursor into the field after "cmd:".
    bool AtPrompt(const char *menu) const
    {
        const TColorTTY &t = Form->ColourTTY()->Tty();
        const std::string row(reinterpret_cast<const char *>(t.Screen().RowChars(t.CursorY)), t.Cols);
        const size_t at = row.find("cmd:");
        return See(menu) && t.CursorShown() && at != std::string::npos && t.CursorX > int(at);
    }
    // Telnet: the login matrix's "login", the name and the password.
    [[nodiscard]] bool TelnetLogin(const std::string &user, const char *password = Password)
    {
        if (!Go("", "log off")) return false;
        Key(Qt::Key_Return);
        if (!Go("", "PASSW")) return false;
        Type(user.c_str());
        Key(Qt::Key_Return);
        Type(password);
        Key(Qt::Key_Return);
        return true;
    }
    // The visible rows, each as its characters then its attributes in hex (winmarlet-replay --cells).
    std::vector<std::string> ScreenCells() const
    {
        const TColorTTY &t = Form->ColourTTY()->Tty();
        std::vector<std::string> rows;
        for (int y = t.ScreenTop(); y < t.Rows; ++y) {
            const QByteArray c(reinterpret_cast<const char *>(t.Screen().RowChars(y)), t.Cols);
            const QByteArray a(reinterpret_cast<const char *>(t.Screen().RowAttrs(y)), t.Cols);
            rows.push_back((c.toHex().toUpper() + ' ' + a.toHex().toUpper()).toStdString());
        }
        return rows;
    }
    // The rows winmarlet-replay shows for a raw capture at the window's size, from the first
    // that holds anything, without what it answered.
    std::vector<std::string> Replayed(const QString &capture) const
    {
        const TColorTTY &t = Form->ColourTTY()->Tty();
        QProcess p;
        p.start(REPLAY_BIN, {"--raw", capture, "--emulation", "ansi", "--size",
                             QStringLiteral("%1x%2").arg(t.Cols).arg(t.VisibleRows), "--cells"});
        p.waitForFinished();
        std::vector<std::string> rows;
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (!line.isEmpty() && !line.startsWith("> ")) rows.push_back(line.toStdString());
        return rows;
    }
    // Logged in to the main menu under a raw capture: what the replay tool makes of the
    // capture is what the window shows, and no terminal query left a trace.
    void LoginChecked(bool ssh, const std::string &user)
    {
        const QString capture = Dir.filePath("session.raw");
        const size_t logFrom = Peer->Log().size();
        OpenHost(ssh, user);
        ASSERT_TRUE(Form->Capture().Start(capture, cfRaw));
        if (!ssh) {
            ASSERT_TRUE(TelnetLogin(user));
        }
        ASSERT_TRUE(Go("", "MAIN MENU", true));
        if (ssh) { // before the capture's own message replaces it
            EXPECT_EQ(Form->StatusText().toStdString().find(" Connected to 127.0.0.1 (SSH, "), 0u)
                << Form->StatusText().toStdString();
        }
        Form->Capture().Stop();
        // The last rows of each that hold a character: the replay leaves out blank rows.
        std::vector<std::string> replayed = Replayed(capture), shown = ScreenCells();
        for (auto *rows : {&replayed, &shown})
            while (!rows->empty() && rows->back().find_first_not_of("20") == rows->back().find(' '))
                rows->pop_back();
        const ptrdiff_t n = ptrdiff_t(std::min(replayed.size(), shown.size()));
        EXPECT_EQ(std::vector(replayed.end() - n, replayed.end()), std::vector(shown.end() - n, shown.end()));
        for (const char *trace : {"[0c", "[6n", "[255n", "0;0 D", "\x1b"})
            EXPECT_FALSE(Shows(trace)) << trace;
        // ENiGMA½'s own account of our answers: every CPR came, the font query left the
        // cursor where it was, and the size it uses is the window's.
        const std::string log = Peer->Log().substr(logFrom);
        EXPECT_EQ(log.find("timed out"), std::string::npos);
        EXPECT_NE(log.find("SyncTERM font support enabled"), std::string::npos);
    }
    // Keys, then a text on the screen; a menu waits for its prompt to take keys. On the way,
    // each question gets its answer once, as a user gives it (more would land in the next
    // prompt's field; the question's row echoes the key): the onelinerz, the newscan and
    // the pauses after the password, and the pop-ups ENiGMA½ queues (achievements).
    [[nodiscard]] bool Go(const char *keys, const char *text, bool menu = false)
    {
        static const std::pair<const char *, const char *> answers[] = {
            {"yeah! / nah", "n"},         // onelinerz: move to "nah"...
            {"yeah! / nAH", "\r"},        // ...and take it
            {"newscan?", "n"},            // no global newscan
            {"smash your keyboard", " "}, // pauses
        };
        Type(keys);
        std::string answered;
        if (QTest::qWaitFor(
                [&] {
                    if (menu ? AtPrompt(text) : See(text)) return true;
                    const char *key = nullptr;
                    std::string asked; // the question and the rows above it
                    for (auto [question, answer] : answers)
                        if (const std::string v = Visible(); v.find(question) != std::string::npos) {
                            key = answer;
                            asked = question + v.substr(0, v.rfind('\n', v.find(question)) + 1);
                        }
                    if (key && asked != answered) {
                        answered = asked;
                        Type(key);
                    }
                    return false;
                },
                Patience))
            return true;
        ADD_FAILURE() << (menu ? "no prompt at: " : "never shown: ") << text << "\n" << Visible();
        return false;
    }
    // The download manager sends RANDOM2M.BIN with lrzsz's sz; the window receives it by itself,
    // and the BBS is back at its prompt afterwards.
    void DownloadChecked()
    {
        // Each screen's last drawing is its focused part, from when it takes keys.
        for (auto [keys, text, menu] : {std::tuple{"f\r", "FILE BASE", true},
                                        {"l\r", "RANDOM2M.BIN - 2 MB", false},
                                        {"t", "YES", false},
                                        {"q", "FILE BASE", true},
                                        {"d\r", "DOWNLOAD MANAGER", false},
                                        {"", "RANDOM2M.BIN", false},
                                        {"a", "ZModem 8k", false}})
            ASSERT_TRUE(Go(keys, text, menu));
        Key(Qt::Key_Return);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Form->StatusText().contains("Received RANDOM2M.BIN"); }, Patience));
        QFile f(Downloads.filePath("RANDOM2M.BIN"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex(),
                  "8f7d5ca3dcb55ecd709a2a0242cb20eba4bebff78a82103e5390835e4f1964b4");
        EXPECT_TRUE(Go("", "FILE BASE", true));
    }
    // "g" at the main menu, confirmed: the BBS says goodbye and hangs up.
    void Logoff()
    {
        ASSERT_TRUE(Go("g\r", "Logoff?"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                if (See(">> smash your keyboard <<")) Type(" ");
                if (See("Logoff?")) Type("y");
                return Form->StatusIndicator() == "Closed by the BBS: Enter reconnects";
            },
            Patience))
            << Form->StatusIndicator().toStdString();
    }
};

TEST_F(Enigma, TelnetLoginAndLogoff)
{
    ASSERT_NO_FATAL_FAILURE(LoginChecked(false, "telnet"));
    Logoff();
}

TEST_F(Enigma, SshLoginAndLogoff)
{
    ASSERT_NO_FATAL_FAILURE(LoginChecked(true, "sshuser"));
    Logoff();
}

TEST_F(Enigma, ZmodemDownloadOverTelnet)
{
    ASSERT_NO_FATAL_FAILURE(LoginChecked(false, "telnet"));
    DownloadChecked();
}

// The first download ends at the file base, where ENiGMA's achievement pop-up interrupts
// its menu; once past it, the menu takes the next command.
TEST_F(Enigma, ZmodemDownloadTwiceOverTelnet)
{
    ASSERT_NO_FATAL_FAILURE(LoginChecked(false, "tester"));
    ASSERT_NO_FATAL_FAILURE(DownloadChecked());
    ASSERT_TRUE(Go("q\r", "MAIN MENU", true));
    DownloadChecked();
}

TEST_F(Enigma, ZmodemDownloadOverSsh)
{
    ASSERT_NO_FATAL_FAILURE(LoginChecked(true, "sshuser"));
    DownloadChecked();
}

// Over Telnet ENiGMA½ goes back to its login menu; over SSH the authentication fails.
// The Directory's Check on a real board: its Telnet offer and its SSH banner, no login.
TEST_F(Enigma, CheckSeesTheBoardsOffers)
{
    const std::atomic<bool> stop{false};
    const TProbeResult telnet = ProbeHost({"127.0.0.1", uint16_t(Peer->Telnet), THostTransport::Tcp, "", ""},
                                          THostProber::TimeoutMs, stop);
    EXPECT_TRUE(telnet.Answered && telnet.Text.find("DO TTYPE, DO NAWS") != std::string::npos) << telnet.Text;
    const TProbeResult ssh = ProbeHost(
        {"127.0.0.1", uint16_t(Peer->Ssh), THostTransport::Ssh, Dir.filePath("none").toStdString(), ""},
        THostProber::TimeoutMs, stop);
    EXPECT_TRUE(ssh.Answered && ssh.Text.find("SSH-2.0-enigma-bbs") == 0) << ssh.Text;
}

TEST_F(Enigma, WrongPasswordIsRefused)
{
    OpenHost(false, "refused");
    ASSERT_TRUE(TelnetLogin("refused", "wrongpass"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !See("PASSW"); }, Patience));
    EXPECT_TRUE(Go("", "log off"));

    BoxAnswerer boxes;
    OpenHost(true, "refused", "wrongpass");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts.isEmpty(); }, Patience));
    EXPECT_EQ(boxes.Texts.front().toStdString(), "Authentication failed for refused.");
}

// The full-screen editor with the keys that move in a line: what it saved reads back as
// typed.
TEST_F(Enigma, EditorPostReadsBack)
{
    OpenHost(false, "poster");
    ASSERT_TRUE(TelnetLogin("poster") && Go("", "MAIN MENU", true));
    ASSERT_TRUE(Go("m\r", "MESSAGE AREA", true));
    ASSERT_TRUE(Go("p\r", "ESC : menu"));
    Key(Qt::Key_Return); // to: All
    Type("Keys from winMarlet\rworld");
    Key(Qt::Key_Home);
    Type("Hello ");
    Key(Qt::Key_End);
    Type("!\rSecond linX");
    Key(Qt::Key_Left);
    Key(Qt::Key_Delete);
    Type("e");
    Key(Qt::Key_Up);
    Key(Qt::Key_End);
    Type(" ok");
    Key(Qt::Key_Escape);
    ASSERT_TRUE(Go("", "save  discard"));
    Key(Qt::Key_Return);
    ASSERT_TRUE(Go("", "MESSAGE AREA", true));
    ASSERT_TRUE(Go("l\r", "Keys from winMarlet"));
    ASSERT_TRUE(Go("\r", "prev  nEXT"));
    EXPECT_TRUE(See("\nHello world! ok\n") && See("\nSecond line\n")) << Visible();
}

} // namespace
