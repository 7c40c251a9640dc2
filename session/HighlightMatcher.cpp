#include "session/HighlightMatcher.h"

#include "terminal/Cp437.h"

#include <re2/re2.h>
#include <re2/set.h>

#include <algorithm>
#include <cctype>

namespace {

bool WordByte(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_';
}

// The text is matched as code page 437 bytes, which the automaton takes as Latin-1
// characters: the pattern is turned into the same bytes. Whole words: a word boundary
// at an end of the pattern that is a word character (a regular expression: both ends).
bool Expression(const THighlightRule &r, std::string &out, std::string &error)
{
    if (r.Pattern.empty()) {
        error = "The text to look for is empty.";
        return false;
    }
    const std::string bytes = cp437::FromUtf8(r.Pattern);
    if (cp437::ToUtf8(bytes) != r.Pattern) {
        error = "It holds a character the terminal cannot show.";
        return false;
    }
    if (r.Regex) {
        out = r.WholeWord ? "\\b(?:" + bytes + ")\\b" : bytes;
    } else {
        out = re2::RE2::QuoteMeta(bytes);
        if (r.WholeWord && WordByte(bytes.front())) out = "\\b" + out;
        if (r.WholeWord && WordByte(bytes.back())) out += "\\b";
    }
    return true;
}

re2::RE2::Options Options(bool matchCase)
{
    re2::RE2::Options o;
    o.set_encoding(re2::RE2::Options::EncodingLatin1);
    o.set_case_sensitive(matchCase);
    o.set_log_errors(false);
    return o;
}

} // namespace

struct THighlightMatcher::TSet : re2::RE2::Set
{
    using re2::RE2::Set::Set;
};

std::string HighlightPatternError(const THighlightRule &rule)
{
    std::string expression, error;
    if (!Expression(rule, expression, error)) return error;
    re2::RE2 re(expression, Options(rule.MatchCase));
    if (re.ok()) return {};
    // The library's words, with the pattern's own bytes left out ("missing ): (abc").
    std::string why = re.error();
    if (const size_t colon = why.find(": "); colon != std::string::npos) why.resize(colon);
    if (!why.empty()) why[0] = char(std::toupper(static_cast<unsigned char>(why[0])));
    return why + ".";
}

THighlightMatcher::THighlightMatcher(const std::vector<THighlightRule> &rules, std::string_view host,
                                     THighlightScreen::TVector vector)
{
    re2::RE2::Options setOptions = Options(true);
    setOptions.set_never_capture(true);
    setOptions.set_max_mem(int64_t(64) << 20); // room for the automaton's states: it is built as it runs
    FSet = std::make_unique<TSet>(setOptions, re2::RE2::UNANCHORED);
    // Hashing every position in plain code costs more than the automaton's one pass.
    if (vector != THighlightScreen::TVector::None) FScreen = std::make_unique<THighlightScreen>(vector);
    for (const THighlightRule &r : rules) {
        if (!r.Enabled || !r.AppliesTo(host) || !r.Actions) continue;
        std::string expression, error;
        if (!Expression(r, expression, error)) continue;
        auto re = std::make_unique<re2::RE2>(expression, Options(r.MatchCase));
        if (!re->ok()) continue;
        // The set takes every rule with one set of options: letter case goes into the pattern,
        // and ^ and $ hold at each line of a text of many lines.
        if (FSet->Add((r.MatchCase ? "(?m:" : "(?mi:") + expression + ")", nullptr) < 0) continue;
        if (expression.find("\\A") != std::string::npos || expression.find("\\z") != std::string::npos)
            FLinesApart = false;
        if (FScreen && !FScreen->Add(*re)) FScreen.reset();
        FRules.push_back({r.Actions, r.Colour, std::move(re)});
    }
    // A set too big for its automaton's memory leaves each rule to run on its own.
    if (FRules.empty() || !FSet->Compile()) FSet.reset();
    if (FRules.empty()) FScreen.reset();
    if (FScreen) FScreen->Build();
}

THighlightMatcher::~THighlightMatcher() = default;

bool THighlightMatcher::Hits(std::string_view line, std::vector<int> &hits) const
{
    const re2::StringPiece text(line.data(), line.size());
    re2::RE2::Set::ErrorInfo error{};
    if (FSet && FSet->Match(text, &hits, &error)) return true;
    if (FSet && error.kind != re2::RE2::Set::kOutOfMemory) return false;
    // Out of memory is no answer: each rule says on its own (a rule alone falls back to a
    // slower way that needs none).
    hits.clear();
    for (int i = 0; i < int(FRules.size()); ++i)
        if (re2::RE2::PartialMatch(text, *FRules[size_t(i)].Re)) hits.push_back(i);
    return !hits.empty();
}

bool THighlightMatcher::MayMatch(std::string_view lines) const
{
    if (FRules.empty()) return false;
    re2::RE2::Set::ErrorInfo error{};
    return !FSet || !FLinesApart ||
           FSet->Match(re2::StringPiece(lines.data(), lines.size()), nullptr, &error) ||
           error.kind == re2::RE2::Set::kOutOfMemory;
}

bool THighlightMatcher::Match(std::string_view line, THighlightResult &result) const
{
    result.Clear();
    if (FRules.empty() || !Hits(line, FHits)) return false;
    const re2::StringPiece text(line.data(), line.size());
    std::sort(FHits.begin(), FHits.end());
    for (int i : FHits) {
        const TCompiled &r = FRules[size_t(i)];
        result.Actions |= r.Actions;
        if ((r.Actions & haColourLine) && result.LineColour < 0) result.LineColour = r.Colour;
        if (!(r.Actions & haColourMatch)) continue;
        re2::StringPiece m;
        size_t at = 0;
        while (at <= line.size() && r.Re->Match(text, at, line.size(), re2::RE2::UNANCHORED, &m, 1)) {
            const int start = int(m.data() - line.data());
            const int end = start + int(m.size());
            if (end > start) result.Spans.push_back({start, end, r.Colour});
            at = size_t(end > start ? end : end + 1);
        }
    }
    return result.Actions != 0;
}
