// File "Open ANSI Art...": a window that shows an art file as the art scene's viewers do,
// in the VGA font, with its SAUCE description and what was wrong with the file above it.
// Rows are chosen with the mouse (Shift extends); the picture or the chosen rows export as
// PNG, and as an .ans file.
#pragma once

#include "terminal/AnsiArt.h"

#include <QMainWindow>
#include <QWidget>

#include <memory>

class QLabel;
class QScrollArea;
class TCp437BitmapFont;

// The canvas drawn row by row; only the rows in view are drawn.
class TArtCanvasView : public QWidget
{
    Q_OBJECT

public:
    TArtCanvasView(const TArtFile &art, QWidget *parent = nullptr);
    // Rows first..last (inclusive) are chosen; -1 when none.
    int FirstChosen() const { return FChosenFrom < 0 ? -1 : std::min(FChosenFrom, FChosenTo); }
    int LastChosen() const { return FChosenFrom < 0 ? -1 : std::max(FChosenFrom, FChosenTo); }
    void Choose(int from, int to);
    // Rows first..first+count-1 as a picture, one font pixel a pixel.
    QImage Render(int first, int count) const;
    int CellWidth() const;
    int CellHeight() const;

signals:
    void ChoiceChanged();

protected:
    void paintEvent(QPaintEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    int RowAt(int y) const;
    const TArtFile &FArt;
    std::shared_ptr<const TCp437BitmapFont> FFont;
    int FChosenFrom = -1, FChosenTo = -1;
};

class TArtViewer : public QMainWindow
{
    Q_OBJECT

public:
    // Reads the file; a file that cannot be read gives a viewer whose Error() says why.
    explicit TArtViewer(const QString &path, QWidget *parent = nullptr);
    ~TArtViewer() override;
    const QString &Error() const { return FError; }
    const TArtFile &Art() const { return *FArt; }
    TArtCanvasView *Canvas() const { return FView; }
    QString Description() const;
    // The exports, of the chosen rows or else the whole picture; false with the reason.
    bool ExportPng(const QString &path, QString *error) const;
    bool ExportAnsi(const QString &path, QString *error) const;

private:
    void AskExport(bool png);
    void ChosenRange(int &first, int &count) const;

    QString FPath, FError;
    std::unique_ptr<TArtFile> FArt;
    QLabel *FHeader = nullptr;
    QScrollArea *FScroll = nullptr;
    TArtCanvasView *FView = nullptr;
};

// Most rows one PNG export holds (a taller picture is exported in its first rows, with a word).
constexpr int MaxPngRows = 4096;
