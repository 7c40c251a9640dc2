#include "shell/HelpSystem.h"
#include "shell/HelpWindow.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString PageText(const QString &page)
{
    QFile f(QStringLiteral(":/help/") + page);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString ShownPage(const THelpSystem &help)
{
    return help.Window() ? help.Window()->Source().fileName() : QString();
}

} // namespace

TEST(Help, EveryContextOpensAPageWithATitle)
{
    THelpSystem help;
    std::vector<std::pair<THelpTopic, QString>> cases = {{THelpTopic::None, "index.html"},
                                                         {THelpTopic(1), "index.html"}};
    for (const THelpContext &c : THelpSystem::HelpContexts())
        cases.emplace_back(c.Topic, QString::fromLatin1(c.Page).section('#', 0, 0));
    for (const auto &[topic, page] : cases) {
        help.ShowContext(topic);
        ASSERT_TRUE(help.Window()) << int(topic);
        EXPECT_EQ(ShownPage(help), page) << int(topic);
        EXPECT_FALSE(help.Window()->Title().isEmpty()) << int(topic);
    }
    help.Quit();
    EXPECT_EQ(help.Window(), nullptr);
}

TEST(Help, EveryInternalLinkResolves)
{
    const QStringList pages = THelpWindow::Pages();
    ASSERT_GE(pages.size(), 13);
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    for (const QString &page : pages) {
        const QString text = PageText(page);
        EXPECT_TRUE(text.contains(QRegularExpression("<title>[^<]+</title>"))) << page.toStdString();
        for (const auto &m : href.globalMatch(text)) {
            const QString link = m.captured(1);
            if (link.contains(':')) continue; // an address outside the help
            QString target = link.section('#', 0, 0), anchor = link.section('#', 1);
            if (target.isEmpty()) target = page;
            const std::string where = (page + " -> " + link).toStdString();
            if (!QFile::exists(":/help/" + target)) {
                ADD_FAILURE() << where;
                continue;
            }
            if (!anchor.isEmpty()) {
                EXPECT_TRUE(PageText(target).contains("name=\"" + anchor + "\"")) << where;
            }
        }
    }
}

TEST(Help, SearchListsPagesHoldingAllWordsAndOpensThem)
{
    const struct
    {
        const char *query;
        const char *page; // expected among the results; nullptr: no result at all
    } cases[] = {
        {"palette", "palette.html"}, {"ENEMIES friends", "userfilter.html"},
        {"macro", "macros.html"},    {"xyzzy", nullptr},
        {"palette xyzzy", nullptr},
    };
    THelpSystem help;
    help.ShowSearch();
    auto *box = help.Window()->findChild<QLineEdit *>("searchBox");
    auto *results = help.Window()->findChild<QListWidget *>("searchResults");
    ASSERT_TRUE(box && results);
    for (const auto &c : cases) {
        box->clear();
        QTest::keyClicks(box, c.query);
        if (!c.page) {
            EXPECT_EQ(results->count(), 0) << c.query;
            continue;
        }
        QListWidgetItem *found = nullptr;
        for (int i = 0; i < results->count(); ++i)
            if (results->item(i)->data(Qt::UserRole).toString() == c.page) found = results->item(i);
        ASSERT_TRUE(found) << c.query;
        EXPECT_FALSE(found->text().isEmpty());
        QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, results->visualItemRect(found).center());
        EXPECT_EQ(ShownPage(help), c.page) << c.query;
    }
}

TEST(Help, F1OpensTheTopicOfWhereTheUserIs)
{
    THelpSystem help;
    help.InstallF1(*qApp);
    QWidget main;
    SetHelpTopic(&main, THelpTopic::MainWindow);
    auto *plain = new QLineEdit(&main);
    QWidget stray; // nothing names its topic
    main.show();

    // Shift+F1 is a macro key and never help.
    QTest::keyClick(plain, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(help.Window(), nullptr);

    QTest::keyClick(&stray, Qt::Key_F1);
    QTRY_COMPARE(ShownPage(help), QString("terminal.html"));

    // An open menu gives its highlighted item's topic, and closes.
    QMenu menu(&main);
    SetHelpTopic(&menu, THelpTopic::FileMenu);
    menu.addAction("&Connect");
    QAction *colours = menu.addAction("Colours...");
    SetHelpTopic(colours, THelpTopic::Palette);
    menu.popup(main.mapToGlobal(QPoint(0, 0)));
    QTRY_VERIFY(menu.isVisible());
    menu.setActiveAction(colours);
    QTest::keyClick(&menu, Qt::Key_F1);
    QTRY_COMPARE(ShownPage(help), QString("palette.html"));
    EXPECT_FALSE(menu.isVisible());
}
