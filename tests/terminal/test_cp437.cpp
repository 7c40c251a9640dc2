#include "terminal/Cp437.h"

#include <gtest/gtest.h>

TEST(Cp437, EveryByteRoundTripsAndFallsBackToPrintableAscii)
{
    for (int b = 0; b <= 0xFF; ++b) {
        if (b >= 0x20) {
            EXPECT_EQ(cp437::FromUnicode(cp437::ToUnicode(static_cast<unsigned char>(b))), b) << b;
        }
        const char c = cp437::AsciiFallback(static_cast<unsigned char>(b));
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << b;
    }
    // The smiley is byte 1 on screen, but byte 1 starts a colour code: never produce it.
    EXPECT_EQ(cp437::FromUnicode(U'\u263A'), -1);
    EXPECT_EQ(cp437::FromUnicode(U'\r'), 13);
}

TEST(Cp437, TextConversionBothWays)
{
    const std::string bytes = "\xC9\xCD\xBB caf\x82\r\n\xB0\t\x7F";
    const std::string utf8 = cp437::ToUtf8(bytes);
    EXPECT_EQ(utf8, "\u2554\u2550\u2557 caf\u00E9\r\n\u2591\t\u2302");
    EXPECT_EQ(cp437::FromUtf8(utf8), bytes);
    // Unknown characters and broken UTF-8 become '?', one per bad byte.
    const std::pair<std::string, std::string> bad[] = {{"a\u20ACb", "a?b"},
                                                       {"a\xE2\x82", "a??"},
                                                       {"\xC0\x80x", "??x"},    // overlong NUL
                                                       {"\xED\xA0\x80", "???"}, // surrogate
                                                       {std::string("\0z", 2), std::string("\0z", 2)}};
    for (const auto &[in, out] : bad)
        EXPECT_EQ(cp437::FromUtf8(in), out);
}
