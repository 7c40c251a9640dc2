#include "config/Prefernc.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(Preferences, DefaultsOddValuesAndSaveWithoutDebug)
{
    TTempFolder tmp;
    const std::string path = tmp / "winmarlet.INI";
    {
        TClientPrefs prefs(path);
        EXPECT_EQ(prefs.FontName, "Terminal");
        EXPECT_EQ(prefs.FontStyle, 0u);
        EXPECT_FALSE(std::filesystem::exists(path));
    }

    PutFile(path, "[preferences]\n"
                  "connect on startup=1\n"
                  "Disable Flashing = 5 \n"
                  "Screen Lines=abc\n"
                  "FontSize=\n"
                  "FontName= Courier New \n"
                  "FontBold=1\nFontItalic=1\n"
                  "Debug=1\n");
    TClientPrefs prefs(path);
    EXPECT_TRUE(prefs.ConnectOnStartup && prefs.DisableFlashing && prefs.Debug);
    EXPECT_FALSE(prefs.ExitOnDisconnect);
    EXPECT_EQ(prefs.ScreenLines, 24);
    EXPECT_EQ(prefs.FontSize, 9);
    EXPECT_EQ(prefs.FontName, "Courier New");
    EXPECT_EQ(prefs.FontStyle, unsigned(fsBold | fsItalic));
    EXPECT_TRUE(!prefs.ReconnectAutomatically && prefs.MessageNotices);

    prefs.ScreenLines = 1000; // stored as given; the window clamps
    prefs.FontStyle = fsItalic;
    prefs.Debug = false;
    prefs.ReconnectAutomatically = true;
    prefs.MessageNotices = false;
    ASSERT_TRUE(prefs.Save());
    EXPECT_NE(GetFile(path).find("connect on startup=1\n"), std::string::npos); // spelling of the file kept
    TClientPrefs again(path);
    EXPECT_EQ(again.ScreenLines, 1000);
    EXPECT_EQ(again.FontStyle, unsigned(fsItalic));
    EXPECT_TRUE(again.Debug && again.DisableFlashing && again.ReconnectAutomatically &&
                !again.MessageNotices);

    // Saving a file that has no "Debug" key does not add one.
    TClientPrefs fresh(tmp / "fresh.INI");
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(GetFile(tmp / "fresh.INI").find("Debug"), std::string::npos);
}
