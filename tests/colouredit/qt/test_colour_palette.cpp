#include "colouredit/qt/Colours.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <vector>

TEST(ColourGrid, CellsOfEveryOrderingSnapAndRoundTrip)
{
    struct Row
    {
        TGridOrdering ordering;
        QSize asked, snapped;
        int index;
        QPoint topLeft;
    };
    const std::vector<Row> rows = {
        {go16x1, {170, 13}, {160, 13}, 15, {150, 0}},
        {go8x2, {203, 49}, {200, 48}, 9, {25, 24}},
        {go4x4, {105, 106}, {104, 104}, 6, {52, 26}},
        {go2x8, {49, 205}, {48, 200}, 9, {24, 25}}, // down the columns
        {go1x16, {30, 170}, {30, 160}, 15, {0, 150}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(int(r.ordering));
        TColourGrid g;
        g.show();
        g.SetGridOrdering(r.ordering);
        g.resize(r.asked);
        EXPECT_EQ(g.size(), r.snapped);
        EXPECT_EQ(g.CellRect(r.index).topLeft(), r.topLeft);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(g.CellAt(g.CellRect(i).center().x(), g.CellRect(i).center().y()), i);
        EXPECT_EQ(g.CellAt(-5, 9999), r.ordering == go2x8 ? 7 : 16 - g.GridColumns()); // clamped
    }
}

TEST(ColourGrid, LabelsAndTheirContrast)
{
    // fg, bg, fg enabled, bg enabled -> label of cells 3 and 5.
    const std::vector<std::tuple<int, int, bool, bool, QString, QString>> rows = {
        {3, 5, true, true, "FG", "BG"}, {3, 3, true, true, "FB", ""},   {3, 3, true, false, "FG", ""},
        {3, 3, false, true, "BG", ""},  {5, 3, true, true, "BG", "FG"}, {3, 5, false, false, "", ""},
    };
    for (const auto &[fg, bg, fgOn, bgOn, at3, at5] : rows) {
        TColourGrid g;
        g.SetForegroundIndex(fg);
        g.SetBackgroundIndex(bg);
        g.SetForegroundEnabled(fgOn);
        g.SetBackgroundEnabled(bgOn);
        EXPECT_EQ(g.Label(3), at3) << fg << bg << fgOn << bgOn;
        EXPECT_EQ(g.Label(5), at5) << fg << bg << fgOn << bgOn;
    }
    EXPECT_EQ(TColourGrid::ContrastColour(QColor(192, 192, 192)), QColor(0, 0, 0));
    EXPECT_EQ(TColourGrid::ContrastColour(QColor(128, 0, 128)), QColor(0, 255, 0));
    EXPECT_EQ(TColourGrid::ContrastColour(QColor(0, 127, 255)), QColor(255, 255, 0));
}

TEST(ColourGrid, KeysMoveTheSelectionAndChoose)
{
    struct Row
    {
        TGridOrdering ordering;
        int from;
        int key;
        int to;
    };
    const std::vector<Row> rows = {
        {go4x4, 15, Qt::Key_Right, 0}, {go4x4, 0, Qt::Key_Left, 15}, {go4x4, 3, Qt::Key_Space, 4},
        {go4x4, 0, Qt::Key_Up, 15},    {go4x4, 1, Qt::Key_Up, 12},   {go4x4, 6, Qt::Key_Up, 2},
        {go4x4, 14, Qt::Key_Down, 3},  {go4x4, 15, Qt::Key_Down, 0}, {go4x4, 6, Qt::Key_Down, 10},
        {go4x4, 6, Qt::Key_Home, 0},   {go4x4, 6, Qt::Key_End, 15},  {go2x8, 4, Qt::Key_Right, 5},
        {go2x8, 4, Qt::Key_Down, 6},   {go2x8, 1, Qt::Key_Up, 14},   {go16x1, 5, Qt::Key_Up, 4},
        {go16x1, 5, Qt::Key_Down, 6},  {go1x16, 5, Qt::Key_Down, 6}, {go8x2, 9, Qt::Key_Up, 1},
    };
    for (const Row &r : rows) {
        TColourGrid g;
        g.SetGridOrdering(r.ordering);
        g.SetSelection(r.from);
        QTest::keyClick(&g, Qt::Key(r.key));
        EXPECT_EQ(g.Selection(), r.to) << r.ordering << " " << r.from << " " << r.key;
    }

    TColourGrid g;
    int changes = 0, clicks = 0;
    g.OnChange = [&] { ++changes; };
    g.OnClick = [&] { ++clicks; };
    g.SetSelection(6);
    QTest::keyClick(&g, Qt::Key_F);
    QTest::keyClick(&g, Qt::Key_Right);
    QTest::keyClick(&g, Qt::Key_2, Qt::KeypadModifier); // the keypad's 2 chooses the background
    EXPECT_EQ(std::make_tuple(g.ForegroundIndex(), g.BackgroundIndex(), changes, clicks),
              std::make_tuple(6, 7, 2, 2));

    // A disabled colour ignores assignments unless a choice may enable it.
    g.SetForegroundEnabled(false);
    g.SetForegroundIndex(9);
    QTest::keyClick(&g, Qt::Key_F);
    EXPECT_EQ(std::make_tuple(g.ForegroundIndex(), changes), std::make_tuple(6, 2));
    g.SetClickEnablesColor(true);
    QTest::keyClick(&g, Qt::Key_F);
    EXPECT_TRUE(g.ForegroundEnabled());
    EXPECT_EQ(std::make_tuple(g.ForegroundIndex(), changes), std::make_tuple(7, 3));
}

TEST(ColourGrid, RightButtonDragCarriesTheBackground)
{
    TColourGrid g;
    g.SetGridOrdering(go8x2);
    g.setGeometry(0, 0, 200, 48);
    g.SetForegroundIndex(3);
    QTest::mousePress(&g, Qt::RightButton, {}, g.CellRect(1).center());
    QMouseEvent move(QEvent::MouseMove, g.CellRect(10).center(), g.mapToGlobal(g.CellRect(10).center()),
                     Qt::NoButton, Qt::RightButton, {});
    QApplication::sendEvent(&g, &move);
    EXPECT_EQ(std::make_tuple(g.BackgroundIndex(), g.Selection(), g.Label(10)),
              std::make_tuple(10, 10, QString("BG")));
    QTest::mouseRelease(&g, Qt::RightButton, {}, g.CellRect(10).center());
    EXPECT_EQ(g.ForegroundIndex(), 3);
}

struct PaletteTest : ::testing::Test
{
    QTemporaryDir Dir;
    std::string Ini = (Dir.path() + "/winmarlet.ini").toStdString();
    QWidget Owner;

    PaletteTest()
    {
        Owner.setGeometry(30, 200, 400, 300);
        Owner.show();
    }
    void WriteIni(const std::string &text) { std::ofstream(Ini) << text; }
};

TEST_F(PaletteTest, ShapesFromTheSettingsAndTheUsersDrag)
{
    // Shape value -> client size; 0 and 4 keep the form's 8 x 2 layout.
    const std::vector<std::tuple<const char *, QSize>> rows = {
        {"", {48, 200}},          {"Shape=1\n", {200, 48}}, {"Shape=2\n", {104, 104}},
        {"Shape=3\n", {48, 200}}, {"Shape=0\n", {200, 48}}, {"Shape=4\n", {200, 48}},
    };
    for (const auto &[keys, size] : rows) {
        WriteIni(std::string("[ColourPalette]\n") + keys);
        TColourPalette p(Ini, &Owner);
        p.LoadSettings();
        EXPECT_EQ(p.size(), size) << keys;
        EXPECT_EQ(p.ColourGrid->size(), size) << keys;
        EXPECT_TRUE(p.InUse);
        EXPECT_EQ(p.pos(), QPoint(0, Owner.y() + 50)) << keys; // 50 left of the owner, clamped at 0
    }
    TColourPalette p(Ini, &Owner);
    p.SetColours(0x80);
    EXPECT_EQ(std::make_pair(p.ColourGrid->ForegroundIndex(), p.ColourGrid->BackgroundIndex()),
              std::make_pair(0, 8));
    EXPECT_EQ(p.ColourGrid->property("helpContext").toInt(), 6);
    // The user's drag: the window and its grid snap to the nearest shape.
    p.show();
    const std::vector<std::tuple<QSize, TGridOrdering, QSize>> drags = {
        {{300, 60}, go8x2, {200, 48}}, {{60, 300}, go2x8, {48, 200}}, {{120, 120}, go4x4, {104, 104}}};
    for (const auto &[asked, shape, size] : drags) {
        p.resize(asked);
        EXPECT_EQ(p.ColourGrid->GridOrdering(), shape) << asked.width() << "x" << asked.height();
        EXPECT_EQ(p.size(), size) << asked.width() << "x" << asked.height();
        EXPECT_EQ(p.ColourGrid->size(), size);
    }
}

TEST_F(PaletteTest, OffsetFollowsTheUserAndIsSaved)
{
    WriteIni("[Other]\nKeep=1\n");
    {
        TColourPalette p(Ini, &Owner);
        p.LoadSettings();
        p.show();
        p.move(Owner.pos() + QPoint(420, 15)); // the user drags it
        QTRY_COMPARE(QPoint(p.OffsetX, p.OffsetY), QPoint(420, 15));
        Owner.move(90, 120);
        p.Reposition();
        EXPECT_EQ(p.pos(), QPoint(510, 135));
        p.resize(104, 104);
        p.close();
        EXPECT_FALSE(p.InUse);
        ASSERT_TRUE(p.SaveSettings());
    }
    TIniFile ini(Ini);
    EXPECT_EQ(ini.ReadString("ColourPalette", "In Use", ""), "0");
    EXPECT_EQ(ini.ReadInteger("ColourPalette", "Shape", -1), 2);
    EXPECT_EQ(ini.ReadInteger("Other", "Keep", 0), 1);
    TColourPalette again(Ini, &Owner);
    again.LoadSettings();
    EXPECT_EQ(std::make_tuple(again.OffsetX, again.OffsetY, again.pos(), again.size(), again.InUse),
              std::make_tuple(420, 15, QPoint(510, 135), QSize(104, 104), false));
}

TEST_F(PaletteTest, ClicksAndKeysReportTheColourAndCloseTellsTheOwner)
{
    TColourPalette p(Ini, &Owner);
    p.LoadSettings(); // 2 x 8: colour i at column i / 8, row i % 8
    std::vector<std::pair<int, bool>> chosen;
    int closed = 0;
    p.OnColourSelect = [&](int c, bool fg) { chosen.emplace_back(c, fg); };
    p.OnPaletteClose = [&] { ++closed; };
    p.show();
    TColourGrid *g = p.ColourGrid;
    QTest::mouseClick(g, Qt::LeftButton, {}, g->CellRect(9).center());
    QTest::mouseClick(g, Qt::RightButton, {}, g->CellRect(2).center());
    QTest::mouseClick(g, Qt::MiddleButton, {}, g->CellRect(5).center());
    EXPECT_EQ(chosen, (std::vector<std::pair<int, bool>>{{9, true}, {2, false}, {5, true}}));
    EXPECT_EQ(std::make_pair(g->ForegroundIndex(), g->BackgroundIndex()), std::make_pair(9, 5));
    p.close();
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(p.isVisible());
    // Closed along with its owner (the program ending): still wanted next time.
    p.InUse = true;
    p.show();
    Owner.hide();
    p.close();
    EXPECT_EQ(std::make_pair(closed, p.InUse), std::make_pair(1, true));

    // The keyboard chooses too, and the choice is said in words.
    Owner.show();
    p.show();
    chosen.clear();
    p.SetColours(0x4F);
    EXPECT_EQ(p.ColourGrid->accessibleDescription(),
              QStringLiteral("foreground white, background dark blue"));
    p.TakeKeyboard();
    ASSERT_TRUE(QTest::qWaitFor([&] { return p.ColourGrid->hasFocus(); }, 2000));
    for (Qt::Key key : {Qt::Key_Home, Qt::Key_Right, Qt::Key_F, Qt::Key_End, Qt::Key_B})
        QTest::keyClick(p.ColourGrid, key);
    EXPECT_EQ(chosen, (std::vector<std::pair<int, bool>>{{1, true}, {15, false}}));
    EXPECT_EQ(p.ColourGrid->ChoiceText(), QStringLiteral("foreground dark red, background white"));
    QTest::keyClick(p.ColourGrid, Qt::Key_Escape); // the keys go back to the owner
    EXPECT_TRUE(QTest::qWaitFor([&] { return Owner.isActiveWindow(); }, 2000));
}
