#include "config/UserFilt.h"

#include "config/IniFields.h"

#include <algorithm>

namespace {

const char *const Preferences = "Preferences";

struct TListKeys
{
    const char *Section, *Key;
};
constexpr TListKeys FriendKeys{"Friends", "Friend"}, EnemyKeys{"Enemies", "Enemy"};

std::span<const TIniField<TUserFilter>> Fields()
{
    static const std::vector<TIniField<TUserFilter>> fields = {
        Field("Express Filter", &TUserFilter::ExpressFilter),
        Field("Post Filter", &TUserFilter::PostFilter),
    };
    return fields;
}

void LoadList(const TIniDocument &doc, TListKeys keys, TNameList &list)
{
    list.Clear();
    for (int k = 1;; ++k) {
        std::string name = doc.ReadString(keys.Section, keys.Key + std::to_string(k), "");
        if (name.empty()) return;
        list.Add(name);
    }
}

// Writes the list as key1..keyN, then blanks left-over keys up to the first gap.
void SaveList(TIniDocument &doc, TListKeys keys, const TNameList &list)
{
    int k = 1;
    for (const std::string &name : list.Items())
        doc.WriteString(keys.Section, keys.Key + std::to_string(k++), name);
    for (;; ++k) {
        std::string keyName = keys.Key + std::to_string(k);
        if (doc.ReadString(keys.Section, keyName, "").empty()) return;
        doc.WriteString(keys.Section, keyName, "");
    }
}

// The list in the file with the names this program added since `saved` and without
// those it removed; the file's list is rewritten only when that changes anything.
void MergeList(TIniDocument &doc, TListKeys keys, const TNameList &saved, TNameList &list)
{
    TNameList onDisk;
    LoadList(doc, keys, onDisk);
    TNameList merged = onDisk;
    for (const std::string &name : saved.Items())
        if (!list.Contains(name)) merged.Remove(merged.IndexOf(name));
    for (const std::string &name : list.Items())
        if (!saved.Contains(name)) merged.Add(name);
    if (merged.Items() != onDisk.Items()) SaveList(doc, keys, merged);
    list = merged;
}

} // namespace

int CompareNames(std::string_view a, std::string_view b)
{
    int d = CompareIniNames(a, b);
    return d != 0 ? d : a.compare(b); // same apart from case: a fixed order all the same
}

namespace {

// The settings file drops blanks around a value and cannot hold a line break, so
// a blank name would read back as the end of the list and lose every name after it.
bool StorableName(std::string_view name)
{
    return name.find_first_not_of(" \t\v\f") != std::string_view::npos &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

} // namespace

bool TNameList::Add(std::string_view name)
{
    if (!StorableName(name) || Contains(name)) return false;
    auto at =
        std::lower_bound(FItems.begin(), FItems.end(), name, [](const std::string &item, std::string_view n) {
            return CompareNames(item, n) < 0;
        });
    FItems.insert(at, std::string(name));
    return true;
}

int TNameList::IndexOf(std::string_view name) const
{
    for (size_t i = 0; i < FItems.size(); ++i)
        if (SameIniName(FItems[i], name)) return int(i);
    return -1;
}

bool TNameList::Contains(std::string_view name) const
{
    return IndexOf(name) >= 0;
}

void TNameList::Remove(int index)
{
    if (index >= 0 && index < Count()) FItems.erase(FItems.begin() + index);
}

void TNameList::RemoveIndices(std::vector<int> indices)
{
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    for (auto it = indices.rbegin(); it != indices.rend(); ++it)
        Remove(*it);
}

TUserFilter::TUserFilter(std::string iniFileName) : FIni(std::move(iniFileName))
{
    Load();
}

void TUserFilter::Load()
{
    const TIniDocument doc = FIni.Load();
    ExpressFilter = 0;
    PostFilter = 0;
    ReadFields(doc, Preferences, Fields(), *this);
    LoadList(doc, FriendKeys, Friends);
    LoadList(doc, EnemyKeys, Enemies);
    FSaved = FieldTexts(Fields(), *this);
    FSavedFriends = Friends;
    FSavedEnemies = Enemies;
}

bool TUserFilter::Save()
{
    std::vector<std::string> saved = FSaved;
    TNameList friends = Friends, enemies = Enemies;
    const bool written = FIni.Update([&](TIniDocument &doc) {
        WriteFields(doc, Preferences, Fields(), *this, saved);
        MergeList(doc, FriendKeys, FSavedFriends, friends);
        MergeList(doc, EnemyKeys, FSavedEnemies, enemies);
    });
    if (!written) return false;
    FSaved = saved;
    Friends = FSavedFriends = friends;
    Enemies = FSavedEnemies = enemies;
    return true;
}

bool TUserFilter::Accepts(std::string_view name, TMessageKind kind) const
{
    if (kind == ufExpress) {
        switch (ExpressFilter) {
        case 0:
            return true;
        case 1:
            return !Enemies.Contains(name);
        case 2:
            return Friends.Contains(name);
        default:
            return false;
        }
    }
    switch (PostFilter) {
    case 0:
        return true;
    case 1:
        return !Enemies.Contains(name);
    default:
        return false;
    }
}

bool TUserFilter::Apply(int expressFilter, int postFilter, const TNameList &friends, const TNameList &enemies)
{
    ExpressFilter = expressFilter;
    PostFilter = postFilter;
    Friends = friends;
    Enemies = enemies;
    return Save();
}

int FilterRadioIndex(int value, int itemCount)
{
    if (value < 0 || itemCount <= 0) return -1;
    return std::min(value, itemCount - 1);
}
