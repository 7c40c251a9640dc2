#include "config/UserFilt.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(UserFilter, AcceptsByKindAndSetting)
{
    TTempFolder tmp;
    TUserFilter filter(tmp / "none.INI");
    filter.Enemies.Add("Bob");
    filter.Friends.Add("Ann");
    struct Case
    {
        int expressFilter, postFilter;
        const char *name;
        TMessageKind kind;
        bool accepted;
    };
    const Case cases[] = {
        {0, 0, "bob", ufExpress, true},   {1, 0, "bob", ufExpress, false},
        {1, 0, "Bobby", ufExpress, true}, // whole names only
        {2, 0, "ANN", ufExpress, true},   {2, 0, "Carl", ufExpress, false},
        {3, 0, "Ann", ufExpress, false},  {-1, 0, "Ann", ufExpress, false},
        {0, 0, "BOB", ufPost, true},      {0, 1, "BOB", ufPost, false},
        {2, 1, "Carl", ufPost, true},     {0, 2, "Ann", ufPost, false},
    };
    for (const Case &c : cases) {
        filter.ExpressFilter = c.expressFilter;
        filter.PostFilter = c.postFilter;
        EXPECT_EQ(filter.Accepts(c.name, c.kind), c.accepted)
            << c.expressFilter << " " << c.postFilter << " " << c.name << " " << int(c.kind);
    }
    EXPECT_EQ(FilterRadioIndex(3, 3), 2);
    EXPECT_EQ(FilterRadioIndex(-1, 3), -1);
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
    EXPECT_TRUE(ini.ValueExists("Friends", "Friend3"));
    EXPECT_EQ(ini.ReadString("Friends", "Friend4", "-"), "");
    EXPECT_EQ(ini.ReadString("Enemies", "Enemy3", ""), "Mallory"); // beyond the gap: untouched

    TUserFilter again(path);
    EXPECT_EQ(again.Friends.Items(), (std::vector<std::string>{"al", "Joe"}));
    EXPECT_EQ(again.ExpressFilter, 2);
}
