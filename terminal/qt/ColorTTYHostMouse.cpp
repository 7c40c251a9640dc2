// The mouse of a host that asked for it (ANSI-BBS): presses, releases, moves and the wheel
// go to the BBS as reports; with Shift held they stay the user's.
#include "terminal/qt/ColorTTYWidget.h"

#include <QMouseEvent>
#include <QWheelEvent>

bool TColorTTYWidget::ToHost(const QPointF &pos, Qt::KeyboardModifiers mods, TMouseAction action,
                             Qt::MouseButtons button)
{
    TColorTTY &t = *FModel;
    if (t.AnsiBbs().Cterm().Mouse == TMouseTracking::Off || t.Tracking || (mods & Qt::ShiftModifier) ||
        FCharW <= 0 || FCharH <= 0 || pos.x() < 0 || pos.y() < 0)
        return false;
    const int b = button & Qt::LeftButton     ? 0
                  : button & Qt::MiddleButton ? 1
                  : button & Qt::RightButton  ? 2
                                              : 3;
    TShiftState shift = 0;
    if (mods & Qt::AltModifier) shift |= ssAlt;
    if (mods & Qt::ControlModifier) shift |= ssCtrl;
    const int row = ViewRows(t).RowAt(int(pos.y()) / FCharH);
    if (row == TViewRows::Handle) return false;
    const QPoint cell(int(pos.x()) / FCharW + t.Left, row - t.ScreenTop());
    if (action == TMouseAction::Move && cell == FHostCell) return true;
    if (!t.AnsiBbs().ReportMouse(action, b, cell.x(), cell.y(), shift)) return false;
    FHostCell = cell;
    return true;
}

void TColorTTYWidget::wheelEvent(QWheelEvent *e)
{
    const int dy = e->angleDelta().y();
    if (dy != 0 && ToHost(e->position(), e->modifiers(),
                          dy > 0 ? TMouseAction::WheelUp : TMouseAction::WheelDown, Qt::NoButton)) {
        e->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(e);
}
