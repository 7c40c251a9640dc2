// Runs the highlight rules of one host over lines of terminal text (code page 437 bytes,
// no escapes). All rules are compiled into one automaton that tells in a single pass
// whether, and which, rules match a line; only then are the matched ones run on their
// own for where they match. Regular expressions have no back-references or look-arounds
// and always run in time linear in the line.
#pragma once

#include "config/Highlights.h"
#include "session/HighlightScreen.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace re2 {
class RE2;
} // namespace re2

// A rule's pattern as the matcher reads it, or why it cannot (empty when it can).
std::string HighlightPatternError(const THighlightRule &rule);

struct THighlightSpan
{
    int Start, End; // byte offsets, End exclusive
    uint8_t Colour;
};

// What the rules make of one line.
struct THighlightResult
{
    uint8_t Actions = 0;               // union of the matching rules' actions
    int LineColour = -1;               // the first matching line-colouring rule's colour, or -1
    std::vector<THighlightSpan> Spans; // matches to colour, in rule order (a later one wins)
    void Clear()
    {
        Actions = 0;
        LineColour = -1;
        Spans.clear();
    }
};

class THighlightMatcher
{
public:
    // The enabled rules that hold for the host; rules that cannot compile are left out.
    // `vector`: the screen's instructions, those of this processor unless told.
    THighlightMatcher(const std::vector<THighlightRule> &rules, std::string_view host,
                      THighlightScreen::TVector vector = THighlightScreen::Best());
    ~THighlightMatcher();
    THighlightMatcher(const THighlightMatcher &) = delete;
    THighlightMatcher &operator=(const THighlightMatcher &) = delete;

    bool Empty() const { return FRules.empty(); }
    int Count() const { return int(FRules.size()); }
    // False when no rule matches (the result is then cleared).
    bool Match(std::string_view line, THighlightResult &result) const;
    // Whether a rule may match one of the lines of `lines` (separated by line feeds): false
    // means none does. One pass over many lines costs far less than a pass for each.
    bool MayMatch(std::string_view lines) const;
    // Whether Candidates can tell lines apart: otherwise MayMatch is all there is.
    bool Screens() const { return bool(FScreen); }
    // Appends to `which` first + the index of each of the `count` rows of `width` bytes from
    // `rows` (one after another, trailing blanks and all) that a rule may match, in order:
    // the others match none.
    void Candidates(const uint8_t *rows, int count, int width, int first, std::vector<int> &which) const
    {
        FScreen->Candidates(rows, count, width, first, which);
    }

private:
    // Whether a rule matches the line, and which.
    bool Hits(std::string_view line, std::vector<int> &hits) const;
    struct TCompiled
    {
        uint8_t Actions;
        uint8_t Colour;
        std::unique_ptr<re2::RE2> Re;
    };
    std::vector<TCompiled> FRules;
    struct TSet; // all the rules in one automaton
    std::unique_ptr<TSet> FSet;
    mutable std::vector<int> FHits;
    std::unique_ptr<THighlightScreen> FScreen; // null: every rule is looked for in every line
    bool FLinesApart = true;                   // no rule is anchored to the whole text: MayMatch can tell
};
