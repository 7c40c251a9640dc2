// The terminal widget as a screen reader gets it through Qt's accessibility interfaces:
// its role, text, caret, colours and scroll value, and the review keys. Announcements
// travel only while a screen reader listens: tests/e2e/screen_reader.py hears them on the
// real AT-SPI bus.
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct AccessibleTest : ::testing::Test
{
    std::unique_ptr<TColorTTYWidget> w;
    QAccessibleInterface *a = nullptr;
    QAccessibleTextInterface *text = nullptr;
    std::string typed; // what reached the owner

    void SetUp() override
    {
        w = std::make_unique<TColorTTYWidget>();
        w->OnKeyPress = [this](char &c) { typed += c; };
        w->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
        w->resize(80 * w->CharWidth() + w->verticalScrollBar()->sizeHint().width(), 10 * w->CharHeight());
        w->Tty().SetRows(40);
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        w->Tty().MoveCursor(0, w->Tty().ScreenTop());
        a = QAccessible::queryAccessibleInterface(w.get());
        ASSERT_TRUE(a);
        text = a->textInterface();
        ASSERT_TRUE(text);
    }
};

TEST_F(AccessibleTest, TheTerminalIsTextWithItsCaretColoursAndScrollPosition)
{
    w->Write("\x01gHello\x01w world\r\n\xc9\xcd\xbb\r\n> ");
    EXPECT_EQ(a->role(), QAccessible::Terminal);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Terminal"));
    EXPECT_EQ(text->text(0, text->characterCount()), QStringLiteral("Hello world\n╔═╗\n> "));
    EXPECT_EQ(text->cursorPosition(), text->characterCount());
    int s = 0, e = 0;
    EXPECT_EQ(text->textAtOffset(7, QAccessible::WordBoundary, &s, &e), QStringLiteral("world"));
    EXPECT_EQ(text->textAtOffset(13, QAccessible::LineBoundary, &s, &e), QStringLiteral("╔═╗\n"));
    EXPECT_EQ(text->textBeforeOffset(13, QAccessible::LineBoundary, &s, &e), QStringLiteral("Hello world\n"));
    const QString attrs = text->attributes(1, &s, &e);
    EXPECT_TRUE(attrs.contains(QStringLiteral("color:rgb(0,255,0)"))) << attrs.toStdString();
    EXPECT_TRUE(attrs.contains(QStringLiteral("fg-color-name:green"))) << attrs.toStdString();
    EXPECT_EQ(std::make_pair(s, e), std::make_pair(0, 5));
    QAccessibleValueInterface *value = a->valueInterface();
    ASSERT_TRUE(value);
    EXPECT_EQ(value->maximumValue().toInt(), w->Tty().MaxTop);
    value->setCurrentValue(3);
    EXPECT_EQ(w->Tty().Top, 3);
    EXPECT_EQ(w->verticalScrollBar()->value(), 3);
}

TEST_F(AccessibleTest, ReviewKeysSpeakTheLinesWithoutMovingTheCursorOrSendingKeys)
{
    w->Write("one\r\n\r\nthree\r\n> ");
    const int cursor = w->Tty().CursorY;
    const struct
    {
        Qt::Key Key;
        const char *Said;
    } steps[] = {
        {Qt::Key_Up, "three"},   {Qt::Key_Up, "blank"},
        {Qt::Key_Up, "one"},     {Qt::Key_Up, "one"}, // the top of the text
        {Qt::Key_Down, "blank"},
    };
    for (const auto &step : steps) {
        QTest::keyClick(w.get(), step.Key, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(w->Speech().ReviewText(), QString::fromLatin1(step.Said));
    }
    EXPECT_EQ(w->Speech().ReviewRow(), cursor - 2);
    EXPECT_EQ(typed, "");
    EXPECT_EQ(w->Tty().CursorY, cursor);
    QTest::keyClick(w.get(), Qt::Key_A); // typing returns the review to the cursor
    QTest::keyClick(w.get(), Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w->Speech().ReviewText(), QStringLiteral("three"));
    EXPECT_EQ(typed, "a");
}

} // namespace
