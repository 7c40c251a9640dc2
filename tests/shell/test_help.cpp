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

TEST(Help, EveryContextAndEveryInternalLinkLeadsToAPageWithATitle)
{
    THelpSystem help;
    for (const THelpTopic topic : {THelpTopic::None, THelpTopic(1)}) { // no page of its own
        help.ShowContext(topic);
        EXPECT_EQ(ShownPage(help), "index.html") << int(topic);
    }
    help.Quit();
    EXPECT_EQ(help.Window(), nullptr);

    const auto resolves = [](const QString &from, const QString &link) {
        const QString target = link.section('#', 0, 0).isEmpty() ? from : link.section('#', 0, 0),
                      anchor = link.section('#', 1), text = PageText(target);
        const std::string where = (from + " -> " + link).toStdString();
        EXPECT_TRUE(target.endsWith(".css") ? !text.isEmpty()
                                            : text.contains(QRegularExpression("<title>[^<]+</title>")))
            << where;
        if (!anchor.isEmpty()) {
            EXPECT_TRUE(text.contains("name=\"" + anchor + "\"")) << where;
        }
    };
    for (const THelpContext &c : THelpSystem::HelpContexts())
        resolves(QStringLiteral("context ") + QString::number(int(c.Topic)), QString::fromLatin1(c.Page));
    const QStringList pages = THelpWindow::Pages();
    ASSERT_GE(pages.size(), 13);
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    for (const QString &page : pages) {
        resolves(page, page);
        for (const auto &m : href.globalMatch(PageText(page)))
            if (!m.captured(1).contains(':')) resolves(page, m.captured(1)); // not an address outside
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
