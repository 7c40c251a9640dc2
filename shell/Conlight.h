// The connection light on the status line: a lamp, lit while connected.
#pragma once

#include <QImage>
#include <QWidget>

class TConnectionLight : public QWidget
{
    Q_OBJECT

public:
    explicit TConnectionLight(QWidget *parent = nullptr);

    bool Connected() const { return FConnected; }
    void SetConnected(bool connected);

    // The two pictures as painted (after the colour replacement), one image pixel to a
    // device pixel: 16 x 16 at a device pixel ratio of 1, 24 x 24 at 1.5, 32 x 32 at 2.
    const QImage &Picture(bool connected) const { return connected ? FOn : FOff; }
    // The pictures as drawn, size x size, before the ground and ring take the palette's
    // button colours.
    static QImage Bitmap(bool connected, int size = 16);

    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void Recolour(int size);

    bool FConnected = false;
    QImage FOn, FOff;
};
