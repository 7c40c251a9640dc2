// Finds help pages by the words they contain.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

struct THelpHit
{
    std::string Page;
    std::string Title;
};

class THelpIndex
{
public:
    // Adds a page: its name, its title and its plain text (UTF-8).
    void Add(std::string page, std::string title, std::string_view text);
    // Pages that hold every word of the query, best first. Case is ignored and a query
    // word matches the beginning of a word ("macro" finds "Macros"); an empty query
    // finds nothing.
    std::vector<THelpHit> Find(std::string_view query) const;
    bool Empty() const { return FPages.empty(); }

    // Lower-case words of a text; letters, digits and bytes of multi-byte characters
    // make words, everything else separates them.
    static std::vector<std::string> Words(std::string_view text);

private:
    struct TPage
    {
        THelpHit Hit;
        std::map<std::string, int> Words; // word -> count; title words count more
    };
    std::vector<TPage> FPages;
};
