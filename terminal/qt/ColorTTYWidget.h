// The colour terminal on screen: paints a TColorTTY, shows its caret, blinks flashing
// cells, scrolls, selects with the mouse and copies to the clipboard.
#pragma once

#include "terminal/ColorTTY.h"
#include "terminal/ColorTTYSelection.h"
#include "terminal/PsfFont.h"
#include "terminal/ScrollbackSearch.h"
#include "terminal/qt/TTYPainter.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QBitmap>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QPixmap>
#include <QRawFont>
#include <QRegion>

#include <functional>
#include <memory>
#include <vector>

class QAccessibleInterface;
class QMimeData;
class TTerminalSpeech;

// Scroll codes of the scroll step (scroll bar and scrolling keys).
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scThumbPosition, scTop, scBottom };

class TColorTTYWidget : public QAbstractScrollArea, public TTTYView
{
    Q_OBJECT

public:
    // The clipboard format of coloured text (colour codes kept), NUL-terminated bytes.
    static constexpr const char *ColouredTextMime = ColouredTextMimeType;

    explicit TColorTTYWidget(QWidget *parent = nullptr);
    // Shows a model of the caller's own kind (one that overrides the hooks).
    explicit TColorTTYWidget(std::unique_ptr<TColorTTY> model, QWidget *parent = nullptr);
    ~TColorTTYWidget() override;

    TColorTTY &Tty() { return *FModel; }
    const TColorTTY &Tty() const { return *FModel; }

    // Output and options, for owners that need nothing else of the model.
    void Write(const char *text) { FModel->Write(text); }
    // What screen readers are told: announcements of output, the review line, messages.
    TTerminalSpeech &Speech() const { return *FSpeechPtr; }
    // Light text on dark backgrounds, every cell at a contrast of at least 4.5:1.
    void SetHighContrast(bool on);
    bool IsHighContrast() const { return FPainter.IsHighContrast(); }
    // Counts changes of the cells and the view, so the accessible text knows when to rebuild.
    unsigned TextGeneration() const { return FGeneration; }
    // The accessible object of an edit open in the terminal (the offline editor), shown as
    // the terminal's child while it is set; the owner keeps it.
    void SetEditAccessible(QAccessibleInterface *child) { FEditChild = child; }
    QAccessibleInterface *EditAccessible() const { return FEditChild; }
    TColorTTYOptions Options() const { return FModel->Options; }
    // Stores the options and repaints (the model's setter alone repaints nothing).
    void SetOptions(TColorTTYOptions options);

    // Draws every cell with a console bitmap font (the IBM PC look of "VGA 8x16") at `zoom`
    // times its size, each font pixel a whole number of screen pixels; a null font goes
    // back to the widget's QFont.
    void SetBitmapFont(std::shared_ptr<const TCp437BitmapFont> font, int zoom = 1);
    bool UsesBitmapFont() const { return FPainter.UsesBitmapFont(); }

    // Cell metrics in pixels, 0 until a font has been measured.
    int CharWidth() const { return FCharW; }
    int CharHeight() const { return FCharH; }
    int Ascent() const { return FAscentPx; }

    // Re-reads the size of the client area in cells and updates the scroll bar.
    void RecalcLayout();
    // One step of the scroll bar or the scrolling keys; `pos` is used by scThumbPosition.
    void ScrollStep(Qt::Orientation direction, TScrollCode code, int pos = 0);
    // Puts the selection on the clipboard (plain text, and coloured text with coColors),
    // then removes it.
    void CopyToClipboard();
    // The two clipboard texts of the selection, as CopyToClipboard puts them.
    QMimeData *SelectionMimeData() const;

    // Owner's handlers, each run after the control's own handling of the event (key-down
    // before it: the owner may clear `key` to 0 to keep the control from acting on it).
    // `key` is a Qt::Key; the key-press character is a code page 437 byte.
    std::function<void(QKeyEvent *event, int &key)> OnKeyDown;
    std::function<void(char &ch)> OnKeyPress;
    std::function<void(QMouseEvent *event)> OnMouseDown, OnMouseMove, OnMouseUp;
    std::function<void()> OnDblClick;
    // Runs after each paint with the area painted (benchmarks time what reaches the screen).
    std::function<void(const QRect &area)> OnPainted;

    // Paints the cells under `clip` (client pixels) with `p`; what paintEvent does.
    void PaintCells(QPainter &p, const QRect &clip) { FPainter.Paint(p, *FModel, clip, palette()); }
    // Tints the hits of `search` over the cells, `current` stronger (a Len of 0: none);
    // nullptr removes the tints. The search must live while it is shown.
    void SetHighlights(const TScrollbackSearch *search, TSearchHit current);
    // Paint events handled so far (benchmarks count them).
    int PaintCount() const { return FPaints; }
    // The caret rectangle in client pixels, or an empty one when no caret is shown.
    QRect CaretRect() const;

    QSize sizeHint() const override;

    // TTTYView.
    void InvalidateCells(int x1, int x2, int y, bool immediately) override;
    void InvalidateAll(bool immediately) override;
    void ViewMoved(int oldLeft, int oldTop, int newLeft, int newTop) override;
    void TopRenumbered() override;
    void OutputPaused() override;
    void FrameWanted() override;
    void Beep() override;
    void UpdateCaret() override;
    void StopTimer() override;

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    // When the host asked for the mouse, the event goes to it (with Shift held it stays the
    // user's: selecting, the menu); true when it went.
    bool ToHost(const QPointF &pos, Qt::KeyboardModifiers mods, TMouseAction action, Qt::MouseButtons button);
    QPoint FHostCell{-1, -1}; // where the mouse was last reported: moves within a cell are not
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void timerEvent(QTimerEvent *e) override;

private:
    void FontChanged();
    void SetMetrics(int charWidth, int charHeight, int ascent, int overhang);
    static constexpr int BlinkMs = 500;
    // For this long after a key, what comes is painted at once (the echo).
    static constexpr int TypingMs = 250;
    bool Typing() const { return FLastKey.isValid() && FLastKey.elapsed() < TypingMs; }
    void UpdateScrollBar();
    void ScrollBarMoved(int value);
    void MouseDown(QMouseEvent *e, bool doubleClick);
    void SyncCaret();
    // Lazy repaints: collected and handed to the paint cycle at most once a frame, so a
    // flood of output costs a few paints rather than one per line.
    void Dirty(const QRect &r);
    void ScheduleFlush();
    void Flush();
    // The cell in client pixels, or an empty rectangle when it is out of view.
    QRect CellRect(TCellPoint cell) const;
    // After a paint while typing: one pixel of it painted again shortly after, away from
    // where the next echo lands (why: beside its definition).
    void ScheduleSettle(const QRegion &painted);

    std::unique_ptr<TColorTTY> FModel;
    std::unique_ptr<TTerminalSpeech> FSpeechPtr;
    QAccessibleInterface *FEditChild = nullptr;
    unsigned FGeneration = 0;
    int FCharW = 0, FCharH = 0, FAscentPx = 0, FOverhangPx = 0;
    QFont FMeasuredFont;
    bool FMeasured = false;

    QBasicTimer FTimer;       // blink (500 ms) or selection auto-scroll (50 ms)
    QBasicTimer FCaretBlink;  // the caret's own on/off phase
    QBasicTimer FFlushTimer;  // hands collected repaints to the paint cycle
    QBasicTimer FSettleTimer; // the idle repaint after an echo
    QRect FSettleRect;
    bool FSettling = false;
    QElapsedTimer FLastPaint;
    qint64 FPaintNs = 0;    // how long the last paint took
    QElapsedTimer FLastKey; // the user is typing: the echo is not held back for a frame
    QRect FDirtyRect;
    bool FDirtyAll = false;
    bool FBarDirty = false;
    bool FCaretOn = true;
    bool FCaretShown = false; // focused with coFulltimeCursor
    TCellPoint FCaretCell;
    QPoint FLastMouse;
    bool FSettingBar = false;
    bool FDraggingHandle = false; // the split's handle follows the mouse
    int FPaints = 0;

    TTTYPainter FPainter;
};
