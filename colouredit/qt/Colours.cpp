#include "colouredit/qt/Colours.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

#include <algorithm>

namespace {

constexpr int MoveSettleMs = 300;

} // namespace

TColourPalette::TColourPalette(const std::string &iniFileName, QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint), FSettings(iniFileName), FOwner(owner)
{
    setWindowTitle(QStringLiteral("Colours"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);
    ColourGrid = new TColourGrid(this);
    ColourGrid->setObjectName(QStringLiteral("ColourGrid"));
    ColourGrid->setProperty(HelpTopicProperty, int(HelpContext));
    ColourGrid->SetCtl3D(false);
    ColourGrid->OnMouseUp = [this](Qt::MouseButton button) { ColourGridMouseUp(button); };
    ColourGrid->OnKeyDown = [this](QKeyEvent *e, int &key) { ColourGridKey(e, key); };
    ColourGrid->OnClick = [this] {
        ShowOwner();
        if (OnColourSelect) OnColourSelect(ColourGrid->Selection(), FChoseForeground);
    };
    SetShape(go8x2);
    MoveTo(QPoint(292, 127));
    FMoveSettled.setSingleShot(true);
    FMoveSettled.setInterval(MoveSettleMs);
    connect(&FMoveSettled, &QTimer::timeout, this, &TColourPalette::ShowOwner);
    QCoreApplication::instance()->installEventFilter(this);
}

TColourPalette::~TColourPalette()
{
    OnColourSelect = nullptr;
    OnPaletteClose = nullptr;
    FMoveSettled.stop();
}

QSize TColourPalette::ShapeSize(TGridOrdering shape)
{
    switch (shape) {
    case go4x4:
        return {104, 104};
    case go2x8:
        return {48, 200};
    default:
        return {200, 48};
    }
}

void TColourPalette::SetShape(TGridOrdering shape)
{
    const QSize size = ShapeSize(shape);
    ColourGrid->SetGridOrdering(shape);
    ColourGrid->setGeometry(QRect(QPoint(0, 0), size));
    FSnapping = true;
    resize(size);
    FSnapping = false;
}

void TColourPalette::SetColours(int attribute)
{
    ColourGrid->SetForegroundIndex(attribute & 15);
    ColourGrid->SetBackgroundIndex((attribute & 255) >> 4);
}

void TColourPalette::LoadSettings()
{
    const TPaletteSettings settings = FSettings.Load();
    InUse = settings.InUse;
    if (settings.Shape >= go8x2 && settings.Shape <= go2x8) SetShape(TGridOrdering(settings.Shape));
    if (FOwner && FOwner->isWindow()) {
        OffsetX = settings.Left;
        OffsetY = settings.Top;
        MoveTo(QPoint(std::max(FOwner->x() + OffsetX, 0), std::max(FOwner->y() + OffsetY, 0)));
    }
}

bool TColourPalette::SaveSettings()
{
    return FSettings.Save({InUse, int(ColourGrid->GridOrdering()), OffsetX, OffsetY});
}

void TColourPalette::Reposition()
{
    if (FOwner && FOwner->isWindow()) MoveTo(FOwner->pos() + QPoint(OffsetX, OffsetY));
}

void TColourPalette::MoveTo(QPoint p)
{
    FPlaced = p;
    move(p);
}

TGridOrdering TColourPalette::FormCanResize(int &w, int &h)
{
    const QSize frame = frameGeometry().size() - size();
    const TGridOrdering shape = h * 3 < w * 2 ? go8x2 : h * 2 >= w * 3 ? go2x8 : go4x4;
    const QSize size = ShapeSize(shape);
    ColourGrid->SetGridOrdering(shape);
    ColourGrid->setGeometry(QRect(QPoint(0, 0), size));
    w = size.width() + frame.width();
    h = size.height() + frame.height();
    return shape;
}

void TColourPalette::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    if (FSnapping) return;
    // The user dragged the frame: snap to the nearest of the three shapes.
    const QSize frame = frameGeometry().size() - size();
    int w = width() + frame.width(), h = height() + frame.height();
    FormCanResize(w, h);
    const QSize client(w - frame.width(), h - frame.height());
    if (client != size()) {
        FSnapping = true;
        resize(client);
        FSnapping = false;
    }
    if (isVisible()) FMoveSettled.start();
}

void TColourPalette::moveEvent(QMoveEvent *e)
{
    QWidget::moveEvent(e);
    // Only a move by the user changes the offset; the palette's own moves keep it.
    if (!isVisible() || !FOwner || !FOwner->isWindow() || pos() == FPlaced) return;
    OffsetX = x() - FOwner->x();
    OffsetY = y() - FOwner->y();
    FPlaced = pos();
    FMoveSettled.start();
}

void TColourPalette::ShowOwner()
{
    if (!FOwner || !FOwner->isWindow()) return;
    FOwner->show();
    FOwner->raise();
    FOwner->activateWindow();
    // Above the owner even where no window manager keeps a tool window on top.
    if (isVisible()) raise();
}

void TColourPalette::TakeKeyboard()
{
    if (!isVisible()) show();
    raise();
    activateWindow();
    ColourGrid->setFocus(Qt::OtherFocusReason);
}

void TColourPalette::ColourGridKey(QKeyEvent *e, int &key)
{
    if (key == Qt::Key_Escape) {
        key = 0;
        ShowOwner();
        return;
    }
    const bool keypad = e->modifiers() & Qt::KeypadModifier;
    if (key == Qt::Key_F || (keypad && key == Qt::Key_6)) FChoseForeground = true;
    if (key == Qt::Key_B || (keypad && key == Qt::Key_2)) FChoseForeground = false;
}

void TColourPalette::ColourGridMouseUp(Qt::MouseButton button)
{
    ShowOwner();
    if (OnColourSelect) OnColourSelect(ColourGrid->Selection(), button != Qt::RightButton);
}

bool TColourPalette::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == QCoreApplication::instance() && e->type() == QEvent::Quit) FQuitting = true;
    return false;
}

void TColourPalette::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    FQuitting = false; // a quit that was called off
    ShowOwner();
}

void TColourPalette::mouseReleaseEvent(QMouseEvent *)
{
    ShowOwner();
}

void TColourPalette::closeEvent(QCloseEvent *e)
{
    // Only the user's close says the palette is not wanted; the windows the application
    // closes when it quits, or with a hidden owner, keep the setting.
    if (!FQuitting && FOwner && FOwner->isVisible()) {
        InUse = false;
        if (OnPaletteClose) OnPaletteClose();
    }
    e->accept(); // hidden, not destroyed
}
