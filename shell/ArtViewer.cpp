#include "shell/ArtViewer.h"

#include "config/IniFile.h"
#include "shell/HelpSystem.h"
#include "shell/PlainText.h"
#include "terminal/Cp437.h"
#include "terminal/PsfFont.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

QString Text437(const std::string &s)
{
    return QString::fromStdString(cp437::ToUtf8(s));
}

QRgb Colour(int index)
{
    return 0xFF000000u | TerminalPalette(index);
}

} // namespace

TArtCanvasView::TArtCanvasView(const TArtFile &art, QWidget *parent)
    : QWidget(parent), FArt(art), FFont(VgaFont())
{
    setObjectName(QStringLiteral("ArtCanvas"));
    setAccessibleName(tr("Picture"));
    setFixedSize(art.Canvas.Width() * CellWidth(), std::max(1, art.Canvas.Rows()) * CellHeight());
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TArtCanvasView::CellWidth() const
{
    return FFont ? FFont->Width() : 8;
}

int TArtCanvasView::CellHeight() const
{
    return FFont ? FFont->Height() : 16;
}

QImage TArtCanvasView::Render(int first, int count) const
{
    const TArtCanvas &c = FArt.Canvas;
    const int cw = CellWidth(), ch = CellHeight();
    QImage img(c.Width() * cw, std::max(1, count) * ch, QImage::Format_RGB32);
    img.fill(Colour(0));
    QPainter text; // without the bitmap font: the glyphs through a monospace font
    if (!FFont) {
        text.begin(&img);
        QFont f(QStringLiteral("DejaVu Sans Mono"));
        f.setPixelSize(ch - 2);
        text.setFont(f);
    }
    for (int r = 0; r < count && first + r < c.Rows(); ++r) {
        const uint8_t *chars = c.RowChars(first + r), *attrs = c.RowAttrs(first + r);
        for (int x = 0; x < c.Width(); ++x) {
            const uint8_t a = attrs[x];
            const QRgb fg = Colour(a & 15), bg = Colour(FArt.IceColours ? a >> 4 : a >> 4 & 7);
            if (!FFont) {
                text.fillRect(x * cw, r * ch, cw, ch, QColor(bg));
                text.setPen(QColor(fg));
                text.drawText(QRect(x * cw, r * ch, cw, ch), Qt::AlignCenter,
                              QString(QChar(char16_t(cp437::ToUnicode(chars[x])))));
                continue;
            }
            for (int y = 0; y < ch; ++y) {
                auto *line = reinterpret_cast<QRgb *>(img.scanLine(r * ch + y)) + x * cw;
                for (int px = 0; px < cw; ++px)
                    line[px] = FFont->Pixel(chars[x], px, y) ? fg : bg;
            }
        }
    }
    return img;
}

void TArtCanvasView::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    const int ch = CellHeight();
    const int first = std::max(0, e->rect().top() / ch);
    const int last = std::min(FArt.Canvas.Rows() - 1, e->rect().bottom() / ch);
    p.fillRect(e->rect(), Qt::black);
    if (last < first) return;
    p.drawImage(QPoint(0, first * ch), Render(first, last - first + 1));
    if (FChosenFrom >= 0) {
        const int a = std::max(first, FirstChosen()), b = std::min(last, LastChosen());
        if (a <= b) p.fillRect(QRect(0, a * ch, width(), (b - a + 1) * ch), QColor(80, 140, 255, 90));
    }
}

int TArtCanvasView::RowAt(int y) const
{
    return std::clamp(y / CellHeight(), 0, std::max(0, FArt.Canvas.Rows() - 1));
}

void TArtCanvasView::Choose(int from, int to)
{
    FChosenFrom = from;
    FChosenTo = to;
    update();
    emit ChoiceChanged();
}

void TArtCanvasView::mousePressEvent(QMouseEvent *e)
{
    const int row = RowAt(int(e->position().y()));
    if (e->button() != Qt::LeftButton) return;
    if ((e->modifiers() & Qt::ShiftModifier) && FChosenFrom >= 0)
        Choose(FChosenFrom, row);
    else if (FChosenFrom >= 0 && FirstChosen() == row && LastChosen() == row)
        Choose(-1, -1); // a click on the one chosen row lets it go
    else
        Choose(row, row);
}

void TArtCanvasView::mouseMoveEvent(QMouseEvent *e)
{
    if ((e->buttons() & Qt::LeftButton) && FChosenFrom >= 0)
        Choose(FChosenFrom, RowAt(int(e->position().y())));
}

TArtViewer::TArtViewer(const QString &path, QWidget *parent) : QMainWindow(parent), FPath(path)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("ArtViewer"));
    SetHelpTopic(this, THelpTopic::ArtViewer);
    setWindowTitle(tr("%1 - ANSI Art").arg(QFileInfo(path).fileName()));
    const std::optional<std::string> bytes = ReadWholeFile(path.toLocal8Bit().toStdString());
    if (!bytes) {
        FError = tr("Cannot read %1: %2.").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        FArt = std::make_unique<TArtFile>();
    } else {
        FArt = std::make_unique<TArtFile>(ReadArt(*bytes));
    }

    QMenu *file = menuBar()->addMenu(tr("&File"));
    QAction *png = file->addAction(tr("Export as &PNG..."), this, [this] { AskExport(true); });
    png->setObjectName(QStringLiteral("ExportPngItem"));
    png->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    QAction *ans = file->addAction(tr("Save as &ANSI..."), this, [this] { AskExport(false); });
    ans->setObjectName(QStringLiteral("SaveAnsiItem"));
    ans->setShortcut(QKeySequence::Save);
    file->addSeparator();
    QAction *close = file->addAction(tr("&Close"), this, &QWidget::close);
    close->setShortcut(QKeySequence::Close);

    auto *body = new QWidget(this);
    FHeader = new QLabel(body);
    FHeader->setObjectName(QStringLiteral("ArtHeader"));
    FHeader->setTextFormat(Qt::PlainText); // the file's own words
    FHeader->setWordWrap(true);
    FHeader->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FHeader->setText(Description());
    FView = new TArtCanvasView(*FArt, body);
    FScroll = new QScrollArea(body);
    FScroll->setWidget(FView);
    FScroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    FScroll->setBackgroundRole(QPalette::Dark);
    FScroll->verticalScrollBar()->setSingleStep(FView->CellHeight());
    auto *layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(FHeader);
    layout->addWidget(FScroll, 1);
    setCentralWidget(body);
    resize(FView->width() + 40, 640);
    connect(FView, &TArtCanvasView::ChoiceChanged, this, [this] {
        int first = 0, count = 0;
        ChosenRange(first, count);
        statusBar()->showMessage(FView->FirstChosen() < 0
                                     ? QString()
                                     : tr("Lines %1 to %2 chosen").arg(first + 1).arg(first + count));
    });
}

TArtViewer::~TArtViewer() = default;

QString TArtViewer::Description() const
{
    if (!FError.isEmpty()) return FError;
    const TSauce &s = FArt->Sauce;
    QStringList lines;
    if (s.Present) {
        QString who = Text437(s.Author);
        if (!s.Group.empty()) who += (who.isEmpty() ? QString() : QStringLiteral(" / ")) + Text437(s.Group);
        lines << (s.Title.empty() ? tr("(untitled)") : Text437(s.Title)) +
                     (who.isEmpty() ? QString() : tr(" by ") + who);
    } else {
        lines << tr("No SAUCE description.");
    }
    QString shape = tr("%1 columns, %2 lines").arg(FArt->Canvas.Width()).arg(FArt->Canvas.Rows());
    shape += FArt->IceColours ? tr(", iCE colours") : QString();
    if (s.Present && !s.Font.empty()) shape += tr(", font %1").arg(Text437(s.Font));
    lines << shape;
    for (const std::string &c : s.Comments)
        if (!c.empty()) lines << Text437(c);
    for (const std::string &n : FArt->Notes)
        lines << tr("Note: %1").arg(QString::fromStdString(n));
    return lines.join(QLatin1Char('\n'));
}

void TArtViewer::ChosenRange(int &first, int &count) const
{
    first = FView->FirstChosen() < 0 ? 0 : FView->FirstChosen();
    count = FView->FirstChosen() < 0 ? FArt->Canvas.Rows() : FView->LastChosen() - first + 1;
}

bool TArtViewer::ExportPng(const QString &path, QString *error) const
{
    int first = 0, count = 0;
    ChosenRange(first, count);
    const QImage img = FView->Render(first, std::min(count, MaxPngRows));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || !img.save(&f, "PNG") || !f.commit()) {
        if (error) *error = f.errorString();
        return false;
    }
    return true;
}

bool TArtViewer::ExportAnsi(const QString &path, QString *error) const
{
    int first = 0, count = 0;
    ChosenRange(first, count);
    const TArtCanvas &c = FArt->Canvas;
    const std::string data = count > 0 ? CellsToAnsi(c.RowChars(first), c.RowAttrs(first), c.Width(), count,
                                                     FArt->IceColours, FArt->Sauce.Title)
                                       : CellsToAnsi(nullptr, nullptr, c.Width(), 0, FArt->IceColours);
    if (!WriteFileAtomically(path.toLocal8Bit().toStdString(), data, 0644)) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

void TArtViewer::AskExport(bool png)
{
    const QFileInfo info(FPath);
    const QString suggested = info.dir().filePath(
        info.completeBaseName() + (png ? QStringLiteral(".png") : QStringLiteral("-part.ans")));
    const QString path =
        QFileDialog::getSaveFileName(this, png ? tr("Export as PNG") : tr("Save as ANSI"), suggested,
                                     png ? tr("PNG pictures (*.png)") : tr("ANSI art (*.ans)"));
    if (path.isEmpty()) return;
    QString error;
    if (!(png ? ExportPng(path, &error) : ExportAnsi(path, &error))) {
        ShowPlainMessage(this, QMessageBox::Warning, windowTitle(),
                         tr("%1 could not be written: %2").arg(path, error));
        return;
    }
    int first = 0, count = 0;
    ChosenRange(first, count);
    statusBar()->showMessage(png && count > MaxPngRows
                                 ? tr("Saved the first %1 lines to %2.").arg(MaxPngRows).arg(path)
                                 : tr("Saved to %1.").arg(path));
}
