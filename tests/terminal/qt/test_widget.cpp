#include "terminal/qt/ColorTTYWidget.h"
#include "tests/common/Patience.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

namespace {

constexpr QRgb Black = 0xFF000000;
constexpr QRgb White = 0xFFFFFFFF;

QRgb Pal(int i)
{
    return 0xFF000000u | TerminalPalette(i);
}

struct BreakCounter : TColorTTY
{
    int breaks = 0;
    void DoBreak() override { ++breaks; }
};

struct WidgetTest : ::testing::Test
{
    BreakCounter *model = new BreakCounter;
    TColorTTYWidget w{std::unique_ptr<TColorTTY>(model)};
    TColorTTY &t = w.Tty();
    int cw = 0, ch = 0;

    void SetUp() override
    {
        QApplication::setCursorFlashTime(0); // a steady caret for pixel checks
        w.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
        cw = w.CharWidth();
        ch = w.CharHeight();
        ASSERT_GT(cw, 0);
        ASSERT_GT(ch, 0);
        Resize(80, 25);
        t.SetRows(100);
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        t.MoveCursor(0, t.ScreenTop());
        t.ScrollTo(0, t.MaxTop);
        QCoreApplication::sendPostedEvents();
    }
    void Resize(int cols, int rows)
    {
        w.resize(cols * cw + w.verticalScrollBar()->sizeHint().width(), rows * ch);
    }
    // Delivers the posted scroll and track requests, then paints the view afresh.
    QImage Grab()
    {
        QCoreApplication::sendPostedEvents();
        return w.viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }
    // Middle of the left edge of cell (col, row) of the view: its background.
    QRgb CellBg(const QImage &img, int col, int row) { return img.pixel(col * cw, row * ch + ch / 2); }
    // Centre of a full block (0xDB) cell: its text colour.
    QRgb CellFg(const QImage &img, int col, int row)
    {
        return img.pixel(col * cw + cw / 2, row * ch + ch / 2);
    }
    int ScreenRow() const { return t.CursorY - t.Top; }
    QPoint CellPoint(int col, int row) const { return {col * cw + 1, row * ch + ch / 2}; }
};

} // namespace

TEST_F(WidgetTest, MetricsAndLayoutFollowFontAndSize)
{
    w.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 18));
    EXPECT_EQ(std::pair(t.VisibleCols, t.VisibleRows),
              std::pair(w.viewport()->width() / w.CharWidth(), w.viewport()->height() / w.CharHeight()));
    // Narrower than one cell: nothing fits, everything may scroll.
    w.resize(w.verticalScrollBar()->sizeHint().width() + 2, 200);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(t.VisibleCols, 0);
    EXPECT_EQ(t.MaxLeft, t.Cols);
}

TEST_F(WidgetTest, ScrollBarRangeNeverBelowOne)
{
    t.ScrollTo(0, 0);
    t.SetRows(10); // fits entirely in the 25 visible rows; the view does not move
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.verticalScrollBar()->maximum() == 1; }, Patience));
    EXPECT_EQ(w.verticalScrollBar()->minimum(), 0);
    // Dragging to the end of that range shows nothing new.
    w.verticalScrollBar()->setValue(1);
    EXPECT_EQ(t.Top, 0);
    EXPECT_EQ(w.verticalScrollBar()->value(), 0);
}

// Each case writes one row from the default attribute, sets the options and the selection
// of that row, and names cells (column, rows below the written one) with the colour of their
// text (centre of a full block) or background (left edge).
TEST_F(WidgetTest, CellColours)
{
    const QPalette &p = w.palette();
    const QRgb highlight = p.color(QPalette::Highlight).rgb(), base = p.color(QPalette::Base).rgb();
    const TColorTTYOptions on = t.Options & ~OptionBit(coFlashing);
    struct Probe
    {
        int col, dy;
        bool text; // the text's colour, else the background's
        QRgb colour;
    };
    struct Case
    {
        const char *name, *bytes;
        TColorTTYOptions options;
        int selFrom, selTo;
        std::vector<Probe> probes;
    };
    // 0xCF: flash, bright white on blue.
    const TColorTTYOptions flashing = on | OptionBit(coFlashing), plain = on & ~OptionBit(coColors);
    const QRgb text = p.color(QPalette::Text).rgb();
    // clang-format off
    const Case cases[] = {
        {"flash without flashing is a bright background", "\1e\1f\1B \xDB", on, 0, 0,
         {{0, 0, 0, Pal(12)}, {1, 0, 1, Pal(15)}}},
        {"flashing", "\1e\1f\1B \xDB", flashing, 0, 0, {{0, 0, 0, Pal(4)}, {1, 0, 1, Pal(15)}}},
        {"selected: highlight behind the text colour", "\1a\1r\xDB \xDB", on, 1, 3,
         {{0, 0, 1, Pal(1)}, {3, 0, 0, Black}, {1, 0, 0, highlight}, {2, 0, 1, Pal(1)}}},
        {"colours off: system colours, erased cells too", "\1b\1G\xDB ", plain, 0, 0,
         {{0, 0, 1, text}, {1, 0, 0, base}, {5, 1, 0, base}}},
        {"colours back on: the stored ones", "\1b\1G\xDB ", on, 0, 0, {{0, 0, 1, Pal(12)}, {1, 0, 0, Pal(2)}}},
    };
    // clang-format on
    for (const Case &c : cases) {
        t.Write("\r\n\1a\1f");
        const int y = t.CursorY;
        t.Write(c.bytes);
        w.SetOptions(c.options);
        t.SetSelection({c.selFrom, y}, {c.selTo, y});
        const QImage img = Grab();
        for (const Probe &q : c.probes) {
            const int row = y - t.Top + q.dy;
            EXPECT_EQ(q.text ? CellFg(img, q.col, row) : CellBg(img, q.col, row), q.colour)
                << c.name << ", column " << q.col;
        }
    }
}

TEST_F(WidgetTest, FlashingTextBlinksAndSelectedItBlinksAsAHighlightBlock)
{
    const QRgb highlight = w.palette().color(QPalette::Highlight).rgb();
    w.SetOptions(t.Options | OptionBit(coFlashing));
    t.Write("\1e\1f\1B\xDB\xDB");
    const int y = t.CursorY, row = ScreenRow();
    t.SetSelection({1, y}, {2, y});
    QImage img;
    auto phase = [&](QRgb text) {
        return QTest::qWaitFor([&] { return CellFg(img = Grab(), 0, row) == text; }, Patience);
    };
    ASSERT_TRUE(phase(Pal(4))); // hidden: the text takes the background colour
    EXPECT_EQ(CellFg(img, 1, row), highlight);
    ASSERT_TRUE(phase(Pal(15)));
    EXPECT_EQ(CellFg(img, 1, row), Pal(15));
}

TEST_F(WidgetTest, StripsBeyondTheBufferAreFilled)
{
    t.SetRows(10); // rows 10.. of the view lie beyond the buffer
    t.SetCols(40); // and columns 40..
    w.RecalcLayout();
    t.MoveCursor(0, 0);
    t.Write("\1B\1wx");
    QImage img = Grab();
    EXPECT_EQ(CellBg(img, 50, 2), Black);
    EXPECT_EQ(CellBg(img, 5, 15), Black);
    EXPECT_EQ(img.pixel(img.width() - 1, img.height() - 1), Black);
    w.SetOptions(t.Options & ~OptionBit(coColors));
    img = Grab();
    EXPECT_EQ(CellBg(img, 50, 2), w.palette().color(QPalette::Base).rgb());
}

TEST_F(WidgetTest, ScrollingKeys)
{
    Resize(40, 25); // half the columns: horizontal scrolling possible
    ASSERT_EQ(t.MaxLeft, 40);
    t.ScrollTo(20, 0);
    const int page = t.Viewport().SplitUpperRows(), last = t.MaxTop; // pages of the split's history part
    // Key, modifiers, the view origin after it.
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, int, int> steps[] = {
        {Qt::Key_End, Qt::ControlModifier, 20, last},
        {Qt::Key_PageUp, {}, 20, last - page},
        {Qt::Key_Down, Qt::ControlModifier, 20, last - page + 1},
        {Qt::Key_Down, {}, 20, last - page + 1}, // without Ctrl the arrows are the BBS's
        {Qt::Key_Home, {}, 0, last - page + 1},
        {Qt::Key_End, {}, 0, last}, // scrolled back: the newest rows again
        {Qt::Key_End, {}, 40, last},
        {Qt::Key_Left, Qt::ControlModifier, 39, last},
        {Qt::Key_Home, Qt::ControlModifier, 39, 0},
    };
    for (const auto &[key, mods, left, top] : steps) {
        QTest::keyClick(&w, key, mods);
        EXPECT_EQ(std::pair(t.Left, t.Top), std::pair(left, top)) << key;
    }
    EXPECT_EQ(w.verticalScrollBar()->value(), 0);
}

TEST_F(WidgetTest, TheHistoryScrollsAndPaintsAboveTheRing)
{
    t.SetHistoryLimit(50);
    t.MoveCursor(0, t.Rows - 1);
    for (int i = 0; i < 250; ++i) // the blue x becomes history row -2; the oldest rows are gone
        t.Write(i == 149 ? "\1a\1Bx\r\n" : "line\r\n");
    QCoreApplication::sendPostedEvents();
    QTest::keyClick(&w, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(std::tuple(t.Top, w.verticalScrollBar()->minimum(), w.verticalScrollBar()->value()),
              std::tuple(-50, -50, -50));
    t.ScrollTo(0, -2);
    const QImage img = Grab();
    EXPECT_EQ(std::pair(CellBg(img, 0, 0), CellBg(img, 1, 0)), std::pair(Pal(4), Black));
}

TEST_F(WidgetTest, OwnerKeyHandlersAndBreak)
{
    std::vector<int> downs;
    std::vector<char> presses;
    w.OnKeyDown = [&](QKeyEvent *, int &key) {
        downs.push_back(key);
        if (key == Qt::Key_PageUp) key = 0; // the owner keeps this one
    };
    w.OnKeyPress = [&](char &c) {
        presses.push_back(c);
        if (c == 'q') c = 0;
    };
    const int top = t.Top;
    QTest::keyClick(&w, Qt::Key_PageUp);
    EXPECT_EQ(t.Top, top);
    // A shortcut on a character's key does not take it from the BBS; one with Ctrl does.
    QAction letter(&w), ctrlLetter(&w);
    letter.setShortcut(Qt::Key_A);
    ctrlLetter.setShortcut(Qt::CTRL | Qt::Key_Y);
    w.addActions({&letter, &ctrlLetter});
    int fired = 0;
    QObject::connect(&letter, &QAction::triggered, [&] { fired += 1; });
    QObject::connect(&ctrlLetter, &QAction::triggered, [&] { fired += 10; });
    QTest::keyClick(&w, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(fired, 10);
    QTest::keyClick(&w, 'a');
    EXPECT_EQ(fired, 10);
    QTest::keyClick(&w, Qt::Key_Return);
    QTest::keyClick(&w, Qt::Key_Tab); // stays here: a character, not a focus move
    QTest::keyClick(&w, Qt::Key_Delete);
    QTest::keyClick(&w, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&w, Qt::Key_Backspace, Qt::ControlModifier);
    QTest::keyClick(&w, '[');
    QTest::keyClick(&w, Qt::Key_BracketLeft, Qt::ControlModifier);
    EXPECT_EQ(presses, (std::vector<char>{'a', 13, 9, 10, 127, '[', 27}));
    // Keys without a character reach the owner too.
    EXPECT_EQ(std::count(downs.begin(), downs.end(), int(Qt::Key_Delete)), 1);
    EXPECT_TRUE(w.hasFocus());

    // Ctrl+C is character 3: the break hook with coCheckBreak, and not without it.
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(presses.back(), 3);
    EXPECT_EQ(model->breaks, 1);
    w.SetOptions(t.Options & ~OptionBit(coCheckBreak));
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(model->breaks, 1);

    // Any typed character removes the selection, even one the owner swallowed.
    t.SetSelection({0, 1}, {5, 1});
    QTest::keyClick(&w, 'q');
    EXPECT_FALSE(t.Viewport().HasSelection());
    // A key without a character leaves it.
    t.SetSelection({0, 1}, {5, 1});
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_TRUE(t.Viewport().HasSelection());
}

TEST_F(WidgetTest, DragsInBothDirectionsSelectTheSameCellsAndRightClickKeepsThem)
{
    t.Write("hello world");
    const int row = ScreenRow(), y = t.CursorY;
    QWidget *vp = w.viewport();
    auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(vp, Qt::LeftButton, {}, from);
        EXPECT_FALSE(t.Viewport().HasSelection()); // a new press drops the old selection
        QTest::mouseMove(vp, to);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
        return std::pair(t.SelStart, t.SelEnd);
    };
    const auto cells = std::pair(TCellPoint{1, y}, TCellPoint{7, y});
    EXPECT_EQ(drag(CellPoint(1, row), CellPoint(7, row)), cells);
    EXPECT_TRUE(t.AnchorIsStart());
    EXPECT_EQ(drag(CellPoint(7, row), CellPoint(1, row)), cells);
    EXPECT_FALSE(t.AnchorIsStart());
    // A right click keeps the selection for the menu.
    int downs = 0;
    w.OnMouseDown = [&](QMouseEvent *) { ++downs; };
    QTest::mouseClick(vp, Qt::RightButton, {}, CellPoint(10, row));
    EXPECT_EQ(std::pair(downs, std::pair(t.SelStart, t.SelEnd)), std::pair(1, cells));
}

TEST_F(WidgetTest, DoubleClickSelectsWordBeforeOwnerHandlers)
{
    t.Write("see (ftp://host) now");
    const int row = ScreenRow();
    std::string seen;
    std::vector<std::string> order;
    w.OnDblClick = [&] {
        char buf[255];
        t.GetSelTextBuf(buf, sizeof buf);
        seen = buf;
        order.push_back("dbl");
    };
    w.OnMouseDown = [&](QMouseEvent *) { order.push_back("down"); };
    w.OnMouseUp = [&](QMouseEvent *) { order.push_back("up"); };
    // A real double click: press, release, double-click, release.
    const QPoint at = CellPoint(8, row);
    QTest::mousePress(w.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(w.viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(seen, "(ftp://host)");
    EXPECT_EQ(order, (std::vector<std::string>{"down", "up", "dbl", "down", "up"}));
}

TEST_F(WidgetTest, CopyPutsPlainAndColouredText)
{
    t.Write("\1a\1ra\1fb\xC4");
    const int y = t.CursorY;
    t.SetSelection({0, y}, {3, y});
    w.CopyToClipboard();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), QString::fromUtf8("ab\u2500"));
    EXPECT_EQ(data->data(QString::fromLatin1(TColorTTYWidget::ColouredTextMime)),
              QByteArray("\1a\1ra\1fb\xC4", 10));
    EXPECT_FALSE(t.Viewport().HasSelection());

    // A row of spaces copies as one line break; without coColors only plain text is put.
    w.SetOptions(t.Options & ~OptionBit(coColors));
    t.SetSelection({0, y + 1}, {0, y + 2});
    w.CopyToClipboard();
    data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(data->text(), QStringLiteral("\r\n"));
    EXPECT_FALSE(data->hasFormat(QString::fromLatin1(TColorTTYWidget::ColouredTextMime)));
}

TEST_F(WidgetTest, HoldingTheButtonBelowScrollsOneRowPerTickToTheLastPage)
{
    t.ScrollTo(0, t.MaxTop - 6);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.verticalScrollBar()->value() == t.MaxTop - 6; }, Patience));
    std::vector<int> tops;
    QObject::connect(w.verticalScrollBar(), &QScrollBar::valueChanged, [&](int v) { tops.push_back(v); });
    QWidget *vp = w.viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, CellPoint(3, 2));
    QTest::mouseMove(vp, QPoint(10, vp->height() + 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !tops.empty() && tops.back() == t.MaxTop; }, Patience));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(10, vp->height() + 20));
    std::vector<int> expected;
    for (int v = t.MaxTop - 5; v <= t.MaxTop; ++v)
        expected.push_back(v);
    EXPECT_EQ(tops, expected);
    EXPECT_EQ(t.SelStart, (TCellPoint{3, t.MaxTop - 6 + 2}));
    EXPECT_EQ(t.SelEnd, (TCellPoint{0, t.Rows}));
}

TEST_F(WidgetTest, CaretOnTheBaselineWhileFocused)
{
    w.SetOptions(t.Options | OptionBit(coFulltimeCursor));
    w.clearFocus();
    EXPECT_TRUE(w.CaretRect().isEmpty());
    w.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.hasFocus(); }, Patience));
    t.Write("abc"); // output moves the caret with the next paint cycle
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.CaretRect().x() == 3 * cw; }, Patience));
    const QRect caret = w.CaretRect();
    EXPECT_EQ(caret, QRect(3 * cw, ScreenRow() * ch + w.Ascent(), cw, 2));
    QImage img = Grab();
    EXPECT_EQ(img.pixel(caret.x() + 1, caret.y()), White); // black cell inverted
    EXPECT_EQ(img.pixel(caret.x() + 1, caret.y() - 2), Black);
    // Without the option there is no caret even with the focus.
    w.SetOptions(t.Options & ~OptionBit(coFulltimeCursor));
    EXPECT_TRUE(w.CaretRect().isEmpty());
    img = Grab();
    EXPECT_EQ(img.pixel(caret.x() + 1, caret.y()), Black);
}

TEST_F(WidgetTest, BurstOfLinesEndsWithTheLastPageShown)
{
    std::string burst;
    for (int i = 0; i < 300; ++i)
        burst += "line " + std::to_string(i) + "\r\n";
    burst += "\1a\1c\xDB";
    const int before = w.PaintCount();
    t.Write(burst.c_str());
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.verticalScrollBar()->value() == t.MaxTop; }, Patience));
    EXPECT_EQ(t.Top, t.MaxTop);
    EXPECT_LT(w.PaintCount() - before, 10); // one paint per event loop cycle, not per line
    const QImage img = Grab();
    EXPECT_EQ(CellFg(img, 0, ScreenRow()), Pal(6));
}

namespace {

// Horizontal centre of the (light on black) ink in pixel columns [x0, x1) of a band of rows.
double InkCentre(const QImage &img, int x0, int x1, int y0, int y1)
{
    double sum = 0, n = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            const int v = qRed(img.pixel(x, y));
            sum += double(v) * x;
            n += v;
        }
    return n ? sum / n : -1;
}

} // namespace

TEST_F(WidgetTest, GlyphsStayInTheirCellsAlongALongRun)
{
    // The font's advance is not a whole pixel: text drawn as one string would drift.
    t.Write(std::string(80, '|').c_str());
    const int row = ScreenRow();
    for (qreal dpr : {1.0, 1.5, 2.0}) {
        QImage img(QSize(80 * cw, ch * 25) * dpr, QImage::Format_ARGB32);
        img.setDevicePixelRatio(dpr);
        {
            QPainter p(&img);
            w.PaintCells(p, QRect(0, 0, 80 * cw, 25 * ch));
        }
        const int y0 = int(row * ch * dpr), y1 = int((row + 1) * ch * dpr);
        const double first = InkCentre(img, 0, int(cw * dpr), y0, y1);
        ASSERT_GE(first, 0) << dpr;
        for (int col = 1; col < 80; ++col) {
            const int x0 = int(std::lround(col * cw * dpr));
            const double c = InkCentre(img, x0, int(std::lround((col + 1) * cw * dpr)), y0, y1);
            EXPECT_NEAR(c - col * cw * dpr, first, 1.0) << "dpr " << dpr << " column " << col;
        }
    }
}

TEST_F(WidgetTest, BoxDrawingLinesMeetAcrossCells)
{
    // A horizontal line through three cells and a vertical one through three rows.
    t.Write("\xC4\xC4\xC4\r\n\xB3\r\n\xB3");
    const QImage img = Grab();
    const int row = ScreenRow() - 2;
    int lineY = -1;
    for (int y = row * ch; y < (row + 1) * ch; ++y)
        if (img.pixel(cw / 2, y) == White) lineY = y;
    ASSERT_GE(lineY, 0);
    for (int x = 0; x < 3 * cw; ++x)
        EXPECT_EQ(img.pixel(x, lineY), White) << x;
    int lineX = -1;
    for (int x = 0; x < cw; ++x)
        if (img.pixel(x, (row + 1) * ch + ch / 2) == White) lineX = x;
    ASSERT_GE(lineX, 0);
    for (int y = (row + 1) * ch; y < (row + 3) * ch; ++y)
        EXPECT_EQ(img.pixel(lineX, y), White) << y;
}

TEST_F(WidgetTest, MissingGlyphsFallBackToAscii)
{
    // The light face lacks the house sign of byte 0x7F; its ASCII stand-in is '^'.
    QFont light(QStringLiteral("DejaVu Sans"));
    light.setStyleName(QStringLiteral("ExtraLight"));
    light.setPointSize(9);
    if (QRawFont::fromFont(light).supportsCharacter(0x2302u)) GTEST_SKIP() << "no font without U+2302 here";
    w.setFont(light);
    cw = w.CharWidth();
    ch = w.CharHeight();
    t.Write("\x7F ^");
    const QImage img = Grab();
    const int row = ScreenRow();
    const QImage house = img.copy(0, row * ch, cw, ch), caret = img.copy(2 * cw, row * ch, cw, ch);
    EXPECT_EQ(house, caret);
    bool ink = false;
    for (int y = 0; y < ch; ++y)
        for (int x = 0; x < cw; ++x)
            ink = ink || house.pixel(x, y) != Black;
    EXPECT_TRUE(ink);
}

TEST_F(WidgetTest, ScrolledBackTheHistoryStaysWhileTheNewestRowsStayLive)
{
    t.SetHistoryLimit(1000);
    t.MoveCursor(0, t.Rows - 1);
    for (int i = 0; i < 300; ++i)
        t.Write(i == 150 ? "\1a\1Bx\1a\r\n" : "line\r\n"); // a blue x in the history
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.verticalScrollBar()->value() == t.MaxTop; }, Patience));
    w.verticalScrollBar()->setValue(t.Rows - 2 - (299 - 150) - 2); // the x on the third row
    ASSERT_TRUE(t.Viewport().Split());
    const int upper = t.Viewport().UpperRows(), live = t.Viewport().SplitLiveRows();
    const QRect history(0, 0, w.viewport()->width(), upper * ch);
    const QImage before = Grab();
    ASSERT_EQ(CellBg(before, 0, 2), Pal(4));
    std::string more;
    for (int i = 0; i < 40; ++i)
        more += "more\r\n";
    t.Write((more + "\1a\1Bnewest").c_str()); // the newest row on blue
    ASSERT_TRUE(QTest::qWaitFor([&] { return CellBg(Grab(), 0, upper + live) == Pal(4); }, Patience));
    const QImage after = Grab();
    EXPECT_EQ(after.copy(history), before.copy(history));
    EXPECT_NE(CellBg(after, 0, upper), Black); // the handle between them
    QTest::keyClick(&w, 'q');                  // typing goes back to the newest rows
    EXPECT_EQ(std::pair(t.Viewport().Split(), t.Top), std::pair(false, t.MaxTop));
}
