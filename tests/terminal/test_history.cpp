// The history below the ring: its store, and the view, selection, copy, find and
// double-click reaching across the history/ring boundary as one text.
#include "terminal/ColorTTYSelection.h"
#include "terminal/HistoryStore.h"
#include "terminal/ScrollbackSearch.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Row
{
    std::string Chars, Attrs;
};

Row Read(const THistoryStore &h, int i, int width)
{
    Row r{std::string(size_t(width), '?'), std::string(size_t(width), '?')};
    h.Read(i, reinterpret_cast<uint8_t *>(r.Chars.data()), reinterpret_cast<uint8_t *>(r.Attrs.data()), width);
    return r;
}

void Push(THistoryStore &h, const Row &r)
{
    h.Push(reinterpret_cast<const uint8_t *>(r.Chars.data()), reinterpret_cast<const uint8_t *>(r.Attrs.data()),
           int(r.Chars.size()));
}

} // namespace

TEST(HistoryStore, KeepsRowsExactlyUpToItsLimit)
{
    const std::string blank(80, ' ');
    const struct
    {
        const char *Name;
        int Limit;
        std::vector<Row> Pushed;
        int ReadWidth;
        std::vector<Row> Want; // oldest first
    } cases[] = {
        {"blank rows keep their colour",
         3,
         {{blank, std::string(80, '\0')}, {blank, std::string(80, '\x47')}},
         80,
         {{blank, std::string(80, '\0')}, {blank, std::string(80, '\x47')}}},
        {"attribute runs and trailing spaces",
         3,
         {{"ab  c   ", "\x01\x01\x02\x02\x02\x0f\x0f\x0f"}},
         8,
         {{"ab  c   ", "\x01\x01\x02\x02\x02\x0f\x0f\x0f"}}},
        {"the oldest go first", 2, {{"1", "a"}, {"2", "b"}, {"3", "c"}}, 1, {{"2", "b"}, {"3", "c"}}},
        {"limit 0 keeps nothing", 0, {{"1", "a"}}, 1, {}},
        {"a narrower row is filled out with erased cells", 1, {{"xy", "\x11\x22"}}, 4,
         {{"xy  ", std::string("\x11\x22\0\0", 4)}}},
        {"a wider row is cut", 1, {{std::string(300, 'w'), std::string(300, '\x1f')}}, 5, {{"wwwww", "\x1f\x1f\x1f\x1f\x1f"}}},
        {"a row of 300 cells comes back whole", 1, {{std::string(299, 'w') + "z", std::string(300, '\x9e')}}, 300,
         {{std::string(299, 'w') + "z", std::string(300, '\x9e')}}},
    };
    for (const auto &c : cases) {
        THistoryStore h;
        h.SetLimit(c.Limit);
        for (const Row &r : c.Pushed)
            Push(h, r);
        ASSERT_EQ(h.Count(), int(c.Want.size())) << c.Name;
        for (size_t i = 0; i < c.Want.size(); ++i) {
            const Row got = Read(h, int(i), c.ReadWidth);
            EXPECT_EQ(got.Chars, c.Want[i].Chars) << c.Name << " row " << i;
            EXPECT_EQ(got.Attrs, c.Want[i].Attrs) << c.Name << " row " << i;
        }
    }
}

TEST(HistoryStore, ManyRowsAcrossBlocksTrimAndCostLittle)
{
    std::mt19937 rng(7);
    THistoryStore h;
    h.SetLimit(50000);
    std::vector<Row> all;
    for (int i = 0; i < 60000; ++i) {
        Row r{std::string(80, ' '), std::string(80, '\x07')};
        const int n = int(rng() % 81);
        for (int x = 0; x < n; ++x) {
            r.Chars[size_t(x)] = char('!' + rng() % 90);
            if (rng() % 8 == 0) r.Attrs[size_t(x)] = char(rng());
        }
        all.push_back(r);
        Push(h, r);
    }
    ASSERT_EQ(h.Count(), 50000);
    for (int i : {0, 1, 49999, 25000, 3, 40000, 17})
        EXPECT_EQ(Read(h, i, 80).Chars + Read(h, i, 80).Attrs, all[size_t(i) + 10000].Chars + all[size_t(i) + 10000].Attrs)
            << i;
    int width = 0;
    EXPECT_EQ(h.Text(0, &width), std::string_view(all[10000].Chars).substr(0, all[10000].Chars.find_last_not_of(' ') + 1));
    EXPECT_EQ(width, 80);

    // Changing the limit trims at once, newest kept; blank rows cost a few bytes each.
    h.SetLimit(10);
    EXPECT_EQ(Read(h, 9, 80).Chars, all.back().Chars);
    THistoryStore blanks;
    blanks.SetLimit(100000);
    for (int i = 0; i < 100000; ++i)
        Push(blanks, {std::string(80, ' '), std::string(80, '\0')});
    EXPECT_LT(blanks.Bytes(), 100000u * 8);
    blanks.Clear();
    EXPECT_EQ(blanks.Count(), 0);
    EXPECT_LT(blanks.Bytes(), 1000u);
}

namespace {

// A terminal of 10 x 4 cells, all on screen, keeping 5 history rows; rows "r0" .. "r7" were
// written in colours, so r0 .. r3 are in the history (rows -4 .. -1), r4 .. r7 in the ring.
struct HistoryTest : ::testing::Test
{
    TColorTTY tty;
    FakeTTYView view;
    void SetUp() override
    {
        SetUpTTY(tty, 10, 4, 10, 4);
        tty.SetView(&view);
        tty.Options &= ~OptionBit(coLazyWrite);
        tty.SetHistoryLimit(5);
        for (int i = 0; i < 7; ++i)
            tty.Write(("\1a\1" + std::string(1, "rgybpcw"[i]) + "r" + std::to_string(i) + "\r\n").c_str());
        tty.Write("r7");
    }
    std::string Text(TCellPoint s, TCellPoint e)
    {
        tty.SetSelection(s, e);
        return SelectionText(tty);
    }
};

} // namespace

TEST_F(HistoryTest, OneTextAcrossHistoryAndRing)
{
    ASSERT_EQ(tty.HistoryRows(), 4);
    EXPECT_EQ(tty.FirstRow(), -4);
    // Selections, plain and coloured, across the boundary and clamped at the oldest row.
    EXPECT_EQ(Text({1, -2}, {2, 0}), "2\r\nr3\r\nr4");
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1y2\r\n\1br3\r\n\1pr4");
    EXPECT_EQ(Text({0, -99}, {0, -2}), "r0\r\nr1\r\n");
    char buf[7];
    tty.SetSelection({0, -1}, {2, 1});
    tty.GetSelTextBuf(buf, sizeof buf);
    EXPECT_STREQ(buf, "r3\r\nr4");
    // A double-click on a history row takes its word.
    tty.SetSelection({}, {});
    tty.MouseCell = {1, -3};
    SelectWordAtMouse(tty);
    EXPECT_EQ(SelectionText(tty), "r1");
    // The view reaches the oldest row and keeps its picture while output comes in.
    tty.ScrollTo(0, -99);
    EXPECT_EQ(tty.Top, -4);
    tty.ScrollTo(0, -3);
    tty.Write("\r\nr8");
    EXPECT_EQ(tty.Top, -4);
    TRowScratch scratch;
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(tty.RowAt(tty.Top, scratch).Chars), 2), "r1");
    // At the limit the oldest row goes; the view keeps its text while that row is there.
    tty.Write("\r\nr9");
    EXPECT_EQ(tty.HistoryRows(), 5);
    EXPECT_EQ(tty.Top, -5);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(tty.RowAt(tty.Top, scratch).Chars), 2), "r1");
    // Clearing the screen leaves the history; a smaller limit trims it and pulls the view in.
    tty.ClearScreen();
    EXPECT_EQ(tty.HistoryRows(), 5);
    tty.SetSelection({0, -5}, {2, -1});
    tty.SetHistoryLimit(2);
    EXPECT_EQ(tty.Top, -2);
    EXPECT_EQ(SelectionText(tty), "r4\r\nr5");
    tty.ClearHistory();
    EXPECT_EQ(tty.Top, 0);
    EXPECT_EQ(tty.FirstRow(), 0);
    // Blank rows before any text are not kept; after text they are.
    tty.Write("\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(tty.HistoryRows(), 0);
    tty.Write("a\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(tty.HistoryRows(), 2);
}

TEST_F(HistoryTest, FindSpansTheBoundaryAndFollowsNewOutput)
{
    // A word the terminal wrapped from the newest history row into the ring.
    tty.Write("\r\n123456789abc\r\n\r\n\r\nabc");
    ASSERT_EQ(tty.HistoryRows(), 5);
    auto find = [&](const char *needle) {
        TScrollbackSearch s;
        s.Start(tty, needle, false);
        while (!s.Step(tty, 2)) {
        }
        std::vector<std::vector<TCellSpan>> spans;
        for (size_t i = 0; i < s.Count(); ++i)
            spans.push_back(s.Spans(tty, s.Hit(i)));
        return spans;
    };
    using S = std::vector<std::vector<TCellSpan>>;
    EXPECT_EQ(find("9AB"), (S{{{-1, 8, 10}, {0, 0, 1}}}));
    EXPECT_EQ(find("R5"), (S{{{-4, 0, 2}}}));
    EXPECT_EQ(find("abc"), (S{{{-1, 9, 10}, {0, 0, 2}}, {{3, 0, 3}}}));

    // Refreshed after each burst of output (some of it rewriting the ring's rows) and left
    // unfinished between them, a search ends with what a new one finds.
    std::mt19937 rng(3);
    const char *const pieces[] = {"a", "b", " ", "\r\n", "\x1b[H", "abababab", "\x1b[4;1H"};
    TScrollbackSearch kept;
    kept.Start(tty, "ab", false);
    for (int burst = 0; burst < 200; ++burst) {
        std::string out;
        for (int n = int(rng() % 12); n > 0; --n)
            out += pieces[rng() % std::size(pieces)];
        tty.Write(out.c_str());
        kept.Refresh(tty);
        kept.Step(tty, int(rng() % 6));
        if (burst % 4 != 3) continue;
        while (!kept.Step(tty, 1)) {
        }
        std::vector<std::vector<TCellSpan>> got;
        for (size_t i = 0; i < kept.Count(); ++i)
            got.push_back(kept.Spans(tty, kept.Hit(i)));
        ASSERT_EQ(got, find("ab")) << "burst " << burst;
    }
}
