// Friends and enemies, and whether an express message or post from a user is shown.
// Names are kept and stored as UTF-8.
#pragma once

#include "config/IniFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Names sorted without regard to letter case; a name already held in any case
// is not added again.
class TNameList
{
public:
    bool Add(std::string_view name); // false when blank, holding a line break, or already held
    bool Contains(std::string_view name) const;
    int IndexOf(std::string_view name) const; // -1 when not held
    void Remove(int index);
    // Removes the entries at the given indices (any order, duplicates and
    // out-of-range ones ignored), last first.
    void RemoveIndices(std::vector<int> indices);
    void Clear() { FItems.clear(); }
    int Count() const { return int(FItems.size()); }
    const std::string &operator[](int index) const { return FItems[size_t(index)]; }
    const std::vector<std::string> &Items() const { return FItems; }

private:
    std::vector<std::string> FItems;
};

// Orders names as the lists do: case-insensitive, ties by bytes.
int CompareNames(std::string_view a, std::string_view b);

// What a header announces; the CLient engine's header states carry the same numbers.
enum TMessageKind : uint8_t {
    ufExpress = 15, // an express message
    ufPost = 16,    // a post
};
constexpr int UserNameMax = 20; // longest name the dialog accepts

class TUserFilter
{
public:
    // Loads at once.
    explicit TUserFilter(std::string iniFileName);

    int32_t ExpressFilter = 0; // 0 all, 1 kill enemies, 2 only friends
    int32_t PostFilter = 0;    // 0 all, 1 kill enemies
    TNameList Friends;
    TNameList Enemies;

    void Load();
    // Writes the filter settings that changed since they were loaded or saved, and merges
    // the names added and removed since then into the lists as the file holds them now
    // (another copy of the program may have changed them); the lists then hold the merge.
    bool Save();
    // Names are UTF-8, as the lists hold them.
    bool Accepts(std::string_view name, TMessageKind kind) const;

    // The dialog's OK: take its settings and lists, then Save.
    bool Apply(int expressFilter, int postFilter, const TNameList &friends, const TNameList &enemies);

    const std::string &IniFileName() const { return FIni.FileName(); }

private:
    TIniFile FIni;
    std::vector<std::string> FSaved; // the settings' texts as loaded or last saved
    TNameList FSavedFriends, FSavedEnemies;
};

// The dialog's radio group index for a stored value: beyond the last item
// selects the last, negative selects none (-1).
int FilterRadioIndex(int value, int itemCount);
