// Settings-file comparison, child lookup and message-box handling for the dialog tests.
#pragma once

#include "tests/config/ConfigTestUtil.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
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
    while (std::getline(in, line))
        if (line.size() > 1 && line[0] == '[')
            section = line.substr(1, line.find(']') - 1);
        else if (size_t eq = line.find('='); eq != std::string::npos)
            keys[section + "/" + line.substr(0, eq)] = line.substr(eq + 1);
    return keys;
}

// The keys a write added, removed or changed.
inline std::set<std::string> ChangedKeys(const std::string &before, const std::string &after)
{
    auto a = IniKeys(before), b = IniKeys(after);
    std::set<std::string> changed;
    for (auto *m : {&a, &b})
        for (auto &entry : *m)
            if (!a.count(entry.first) || !b.count(entry.first) || a.at(entry.first) != b.at(entry.first))
                changed.insert(entry.first);
    return changed;
}

template <class W = QWidget> W *Child(QWidget &dlg, const char *name)
{
    return dlg.findChild<W *>(QLatin1String(name));
}

inline std::string Text(QWidget &dlg, const char *name)
{
    return Child<QLineEdit>(dlg, name)->text().toStdString();
}

inline void Click(QWidget &dlg, const char *name)
{
    QTest::mouseClick(Child(dlg, name), Qt::LeftButton);
}

// Clicks the named button; a message box that opens is closed and its text returned.
inline std::string ClickClosingMessageBox(QWidget &dlg, const char *name)
{
    std::string text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            text = box->text().toStdString(), box->accept();
    });
    poll.start(5);
    Click(dlg, name);
    return text;
}
