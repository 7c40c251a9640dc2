#include "protocol/UserFilt.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(UserFilter, AcceptsByKindAndSetting)
{
    TTempFolder tmp;
    TUserFilter filter(tmp / "none.INI");
    filter.Enemies.Add("Bob");
    filter.Friends.Add("Ann");

    EXPECT_TRUE(filter.Accepts("bob", ufExpress));
    filter.ExpressFilter = 1;
    EXPECT_FALSE(filter.Accepts("bob", ufExpress));
    EXPECT_TRUE(filter.Accepts("Bobby", ufExpress)); // whole names only
    filter.ExpressFilter = 2;
    EXPECT_TRUE(filter.Accepts("ANN", ufExpress));
    EXPECT_FALSE(filter.Accepts("Carl", ufExpress));
    for (int value : {3, -1}) {
        filter.ExpressFilter = value;
        EXPECT_FALSE(filter.Accepts("Ann", ufExpress)) << value;
    }

    EXPECT_TRUE(filter.Accepts("BOB", ufPost));
    filter.PostFilter = 1;
    EXPECT_FALSE(filter.Accepts("BOB", ufPost));
    EXPECT_FALSE(filter.Accepts("BOB", 99)); // any kind but express is a post
    EXPECT_TRUE(filter.Accepts("Carl", ufPost));
    filter.PostFilter = 2;
    EXPECT_FALSE(filter.Accepts("Ann", ufPost));

    EXPECT_EQ(FilterRadioIndex(3, 3), 2);
    EXPECT_EQ(FilterRadioIndex(-1, 3), -1);
    EXPECT_EQ(FilterRadioIndex(1, 2), 1);
}

TEST(UserFilter, LoadSaveAndLeftOverKeys)
{
    TTempFolder tmp;
    const std::string path = tmp / "winmarlet.INI";
    PutFile(path, "[Preferences]\r\nExpress Filter=x\r\nPost Filter=1\r\n"
                  "[Friends]\r\nFriend1=zed\r\nFriend2=Amy\r\nFriend3=AMY\r\nFriend4=bob\r\n"
                  "[Enemies]\r\nEnemy1=Eve\r\nEnemy3=Mallory\r\n");
    TUserFilter filter(path);
    EXPECT_EQ(filter.ExpressFilter, 0);
    EXPECT_EQ(filter.PostFilter, 1);
    EXPECT_EQ(filter.Friends.Items(), (std::vector<std::string>{"Amy", "bob", "zed"}));
    EXPECT_EQ(filter.Enemies.Items(), std::vector<std::string>{"Eve"}); // stops at the gap

    TNameList two;
    two.Add("Joe");
    two.Add("al");
    two.Add(" "); // reads back as empty: would end the list and lose the names after it
    ASSERT_TRUE(filter.Apply(2, 0, two, filter.Enemies));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Friends", "Friend1", ""), "al");
    EXPECT_EQ(ini.ReadString("Friends", "Friend2", ""), "Joe");
    EXPECT_TRUE(ini.ValueExists("Friends", "Friend3"));
    EXPECT_EQ(ini.ReadString("Friends", "Friend4", "-"), "");
    EXPECT_EQ(ini.ReadString("Enemies", "Enemy3", ""), "Mallory"); // beyond the gap: untouched
    EXPECT_EQ(ini.ReadInteger("Preferences", "Express Filter", -9), 2);

    TUserFilter again(path);
    EXPECT_EQ(again.Friends.Items(), (std::vector<std::string>{"al", "Joe"}));
    EXPECT_EQ(again.ExpressFilter, 2);
}

TEST(UserFilter, DialogListOperations)
{
    TNameList list;
    EXPECT_TRUE(list.Add("Joe"));
    EXPECT_FALSE(list.Add("joe"));
    EXPECT_FALSE(list.Add(""));
    list.Add("amy");
    list.Add("Bob");
    list.Add("carl");
    EXPECT_EQ(list.Items(), (std::vector<std::string>{"amy", "Bob", "carl", "Joe"}));
    EXPECT_EQ(list.IndexOf("CARL"), 2);

    list.RemoveIndices({});
    EXPECT_EQ(list.Count(), 4);
    list.RemoveIndices({0, 3, 2, 3, 9});
    EXPECT_EQ(list.Items(), std::vector<std::string>{"Bob"});
    EXPECT_LT(CompareNames("alpha", "Beta"), 0);
    EXPECT_NE(CompareNames("abc", "ABC"), 0);
}
