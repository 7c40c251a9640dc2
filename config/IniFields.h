// A store's keys as a table: each key spelled once, read and written by the same
// entry. A store remembers the texts it loaded or saved last and writes only the
// keys whose text its user changed since, so two programs sharing the file keep
// each other's changes.
#pragma once

#include "config/HostMode.h"
#include "config/IniFile.h"

#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

template <class T> struct TIniField
{
    const char *Key;
    std::function<std::string(const T &)> Get;         // the text written; empty function: never written
    std::function<void(T &, const std::string &)> Set; // text it cannot take leaves the member as it is
    // Keys newer than the file format: while the member holds this text and the file has
    // no such key, none is written, so a file of an older version keeps its shape.
    const char *Omitted = nullptr;
    // The fields of one group (non-zero) are written together when one of them changed:
    // a host or a font is never stored half old, half new.
    int Group = 0;
};

template <class T>
TIniField<T> Field(const char *key, std::string T::*m, const char *omitted = nullptr, int group = 0)
{
    return {key, [m](const T &o) { return o.*m; }, [m](T &o, const std::string &v) { o.*m = v; }, omitted,
            group};
}

template <class T>
TIniField<T> Field(const char *key, bool T::*m, const char *omitted = nullptr, int group = 0)
{
    return {key, [m](const T &o) { return std::string(o.*m ? "1" : "0"); },
            [m](T &o, const std::string &v) {
                if (std::optional<int> i = ParseIniInteger(v)) o.*m = *i != 0;
            },
            omitted, group};
}

// Integers, and the byte-sized host mode, which is taken as stored.
template <class T, class I>
requires(std::is_integral_v<I> && !std::is_same_v<I, bool>) ||
    std::is_same_v<I, THostMode> TIniField<T> Field(const char *key, I T::*m, const char *omitted = nullptr,
                                                    int group = 0)
{
    return {key, [m](const T &o) { return std::to_string(int(o.*m)); },
            [m](T &o, const std::string &v) {
                if (std::optional<int> i = ParseIniInteger(v)) o.*m = I(*i);
            },
            omitted, group};
}

template <class T>
TIniField<T> Field(const char *key, THostTransport T::*m, const char *omitted = nullptr, int group = 0)
{
    return {key, [m](const T &o) { return std::string(TransportKey(o.*m)); },
            [m](T &o, const std::string &v) {
                if (auto t = TransportFromKey(v)) o.*m = *t;
            },
            omitted, group};
}

template <class T>
TIniField<T> Field(const char *key, THostTerminal T::*m, const char *omitted = nullptr, int group = 0)
{
    return {key, [m](const T &o) { return std::string(TerminalKey(o.*m)); },
            [m](T &o, const std::string &v) {
                if (auto t = TerminalFromKey(v)) o.*m = *t;
            },
            omitted, group};
}

// Missing keys leave their members as the caller preset them (the defaults).
template <class T>
void ReadFields(const TIniDocument &doc, std::string_view section, std::span<const TIniField<T>> fields, T &o)
{
    for (const TIniField<T> &f : fields)
        if (std::optional<std::string> v = doc.Find(section, f.Key)) f.Set(o, *v);
}

// The texts the fields would write now (empty for those never written).
template <class T> std::vector<std::string> FieldTexts(std::span<const TIniField<T>> fields, const T &o)
{
    std::vector<std::string> texts;
    for (const TIniField<T> &f : fields)
        texts.push_back(f.Get ? f.Get(o) : std::string());
    return texts;
}

// Writes the fields whose text differs from since (all of them when since is empty),
// a group whole when one of its fields differs; since then holds the texts written.
template <class T>
void WriteFields(TIniDocument &doc, std::string_view section, std::span<const TIniField<T>> fields,
                 const T &o, std::vector<std::string> &since)
{
    const std::vector<std::string> now = FieldTexts(fields, o);
    const bool all = since.size() != fields.size();
    std::vector<int> changedGroups;
    for (size_t i = 0; i < fields.size(); ++i)
        if (!all && now[i] != since[i] && fields[i].Group) changedGroups.push_back(fields[i].Group);
    const auto groupChanged = [&](int g) {
        return g && std::find(changedGroups.begin(), changedGroups.end(), g) != changedGroups.end();
    };
    for (size_t i = 0; i < fields.size(); ++i) {
        const TIniField<T> &f = fields[i];
        if (!f.Get || !(all || now[i] != since[i] || groupChanged(f.Group))) continue;
        if (f.Omitted && now[i] == f.Omitted && !doc.ValueExists(section, f.Key)) continue;
        doc.WriteString(section, f.Key, now[i]);
    }
    since = now;
}
