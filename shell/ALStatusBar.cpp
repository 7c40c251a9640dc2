#include "shell/ALStatusBar.h"

#include <QLabel>
#include <QResizeEvent>

TALStatusBar::TALStatusBar(QWidget *parent)
    : QFrame(parent), FPanel(new QLabel(QStringLiteral("Readout"), this))
{
    setFixedHeight(LineHeight);
    FPanel->setFrameShape(QFrame::Panel);
    FPanel->setFrameShadow(QFrame::Sunken);
    FPanel->setTextFormat(Qt::PlainText);
    FPanel->setObjectName(QStringLiteral("StatusPanel"));
    setAccessibleName(tr("Status line"));
    FPanel->setGeometry(0, 1, 589, LineHeight - 2);
}

void TALStatusBar::SetLight(QWidget *light)
{
    FLight = light;
    light->setParent(this);
    StatusLineResize();
}

void TALStatusBar::resizeEvent(QResizeEvent *e)
{
    QFrame::resizeEvent(e);
    StatusLineResize();
}

void TALStatusBar::StatusLineResize()
{
    const int w = width();
    FPanel->setGeometry(0, 1, qMax(0, w - 42), LineHeight - 2);
    if (FLight) FLight->move(w - 32, (LineHeight - FLight->height()) / 2);
    if (FIndicator) {
        FIndicator->adjustSize();
        FIndicator->move(FPanel->width() - FIndicator->width() - 4,
                         (FPanel->height() - FIndicator->height()) / 2);
    }
}

void TALStatusBar::SetIndicator(const QString &text, bool alert)
{
    if (!FIndicator) {
        FIndicator = new QLabel(FPanel);
        FIndicator->setObjectName(QStringLiteral("StatusIndicator"));
        FIndicator->setTextFormat(Qt::PlainText);
    }
    FIndicator->setStyleSheet(alert ? QStringLiteral("color: #b00000; font-weight: bold;") : QString());
    FIndicator->setText(text);
    FIndicator->setVisible(!text.isEmpty());
    StatusLineResize();
}

QString TALStatusBar::Indicator() const
{
    return FIndicator && !FIndicator->isHidden() ? FIndicator->text() : QString();
}
