#include "terminal/ScrollbackSearch.h"

#include "terminal/ColorTTY.h"

#include <algorithm>
#include <string>

namespace {

char Fold(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool Blank(uint8_t c)
{
    return c == ' ' || c == 0;
}

} // namespace

std::vector<TTextMatch> FindInScrollback(const TColorTTY &tty, std::string_view needle, bool matchCase)
{
    std::vector<TTextMatch> found;
    if (needle.empty() || tty.Cols <= 0) return found;
    // The buffer as text: joined rows run on, other rows end in a '\n' that maps to no cell.
    std::string text;
    std::vector<int> cell; // y * Cols + x per text byte, -1 for a line end
    text.reserve(size_t(tty.Rows) * size_t(tty.Cols + 1));
    cell.reserve(text.capacity());
    for (int y = 0; y < tty.Rows; ++y) {
        const uint8_t *row = tty.RowChars(y);
        const bool joined = y + 1 < tty.Rows && !Blank(row[tty.Cols - 1]);
        int end = tty.Cols;
        if (!joined)
            while (end > 0 && Blank(row[end - 1]))
                --end;
        for (int x = 0; x < end; ++x) {
            text += matchCase ? char(row[x]) : Fold(char(row[x]));
            cell.push_back(y * tty.Cols + x);
        }
        if (!joined) {
            text += '\n';
            cell.push_back(-1);
        }
    }
    std::string key(needle);
    if (!matchCase) std::transform(key.begin(), key.end(), key.begin(), Fold);

    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + key.size())) {
        TTextMatch m;
        for (size_t i = at; i < at + key.size(); ++i) {
            if (cell[i] < 0) continue;
            const int y = cell[i] / tty.Cols, x = cell[i] % tty.Cols;
            if (!m.Spans.empty() && m.Spans.back().Row == y && m.Spans.back().X2 == x)
                ++m.Spans.back().X2;
            else
                m.Spans.push_back({y, x, x + 1});
        }
        if (!m.Spans.empty()) found.push_back(std::move(m));
    }
    return found;
}
