#include "shell/FindBar.h"

#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"

#include "shell/HelpSystem.h"
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QToolButton>

namespace {

QToolButton *Button(QWidget *parent, const char *name, const QString &text, const QString &tip)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setAccessibleName(tip); // a screen reader would read the arrow's glyph
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

// A slice of the search: short enough for the window to stay responsive.
constexpr int SliceMs = 8;
constexpr int RowsPerStep = 4096;

} // namespace

TFindBar::TFindBar(TColorTTYWidget *terminal) : QWidget(terminal), FTerminal(terminal)
{
    setObjectName(QStringLiteral("FindBar"));
    SetHelpTopic(this, THelpTopic::Find);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    edFind = new QLineEdit(this);
    edFind->setObjectName(QStringLiteral("edFind"));
    edFind->setPlaceholderText(tr("Find in scrollback"));
    edFind->setAccessibleName(edFind->placeholderText());
    edFind->setMinimumWidth(180);
    edFind->installEventFilter(this);
    setFocusProxy(edFind);
    cbMatchCase = new QCheckBox(tr("Match case"), this);
    cbMatchCase->setObjectName(QStringLiteral("cbMatchCase"));
    cbMatchCase->setFocusPolicy(Qt::NoFocus);
    lbCount = new QLabel(this);
    lbCount->setObjectName(QStringLiteral("lbCount"));
    lbCount->setMinimumWidth(
        lbCount->fontMetrics().horizontalAdvance(QStringLiteral("0,000,000 of 0,000,000")));
    QToolButton *prev = Button(this, "btPrevious", QStringLiteral("\u25B2"), tr("Previous match (Shift+F3)"));
    QToolButton *next = Button(this, "btNext", QStringLiteral("\u25BC"), tr("Next match (F3)"));
    QToolButton *close = Button(this, "btClose", QStringLiteral("\u2715"), tr("Close (Esc)"));

    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 2, 2);
    row->setSpacing(4);
    row->addWidget(edFind);
    row->addWidget(prev);
    row->addWidget(next);
    row->addWidget(cbMatchCase);
    row->addWidget(lbCount);
    row->addWidget(close);

    connect(edFind, &QLineEdit::textChanged, this, &TFindBar::NewSearch);
    connect(cbMatchCase, &QCheckBox::toggled, this, &TFindBar::NewSearch);
    connect(prev, &QToolButton::clicked, this, &TFindBar::FindPrevious);
    connect(next, &QToolButton::clicked, this, &TFindBar::FindNext);
    connect(close, &QToolButton::clicked, this, &TFindBar::Close);
    FAgain.setSingleShot(true);
    FAgain.setInterval(250);
    // New output: the hits follow, the view stays where the user is reading.
    connect(&FAgain, &QTimer::timeout, this, [this] {
        if (!IsOpen()) return;
        FFinder.Refresh(FTerminal->Tty());
        FFollow = false;
        RunSlice();
    });
    FSlice.setSingleShot(true);
    FSlice.setInterval(0);
    connect(&FSlice, &QTimer::timeout, this, &TFindBar::RunSlice);
    terminal->installEventFilter(this);
    hide();
}

void TFindBar::Open()
{
    if (!IsOpen()) FOpenedAt = FTerminal->Tty().Top;
    Place();
    show();
    raise();
    edFind->setFocus();
    edFind->selectAll();
    NewSearch();
}

void TFindBar::Close()
{
    hide();
    FAgain.stop();
    FSlice.stop();
    FFinder.Stop();
    FTerminal->SetHighlights(nullptr, {});
    // Back to where the user was reading before the search moved the view.
    TColorTTY &tty = FTerminal->Tty();
    tty.ScrollTo(tty.Left, FOpenedAt);
    FTerminal->setFocus();
}

void TFindBar::TerminalChanged()
{
    if (IsOpen() && !edFind->text().isEmpty() && !FAgain.isActive()) FAgain.start();
}

int TFindBar::CurrentIndex() const
{
    const size_t n = FFinder.Count();
    if (n == 0) return -1;
    const TSearchHit &at = FStepped ? FCurrentHit : FAnchor;
    return int(std::min(FFinder.IndexAt(at.Row, at.X), n - 1));
}

void TFindBar::NewSearch()
{
    const TColorTTY &tty = FTerminal->Tty();
    // Stay on the match the user is at; a new search starts from the newest text. While the
    // last search has not reached its anchor (fast typing over a long history), it stands.
    if (FFinder.Done() || FStepped) {
        const int i = CurrentIndex();
        FAnchor = i >= 0 ? FFinder.Hit(size_t(i)) : TSearchHit{tty.Screen().RowNumber(tty.Rows), 0, 0};
    }
    FStepped = false;
    FFinder.Start(tty, cp437::FromUtf8(edFind->text().toStdString()), cbMatchCase->isChecked());
    FFollow = true;
    FSlice.stop();
    RunSlice();
}

void TFindBar::RunSlice()
{
    QElapsedTimer clock;
    clock.start();
    const TColorTTY &tty = FTerminal->Tty();
    while (!FFinder.Step(tty, RowsPerStep) && clock.elapsed() < SliceMs) {
    }
    Show(FFollow);
    if (FFinder.Done())
        FFollow = false;
    else
        FSlice.start();
}

void TFindBar::Step(int direction)
{
    const int n = MatchCount();
    if (n == 0) return;
    const int i = CurrentIndex();
    FCurrentHit = FFinder.Hit(size_t(((i < 0 ? 0 : i + direction) % n + n) % n));
    FStepped = true;
    Show(true);
}

void TFindBar::Show(bool follow)
{
    const int i = CurrentIndex();
    const TSearchHit current = i >= 0 ? FFinder.Hit(size_t(i)) : TSearchHit{};
    if (i >= 0 && follow) {
        TColorTTY &tty = FTerminal->Tty();
        const std::vector<TCellSpan> spans = FFinder.Spans(tty, current);
        // In the history part of the view (it splits when the hit is back in the history).
        const TTTYViewport &v = tty.Viewport();
        if (!spans.empty() && (spans.front().Row < tty.Top || spans.back().Row >= tty.Top + v.UpperRows()))
            tty.ScrollTo(tty.Left, spans.front().Row - v.SplitUpperRows() / 2);
        // The oldest rows cannot scroll below the bar: it moves to the other edge instead.
        if (Covers(spans, FAtBottom) && !Covers(spans, !FAtBottom)) {
            FAtBottom = !FAtBottom;
            Place();
        }
    }
    FTerminal->SetHighlights(&FFinder, current);
    const int n = MatchCount();
    const QLocale locale;
    const QString count = locale.toString(n) + (FFinder.IsCapped() ? QStringLiteral("+") : QString());
    if (edFind->text().isEmpty())
        lbCount->clear();
    else if (!FFinder.Done())
        lbCount->setText(tr("%1 found\u2026").arg(count));
    else if (n == 0)
        lbCount->setText(tr("No matches"));
    else
        lbCount->setText(tr("%1 of %2").arg(locale.toString(i + 1), count));
}

void TFindBar::Place()
{
    adjustSize();
    const QRect area = FTerminal->viewport()->geometry();
    move(area.right() - width() - 4, FAtBottom ? area.bottom() - height() - 4 : area.top() + 4);
}

bool TFindBar::Covers(const std::vector<TCellSpan> &spans, bool atBottom) const
{
    const TColorTTY &tty = FTerminal->Tty();
    const int cw = FTerminal->CharWidth(), ch = FTerminal->CharHeight();
    if (cw <= 0 || ch <= 0) return false;
    const QRect area = FTerminal->viewport()->geometry();
    const int top = atBottom ? area.bottom() - height() - 4 : area.top() + 4;
    const QRect bar(area.right() - width() - 4 - area.left(), top - area.top(), width(), height());
    for (const TCellSpan &s : spans) {
        const QRect cells((s.X1 - tty.Left) * cw, (s.Row - tty.Top) * ch, (s.X2 - s.X1) * cw, ch);
        if (cells.intersects(bar)) return true;
    }
    return false;
}

bool TFindBar::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == FTerminal) {
        if (e->type() == QEvent::Resize && IsOpen()) Place();
        return false;
    }
    if (watched == edFind && e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        const bool shift = k->modifiers() & Qt::ShiftModifier;
        switch (k->key()) {
        case Qt::Key_Escape:
            Close();
            return true;
        case Qt::Key_F3:
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Step(shift ? -1 : +1);
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, e);
}
