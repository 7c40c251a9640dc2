// The colour edit controls on screen: TCustomColourEdit paints the text model in the edit
// colours and takes keys, mouse and focus; TColourMemo is the multi-line control.
#pragma once

#include "colouredit/ColEdit2.h"
#include "colouredit/qt/ColourClipboard.h"
#include "colouredit/qt/ColourTextAccessible.h"

#include <QBasicTimer>
#include <QColor>
#include <QRawFont>
#include <QWidget>

#include <functional>

class TCustomColourEdit : public QWidget, public TAbstractColourEdit
{
    Q_OBJECT

public:
    enum TBorderStyle { bsNone, bsSingle };
    static constexpr int InsetX = 4, InsetY = 3; // text area inside a single border

    explicit TCustomColourEdit(QWidget *parent = nullptr, int capacity = DefaultCapacity);
    ~TCustomColourEdit() override;

    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    bool WantReturns() const { return FWantReturns; }
    void SetWantReturns(bool value) { FWantReturns = value; }
    bool WantTabs() const { return FWantTabs; }
    void SetWantTabs(bool value) { FWantTabs = value; }
    // Background outside the text and in the border margin.
    QColor Color() const { return FColor; }
    void SetColor(const QColor &colour);

    // Owner's handlers, run after the control's own handling (key-down before it; clearing
    // `key` to 0 keeps the control from acting). The character is a code page 437 byte.
    std::function<void(QKeyEvent *event, int &key)> OnKeyDown;
    std::function<void(char ch)> OnKeyPress;

    // Metrics: every visible character takes one cell of CharWidth pixels.
    int LineHeight() const { return FLineH; }
    int CharWidth() const { return FCharW; }
    // The text index nearest to a client pixel.
    int PositionFromPixel(QPoint p) const;
    // Caret rectangle in client pixels; empty when no caret is shown.
    QRect CaretRect() const;
    // The cell of text index i in client pixels (where it is drawn, shown or not).
    QRect IndexRect(int i) const;

    void Update() override;

protected:
    void paintEvent(QPaintEvent *e) override;
    bool event(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void changeEvent(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

private:
    void FontChanged();
    QRect TextArea() const;
    void ScrollCaretIntoView();
    void PlaceCaret();
    int LineBreaksBetween(int from, int to) const;

    TBorderStyle FBorderStyle = bsSingle;
    bool FWantReturns = false, FWantTabs = false;
    bool FMouseSelecting = false;
    QColor FColor;
    int FCharW = 8, FLineH = 16, FAscent = 12;
    QRawFont FGlyphFont;
    quint32 FGlyph[256] = {};
    bool FCaretShown = false, FCaretOn = true;
    QBasicTimer FCaretBlink;
    TQtColourClipboard FQtClipboard;
    TQtBeeper FQtBeeper;
    TColourTextEvents FAccessEvents;
};

class TColourMemo : public TCustomColourEdit
{
    Q_OBJECT

public:
    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

    explicit TColourMemo(QWidget *parent = nullptr);

    // Stored only: the memo shows no scroll bars.
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value) { FScrollBars = value; }

private:
    TScrollStyle FScrollBars = ssNone;
};
