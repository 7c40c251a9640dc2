// Settings-file comparison, child lookup and message-box handling for the dialog tests.
#pragma once

#include "tests/config/ConfigTestUtil.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

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

// Near the left edge, where a check box or radio button has its mark, whatever its width.
inline void Click(QWidget &dlg, const char *name)
{
    QWidget *w = Child(dlg, name);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(std::min(8, w->width() / 2), w->height() / 2));
}

// Clicks the named button; each message box that opens is answered (accepted when no
// answer is given) and its text returned. Text from users and files must show as plain text.
inline std::string ClickClosingMessageBox(QWidget &dlg, const char *name,
                                          QMessageBox::StandardButton answer = QMessageBox::NoButton)
{
    std::string text;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) return;
        EXPECT_EQ(box->textFormat(), Qt::PlainText) << box->text().toStdString();
        text += box->text().toStdString();
        if (answer != QMessageBox::NoButton)
            box->button(answer)->click();
        else
            box->accept();
    });
    poll.start(5);
    Click(dlg, name);
    return text;
}

// Every control that takes the keyboard tells a screen reader what it is.
inline void ExpectEveryControlNamed(QWidget &dlg)
{
    for (QWidget *w : dlg.findChildren<QWidget *>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || w->window() != &dlg) continue; // not a popup's
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        ASSERT_TRUE(a) << w->objectName().toStdString();
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
            << dlg.windowTitle().toStdString() << ": " << w->metaObject()->className() << " "
            << w->objectName().toStdString();
    }
}
