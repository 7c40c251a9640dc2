// The user's mouse on the terminal: selecting (a drag, a double-click, the auto-scroll it
// starts) and the handle of a split view.
#include "terminal/ColorTTYSelection.h"
#include "terminal/qt/ColorTTYWidget.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int AutoScrollMs = 50;

// The handle of a split view is under pixel row y.
bool OnHandle(const TColorTTY &t, qreal y, int charHeight)
{
    return t.Viewport().ShowsSplit() && charHeight > 0 && y >= 0 &&
           int(y) / charHeight == t.Viewport().UpperRows();
}

} // namespace

void TColorTTYWidget::MouseDown(QMouseEvent *e, bool doubleClick)
{
    TColorTTY &t = *FModel;
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = e->position().toPoint();
    TTTYViewport &v = t.Viewport();
    const TCellPoint cell = SelPointFromPixel(t, pos.x(), pos.y(), FCharW, FCharH);
    v.SetMouseCell(cell);
    v.SetTracking(true);
    v.SetAnchorCell(cell);
    if (t.Viewport().HasSelection()) viewport()->update();
    if (!doubleClick) v.SetSelectionPoints(cell, cell);
    t.UpdateCaret();
    FTimer.stop();
    FTimer.start(AutoScrollMs, this);
    FModel->Viewport().SetTimerActive(true);
    FLastMouse = pos;
    if (OnMouseDown) OnMouseDown(e);
}

void TColorTTYWidget::mousePressEvent(QMouseEvent *e)
{
    const TColorTTY &t = *FModel;
    if (e->button() == Qt::LeftButton && OnHandle(t, e->position().y(), FCharH)) {
        FDraggingHandle = true;
        return;
    }
    if (ToHost(e->position(), e->modifiers(), TMouseAction::Press, e->button())) {
        setFocus(Qt::MouseFocusReason);
        return;
    }
    if (e->button() == Qt::RightButton) {
        // The right button opens the owner's menu: its Copy needs the selection kept.
        setFocus(Qt::MouseFocusReason);
        if (OnMouseDown) OnMouseDown(e);
        return;
    }
    MouseDown(e, false);
}

void TColorTTYWidget::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (ToHost(e->position(), e->modifiers(), TMouseAction::Press, e->button())) return;
    if (e->button() == Qt::RightButton) {
        mousePressEvent(e);
        return;
    }
    SelectWordAtMouse(*FModel);
    viewport()->update();
    if (OnDblClick) OnDblClick();
    MouseDown(e, true);
}

void TColorTTYWidget::mouseMoveEvent(QMouseEvent *e)
{
    TColorTTY &t = *FModel;
    if (FDraggingHandle) {
        // The handle's row follows the mouse: the rows below it stay live.
        const int v = int(std::floor(e->position().y() / std::max(1, FCharH)));
        const int live = t.VisibleRows - 1 - std::clamp(v, 0, t.VisibleRows - 1);
        if (live != t.Viewport().SplitLiveRows() && live >= 1) {
            t.Viewport().SetLiveRows(std::min(live, t.VisibleRows - 1 - TTTYViewport::MinUpperRows));
            UpdateScrollBar();
            viewport()->update();
        }
        return;
    }
    viewport()->setCursor(OnHandle(t, e->position().y(), FCharH) ? Qt::SplitVCursor : Qt::IBeamCursor);
    if (ToHost(e->position(), e->modifiers(), TMouseAction::Move, e->buttons())) return;
    const QPoint pos = e->position().toPoint();
    if (t.Tracking) {
        const int bottom = SelectionDragBottom(t, viewport()->height(), FCharH);
        SelectToMouse(t, SelPointFromPixel(t, pos.x(), std::min(pos.y(), bottom - 1), FCharW, FCharH));
        viewport()->update();
    }
    FLastMouse = pos;
    if (OnMouseMove) OnMouseMove(e);
}

void TColorTTYWidget::mouseReleaseEvent(QMouseEvent *e)
{
    TColorTTY &t = *FModel;
    if (std::exchange(FDraggingHandle, false)) return;
    if (ToHost(e->position(), e->modifiers(), TMouseAction::Release, e->button())) return;
    if (t.Tracking || e->button() != Qt::RightButton) {
        FTimer.stop();
        t.Viewport().SetTracking(false);
        const bool blink = t.HasOption(coFlashing) && !t.FlashRect.IsEmpty();
        if (blink) FTimer.start(BlinkMs, this);
        t.Viewport().SetTimerActive(blink);
    }
    if (OnMouseUp) OnMouseUp(e);
}
