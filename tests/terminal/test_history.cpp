// The history below the ring: its store, and the view, selection, copy, find and
// double-click reaching across the history/ring boundary as one text.
#include "terminal/ColorTTYSelection.h"
#include "terminal/HistoryStore.h"
#include "terminal/ScrollbackSearch.h"
#include "tests/terminal/FakeTTYView.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using Row = std::pair<std::string, std::string>; // characters, attributes

Row Read(const THistoryStore &h, int i, int width)
{
    Row r{std::string(size_t(width), '?'), std::string(size_t(width), '?')};
    h.Read(i, reinterpret_cast<uint8_t *>(r.first.data()), reinterpret_cast<uint8_t *>(r.second.data()),
           width);
    return r;
}

void Push(THistoryStore &h, const Row &r)
{
    h.Push(reinterpret_cast<const uint8_t *>(r.first.data()),
           reinterpret_cast<const uint8_t *>(r.second.data()), int(r.first.size()));
}

// Every hit's cells, the search run to its end in small steps.
std::vector<std::vector<TCellSpan>> Find(const TColorTTY &t, const char *needle, bool matchCase = false)
{
    TScrollbackSearch search;
    search.Start(t, needle, matchCase);
    while (!search.Step(t, 2)) {
    }
    std::vector<std::vector<TCellSpan>> out;
    for (size_t i = 0; i < search.Count(); ++i)
        out.push_back(search.Spans(t, search.Hit(i)));
    return out;
}

} // namespace

TEST(HistoryStore, KeepsRowsExactlyUpToItsLimit)
{
    const std::string blank(80, ' '), erased(80, '\0'), blue(80, '\x47'), wide(300, 'w');
    const Row runs{"ab  c   ", "\x01\x01\x02\x02\x02\x0f\x0f\x0f"}, erasedRow{blank, erased};
    const Row blueRow{blank, blue}, wider{wide + "z", std::string(301, '\x9e')};
    const Row narrow{"xy", "\x11\x22"}, filledOut{"xy  ", std::string("\x11\x22\0\0", 4)};
    std::string stripes(80, '\x07'); // changes in neighbouring cells, on both sides of cell 64
    for (size_t x : {1, 2, 3, 62, 63, 64, 65, 66, 79})
        stripes[x] = char(x);
    const struct
    {
        const char *Name;
        int Limit;
        std::vector<Row> Pushed;
        int ReadWidth;
        std::vector<Row> Want; // oldest first
    } cases[] = {
        {"blank rows keep their colour", 3, {erasedRow, blueRow}, 80, {erasedRow, blueRow}},
        {"runs and trailing spaces", 3, {runs}, 8, {runs}},
        {"the oldest go first", 2, {{"1", "a"}, {"2", "b"}, {"3", "c"}}, 1, {{"2", "b"}, {"3", "c"}}},
        {"limit 0 keeps nothing", 0, {{"1", "a"}}, 1, {}},
        {"a narrower row is filled out", 2, {narrow, narrow}, 4, {filledOut, filledOut}},
        {"changes in neighbouring cells", 1, {{blank, stripes}}, 80, {{blank, stripes}}},
        {"a wider row is cut", 1, {{wide, std::string(300, '\x1f')}}, 5, {{"wwwww", std::string(5, '\x1f')}}},
        {"a wide row comes back whole", 1, {wider}, 301, {wider}},
    };
    for (const auto &c : cases) {
        THistoryStore h;
        h.SetLimit(c.Limit);
        for (const Row &r : c.Pushed)
            Push(h, r);
        ASSERT_EQ(h.Count(), int(c.Want.size())) << c.Name;
        for (size_t i = 0; i < c.Want.size(); ++i)
            EXPECT_EQ(Read(h, int(i), c.ReadWidth), c.Want[i]) << c.Name << " row " << i;
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
        for (int x = 0, n = int(rng() % 81); x < n; ++x) {
            r.first[size_t(x)] = char('!' + rng() % 90);
            if (rng() % 8 == 0) r.second[size_t(x)] = char(rng());
        }
        all.push_back(r);
        Push(h, r);
    }
    ASSERT_EQ(h.Count(), 50000);
    for (int i : {0, 1, 49999, 25000, 3, 40000, 17})
        EXPECT_EQ(Read(h, i, 80), all[size_t(i) + 10000]) << i;
    // A smaller limit trims at once, the newest kept; blank rows cost a few bytes each.
    h.SetLimit(10);
    EXPECT_EQ(Read(h, 9, 80), all.back());
    THistoryStore blanks;
    blanks.SetLimit(100000);
    for (int i = 0; i < 100000; ++i)
        Push(blanks, {std::string(80, ' '), std::string(80, '\0')});
    EXPECT_LT(blanks.Bytes(), 100000u * 8);
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
        tty.SetOptions(tty.Options & ~OptionBit(coLazyWrite));
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
    std::string TopRow()
    {
        TRowScratch scratch;
        return std::string(reinterpret_cast<const char *>(tty.Screen().RowAt(tty.Top, scratch).Chars), 2);
    }
};

} // namespace

TEST_F(HistoryTest, OneTextAcrossHistoryAndRing)
{
    ASSERT_EQ(tty.Screen().FirstRow(), -4);
    // Selections, plain and coloured, across the boundary and clamped at the oldest row.
    EXPECT_EQ(Text({1, -2}, {2, 0}), "2\r\nr3\r\nr4");
    EXPECT_EQ(SelectionColouredText(tty), "\1a\1y2\r\n\1br3\r\n\1pr4");
    EXPECT_EQ(Text({0, -99}, {0, -2}), "r0\r\nr1\r\n");
    tty.Viewport().SetMouseCell({1, -3}); // a double-click on a history row takes its word
    SelectWordAtMouse(tty);
    EXPECT_EQ(SelectionText(tty), "r1");
    // The view reaches the oldest row and keeps its text while output comes in.
    tty.ScrollTo(0, -99);
    EXPECT_EQ(tty.Top, -4);
    tty.ScrollTo(0, -3);
    tty.Write("\r\nr8");
    EXPECT_EQ(std::pair(tty.Top, TopRow()), std::pair(-4, std::string("r1")));
    tty.Write("\r\nr9"); // at the limit: r0 goes
    EXPECT_EQ(std::pair(tty.Top, TopRow()), std::pair(-5, std::string("r1")));
    // Clearing the screen leaves the history; a smaller limit trims it and pulls the view
    // and the selection in.
    tty.ClearScreen();
    EXPECT_EQ(tty.Screen().HistoryRows(), 5);
    tty.SetSelection({0, -5}, {2, -1});
    tty.SetHistoryLimit(2);
    EXPECT_EQ(std::pair(tty.Top, Text(tty.SelStart, tty.SelEnd)), std::pair(-2, std::string("r4\r\nr5")));
    tty.ClearHistory();
    EXPECT_EQ(std::pair(tty.Top, tty.Screen().FirstRow()), std::pair(0, 0));
    // Blank rows before any text are not kept; after text they are.
    tty.Write("\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(tty.Screen().HistoryRows(), 0);
    tty.Write("a\r\n\r\n\r\n\r\n\r\n");
    EXPECT_EQ(tty.Screen().HistoryRows(), 2);
}

TEST(ScrollbackSearch, FindsAcrossWrapsAndTheHistoryNotAcrossLineEnds)
{
    TColorTTY t;
    SetUpTTY(t, 10, 4, 10, 4);
    t.SetHistoryLimit(5);
    t.Write("hello world foo\r\nabc   \r\ndef Hello\r\n123456789abc\r\n\r\n\r\nabc");
    // History: "hello worl" "d foo" "abc" "def Hello" "123456789a"; ring: "bc" "" "" "abc".
    ASSERT_EQ(t.Screen().HistoryRows(), 5);
    using S = std::vector<std::vector<TCellSpan>>;
    const struct
    {
        const char *Needle;
        bool MatchCase;
        S Want;
    } cases[] = {
        {"world", false, S{{{-5, 6, 10}, {-4, 0, 1}}}},
        {"HELLO", false, S{{{-5, 0, 5}}, {{-2, 4, 9}}}},
        {"Hello", true, S{{{-2, 4, 9}}}},
        {"cd", false, S{}},    // "abc" ends its line: no join with "def"
        {"abc d", false, S{}}, // trailing blanks of an ended line are not text
        {"", false, S{}},
        {"9AB", false, S{{{-1, 8, 10}, {0, 0, 1}}}}, // from the history into the ring
        {"abc", false, S{{{-3, 0, 3}}, {{-1, 9, 10}, {0, 0, 2}}, {{3, 0, 3}}}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Find(t, c.Needle, c.MatchCase), c.Want) << c.Needle;
}

TEST(ScrollbackSearch, JoinsRowsAcrossTheRingBoundary)
{
    TColorTTY t;
    SetUpTTY(t, 10, 4, 10, 4);
    std::string text;
    for (int i = 0; i < 97; ++i)
        text += char('a' + i % 26);
    t.Write(text.data(), text.size());
    // Every row boundary, the ring's own among them, joins the end of one row to the next.
    for (int y = 0; y + 1 < t.Rows; ++y) {
        if (t.Screen().CharAt(9, y) == ' ' || t.Screen().CharAt(1, y + 1) == ' ') continue;
        const std::string needle{char(t.Screen().CharAt(8, y)), char(t.Screen().CharAt(9, y)),
                                 char(t.Screen().CharAt(0, y + 1)), char(t.Screen().CharAt(1, y + 1))};
        const auto found = Find(t, needle.c_str());
        EXPECT_NE(std::find(found.begin(), found.end(), std::vector<TCellSpan>{{y, 8, 10}, {y + 1, 0, 2}}),
                  found.end())
            << "row " << y;
    }
}

TEST(ScrollbackSearch, RefreshedAfterOutputItFindsWhatANewSearchFinds)
{
    TColorTTY t;
    SetUpTTY(t, 10, 4, 10, 4);
    t.SetHistoryLimit(5);
    // Bursts of output (some rewriting the ring's rows), the search left unfinished between them.
    std::mt19937 rng(3);
    const char *const pieces[] = {"a", "b", " ", "\r\n", "\x1b[H", "abababab", "\x1b[4;1H"};
    TScrollbackSearch kept;
    kept.Start(t, "ab", false);
    for (int burst = 0; burst < 200; ++burst) {
        std::string out;
        for (int n = int(rng() % 12); n > 0; --n)
            out += pieces[rng() % std::size(pieces)];
        t.Write(out.c_str());
        kept.Refresh(t);
        kept.Step(t, int(rng() % 6));
        if (burst % 4 != 3) continue;
        while (!kept.Step(t, 1)) {
        }
        std::vector<std::vector<TCellSpan>> got;
        for (size_t i = 0; i < kept.Count(); ++i)
            got.push_back(kept.Spans(t, kept.Hit(i)));
        ASSERT_EQ(got, Find(t, "ab")) << "burst " << burst;
    }
}
