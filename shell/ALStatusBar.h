// The status line: one text panel, with room on the right for the connection light.
#pragma once

#include <QFrame>

class QLabel;

class TALStatusBar : public QFrame
{
    Q_OBJECT

public:
    static constexpr int LineHeight = 21;

    explicit TALStatusBar(QWidget *parent = nullptr);

    QLabel *Panel() const { return FPanel; }
    // A child placed at the right end (the connection light).
    void SetLight(QWidget *light);
    // A short word at the right end of the panel that outlasts the panel's messages
    // (capture on); in red when it is an alert; empty hides it.
    void SetIndicator(const QString &text, bool alert = true);
    QString Indicator() const;

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void StatusLineResize();

    QLabel *FPanel;
    QWidget *FLight = nullptr;
    QLabel *FIndicator = nullptr;
};
