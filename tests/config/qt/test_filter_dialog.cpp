// User Filter dialog: radio groups with stored values out of range, the name
// lists, and what OK and Cancel do to the file.
#include "config/qt/UserFilterDlg.h"
#include "tests/config/qt/DialogTestUtil.h"

#include <QButtonGroup>
#include <QListWidget>
#include <gtest/gtest.h>

namespace {

int Checked(QWidget &dlg, const char *group)
{
    return Child(dlg, group)->findChild<QButtonGroup *>()->checkedId();
}

std::string Items(QWidget &dlg, const char *list)
{
    QStringList items;
    for (QListWidgetItem *item : Child<QListWidget>(dlg, list)->findItems("*", Qt::MatchWildcard))
        items << item->text();
    return items.join(',').toStdString();
}

void Add(QWidget &dlg, const char *page, const char *name)
{
    Child<QLineEdit>(dlg, (std::string("ed") + page).c_str())->setText(name);
    Click(dlg, (std::string("btAdd") + page).c_str());
}

} // namespace

TEST(UserFilterDlg, RadioGroupsShowAndStoreOutOfRangeValues)
{
    // stored express and post values, then what the groups show and OK stores (-1: no item)
    for (auto [express, post, shownExpress, shownPost] :
         {std::array{1, 0, 1, 0}, {3, 7, 2, 1}, {-1, -5, -1, -1}}) {
        TTempFolder dir;
        PutFile(dir / "w.ini", "[Preferences]\nExpress Filter=" + std::to_string(express) +
                                   "\nPost Filter=" + std::to_string(post) + "\n");
        TUserFilter filter(dir / "w.ini");
        TUserFilterDlg dlg(filter, nullptr);
        EXPECT_EQ(Checked(dlg, "rgExpressFilter") * 10 + Checked(dlg, "rgPostFilter"),
                  shownExpress * 10 + shownPost);
        Click(dlg, "OKBtn");
        auto k = IniKeys(GetFile(dir / "w.ini"));
        EXPECT_EQ(k["Preferences/Express Filter"] + " " + k["Preferences/Post Filter"],
                  std::to_string(shownExpress) + " " + std::to_string(shownPost));
    }
}

TEST(UserFilterDlg, AddRemoveThenOkSavesTheListsAndCancelWritesNothing)
{
    TTempFolder dir;
    const std::string ini = "[Preferences]\nExpress Filter=1\nScreen Lines=30\n"
                            "[Friends]\nFriend1=anna\nFriend2=Joe\nFriend3=Zed\n[Enemies]\nEnemy1=Bob\n";
    PutFile(dir / "w.ini", ini);
    TUserFilter filter(dir / "w.ini");
    for (const char *button : {"CancelBtn", "OKBtn"}) {
        TUserFilterDlg dlg(filter, nullptr);
        EXPECT_EQ(Child<QLineEdit>(dlg, "edFriend")->maxLength(), 20);
        for (const char *name : {"joe", "", "bob"}) // held in another case, empty, new
            Add(dlg, "Friend", name);
        EXPECT_EQ(Items(dlg, "lbFriends") + " " + Text(dlg, "edFriend"), "anna,bob,Joe,Zed bob");
        Click(dlg, "btDelFriend"); // nothing selected
        for (int row : {0, 2, 3})
            Child<QListWidget>(dlg, "lbFriends")->item(row)->setSelected(true);
        Click(dlg, "btDelFriend");
        Add(dlg, "Enemy", "Eve");
        EXPECT_EQ(Items(dlg, "lbFriends") + " " + Items(dlg, "lbEnemies"), "bob Bob,Eve");
        Click(dlg, button);
        EXPECT_TRUE(dlg.result() == QDialog::Accepted || GetFile(dir / "w.ini") == ini) << "Cancel wrote";
    }
    const std::string after = GetFile(dir / "w.ini");
    EXPECT_EQ(ChangedKeys(ini, after), (std::set<std::string>{"Friends/Friend1", "Friends/Friend2",
                                                              "Friends/Friend3", "Enemies/Enemy2"}));
    auto k = IniKeys(after);
    EXPECT_EQ(k["Friends/Friend1"] + "|" + k["Friends/Friend2"] + "|" + k["Friends/Friend3"] + "|" +
                  k["Enemies/Enemy2"],
              "bob|||Eve");
    EXPECT_FALSE(filter.Accepts("eve", ufExpress));
}
