// Settings-file comparison and message-box handling for the dialog tests.
#pragma once

#include "tests/config/ConfigTestUtil.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <map>
#include <set>
#include <sstream>

// "Section/Key" -> value, as the lines of the file stand.
inline std::map<std::string, std::string> IniKeys(const std::string &bytes)
{
    std::map<std::string, std::string> keys;
    std::istringstream in(bytes);
    std::string line, section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 1 && line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
        } else if (size_t eq = line.find('='); eq != std::string::npos) {
            keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return keys;
}

// The keys a write added, removed or changed.
inline std::set<std::string> ChangedKeys(const std::string &before, const std::string &after)
{
    auto a = IniKeys(before), b = IniKeys(after);
    std::set<std::string> changed;
    for (const auto &[key, value] : a)
        if (!b.count(key) || b[key] != value) changed.insert(key);
    for (const auto &[key, value] : b)
        if (!a.count(key)) changed.insert(key);
    return changed;
}

// Runs action; a message box it opens is closed, and its text returned.
template <class F> QString RunClosingMessageBox(F action)
{
    QString text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
        }
    });
    poll.start(5);
    action();
    return text;
}
