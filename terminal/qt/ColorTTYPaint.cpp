// The terminal widget's paint event: the cells, the caret over them, and the blink timer
// started or stopped by what is in view.
#include "terminal/qt/ColorTTYWidget.h"

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
