#include "colouredit/OffLine.h"
#include "colouredit/qt/ColourEditWidget.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace std::string_literals;

TEST(ColourMemo, PaintsEachCellInTheEditColours)
{
    TColourMemo memo;
    memo.SetBorderStyle(TCustomColourEdit::bsNone);
    memo.SetColor(QColor(10, 20, 30));
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(20);
    memo.setFont(f);
    memo.resize(400, 200);
    // 14 (cyan) ab, 9 (red) c, 0x29 (red on dark green) d, then 7 (grey) e on the next line.
    memo.SetText("ab\x01rc\x01Gd\n\x01"
                 "ae");
    memo.SetCaret(2, 1); // b selected
    const QImage img = memo.grab().toImage();
    const int cw = memo.CharWidth(), lh = memo.LineHeight();
    const QRgb highlight = memo.palette().color(QPalette::Highlight).rgb();
    // cell column, line, text colour (0: no glyph), background at the cell's corner
    const std::vector<std::tuple<int, int, QRgb, QRgb>> cells = {
        {0, 0, 0xFF00FFFF, 0xFF000000}, {1, 0, 0xFF00FFFF, highlight}, {2, 0, 0xFFFF0000, 0xFF000000},
        {3, 0, 0xFFFF0000, 0xFF008000}, {9, 0, 0, 0xFF008000},         {0, 1, 0xFF808080, 0xFF000000},
        {9, 1, 0, 0xFF000000},          {0, 3, 0, qRgb(10, 20, 30)},
    };
    for (const auto &[col, line, fg, bg] : cells) {
        const QRect cell(col * cw, line * lh, cw, lh);
        EXPECT_EQ(img.pixel(cell.topLeft()), bg) << col << "," << line;
        int inked = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                inked += img.pixel(x, y) == fg;
        if (fg) {
            EXPECT_GT(inked, 3) << col << "," << line;
        }
    }
}

TEST(ColourClipboard, ColouredBlockIsCutAtAWholeCodeAndPlainTextGoesThroughCodePage437)
{
    const std::vector<std::tuple<std::string, size_t, std::string>> rows = {
        {"abc", 3, "abc"},        {"ab\0cd"s, 9, "ab"},       {"xx\x01r", 3, "xx"},
        {"x\x01ry", 3, "x\x01r"}, {"\x01r\x01g", 3, "\x01r"}, {"\x01\x01zz", 1, ""},
    };
    for (const auto &[block, max, text] : rows)
        EXPECT_EQ(CutColouredText(block, max), text) << block;

    // Over the 32767-byte paste buffer the block ends before the code the cut would split.
    TColourMemo memo;
    for (const auto &[xs, expected] : {std::pair{32765, 32765}, std::pair{32766, 32766}}) {
        memo.SetText("");
        auto *data = new QMimeData;
        data->setData(ColouredTextMimeType, QByteArray(size_t(xs), 'x') + "\x01ryz" + '\0');
        QGuiApplication::clipboard()->setMimeData(data);
        QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(memo.Text(), std::string(size_t(expected), 'x')) << xs;
    }

    // Plain text goes through code page 437.
    memo.SetText("a\x01rb\nc\x82");
    memo.SelectAll();
    QTest::keyClick(&memo, Qt::Key_C, Qt::ControlModifier);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), QString::fromUtf8("ab\r\ncé"));
    const QByteArray coloured = data->data(ColouredTextMimeType);
    EXPECT_EQ(coloured.toStdString(), ColourCodesBetween(TColourAttr(~14), 14) + "a\x01rb\nc\x82" + '\0');

    QGuiApplication::clipboard()->setText(QString::fromUtf8("x ½\r\ny"));
    memo.SetText("");
    QTest::keyClick(&memo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(memo.Text(), "x \xAB\ny");
}

TEST(ColourMemo, CaretLineStaysInViewAndMouseFindsPositions)
{
    TColourMemo memo;
    memo.resize(200, 3 * memo.LineHeight() + 2 * TCustomColourEdit::InsetY);
    memo.show();
    memo.setFocus();
    QTRY_VERIFY(memo.hasFocus());
    memo.SetText("l1\nl2\nl3\nl4\nl5");
    // Down to the fourth line: the view scrolls so that line is the last one shown.
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(&memo, Qt::Key_Down);
    EXPECT_EQ(memo.TopIndex(), 3);
    EXPECT_TRUE(memo.rect().contains(memo.CaretRect())) << memo.CaretRect().y();
    QTest::keyClick(&memo, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(memo.TopIndex(), 0);
    // A click nearer the right half of the second character puts the caret after it.
    const int y = TCustomColourEdit::InsetY + memo.LineHeight() + 1;
    QTest::mouseClick(&memo, Qt::LeftButton, {},
                      QPoint(TCustomColourEdit::InsetX + memo.CharWidth() * 2 - 1, y));
    EXPECT_EQ(memo.Caret(), 5);
    QTest::mouseClick(&memo, Qt::LeftButton, {}, QPoint(TCustomColourEdit::InsetX + 1, y));
    EXPECT_EQ(memo.Caret(), 3);
}

TEST(ColourMemo, IsEditableTextForScreenReadersWithoutItsColourCodes)
{
    QWidget form;
    auto *label = new QLabel(QStringLiteral("&Text:"), &form);
    auto *memo = new TColourMemo(&form);
    label->setBuddy(memo);
    memo->SetText("ab\x01rcd\ne");
    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(memo);
    ASSERT_TRUE(a && a->textInterface() && a->editableTextInterface());
    QAccessibleTextInterface *t = a->textInterface();
    EXPECT_EQ(a->role(), QAccessible::EditableText);
    EXPECT_EQ(a->text(QAccessible::Name), QStringLiteral("Text:"));
    EXPECT_EQ(t->text(0, t->characterCount()), QStringLiteral("abcd\ne"));
    t->setSelection(0, 1, 3); // "bc": the code between b and c takes no offset
    EXPECT_EQ(memo->SelStart(), 1);
    EXPECT_EQ(memo->SelEnd(), 5);
    EXPECT_EQ(t->cursorPosition(), 3);
    int s = 0, e = 0;
    EXPECT_TRUE(t->attributes(2, &s, &e).contains(QStringLiteral("fg-color-name:red")));
    EXPECT_EQ(std::make_pair(s, e), std::make_pair(2, 6));
    a->editableTextInterface()->replaceText(0, 2, QStringLiteral("xy"));
    EXPECT_EQ(memo->Text(), "\x01rxycd\ne"); // as typing over a selection: the colour after it
    a->editableTextInterface()->deleteText(5, 6);
    EXPECT_EQ(t->text(0, t->characterCount()), QStringLiteral("xycd\n"));
}

TEST(OffLineEditAccess, AnOpenEditIsTheTerminalsEditableChild)
{
    TColorTTYWidget terminal;
    TWhoList who;
    TOffLineEdit edit(terminal.Tty(), who);
    auto *access = new TOffLineEditAccess(edit, &terminal);
    QAccessibleInterface *term = QAccessible::queryAccessibleInterface(&terminal);
    const int before = term->childCount();
    edit.Open(ekLine, 0xF8); // a password of up to 8 characters
    access->Opened();
    ASSERT_EQ(term->childCount(), before + 1);
    QAccessibleInterface *child = terminal.EditAccessible();
    ASSERT_TRUE(child);
    EXPECT_GE(term->indexOfChild(child), 0);
    EXPECT_EQ(child->role(), QAccessible::EditableText);
    EXPECT_EQ(child->text(QAccessible::Name), QStringLiteral("Password"));
    EXPECT_TRUE(child->state().passwordEdit);
    for (char c : std::string("pw"))
        edit.KeyPress(uint8_t(c));
    EXPECT_EQ(child->textInterface()->text(0, 2), QStringLiteral(".."));
    EXPECT_EQ(child->textInterface()->cursorPosition(), 2);
    access->Closed();
    EXPECT_EQ(term->childCount(), before);
}
