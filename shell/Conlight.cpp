#include "shell/Conlight.h"

#include <QEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int Size = 16;
constexpr QRgb Ground = 0xff0000ff;    // blue
constexpr QRgb RingLight = 0xff00ffff; // cyan, lower right
constexpr QRgb RingDark = 0xff000080;  // navy, upper left
constexpr QRgb Outline = 0xff000000;
constexpr QRgb LampOn = 0xffff0000;
constexpr QRgb LampOff = 0xff800000;
constexpr QRgb Spot = 0xffff8080;

// The cell of the 16-unit grid that pixel (x, y) of a size x size picture lies in.
QPoint Cell(int x, int y, int size)
{
    return QPoint((2 * x + 1) * Size / (2 * size), (2 * y + 1) * Size / (2 * size));
}

} // namespace

// The lamp is drawn on a 16-unit grid; a larger picture samples the same geometry at
// each of its pixels, so it stays sharp at any device pixel ratio instead of being scaled.
QImage TConnectionLight::Bitmap(bool connected, int size)
{
    size = std::max(size, 1);
    QImage img(size, size, QImage::Format_RGB32);
    const double unit = double(Size) / size, c = 7.5;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double ux = (x + 0.5) * unit - 0.5, uy = (y + 0.5) * unit - 0.5;
            const double d = std::hypot(ux - c, uy - c);
            QRgb px = Ground;
            if (d < 3.5)
                px = connected ? LampOn : LampOff;
            else if (d < 4.5)
                px = Outline;
            else if (d < 7.5)
                px = ux + uy < 15 ? RingDark : RingLight;
            const QPoint cell = Cell(x, y, size);
            if (connected && (cell == QPoint(5, 6) || cell == QPoint(6, 5) || cell == QPoint(6, 7) ||
                              cell == QPoint(8, 5)))
                px = Spot;
            img.setPixel(x, y, px);
        }
    }
    return img;
}

TConnectionLight::TConnectionLight(QWidget *parent) : QWidget(parent)
{
    setFixedSize(Size, Size);
    Recolour(Size);
    setAccessibleName(tr("Connection"));
    setAccessibleDescription(tr("not connected"));
}

// The ground and the ring take the button colours of the palette, so the lamp sits in the
// status line like a sunk-in light; the highlight dots stay white.
void TConnectionLight::Recolour(int size)
{
    QImage on = Bitmap(true, size), off = Bitmap(false, size);
    const QRgb from[3] = {Ground, RingLight, RingDark};
    const QRgb to[3] = {palette().color(QPalette::Button).rgb(), palette().color(QPalette::Light).rgb(),
                        palette().color(QPalette::Dark).rgb()};
    for (QImage *img : {&on, &off}) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QPoint cell = Cell(x, y, size);
                if (cell == QPoint(6, 6) || cell == QPoint(7, 5)) {
                    img->setPixel(x, y, 0xffffffff);
                    continue;
                }
                for (int i = 0; i < 3; ++i)
                    if (img->pixel(x, y) == from[i]) {
                        img->setPixel(x, y, to[i]);
                        break;
                    }
            }
    }
    FOn = on;
    FOff = off;
    update();
}

void TConnectionLight::SetConnected(bool connected)
{
    if (connected == FConnected) return;
    FConnected = connected;
    setAccessibleDescription(connected ? tr("connected") : tr("not connected"));
    update();
}

void TConnectionLight::paintEvent(QPaintEvent *)
{
    const int device = qRound(Size * devicePixelRatioF());
    if (FOn.width() != device) Recolour(device);
    QPainter p(this);
    p.drawImage(rect(), Picture(FConnected));
}

void TConnectionLight::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) Recolour(FOn.width());
}
