// The main window's extras: reconnect schedule and glue, notices and the Messages pane,
// capture byte for byte (and a full disk), and the find bar's keys.
#include "session/ReconnectPolicy.h"
#include "shell/About.h"
#include "shell/FindBar.h"
#include "shell/MessageHistory.h"
#include "shell/Notifier.h"
#include "shell/PlainText.h"
#include "tests/shell/ShellTestUtil.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTextDocument>
#include <QTreeWidget>

namespace {

// The icon is compiled in as pixels: each size must be the picture the desktop is given.
TEST(ProgramIcon, EverySizeIsTheDesktopsPicture)
{
    const QIcon icon = ProgramIcon();
    for (int size : {16, 24, 32, 48, 64, 128}) {
        SCOPED_TRACE(size);
        const QImage png = QImage(QStringLiteral(WM_ICON_DIR "/winmarlet-%1.png").arg(size))
                               .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(
            icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            png);
    }
    EXPECT_EQ(ProgramIcon(32).availableSizes().size(), 3);
}

TEST(ReconnectPolicy, BackoffJitterAndThreeClosesDuringLogin)
{
    double r = 0;
    TReconnectPolicy p([&] { return r; });
    std::vector<int64_t> delays;
    for (int i = 0; i < 7; ++i)
        delays.push_back(p.NextDelay());
    EXPECT_EQ(delays, (std::vector<int64_t>{2000, 4000, 8000, 16000, 32000, 60000, 60000}));
    r = 0.5;
    p.Connected(0); // a connection resets the schedule
    EXPECT_EQ(p.NextDelay(), 1800);

    const struct
    {
        int64_t Lasted;
        bool Retry;
    } drops[] = {{1000, true}, {29999, true}, {5, false}, {5, false}};
    TReconnectPolicy q(nullptr);
    int64_t now = 0;
    for (const auto &d : drops) {
        q.Connected(now);
        now += d.Lasted;
        EXPECT_EQ(q.Dropped(now), d.Retry) << d.Lasted;
    }
    q.UserConnect();
    q.Connected(now);
    EXPECT_TRUE(q.Dropped(now + 1));
    q.Connected(now);
    EXPECT_TRUE(q.Dropped(now + TReconnectPolicy::LoginWindowMs)); // a settled session clears the count
    EXPECT_EQ(q.LoginCloses(), 0);
}

struct Notices : TNotifier
{
    std::vector<QString> *Seen;
    explicit Notices(std::vector<QString> *seen) : Seen(seen) {}
    void Notify(const QString &title, const QString &body) override { Seen->push_back(title + "|" + body); }
};

struct Extras : Shell
{
    std::vector<QString> Seen;
    LoopbackServer Server;

    void Configure(TShellPlatform &p) override
    {
        Filter->ExpressFilter = 1;
        Filter->Enemies.Add("bob");
        p.Now = [] { return int64_t(1000000); };
        p.Random = [] { return 0.0; };
        p.MakeNotifier = [this](QWidget *) { return std::make_unique<Notices>(&Seen); };
    }
    void Open(const std::string &more = "")
    {
        WriteIni("[Hosts]\nHost=Moss\nAddress=127.0.0.1\nPort=" + Server.PortText() +
                 "\nMode=0\n[Preferences]\n" + more);
        Shell::Open();
    }
    void Connect() { Shell::Connect(Server); }
    void Drop()
    {
        Server.ClosePeer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected(); }, Patience));
    }
};

TEST_F(Extras, ReconnectWaitsIsStoppedByAKeyAndNeverFollowsTheUsersDisconnect)
{
    Open("Reconnect automatically=1\n");
    Connect();
    Drop();
    EXPECT_TRUE(Form->Session().ReconnectWaiting());
    EXPECT_EQ(Form->Session().ReconnectDelay(), 2000);
    EXPECT_EQ(Form->StatusText(), QStringLiteral(" Disconnected from 127.0.0.1.")); // as without reconnecting
    EXPECT_TRUE(Form->StatusIndicator().startsWith(QStringLiteral("Reconnecting in 2 s")));
    QTest::keyClick(Form->ColourTTY(), Qt::Key_Left); // a key without a character stops it
    EXPECT_FALSE(Form->Session().ReconnectWaiting());
    EXPECT_EQ(Form->StatusText(), QStringLiteral(" Reconnecting stopped."));

    Connect();
    ASSERT_TRUE(Receive(Server, 11));        // greeting and window size
    QTest::keyClick(Form->ColourTTY(), 'z'); // the key that stopped the countdown took nothing more
    ASSERT_TRUE(Receive(Server, 12));
    EXPECT_EQ(Got.back(), 'z');

    BoxAnswerer ok;
    Form->Command(TMenuItem::FileDisconnect);
    EXPECT_FALSE(Form->IsConnected());
    EXPECT_FALSE(Form->Session().ReconnectWaiting() || Form->Session().ReconnectOffered());
}

TEST_F(Extras, WithoutTheSettingReconnectIsOfferedAndEnterTakesIt)
{
    Open();
    // A BBS that logs the user off is no alarm; a reset line is.
    for (const bool reset : {false, true}) {
        Connect();
        Got.clear();
        ASSERT_TRUE(Receive(Server, 11)); // read all: unread data would make the close a reset
        reset ? Server.ResetPeer() : Server.ClosePeer();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->IsConnected(); }, Patience));
        EXPECT_FALSE(Form->Session().ReconnectWaiting());
        EXPECT_EQ(Form->StatusIndicator(), reset ? QStringLiteral("Connection lost: Enter reconnects")
                                                 : QStringLiteral("Closed by the BBS: Enter reconnects"));
    }
    QTest::keyClick(Form->ColourTTY(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->IsConnected(); }, Patience));
}

TEST_F(Extras, NoticesForAcceptedMessagesInTheBackgroundAndAHistoryOf1000)
{
    Open();
    Connect();
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->isActiveWindow(); }, Patience));
    auto message = [](const std::string &name, const std::string &text) {
        return "\xff\xa7\r\n*** Message from \x01n" + name + "\x01N at 12:00 ***\r\n" + text + "\xff\xa8";
    };
    Server.Write(message("bob", "killed") + message("ann", "\x01gHello\r\nsecond line"));
    // The pane is made by the first message.
    const auto arrived = [&] { return Form->Messages().Pane() && Form->Messages().Pane()->Count() == 1; };
    ASSERT_TRUE(QTest::qWaitFor(arrived, Patience));
    EXPECT_EQ(Seen, std::vector<QString>{QStringLiteral("Message from ann|Hello")});
    EXPECT_EQ(Form->Messages().Pane()->Text(false).section(' ', 1),
              QStringLiteral("ann: Hello\nsecond line\n\n"));

    for (int i = 0; i < 1100; ++i)
        Form->Messages().Pane()->Add(QDateTime(), QStringLiteral("x"), QString::number(i));
    EXPECT_EQ(Form->Messages().Pane()->Count(), TMessageHistory::Capacity);
    EXPECT_TRUE(Form->Messages().Pane()->Text(false).startsWith(QStringLiteral(" x: 100\n")));
}

TEST_F(Extras, ConversationsWithUnreadCountsKeptForTheHostAndAReplyTypesTheRecipient)
{
    const auto message = [](const std::string &name, const std::string &text) {
        return "\xff\xa7\r\n*** Message from \x01n" + name + "\x01N at 12:00 ***\r\n" + text + "\xff\xa8";
    };
    for (const bool again : {false, true}) {
        Open();
        Connect();
        Got.clear();
        ASSERT_TRUE(Receive(Server, 11));
        Form->Command(TMenuItem::ViewMessages);
        TMessageHistory &pane = *Form->Messages().Pane();
        if (!again) {
            Server.Write(message("ann", "hi") + message("cy", "yo") + message("ann", "again"));
            ASSERT_TRUE(QTest::qWaitFor([&] { return pane.Count() == 3; }, Patience));
            EXPECT_EQ(pane.Threads(), (QStringList{"ann", "cy"}));
            EXPECT_EQ(pane.Unread("ann"), 2);
            EXPECT_EQ(Form->Item(TMenuItem::ViewMessages)->text(), QStringLiteral("&Messages (3 new)"));
            pane.OpenThread(QStringLiteral("ann"));
            EXPECT_EQ(pane.Unread(), 1);
            EXPECT_EQ(pane.Text(false).count(QStringLiteral(" ann: ")), 2);
            Got.clear();
            EXPECT_TRUE(Form->Messages().Reply(pane.ReplyAuthor()));
            ASSERT_TRUE(Receive(Server, 5));
            EXPECT_EQ(Got, "xann\r");
            continue;
        }
        // The next session with this host starts with the kept conversations, read.
        EXPECT_EQ(pane.Count(), 3);
        EXPECT_EQ(pane.Threads(), (QStringList{"ann", "cy"}));
        EXPECT_EQ(pane.Unread(), 0);
        Drop();
        EXPECT_FALSE(Form->Messages().Reply(QStringLiteral("ann")));
    }
}

TEST_F(Extras, CaptureWritesWhatTheTerminalGotAndAFullDiskStopsOnlyTheCapture)
{
    Open();
    const QString plain = Dir.filePath("s.txt"), raw = Dir.filePath("s.raw");
    Connect();
    const std::string sent = "\xff\xfb\x01\x01rOne\x1b[1m\xc9\r\nTwo \xff\xff";
    ASSERT_TRUE(Form->Capture().Start(raw, cfRaw));
    EXPECT_EQ(Form->StatusIndicator(), QStringLiteral("Capturing"));
    Drop(); // a capture outlives the connection
    Connect();
    Server.Write(sent);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->ColourTTY()->Tty().CursorX == 4; }, Patience));
    ASSERT_TRUE(Form->Capture().Start(plain, cfPlainText)); // ends the raw one
    Server.Write("\x01gThree\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->ColourTTY()->Tty().CursorX == 0; }, Patience));
    Form->Capture().Stop();
    EXPECT_EQ(Form->StatusIndicator(), QString());
    auto file = [](const QString &p) {
        std::ifstream in(p.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(file(raw), sent);
    EXPECT_EQ(file(plain), "Three\n");

    BoxAnswerer boxes;
    if (QFile::exists(QStringLiteral("/dev/full"))) {
        ASSERT_TRUE(Form->Capture().Start(QStringLiteral("/dev/full"), cfRaw));
        Server.Write("more");
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts.isEmpty(); }, Patience));
        EXPECT_TRUE(boxes.Texts[0].contains(QStringLiteral("No space left"))) << boxes.Texts[0].toStdString();
        EXPECT_FALSE(Form->Capture().Running());
        EXPECT_TRUE(Form->IsConnected());
    }
}

TEST_F(Extras, FindBarKeysAndF3)
{
    Open();
    Connect();
    Form->ColourTTY()->Write("alpha beta\r\nALPHA\r\n");
    const int top = Form->ColourTTY()->Tty().Top;
    Form->Item(TMenuItem::EditFind)->trigger();
    TFindBar *bar = Form->FindBar();
    ASSERT_TRUE(bar->IsOpen());
    QTest::keyClicks(bar->TextBox(), "alpha");
    EXPECT_EQ(bar->MatchCount(), 2);
    EXPECT_EQ(bar->Current(), 1); // the newest first
    Form->ColourTTY()->setFocus();
    QTest::keyClick(Form->ColourTTY(), Qt::Key_F3);
    EXPECT_EQ(bar->Current(), 0);
    QTest::keyClick(Form->ColourTTY(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(bar->Current(), 1);
    // A match on the oldest row, where the bar sits, moves the bar to the bottom edge.
    Form->ColourTTY()->Tty().WriteCells(70, 0, 5, "omega");
    bar->TextBox()->setText(QStringLiteral("omega"));
    EXPECT_EQ(std::pair(bar->Current(), Form->ColourTTY()->Tty().Top), std::pair(0, 0));
    EXPECT_GT(bar->y(), Form->ColourTTY()->height() / 2);
    QTest::keyClick(bar->TextBox(), Qt::Key_Escape);
    EXPECT_FALSE(bar->IsOpen());
    EXPECT_TRUE(Form->ColourTTY()->hasFocus());
    EXPECT_EQ(Form->ColourTTY()->Tty().Top, top);
}

TEST_F(Extras, TextFromOthersIsShownAsThePlainCharacters)
{
    const QString text = QStringLiteral("hi <img src=\"/nonexistent/x.png\"> <b>bold</b>\nline & more");
    auto asShown = [](const QString &shown) { // as Qt decides between plain and rich text
        if (!Qt::mightBeRichText(shown)) return shown;
        QTextDocument d;
        d.setHtml(shown);
        return d.toPlainText();
    };
    Open();
    Form->Command(TMenuItem::ViewMessages); // the pane is made when first used
    Form->Messages().Pane()->Add(QDateTime(), QStringLiteral("<b>bob</b>"), text);
    const QTreeWidgetItem *item = Form->Messages().Pane()->findChild<QTreeWidget *>()->topLevelItem(0);
    EXPECT_EQ(asShown(item->toolTip(2)), text);
    EXPECT_EQ(NoticeBody(QStringLiteral("a & <b>")), QStringLiteral("a &amp; &lt;b&gt;"));

    BoxAnswerer boxes;
    EXPECT_FALSE(Form->Capture().Start(Dir.filePath(QStringLiteral("<b>gone</b>/s.txt")), cfRaw));
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Formats[0], Qt::PlainText);
    EXPECT_TRUE(boxes.Texts[0].startsWith("Cannot capture to ")) << boxes.Texts[0].toStdString();
    EXPECT_TRUE(boxes.Texts[0].contains(QStringLiteral("<b>gone</b>")));

    Hosts->UseHost("", {.Address = "<b>bbs</b>"}); // the status line shows an address as typed
    Form->Command(TMenuItem::FileConnect);
    EXPECT_EQ(Form->StatusText(), QStringLiteral(" Connecting to <b>bbs</b>."));
    EXPECT_EQ(Form->findChild<QLabel *>(QStringLiteral("StatusPanel"))->textFormat(), Qt::PlainText);
    Form->Command(TMenuItem::FileAbort);
}

} // namespace
