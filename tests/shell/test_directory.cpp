// The Directory window as a user works it: search, sort, a double click to connect, Check
// with results coming in while the window goes on answering; and the import preview's
// choices (untick, rename onto a taken name, passwords left out unless ticked).
#include "config/HostDirectory.h"
#include "config/qt/ImportHostsDlg.h"
#include "shell/DirectoryWindow.h"
#include "tests/common/Child.h"
#include "tests/common/Patience.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>

namespace {

struct Directory : ::testing::Test
{
    QTemporaryDir Dir;
    std::string Ini = Dir.filePath("winmarlet.INI").toStdString();
    QTcpServer Listening; // takes connections and says nothing
    void SetUp() override
    {
        ASSERT_TRUE(Listening.listen(QHostAddress::LocalHost));
        const std::string up = std::to_string(Listening.serverPort());
        std::ofstream(Ini) << "[Hosts]\nHost1=Zed\nHost2=Alpha\nHost3=Nowhere\n"
                           << "[Zed]\nAddress=127.0.0.1\nPort=" << up
                           << "\nMode=1\nCalls=7\nComment=the quiet one\n"
                           << "[Alpha]\nAddress=127.0.0.1\nPort=" << UnusedPort() << "\nMode=1\nCalls=2\n"
                           << "[Nowhere]\nAddress=bbs.nothing.invalid\nPort=23\nMode=1\n";
    }
    static std::vector<std::string> Shown(QTableWidget *t)
    {
        std::vector<std::string> names;
        for (int row = 0; row < t->rowCount(); ++row)
            if (!t->isRowHidden(row)) names.push_back(t->item(row, 0)->text().toStdString());
        return names;
    }
};

} // namespace

TEST_F(Directory, SearchSortConnectAndCheck)
{
    THostInfo hosts(Ini);
    TDirectoryWindow w(hosts, Dir.path().toStdString());
    std::string connected;
    w.OnConnect = [&](const std::string &name) { connected = name; };
    w.show();
    QTableWidget *t = w.Table();
    EXPECT_EQ(Shown(t), (std::vector<std::string>{"Alpha", "Nowhere", "Zed"}));
    t->sortByColumn(TDirectoryWindow::coCalls, Qt::DescendingOrder);
    EXPECT_EQ(Shown(t), (std::vector<std::string>{"Zed", "Alpha", "Nowhere"}));
    QTest::keyClicks(w.Search(), "QUIET");
    EXPECT_EQ(Shown(t), (std::vector<std::string>{"Zed"}));
    w.Search()->clear();
    t->sortByColumn(TDirectoryWindow::coName, Qt::AscendingOrder); // rows no longer in list order

    const QRect cell = t->visualItemRect(t->item(w.RowOf("Alpha"), TDirectoryWindow::coAddress));
    QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(connected, "Alpha");
    w.Reload(); // as after the connection: the selection stays on its host
    EXPECT_EQ(t->item(t->currentRow(), 0)->text(), "Alpha");

    QTest::mouseClick(w.CheckButton(), Qt::LeftButton);
    EXPECT_FALSE(w.CheckButton()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Checking(); }, Patience));
    const auto check = [&](const char *name) {
        return t->item(w.RowOf(name), TDirectoryWindow::coCheck)->text();
    };
    EXPECT_TRUE(check("Zed").startsWith("up, ")) << check("Zed").toStdString();
    EXPECT_TRUE(check("Alpha").startsWith("down: connection refused")) << check("Alpha").toStdString();
    EXPECT_TRUE(check("Nowhere").contains("is not known")) << check("Nowhere").toStdString();
    // Kept with its date, and shown again by a new window.
    const std::vector<THostRecord> records = ReadHostDirectory(hosts);
    EXPECT_EQ(records[0].LastCheck, check("Zed").toStdString());
    EXPECT_FALSE(records[0].LastChecked.empty());
    EXPECT_EQ(records[0].Comment, "the quiet one");
}

TEST_F(Directory, ImportPreviewChoices)
{
    THostInfo hosts(Ini);
    TImportFile file =
        ReadSyncTermList("[Zed]\nAddress=zed.example.org\nConnectionType=Telnet\nPassword=pw\n"
                         "[Unwanted]\nAddress=u.example.org\nConnectionType=Telnet\n"
                         "[Renamed]\nAddress=r.example.org\nConnectionType=SSH\nPassword=pw2\n");
    TImportHostsDlg d(hosts, std::move(file), "syncterm.lst");
    QTableWidget *t = d.Table();
    EXPECT_EQ(t->item(0, 1)->text(), "Zed (2)");
    EXPECT_FALSE(d.Passwords()->isChecked());
    t->item(1, 0)->setCheckState(Qt::Unchecked);
    t->item(2, 1)->setText("Alpha"); // taken: the rule numbers it
    EXPECT_EQ(t->item(2, 1)->text(), "Alpha (2)");
    d.accept();
    EXPECT_EQ(d.Added(), 2);
    EXPECT_EQ(hosts.HostList(),
              (std::vector<std::string>{"Zed", "Alpha", "Nowhere", "Zed (2)", "Alpha (2)"}));
    THostSettings s;
    ASSERT_TRUE(hosts.LookupHost("Alpha (2)", s));
    EXPECT_EQ(s.Address + "|" + s.Password, "r.example.org|");
    ASSERT_TRUE(hosts.LookupHost("Zed", s));
    EXPECT_EQ(s.Address, "127.0.0.1");
}
