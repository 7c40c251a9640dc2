#include "shell/Conlight.h"

#include <QEvent>
#include <QPainter>

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

} // namespace

QImage TConnectionLight::Bitmap(bool connected)
{
    QImage img(Size, Size, QImage::Format_RGB32);
    const double c = 7.5;
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            const double d = std::hypot(x - c, y - c);
            QRgb px = Ground;
            if (d < 3.5)
                px = connected ? LampOn : LampOff;
            else if (d < 4.5)
                px = Outline;
            else if (d < 7.5)
                px = x + y < 15 ? RingDark : RingLight;
            img.setPixel(x, y, px);
        }
    }
    if (connected) {
        img.setPixel(5, 6, Spot);
        img.setPixel(6, 5, Spot);
        img.setPixel(6, 7, Spot);
        img.setPixel(8, 5, Spot);
    }
    return img;
}

TConnectionLight::TConnectionLight(QWidget *parent) : QWidget(parent)
{
    setFixedSize(Size, Size);
    Recolour();
}

// The ground and the ring take the button colours of the palette, so the lamp sits in the
// status line like a sunk-in light; the highlight dots stay white.
void TConnectionLight::Recolour()
{
    QImage on = Bitmap(true), off = Bitmap(false);
    const QRgb from[3] = {on.pixel(0, 0), on.pixel(12, 12), on.pixel(4, 4)};
    const QRgb to[3] = {palette().color(QPalette::Button).rgb(), palette().color(QPalette::Light).rgb(),
                        palette().color(QPalette::Dark).rgb()};
    for (QImage *img : {&on, &off}) {
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x)
                for (int i = 0; i < 3; ++i)
                    if (img->pixel(x, y) == from[i]) {
                        img->setPixel(x, y, to[i]);
                        break;
                    }
        img->setPixel(6, 6, 0xffffffff);
        img->setPixel(7, 5, 0xffffffff);
    }
    FOn = on;
    FOff = off;
    update();
}

void TConnectionLight::SetConnected(bool connected)
{
    if (connected == FConnected) return;
    FConnected = connected;
    update();
}

void TConnectionLight::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Whole-pixel scaling keeps the little lamp sharp on high-density screens.
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(rect(), Picture(FConnected));
}

void TConnectionLight::changeEvent(QEvent *e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) Recolour();
}
