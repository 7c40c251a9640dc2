#include "config/Setmacro.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(Macros, HandMadeFileFillsSlot28)
{
    EXPECT_EQ(MacroSlot(4, false, true), 28); // Control+F5
    EXPECT_EQ(MacroSlot(12, false, false), -1);
    EXPECT_FALSE(MacroSlotEditable(0) || MacroSlotEditable(9)); // F1 and F10
    EXPECT_EQ(MacroFileName("/x/winmarlet.INI"), "/x/winmarlet.MAC");

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
    EXPECT_EQ(table.FileBytes(), std::string("one\0two\0thr\0", 12) + std::string(45, '\0'));

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
    EXPECT_FALSE(std::filesystem::exists(path));

    table.MacrosChanged = true;
    ASSERT_TRUE(table.SaveMacros(path));
    EXPECT_EQ(GetFile(path), std::string(48, '\0'));
    EXPECT_EQ(ModeOf(path), 0600u);

    EXPECT_FALSE(table.MacrosChanged);
    table.SetText(47, "\001Bblue\n");
    table.MacrosChanged = true;
    ASSERT_TRUE(table.SaveMacros(path));
    EXPECT_EQ(GetFile(path), std::string(47, '\0') + "\001Bblue\n" + '\0');
}
