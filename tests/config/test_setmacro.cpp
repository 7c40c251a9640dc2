#include "config/Setmacro.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(Macros, SlotsOfKeys)
{
    EXPECT_EQ(MacroSlot(0, false, false), 0);
    EXPECT_EQ(MacroSlot(11, true, false), 23);
    EXPECT_EQ(MacroSlot(4, false, true), 28); // Control+F5
    EXPECT_EQ(MacroSlot(11, true, true), 47);
    EXPECT_EQ(MacroSlot(12, false, false), -1);
    EXPECT_FALSE(MacroSlotEditable(0));
    EXPECT_FALSE(MacroSlotEditable(9));
    EXPECT_TRUE(MacroSlotEditable(12));
    EXPECT_EQ(MacroFileName("/x/winmarlet.INI"), "/x/winmarlet.MAC");
}

TEST(Macros, HandMadeFileFillsSlot28)
{
    TTempFolder tmp;
    std::string bytes(28, '\0');
    bytes += std::string("abc\ndef", 7) + '\0';
    bytes += std::string(19, '\0');
    PutFile(tmp / "m.MAC", bytes);

    TMacroTable table;
    table.SetText(3, "stale");
    table.MacrosChanged = true;
    table.LoadMacros(tmp / "m.MAC");
    EXPECT_FALSE(table.MacrosChanged);
    EXPECT_EQ(table.View(28), std::string_view("abc\ndef"));
    EXPECT_EQ(std::string(table.Text(28), 8), std::string("abc\ndef\0", 8));
    for (int slot = 0; slot < MacroCount; ++slot)
        EXPECT_EQ(table.View(slot), slot == 28 ? "abc\ndef" : "") << slot;
    EXPECT_EQ(table.FileBytes(), bytes);
}

TEST(Macros, ShortAndOverlongFilesReadSoundly)
{
    TTempFolder tmp;
    TMacroTable table;
    table.LoadMacros(tmp / "missing.MAC");
    EXPECT_EQ(table.FileBytes(), std::string(48, '\0'));

    // Ends inside slot 2: what was there is kept, the rest stays empty.
    PutFile(tmp / "short.MAC", std::string("one\0two\0thr", 11));
    table.LoadMacros(tmp / "short.MAC");
    EXPECT_EQ(table.View(0), "one");
    EXPECT_EQ(table.View(1), "two");
    EXPECT_EQ(table.View(2), "thr");
    EXPECT_EQ(table.View(3), "");

    // An entry longer than a slot is cut; the next one starts after its zero.
    std::string longer(2000, 'x');
    PutFile(tmp / "long.MAC", longer + '\0' + "next" + '\0');
    table.LoadMacros(tmp / "long.MAC");
    EXPECT_EQ(table.View(0), std::string(MacroMaxLength, 'x'));
    EXPECT_EQ(table.View(1), "next");
    table.SetText(5, longer);
    EXPECT_EQ(table.View(5).size(), size_t(MacroMaxLength));
    table.SetText(6, std::string("cut\0here", 8));
    EXPECT_EQ(table.View(6), "cut");
}

TEST(Macros, SavedOnlyWhenChanged)
{
    TTempFolder tmp;
    const std::string path = tmp / "winmarlet.MAC";
    TMacroTable table;
    ASSERT_TRUE(table.SaveMacros(path));
    EXPECT_FALSE(Exists(path));

    table.MacrosChanged = true;
    ASSERT_TRUE(table.SaveMacros(path));
    EXPECT_EQ(GetFile(path), std::string(48, '\0'));
    EXPECT_EQ(ModeOf(path), 0600u);

    table.SetText(MacroSlot(4, false, true), "abc\ndef");
    table.SetText(47, "\x01"
                      "Bblue");
    ASSERT_TRUE(table.SaveMacros(path));
    TMacroTable again;
    again.LoadMacros(path);
    EXPECT_EQ(again.View(28), "abc\ndef");
    EXPECT_EQ(again.View(47), "\x01"
                              "Bblue");
}
