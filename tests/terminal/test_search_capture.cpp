// Scrollback search over wrapped rows and the ring, and session capture in both forms.
#include "terminal/ColorTTY.h"
#include "terminal/ScrollbackSearch.h"
#include "terminal/SessionCapture.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Every hit's cells, the search run to its end in small steps.
std::vector<std::vector<TCellSpan>> Find(const TColorTTY &t, const char *needle, bool matchCase = false)
{
    TScrollbackSearch search;
    search.Start(t, needle, matchCase);
    while (!search.Step(t, 3)) {
    }
    std::vector<std::vector<TCellSpan>> out;
    for (size_t i = 0; i < search.Count(); ++i)
        out.push_back(search.Spans(t, search.Hit(i)));
    return out;
}

TEST(ScrollbackSearch, FindsAcrossWrapsNotAcrossLineEnds)
{
    TColorTTY t;
    SetUpTTY(t, 10, 6, 10, 6);
    t.MoveCursor(0, 0);
    const std::string text = "hello world foo\r\nabc   \r\ndef Hello";
    t.Write(text.data(), text.size());
    using S = std::vector<std::vector<TCellSpan>>;
    const struct
    {
        const char *Needle;
        bool MatchCase;
        S Want;
    } cases[] = {
        {"world", false, S{{{0, 6, 10}, {1, 0, 1}}}},
        {"HELLO", false, S{{{0, 0, 5}}, {{3, 4, 9}}}},
        {"Hello", true, S{{{3, 4, 9}}}},
        {"cd", false, S{}},    // "abc" ends its line: no join with "def"
        {"abc d", false, S{}}, // trailing blanks of an ended line are not text
        {"", false, S{}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Find(t, c.Needle, c.MatchCase), c.Want) << c.Needle;
}

TEST(ScrollbackSearch, JoinsRowsAcrossTheRingBoundary)
{
    TColorTTY t;
    SetUpTTY(t, 10, 4, 10, 4);
    t.MoveCursor(0, 0);
    std::string text;
    for (int i = 0; i < 97; ++i)
        text += char('a' + i % 26);
    t.Write(text.data(), text.size());
    // Every row boundary, the ring's own among them, joins the end of one row to the next.
    for (int y = 0; y + 1 < t.Rows; ++y) {
        if (t.CharAt(9, y) == ' ' || t.CharAt(1, y + 1) == ' ') continue;
        const std::string needle{char(t.CharAt(8, y)), char(t.CharAt(9, y)), char(t.CharAt(0, y + 1)),
                                 char(t.CharAt(1, y + 1))};
        bool seen = false;
        for (const auto &m : Find(t, needle.c_str()))
            seen |= m == std::vector<TCellSpan>{{y, 8, 10}, {y + 1, 0, 2}};
        EXPECT_TRUE(seen) << "row " << y;
    }
}

struct MemorySink : TCaptureSink
{
    std::string *Out;
    size_t Room;
    MemorySink(std::string *out, size_t room) : Out(out), Room(room) {}
    bool Write(const char *d, size_t n) override
    {
        if (n > Room) return false;
        Room -= n;
        Out->append(d, n);
        return true;
    }
    std::string Error() const override { return "No space left on device"; }
};

TEST(SessionCapture, PlainTextDropsCodesAndEscapesRawKeepsEveryByte)
{
    const std::string pieces[] = {"\x01rRed\x01"
                                  "a \x1b[1;31mbold\x1b[0m\r\n",
                                  "\x1bY!!x\x1bK", "ab\x08 \x08z\t\xc9\xcd\r\n", "\a\x01", "gpartial"};
    std::string plain, raw;
    TSessionCapture p(std::make_unique<MemorySink>(&plain, 1000), cfPlainText);
    TSessionCapture r(std::make_unique<MemorySink>(&raw, 1000), cfRaw);
    std::string received;
    for (const std::string &s : pieces) {
        received += s;
        EXPECT_TRUE(p.Text(s.c_str()) && r.Text(s.c_str()));
        EXPECT_TRUE(p.Received(reinterpret_cast<const uint8_t *>(s.data()), s.size()) &&
                    r.Received(reinterpret_cast<const uint8_t *>(s.data()), s.size()));
    }
    EXPECT_TRUE(p.Finish() && r.Finish());
    EXPECT_EQ(plain, "Red bold\nxaz\t\u2554\u2550\npartial");
    EXPECT_EQ(raw, received);
}

TEST(SessionCapture, AFullDiskStopsWritingAndSaysWhy)
{
    std::string out;
    TSessionCapture c(std::make_unique<MemorySink>(&out, 8), cfRaw);
    const uint8_t data[5] = {1, 2, 3, 4, 5};
    EXPECT_TRUE(c.Received(data, 5));
    EXPECT_FALSE(c.Received(data, 5));
    EXPECT_FALSE(c.Received(data, 1)); // nothing more after a failure, even what would fit
    EXPECT_EQ(out.size(), 5u);
    EXPECT_FALSE(c.Ok());

    // The real file sink on a device that is always full, and on a closed descriptor.
    if (access("/dev/full", W_OK) == 0) {
        TSessionCapture full(std::make_unique<TFileCaptureSink>("/dev/full"), cfRaw);
        EXPECT_FALSE(full.Received(data, 5));
        EXPECT_EQ(full.Error(), "No space left on device");
    }
    TFileCaptureSink missing("/nonexistent-folder/capture.txt");
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.Error().empty());
}

} // namespace
