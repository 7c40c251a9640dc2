// The main window logged in to winmarlet-demobbs in each mode, with two more users
// online: auto-login, express messages and the filter, name completion, a post.
#include "colouredit/OffLine.h"
#include "tests/common/Peer.h"
#include "tests/e2e/E2eUtil.h"

using namespace std::string_literals;

namespace {

[[nodiscard]] bool Express(TPeer &from, const std::string &to, const std::string &text)
{
    return from.Say("x", "\xff\xa3") && from.Say("\xff\xa1" + to + "\n", "\xff\xa4") &&
           from.Say("\xff\xa1" + text + "\n\0"s, "Message sent to " + to + ".");
}

class DemoBbsSession : public Shell
{
protected:
    QString DataFile;
    std::unique_ptr<TChild> Bbs;

    // A fresh server with its own record; false when it did not come up.
    [[nodiscard]] bool StartBbs(const QString &dataFile)
    {
        Form.reset();
        Bbs = std::make_unique<TChild>();
        DataFile = Dir.filePath(dataFile);
        return Bbs->StartServer(DEMOBBS_BIN, {"--port", "0", "--sysop-delay", "0.3", "--data", DataFile});
    }
    [[nodiscard]] bool WaitEdit(bool open)
    {
        return QTest::qWaitFor([&] { return Form->Session().CLientMachine().EditMode() == open; }, Patience);
    }
    [[nodiscard]] bool WaitRecord(const std::string &text)
    {
        if (QTest::qWaitFor([&] { return ReadAll(DataFile).find(text) != std::string::npos; }, Patience))
            return true;
        ADD_FAILURE() << "not in the server's record: " << text << "\n" << ReadAll(DataFile);
        return false;
    }
};

TEST_F(DemoBbsSession, EachClientModeFromLoginToPost)
{
    struct TCase
    {
        THostMode Mode;
        const char *Prefix;    // typed before Tab in the recipient edit
        const char *Completed; // the name the who list offers for it
    } cases[] = {
        // ORVO: the marked who list names Eve, whose only message was killed.
        {hmORVO, "Ev", "Eve"},
        // ISCA has no marked who list: senders of shown messages fill it.
        {hmISCA, "An", "Ann"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(int(c.Mode));
        ASSERT_TRUE(StartBbs(QStringLiteral("board%1.txt").arg(int(c.Mode))));
        OpenWith(HostIni(c.Mode, Bbs->Port) + "AutoLogin=1\nLogin Name=demo\nPassword=pw\n"
                                              "[Preferences]\nExpress Filter=1\n[Enemies]\nEnemy1=Eve\n");
        Form->Command(TMenuItem::FileConnect);

        // Auto-login fills the name edit (capitalised) and the masked password edit.
        ASSERT_TRUE(WaitShown("Welcome, Demo!"));
        ASSERT_TRUE(WaitRecord("user\tDemo\tpw\n"));
        EXPECT_FALSE(Shows("pw")) << "the password is masked";
        ASSERT_TRUE(WaitShown("*** Message (#1) from Sysop at "));
        ASSERT_TRUE(WaitShown("Welcome to the demo BBS, Demo! Press X to write to me, E to post."));

        // A second client's message arrives with its header; an enemy's is killed.
        TPeer ann(Bbs->Port), eve(Bbs->Port);
        ASSERT_TRUE(ann.Login("Ann") && eve.Login("Eve"));
        ASSERT_TRUE(Express(ann, "Demo", "Hello Demo, Ann here."));
        ASSERT_TRUE(WaitShown("*** Message (#2) from Ann at "));
        ASSERT_TRUE(WaitShown("Hello Demo, Ann here."));
        ASSERT_TRUE(Express(eve, "Demo", "Buy my stuff!"));
        ASSERT_TRUE(WaitShown(" Message from Eve was killed."));
        EXPECT_FALSE(Shows("Buy my stuff!"));
        EXPECT_FALSE(Shows("from Eve at"));

        // The who list feeds completion in the recipient edit; the completed name is sent.
        Type("w");
        ASSERT_TRUE(WaitShown("Eve                  online"));
        EXPECT_EQ(Form->Session().WhoList().Find("Eve") >= 0, c.Mode == hmORVO);
        Type("x");
        ASSERT_TRUE(WaitShown("To whom?"));
        ASSERT_TRUE(WaitEdit(true));
        Type(c.Prefix);
        Key(Qt::Key_Tab);
        char name[32] = {};
        Form->OffLineEdit().GetText(name, sizeof name - 1);
        EXPECT_STREQ(name, c.Completed);
        Key(Qt::Key_Return);
        ASSERT_TRUE(WaitShown("Message to "s + c.Completed + ":"));
        ASSERT_TRUE(WaitEdit(true));
        Type("Thanks from winMarlet");
        Key(Qt::Key_Return);
        Key(Qt::Key_Return);
        ASSERT_TRUE(WaitShown("Message sent to "s + c.Completed + "."));
        TPeer &to = c.Completed == "Eve"s ? eve : ann;
        EXPECT_TRUE(to.Say("", "from \x01"
                               "c\x01nDemo\x01N"));
        EXPECT_TRUE(to.Say("", "Thanks from winMarlet\r\n"));

        // A post typed in the offline editor reaches the server's record intact.
        Type("e");
        ASSERT_TRUE(WaitShown("Your post:"));
        ASSERT_TRUE(WaitEdit(true));
        Type("Hello from the offline editor,");
        Key(Qt::Key_Return);
        Type("in two lines.");
        Key(Qt::Key_D, Qt::ControlModifier);
        Type("s");
        ASSERT_TRUE(WaitShown("Post 1 saved."));
        EXPECT_TRUE(WaitRecord("\tDemo\n|Hello from the offline editor,\n|in two lines.\n.\n"));
    }
}

} // namespace
