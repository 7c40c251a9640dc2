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

    // The two 16 x 16 pictures as painted (after the colour replacement).
    const QImage &Picture(bool connected) const { return connected ? FOn : FOff; }
    // The pictures as drawn, before the ground and ring take the palette's button colours.
    static QImage Bitmap(bool connected);

    QSize sizeHint() const override { return QSize(16, 16); }

protected:
    void paintEvent(QPaintEvent *e) override;
    void changeEvent(QEvent *e) override;

private:
    void Recolour();

    bool FConnected = false;
    QImage FOn, FOff;
};
