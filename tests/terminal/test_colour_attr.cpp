#include "terminal/ColourAttr.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

TColourAttr ApplyAll(TColourAttr a, const std::string &codes)
{
    for (size_t i = 0; i + 1 < codes.size(); i += 2) {
        EXPECT_EQ(codes[i], ColourCodeByte);
        a = ApplyColourCode(a, uint8_t(codes[i + 1]));
    }
    return a;
}

TEST(ColourCode, LettersChangeOnlyTheirBits)
{
    EXPECT_EQ(ApplyColourCode(0xFF, 'a'), 7);
    EXPECT_EQ(ApplyColourCode(0x8F, 'r'), 0x89); // bright kept
    EXPECT_EQ(ApplyColourCode(0x8F, 'B'), 0xCF); // flash kept
    EXPECT_EQ(ApplyColourCode(0x01, 'e'), 0x81);
    EXPECT_EQ(ApplyColourCode(0x9A, 'i'), 0xA9); // halves exchanged, bits 3 and 7 kept
    for (int i = 0; i < 8; ++i)                  // the BBS's letter order
        EXPECT_EQ(ApplyColourCode(0x00, uint8_t("drgybpcw"[i])) |
                      ApplyColourCode(0x00, uint8_t("DRGYBPCW"[i])),
                  i | i << 4);
    for (int c = 0; c < 256; ++c) // unknown letters leave the attribute
        if (std::string_view("adrgybpcwDRGYBPCWfei").find(char(c)) == std::string_view::npos) {
            EXPECT_EQ(ApplyColourCode(0x5B, uint8_t(c)), 0x5B) << c;
        }
}

// Every pair of attributes: the codes are short, well formed and turn `from` into `to`.
TEST(ColourCode, CodesBetweenIsTheInverseForEveryPair)
{
    for (int from = 0; from < 256; ++from)
        for (int to = 0; to < 256; ++to) {
            char buf[MaxColourCodesLength + 1];
            std::memset(buf, 0x55, sizeof buf);
            int n = ColourCodesBetween(TColourAttr(from), TColourAttr(to), buf);
            ASSERT_LE(n, MaxColourCodesLength);
            ASSERT_EQ(buf[n], 0);
            ASSERT_EQ(n % 2, 0);
            ASSERT_EQ(ApplyAll(TColourAttr(from), std::string(buf, size_t(n))), to) << from << " " << to;
            if (from == to) {
                ASSERT_EQ(n, 0);
            }
        }
}

TEST(ColourCode, CodesBetweenFollowsTheProgramsSteps)
{
    auto codes = [](std::string_view letters) { // "af" -> 0x01 'a' 0x01 'f'
        std::string s;
        for (char c : letters)
            s += {ColourCodeByte, c};
        return s;
    };
    // flash off with bright kept: reset, bright again, then the colours
    EXPECT_EQ(ColourCodesBetween(0x8F, 0x1A), codes("afgR"));
    EXPECT_EQ(ColourCodesBetween(0x07, 0xC9), codes("ferB"));
}

TEST(ColourCode, StripRemovesCodeAndLetter)
{
    EXPECT_EQ(StripColourCodes("A\x01rB\x01\x01x"), "ABx"); // the second 0x01 is the first one's letter
    EXPECT_EQ(StripColourCodes(std::string_view("ab\x01", 3)), "ab");
    char buf[] = "\x01gHi\x01";
    EXPECT_EQ(StripColourCodes(buf, buf), 2u);
    EXPECT_STREQ(buf, "Hi");
}

} // namespace
