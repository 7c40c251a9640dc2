#include "terminal/Cp437.h"

#include <gtest/gtest.h>

TEST(Cp437, BothEndsOfTheTablesAndEveryByteRoundTrips)
{
    EXPECT_EQ(cp437::ToUnicode(0x00), U' ');
    EXPECT_EQ(cp437::ToUnicode(0x01), U'\u263A');
    EXPECT_EQ(cp437::ToUnicode(0x1F), U'\u25BC');
    EXPECT_EQ(cp437::ToUnicode(0xFF), U'\u00A0');
    for (int b = 0x20; b <= 0xFF; ++b)
        EXPECT_EQ(cp437::FromUnicode(cp437::ToUnicode(static_cast<unsigned char>(b))), b) << b;
}

TEST(Cp437, ReverseLookupKeepsControlsAndRefusesCommandGlyphs)
{
    EXPECT_EQ(cp437::FromUnicode(U'\r'), 13);
    EXPECT_EQ(cp437::FromUnicode(U'\n'), 10);
    EXPECT_EQ(cp437::FromUnicode(U'\t'), 9);
    // The smiley is byte 1 on screen, but byte 1 starts a colour code: never produce it.
    EXPECT_EQ(cp437::FromUnicode(U'\u263A'), -1);
    EXPECT_EQ(cp437::FromUnicode(U'\u20AC'), -1); // euro sign: not in the code page
    EXPECT_EQ(cp437::FromUnicode(U'\U0001F600'), -1);
}

TEST(Cp437, FallbackIsPrintableAscii)
{
    for (int b = 0; b <= 0xFF; ++b) {
        char c = cp437::AsciiFallback(static_cast<unsigned char>(b));
        EXPECT_GE(c, 0x20) << b;
        EXPECT_LT(c, 0x7F) << b;
    }
    EXPECT_EQ(cp437::AsciiFallback(0xC9), '+');
    EXPECT_EQ(cp437::AsciiFallback(0x82), 'e');
}

TEST(Cp437, TextConversionBothWays)
{
    const std::string bytes = "\xC9\xCD\xBB caf\x82\r\n\xB0\t\x7F";
    const std::string utf8 = cp437::ToUtf8(bytes);
    EXPECT_EQ(utf8, "\u2554\u2550\u2557 caf\u00E9\r\n\u2591\t\u2302");
    EXPECT_EQ(cp437::FromUtf8(utf8), bytes);
    // Unknown characters and broken UTF-8 become '?', one per bad byte.
    EXPECT_EQ(cp437::FromUtf8("a\u20ACb"), "a?b");
    EXPECT_EQ(cp437::FromUtf8("a\xE2\x82"), "a??");
    EXPECT_EQ(cp437::FromUtf8("\xC0\x80x"), "??x");    // overlong NUL
    EXPECT_EQ(cp437::FromUtf8("\xED\xA0\x80"), "???"); // surrogate
    EXPECT_EQ(cp437::FromUtf8(std::string("\0z", 2)), std::string("\0z", 2));
}
