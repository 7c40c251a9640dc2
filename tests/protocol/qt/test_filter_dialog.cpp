// User Filter dialog: radio groups with stored values out of range, the name
// lists, and what OK and Cancel do to the file.
#include "protocol/qt/UserFilterDlg.h"
#include "tests/config/qt/DialogTestUtil.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

template <class W = QWidget> W *Child(QWidget &dlg, const char *name)
{
    W *w = dlg.findChild<W *>(QLatin1String(name));
    EXPECT_TRUE(w) << name;
    return w;
}

int Checked(QWidget &dlg, const char *group)
{
    return Child(dlg, group)->findChild<QButtonGroup *>()->checkedId();
}

std::string Items(QWidget &dlg, const char *list)
{
    std::string s;
    auto *lb = Child<QListWidget>(dlg, list);
    for (int i = 0; i < lb->count(); ++i)
        s += (i ? "," : "") + lb->item(i)->text().toStdString();
    return s;
}

} // namespace

TEST(UserFilterDlg, RadioGroupsShowAndStoreOutOfRangeValues)
{
    const struct
    {
        int express, post;
        int shownExpress, shownPost; // -1: no item selected
    } cases[] = {{1, 0, 1, 0}, {3, 7, 2, 1}, {-1, -5, -1, -1}, {2, 1, 2, 1}};
    for (const auto &c : cases) {
        TTempFolder dir;
        const std::string ini = "[Preferences]\nExpress Filter=" + std::to_string(c.express) +
                                "\nPost Filter=" + std::to_string(c.post) + "\n";
        PutFile(dir / "w.ini", ini);
        TUserFilter filter(dir / "w.ini");
        TUserFilterDlg dlg(filter, nullptr);
        EXPECT_EQ(Checked(dlg, "rgExpressFilter"), c.shownExpress) << c.express;
        EXPECT_EQ(Checked(dlg, "rgPostFilter"), c.shownPost) << c.post;
        Child<QPushButton>(dlg, "OKBtn")->click();
        auto keys = IniKeys(GetFile(dir / "w.ini"));
        EXPECT_EQ(keys["Preferences/Express Filter"], std::to_string(c.shownExpress));
        EXPECT_EQ(keys["Preferences/Post Filter"], std::to_string(c.shownPost));
        EXPECT_EQ(filter.ExpressFilter, c.shownExpress);
    }
}

TEST(UserFilterDlg, AddRemoveThenOkSavesTheListsAndCancelWritesNothing)
{
    TTempFolder dir;
    const std::string ini = "[Preferences]\nExpress Filter=1\nPost Filter=0\nScreen Lines=30\n"
                            "[Friends]\nFriend1=anna\nFriend2=Joe\nFriend3=Zed\n[Enemies]\nEnemy1=Bob\n";
    PutFile(dir / "w.ini", ini);
    TUserFilter filter(dir / "w.ini");
    auto edit = [](TUserFilterDlg &dlg, const char *text) {
        Child<QLineEdit>(dlg, "edFriend")->setText(text);
        Child<QPushButton>(dlg, "btAddFriend")->click();
    };
    {
        TUserFilterDlg dlg(filter, nullptr);
        edit(dlg, "bob");
        Child<QPushButton>(dlg, "CancelBtn")->click();
    }
    EXPECT_EQ(GetFile(dir / "w.ini"), ini);
    EXPECT_EQ(filter.Friends.Count(), 3);

    TUserFilterDlg dlg(filter, nullptr);
    EXPECT_EQ(dlg.property("helpContext").toInt(), 0);
    EXPECT_EQ(Child<QLineEdit>(dlg, "edFriend")->maxLength(), 20);
    const struct
    {
        const char *add;
        const char *list;
    } adds[] = {{"joe", "anna,Joe,Zed"}, {"", "anna,Joe,Zed"}, {"bob", "anna,bob,Joe,Zed"}};
    for (const auto &a : adds) {
        edit(dlg, a.add);
        EXPECT_EQ(Items(dlg, "lbFriends"), a.list) << a.add;
        EXPECT_EQ(Child<QLineEdit>(dlg, "edFriend")->text().toStdString(), a.add); // keeps its text
    }
    auto *friends = Child<QListWidget>(dlg, "lbFriends");
    Child<QPushButton>(dlg, "btDelFriend")->click(); // nothing selected
    EXPECT_EQ(Items(dlg, "lbFriends"), "anna,bob,Joe,Zed");
    for (int row : {0, 2, 3})
        friends->item(row)->setSelected(true);
    Child<QPushButton>(dlg, "btDelFriend")->click();
    EXPECT_EQ(Items(dlg, "lbFriends"), "bob");
    Child<QLineEdit>(dlg, "edEnemy")->setText("Eve");
    Child<QPushButton>(dlg, "btAddEnemy")->click();
    EXPECT_EQ(Items(dlg, "lbEnemies"), "Bob,Eve");

    Child<QPushButton>(dlg, "OKBtn")->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    const std::string after = GetFile(dir / "w.ini");
    EXPECT_EQ(ChangedKeys(ini, after), (std::set<std::string>{"Friends/Friend1", "Friends/Friend2",
                                                              "Friends/Friend3", "Enemies/Enemy2"}));
    auto keys = IniKeys(after);
    EXPECT_EQ(keys["Friends/Friend1"] + "|" + keys["Friends/Friend2"] + "|" + keys["Friends/Friend3"] + "|" +
                  keys["Enemies/Enemy2"],
              "bob|||Eve");
    EXPECT_TRUE(filter.Friends.Contains("BOB"));
    EXPECT_FALSE(filter.Accepts("eve", ufExpress));
}
