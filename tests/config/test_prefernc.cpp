#include "config/Prefernc.h"
#include "tests/config/ConfigTestUtil.h"

#include <gtest/gtest.h>

TEST(Preferences, OddValuesAndSaveWithoutDebug)
{
    TTempFolder tmp;
    const std::string path = tmp / "winmarlet.INI";
    {
        TClientPrefs loaded(path);
    } // loading writes nothing
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(TClientPrefs(path).FontName, "Terminal"); // missing keys read as their defaults

    PutFile(path, "[preferences]\nconnect on startup=1\nDisable Flashing = 5 \nScreen Lines=abc\nFontSize=\n"
                  "FontName= Courier New \nFontBold=1\nFontItalic=1\nDebug=1\n"
                  "Emulation for links=classic\nHistory lines=2000000\nAnnounce output=0\n");
    TClientPrefs prefs(path);
    EXPECT_TRUE(prefs.ConnectOnStartup && prefs.DisableFlashing && prefs.Debug);
    EXPECT_EQ(std::tuple(prefs.ScreenLines, prefs.FontSize, prefs.FontName, prefs.FontStyle),
              std::tuple(24, 9, std::string("Courier New"), unsigned(fsBold | fsItalic)));
    EXPECT_TRUE(!prefs.ReconnectAutomatically && prefs.MessageNotices && !prefs.AnnounceOutput);
    EXPECT_EQ(std::tuple(prefs.EmulationForLinks, prefs.HistoryLines),
              std::tuple(THostTerminal::Classic, 1000000));

    prefs.ScreenLines = 1000; // stored as given; the window clamps
    prefs.FontStyle = fsItalic;
    prefs.Debug = false;
    prefs.ReconnectAutomatically = true;
    prefs.MessageNotices = false;
    ASSERT_TRUE(prefs.Save());
    EXPECT_NE(GetFile(path).find("connect on startup=1\n"), std::string::npos); // spelling of the file kept
    TClientPrefs again(path);
    EXPECT_EQ(std::tuple(again.ScreenLines, again.FontStyle, again.Debug, again.ReconnectAutomatically,
                         again.MessageNotices),
              std::tuple(1000, unsigned(fsItalic), true, true, false));

    // Only what changed is written: a fresh file gets no "Debug" and none of the newer keys
    // while they hold their defaults.
    TClientPrefs fresh(tmp / "fresh.INI");
    fresh.DisableColours = true;
    fresh.FontSize = 12; // the font is written whole
    ASSERT_TRUE(fresh.Save());
    EXPECT_EQ(GetFile(tmp / "fresh.INI"),
              "[Preferences]\r\nDisable Colours=1\r\nFontName=Terminal\r\nFontSize=12\r\nFontBold=0\r\n"
              "FontItalic=0\r\n");
}
