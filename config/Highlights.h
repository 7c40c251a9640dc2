// Highlight and notification rules: text or a regular expression to look for in what the
// BBS shows, and what to do with a line that has it. Kept in the settings file's
// "Highlights" section, one key a rule; the section is rewritten only when a rule changed.
#pragma once

#include "config/IniFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a rule does with a line it matches (bits).
enum THighlightAction : uint8_t {
    haColourMatch = 1, // the matched text takes the rule's colour
    haColourLine = 2,  // the whole line does
    haGag = 4,         // the line is not shown
    haSound = 8,       // the desktop's message sound
    haNotice = 16,     // a desktop notice with the line
    haMark = 32,       // the review keys stop at the line
};
constexpr uint8_t HighlightActionMask = 63;

struct THighlightRule
{
    std::string Pattern; // UTF-8
    bool Regex = false;
    bool WholeWord = false;
    bool MatchCase = false;
    uint8_t Actions = haColourMatch;
    uint8_t Colour = 0x0B; // colour attribute: bright yellow on black
    std::string Host;      // empty: every host
    bool Enabled = true;
    bool operator==(const THighlightRule &) const = default;

    // For this host (by name, letter case ignored)?
    bool AppliesTo(std::string_view host) const;
};

// The text a rule is stored as (the value of its key), and back; false for text that is
// no rule (it is then skipped).
std::string FormatHighlightRule(const THighlightRule &rule);
bool ParseHighlightRule(std::string_view text, THighlightRule &rule);

class THighlightStore
{
public:
    static constexpr int MaxRules = 500;

    explicit THighlightStore(std::string iniFileName) : FIni(std::move(iniFileName)) { Load(); }
    std::vector<THighlightRule> Rules;

    void Load();
    // Rewrites the section when the rules differ from those loaded or saved last; false
    // when the file could not be written.
    bool Save();

private:
    TIniFile FIni;
    std::vector<THighlightRule> FSaved;
};
