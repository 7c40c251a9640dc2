#include "shell/HelpIndex.h"

#include <algorithm>

namespace {

// A word in the title says more about a page than one in its text.
constexpr int TitleWeight = 10;

bool IsWordByte(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}

} // namespace

std::vector<std::string> THelpIndex::Words(std::string_view text)
{
    std::vector<std::string> words;
    std::string word;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsWordByte(c)) {
            word += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

void THelpIndex::Add(std::string page, std::string title, std::string_view text)
{
    TPage p;
    for (auto &w : Words(text))
        ++p.Words[w];
    for (auto &w : Words(title))
        p.Words[w] += TitleWeight;
    p.Hit = {std::move(page), std::move(title)};
    FPages.push_back(std::move(p));
}

std::vector<THelpHit> THelpIndex::Find(std::string_view query) const
{
    const std::vector<std::string> wanted = Words(query);
    if (wanted.empty()) return {};
    std::vector<std::pair<int, const TPage *>> scored;
    for (const TPage &page : FPages) {
        int score = 0;
        for (const std::string &w : wanted) {
            int hits = 0;
            for (auto it = page.Words.lower_bound(w); it != page.Words.end() && it->first.starts_with(w);
                 ++it)
                hits += it->second;
            if (hits == 0) {
                score = 0;
                break;
            }
            score += hits;
        }
        if (score > 0) scored.emplace_back(score, &page);
    }
    std::stable_sort(scored.begin(), scored.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first > b.first : a.second->Hit.Title < b.second->Hit.Title;
    });
    std::vector<THelpHit> hits;
    for (const auto &s : scored)
        hits.push_back(s.second->Hit);
    return hits;
}
