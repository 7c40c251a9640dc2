#pragma once
// The benchmarks' highlight rules: 50 of them, as a user who follows a few names and
// words might set.

#include "config/Highlights.h"

#include <string>
#include <vector>

// `common`: five words of the stream among them, so that most lines match one.
inline std::vector<THighlightRule> FiftyRules(bool common, bool expressions = true)
{
    std::vector<THighlightRule> rules;
    const char *names[] = {"alice",   "bartholomew", "cyrano",  "delphine",
                           "ezekiel", "fiorella",    "gaspard", "hermione"};
    const char *tails[] = {"", "_", "99", "-x", "son"};
    for (const char *n : names)
        for (const char *t : tails) {
            THighlightRule r;
            r.Pattern = std::string(n) + t;
            r.WholeWord = rules.size() % 2 == 0;
            r.Actions = rules.size() % 3 == 0 ? haNotice : haColourMatch;
            rules.push_back(r);
        }
    static const char *const often[] = {"sysop", "express", "Lobby", "[Enter]", "<More>"};
    static const char *const never[] = {"Sysop!", "xpresso", "Lobbyist", "[Esc]", "<Less>"};
    for (const char *w : common ? often : never) {
        THighlightRule r;
        r.Pattern = w;
        r.WholeWord = true;
        rules.push_back(r);
    }
    for (const char *e : {"\\bpage[sd]? (me|you)\\b", "^\\*\\*\\* .* \\*\\*\\*$", "[0-9]{3,}-[0-9]{4}",
                          "(?:quit|logoff) now", "\\bwarn(ing)?: \\w+"}) {
        THighlightRule r;
        r.Pattern = expressions ? e : "warn" + std::to_string(rules.size());
        r.Regex = expressions;
        r.Actions = haColourLine;
        rules.push_back(r);
    }
    return rules;
}
