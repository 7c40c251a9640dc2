#include "config/Highlights.h"

#include <charconv>

namespace {

const char *const Section = "Highlights";

std::string Escaped(std::string_view s)
{
    std::string out;
    for (char c : s) {
        if (c == '%' || c == ';')
            out += c == '%' ? "%25" : "%3B";
        else
            out += c;
    }
    return out;
}

std::string Unescaped(std::string_view s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s.substr(i, 3) == "%25" || s.substr(i, 3) == "%3B") {
            out += s[i + 1] == '2' ? '%' : ';';
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ParseNumber(std::string_view s, int &n)
{
    return !s.empty() && std::from_chars(s.data(), s.data() + s.size(), n).ptr == s.data() + s.size();
}

} // namespace

bool THighlightRule::AppliesTo(std::string_view host) const
{
    return Host.empty() || SameIniName(Host, host);
}

// flags;actions;colour;host;"pattern" where flags are letters: r regex, w whole word,
// c match case, x disabled. The quotes keep blanks at the pattern's ends.
std::string FormatHighlightRule(const THighlightRule &r)
{
    std::string flags;
    if (r.Regex) flags += 'r';
    if (r.WholeWord) flags += 'w';
    if (r.MatchCase) flags += 'c';
    if (!r.Enabled) flags += 'x';
    return flags + ';' + std::to_string(r.Actions) + ';' + std::to_string(r.Colour) + ';' + Escaped(r.Host) +
           ";\"" + r.Pattern + '"';
}

bool ParseHighlightRule(std::string_view text, THighlightRule &rule)
{
    std::string_view f[4];
    for (auto &field : f) {
        const size_t semi = text.find(';');
        if (semi == std::string_view::npos) return false;
        field = text.substr(0, semi);
        text.remove_prefix(semi + 1);
    }
    int actions = 0, colour = 0;
    if (!ParseNumber(f[1], actions) || !ParseNumber(f[2], colour) || text.size() < 3 || text.front() != '"' ||
        text.back() != '"' || actions < 0 || actions > HighlightActionMask || colour < 0 || colour > 255)
        return false;
    THighlightRule r;
    r.Regex = f[0].find('r') != std::string_view::npos;
    r.WholeWord = f[0].find('w') != std::string_view::npos;
    r.MatchCase = f[0].find('c') != std::string_view::npos;
    r.Enabled = f[0].find('x') == std::string_view::npos;
    r.Actions = uint8_t(actions);
    r.Colour = uint8_t(colour);
    r.Host = Unescaped(f[3]);
    r.Pattern = std::string(text.substr(1, text.size() - 2));
    rule = std::move(r);
    return true;
}

void THighlightStore::Load()
{
    Rules.clear();
    const TIniDocument doc = FIni.Load();
    for (int k = 1; k <= MaxRules; ++k) {
        const std::optional<std::string> v = doc.Find(Section, "Rule" + std::to_string(k));
        if (!v) break;
        THighlightRule r;
        if (ParseHighlightRule(*v, r)) Rules.push_back(std::move(r));
    }
    FSaved = Rules;
}

bool THighlightStore::Save()
{
    if (Rules == FSaved) return true;
    const bool ok = FIni.Update([&](TIniDocument &doc) {
        doc.RemoveSection(Section);
        int k = 1;
        for (const THighlightRule &r : Rules)
            if (k <= MaxRules) doc.WriteString(Section, "Rule" + std::to_string(k++), FormatHighlightRule(r));
    });
    if (ok) FSaved = Rules;
    return ok;
}
