// The terminal widget's paint event: the cells, the caret over them, and the blink timer
// started or stopped by what is in view.
#include "terminal/qt/ColorTTYWidget.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

void TColorTTYWidget::paintEvent(QPaintEvent *e)
{
    if (FPainter.UsesBitmapFont() && FPainter.BitmapDpr() != devicePixelRatioF())
        FontChanged(); // on another screen now
    ++FPaints;
    FLastPaint.restart();
    TColorTTY &t = *FModel;
    {
        QPainter p(viewport());
        PaintCells(p, e->rect());
        const QRect caret = CaretRect();
        if (FCaretOn && !caret.isEmpty() && caret.intersects(e->rect())) {
            // Like a system caret: the pixels under it are inverted.
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(caret, Qt::white);
        }
    }
    FPaintNs = FLastPaint.nsecsElapsed();
    if (OnPainted) OnPainted(e->rect());
    ScheduleSettle(e->region());
    if (!t.HasOption(coFlashing) || t.BrightBackgrounds() || FCharW <= 0) {
        t.Viewport().SetFlashRect({});
        if (FTimer.isActive() && !t.Tracking) { // iCE colours came on: nothing blinks
            FTimer.stop();
            t.Viewport().SetTimerActive(false);
        }
        return;
    }
    t.Viewport().SetFlashRect(FPainter.FlashRect(t));
    if (t.Tracking) return;
    if (!t.FlashRect.IsEmpty() && !FTimer.isActive()) {
        FTimer.start(BlinkMs, this);
        t.Viewport().SetTimerActive(true);
    } else if (t.FlashRect.IsEmpty() && FTimer.isActive()) {
        FTimer.stop();
        t.Viewport().SetTimerActive(false);
    }
}

// Qt's X11 backing store makes a round trip to the X server before it paints over pixels it
// handed to the server through shared memory since its last round trip, and an echo's cell
// always lies under the caret the previous paint drew. So after a paint while typing, one
// pixel of it away from where the next echoes land is painted again a little later: the round
// trip is taken then, and what is left pending no longer overlaps the next echo's cells.
void TColorTTYWidget::ScheduleSettle(const QRegion &painted)
{
    // Not at once: the echo's pixels go to the screen and its watchers first, with no other
    // work of ours competing for the cores; keys come tens of milliseconds apart.
    constexpr int SettleMs = 3;
    static const bool x11 = QGuiApplication::platformName() == QLatin1String("xcb");
    if (!x11 || FSettling || !Typing()) return;
    const QRect cursor = CellRect({FModel->CursorX, FModel->CursorY});
    if (cursor.isEmpty()) return;
    const int w = viewport()->width();
    // the rest of the cursor's row, and the row below it (a line broken or wrapped)
    const QRegion next =
        QRegion(cursor.x(), cursor.y(), w - cursor.x(), FCharH) + QRegion(0, cursor.y() + FCharH, w, FCharH);
    const QRegion away = painted - next;
    if (away.isEmpty()) return;
    FSettleRect = QRect(away.begin()->topLeft(), QSize(1, 1));
    FSettleTimer.start(SettleMs, this);
}
