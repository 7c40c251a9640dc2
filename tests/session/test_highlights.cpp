// Highlight rules on a real terminal: what matches (text, words, case, expressions, code
// page 437), the recolouring, gagging, prompts told once, and refused patterns; and the
// rules' stored form.
#include "config/Highlights.h"
#include "session/HighlightTap.h"
#include "terminal/ColorTTY.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

THighlightRule Rule(const std::string &pattern, uint8_t actions = haColourMatch, bool regex = false,
                    bool word = false, bool matchCase = false)
{
    THighlightRule r;
    r.Pattern = pattern;
    r.Regex = regex;
    r.WholeWord = word;
    r.MatchCase = matchCase;
    r.Actions = actions;
    r.Colour = 0x1E;
    return r;
}

TEST(HighlightMatcher, WhatMatchesWhere)
{
    const struct
    {
        THighlightRule Rule;
        const char *Line;
        int Start, End; // -1: no match
    } cases[] = {
        {Rule("bob"), "Message from BOB.", 13, 16},
        {Rule("bob", haColourMatch, false, false, true), "Message from BOB.", -1, -1},
        {Rule("bob", haColourMatch, false, true), "bobby and bob", 10, 13},
        {Rule("[Enter]", haColourMatch, false, true), "Press [Enter] now", 6, 13}, // ends not word characters
        {Rule("a.c"), "abc a.c", 4, 7},                                            // text is no expression
        {Rule("p[0-9]+s", haColourMatch, true), "room p12s here", 5, 9},
        {Rule("caf\xc3\xa9"), "un caf\x82 noir", 3, 7}, // the pattern in code page 437
        {Rule("x|y", haColourMatch, true, true), "axb y", 4, 5},
    };
    for (const auto &c : cases) {
        THighlightMatcher m({c.Rule}, "Any");
        THighlightResult r;
        const bool hit = m.Match(c.Line, r);
        EXPECT_EQ(hit, c.Start >= 0) << c.Rule.Pattern << " / " << c.Line;
        if (hit && c.Start >= 0) {
            ASSERT_EQ(r.Spans.size(), 1u) << c.Rule.Pattern;
            EXPECT_EQ(r.Spans[0].Start, c.Start) << c.Rule.Pattern;
            EXPECT_EQ(r.Spans[0].End, c.End) << c.Rule.Pattern;
        }
    }
    THighlightRule other = Rule("bob");
    other.Host = "Moss";
    THighlightRule off = Rule("ann");
    off.Enabled = false;
    EXPECT_TRUE(THighlightMatcher({other, off}, "Elsewhere").Empty());
    EXPECT_EQ(THighlightMatcher({other, off}, "MOSS").Count(), 1);
}

// The screen that skips rows before the rules run must pass every row a rule matches: rows
// as the terminal holds them (blank-padded, one after another), each rule alone and all at once.
TEST(HighlightMatcher, ScreenPassesEveryRowARuleMatches)
{
    const std::vector<THighlightRule> rules = {
        Rule("alice"),
        Rule("bob", haColourMatch, false, true),
        Rule("Lobby", haColourMatch, false, false, true),
        Rule("(?:quit|logoff) now", haColourMatch, true),
        Rule("[0-9]{3,}-[0-9]{4}", haColourMatch, true),
        Rule("\\bwarn(ing)?: \\w+", haColourMatch, true),
        Rule("caf\xc3\xa9"),
        Rule("\xe2\x95\x94\xe2\x95\x90\xe2\x95\x97"), // box corners: bytes above 0x7F
        Rule("\\w+", haColourMatch, true),            // needs no string: nothing is skipped
    };
    const char *const lines[] = {
        "MALICE in the hall",
        "bobby is not",
        "said bob.",
        "LOBBY and lobby",
        "the Lobby",
        "LOGOFF NOW please",
        "quit  now",
        "call 555-1234 ok",
        "12-3456",
        "WARNING: disk",
        "warn:x",
        "un CAF\x82",
        "\xc9\xcd\xbb",
        "\xe9\xed\xbb",
        "nothing here at all",
        "x                     alice",
        "ends with Alic",
        "e at the start",
        "the board message from user",
    };
    constexpr int width = 40;
    std::string rows;
    for (const char *l : lines)
        rows += std::string(l) + std::string(size_t(width) - std::strlen(l), ' ');
    std::vector<std::vector<THighlightRule>> sets = {rules};
    for (const THighlightRule &r : rules)
        sets.push_back({r});
    int screened = 0;
    for (const auto &set : sets) {
        const THighlightMatcher m(set, "Any");
        if (!m.Screens()) continue;
        ++screened;
        std::vector<int> passed;
        m.Candidates(reinterpret_cast<const uint8_t *>(rows.data()), int(std::size(lines)), width, 0, passed);
        THighlightResult r;
        for (int i = 0; i < int(std::size(lines)); ++i) {
            const bool passes = std::count(passed.begin(), passed.end(), i) > 0;
            EXPECT_TRUE(passes || !m.Match(lines[i], r)) << set[0].Pattern << " / " << lines[i];
        }
        if (set.size() == 1) {
            EXPECT_LT(passed.size(), std::size(lines)) << set[0].Pattern; // it does skip
        }
    }
    EXPECT_EQ(screened, THighlightScreen::Fast() ? int(rules.size()) - 1 : 0); // each alone but the last
}

// Random rows full of near misses (a rule's first bytes, other letter case, bytes above 0x7F),
// in runs of any length: the screen passes every row a rule matches, with each kind of
// instructions this processor has, also after strings found often without the rest moved.
TEST(HighlightMatcher, ScreenAgreesWithTheRulesOnRandomRows)
{
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) { return (seed = seed * 1103515245u + 12345u) / 65536u % n; };
    std::vector<std::string> words;
    std::vector<THighlightRule> rules;
    for (int k = 0; k < 12; ++k) {
        std::string w;
        for (uint32_t n = 3 + next(9); w.size() < n;)
            w += "abcdeo_"[next(7)];
        words.push_back(w);
        rules.push_back(Rule(w, haColourMatch, false, k % 3 == 0, k % 4 == 0));
        if (k < 4) rules.push_back(Rule(" " + w)); // found across the end of a row before one with w
    }
    for (const char *e : {"[0-9]{3,}-[0-9]{4}", "\\d+:\\d[0-9]", "[^0-9]\\d{2}[0-9]x", "x.?yz", "^ab", "q"})
        rules.push_back(Rule(e, haColourMatch, true));
    constexpr int width = 53;
    std::vector<std::string> lines;
    std::string rows;
    while (lines.size() < 6000) {
        std::string l;
        while (l.size() < size_t(width)) {
            const uint32_t what = next(10);
            const std::string &w = words[next(uint32_t(words.size()))];
            if (what < 4) l += w.substr(0, 1 + next(uint32_t(w.size()))); // all of it, or its first bytes
            if (what == 4) l += char(0x80 | "abcdeo"[next(6)]);
            if (what == 5)
                for (uint32_t n = 1 + next(5); n--;)
                    l += "0123456789-:xyzqAB"[next(18)];
            l += what < 8 ? ' ' : char("ABCDEO"[next(6)]);
        }
        l.resize(next(width + 1));
        lines.push_back(l);
        rows += l + std::string(size_t(width) - l.size(), ' ');
    }
    for (auto vector : {THighlightScreen::TVector::Avx2, THighlightScreen::TVector::Avx512}) {
        if (vector > THighlightScreen::Best()) continue;
        const THighlightMatcher m(rules, "Any", vector);
        ASSERT_TRUE(m.Screens());
        std::vector<int> passed;
        for (int from = 0; from < int(lines.size());) {
            const int count = std::min(int(lines.size()) - from, 1 + int(next(300)));
            m.Candidates(reinterpret_cast<const uint8_t *>(rows.data()) + size_t(from) * width, count, width,
                         from, passed);
            from += count;
        }
        THighlightResult r;
        int matched = 0;
        for (int i = 0; i < int(lines.size()); ++i)
            if (m.Match(lines[size_t(i)], r)) {
                ++matched;
                EXPECT_TRUE(std::binary_search(passed.begin(), passed.end(), i)) << lines[size_t(i)];
            }
        EXPECT_LT(passed.size(), lines.size() * 9 / 10); // it does skip
        EXPECT_GT(matched, 1000);
    }
}

// Through the tap, in writes of any size: the screen changes nothing of what the rules do
// (colours, gagged lines, notices) against the rules run on every completed line.
TEST(HighlightTap, ScreenedOrNotTheSame)
{
    const std::vector<THighlightRule> rules = {
        Rule("sysop"), Rule("Lobby [a-z]+ sysop", haGag, true), Rule(" sysop", haColourLine),
        Rule("posted [a-z]+ today", haNotice | haMark, true), Rule("\\d{2}:\\d\\d", haColourMatch, true)};
    const char *const words[] = {"sysop", "Lobby", "posted", "today", "the", "12:30", "mail", "sysops"};
    uint32_t seed = 7;
    auto next = [&](uint32_t n) { return (seed = seed * 1103515245u + 12345u) / 65536u % n; };
    std::string stream;
    while (stream.size() < 300000) {
        for (uint32_t n = 1 + next(12); n--;)
            stream += std::string(words[next(8)]) + (next(4) ? " " : "");
        stream += next(9) ? "\r\n" : "\x1b[33m\r\n";
    }
    std::string screens[2];
    std::vector<THighlightEvent> told[2];
    for (int screened = 0; screened < 2; ++screened) {
        TColorTTY tty;
        tty.SetBufferSize(50, 80);
        tty.SetVisibleSize(80, 24);
        THighlightTap tap(tty);
        tap.SetMatcher(std::make_unique<THighlightMatcher>(
            rules, "", screened ? THighlightScreen::Best() : THighlightScreen::TVector::None));
        seed = 99;
        for (size_t i = 0; i < stream.size();) {
            const size_t n = std::min<size_t>(1 + next(9000), stream.size() - i);
            tap.BeforeWrite();
            tty.Write(stream.substr(i, n).c_str());
            tap.AfterWrite(told[screened]);
            i += n;
            for (int y = 0; y < tty.Rows; ++y)
                for (int x = 0; x < 80; x += 3)
                    screens[screened] += {char(tty.Screen().CharAt(x, y)), char(tty.Screen().AttrAt(x, y))};
        }
    }
    EXPECT_TRUE(screens[0] == screens[1]);
    ASSERT_EQ(told[0].size(), told[1].size());
    EXPECT_GT(told[0].size(), 10u);
    for (size_t k = 0; k < told[0].size(); ++k)
        EXPECT_EQ(told[0][k].Row, told[1][k].Row);
}

TEST(HighlightMatcher, RefusedPatternsSayWhy)
{
    EXPECT_EQ(HighlightPatternError(Rule("(abc", 1, true)), "Missing ).");
    EXPECT_NE(HighlightPatternError(Rule("(a)\\1", 1, true)), ""); // no back-references
    EXPECT_NE(HighlightPatternError(Rule("")), "");
    EXPECT_NE(HighlightPatternError(Rule("\xe2\x82\xac")), ""); // the euro sign has no byte
    EXPECT_EQ(HighlightPatternError(Rule("(abc", 1, false)), "");
}

struct Tapped : ::testing::Test
{
    TColorTTY Tty;
    THighlightTap Tap{Tty};
    std::vector<THighlightEvent> Events;
    void SetUp() override
    {
        Tty.SetBufferSize(30, 40);
        Tty.SetVisibleSize(40, 10);
        Tty.SetHistoryLimit(100);
    }
    void Rules(std::vector<THighlightRule> rules)
    {
        Tap.SetMatcher(std::make_unique<THighlightMatcher>(rules, ""));
    }
    void Write(const std::string &text)
    {
        Tap.BeforeWrite();
        Tty.Write(text.c_str());
        Tap.AfterWrite(Events);
    }
    std::string Row(int y) const
    {
        std::string s(reinterpret_cast<const char *>(Tty.Screen().RowChars(y)), size_t(Tty.Cols));
        return s.erase(s.find_last_not_of(' ') + 1);
    }
};

TEST_F(Tapped, CompletedLinesAreRecolouredGaggedAndToldPromptsOnce)
{
    Rules({Rule("sysop", haColourMatch | haSound), Rule("spam", haGag),
           Rule("Login:", haColourLine | haNotice)});
    const int top = Tty.CursorY;
    Write("\x1b[31mthe sysop is in\r\nbuy spam now\r\nmore spam\r\nlast li");
    EXPECT_EQ(Row(top), "the sysop is in");
    EXPECT_EQ(Row(top + 1), "last li"); // the gagged lines are gone, the rest moved up
    EXPECT_EQ(Tty.CursorY, top + 1);
    EXPECT_EQ(Tty.CursorX, 7);
    EXPECT_EQ(Tty.Screen().AttrAt(4, top), 0x1E);
    EXPECT_EQ(Tty.Screen().AttrAt(3, top) & 0x77, 0x01); // the rest keeps its colour
    EXPECT_EQ(Tty.Screen().AttrAt(9, top), Tty.Screen().AttrAt(3, top));
    Write("ne\r\n\x1b[32m");
    EXPECT_EQ(Row(top + 1), "last line");
    EXPECT_EQ(Tty.Attr & 7, 2); // the output's own colour goes on
    ASSERT_EQ(Events.size(), 1u);
    EXPECT_EQ(Events[0].Actions, haSound);
    EXPECT_EQ(Events[0].Text, "the sysop is in");

    Events.clear();
    Write("Login: ");
    Tap.Paused(Events);
    Tap.Paused(Events); // the same prompt again is not told again
    ASSERT_EQ(Events.size(), 1u);
    EXPECT_EQ(Tty.Screen().AttrAt(0, Tty.CursorY), 0x1E);
    Write("guest\r\n"); // the prompt completed: coloured, not told again
    EXPECT_EQ(Events.size(), 1u);
    EXPECT_EQ(Tty.Screen().AttrAt(8, Tty.CursorY - 1), 0x1E);
}

TEST(HighlightStore, StoredFormAndWrittenOnlyWhenChanged)
{
    THighlightRule odd = Rule(" a;b\"c ", haGag | haMark, true, true, true);
    odd.Host = "x;y%z";
    odd.Enabled = false;
    THighlightRule back;
    ASSERT_TRUE(ParseHighlightRule(FormatHighlightRule(odd), back));
    EXPECT_EQ(back, odd);
    for (const char *bad : {"", "r;1;2;\"p\"", "r;99;2;;\"p\"", "r;1;300;;\"p\"", "r;1;2;;p"})
        EXPECT_FALSE(ParseHighlightRule(bad, back)) << bad;

    const std::string ini = ::testing::TempDir() + "highlights.INI";
    std::remove(ini.c_str());
    THighlightStore store(ini);
    store.Rules = {Rule("one"), odd};
    ASSERT_TRUE(store.Save());
    THighlightStore again(ini);
    EXPECT_EQ(again.Rules, store.Rules);
    // Unchanged rules are not written: a change made meanwhile by another program stays.
    TIniFile(ini).WriteString("Highlights", "Rule1", FormatHighlightRule(Rule("two")));
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(THighlightStore(ini).Rules.front().Pattern, "two");
}

} // namespace
