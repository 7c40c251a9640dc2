#include "shell/FindBar.h"

#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"

#include "shell/HelpSystem.h"
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
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

bool Before(const TCellSpan &a, const TCellSpan &b)
{
    return a.Row != b.Row ? a.Row < b.Row : a.X1 < b.X1;
}

} // namespace

TFindBar::TFindBar(TColorTTYWidget *terminal) : QWidget(terminal), Terminal(terminal)
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
    lbCount->setMinimumWidth(lbCount->fontMetrics().horizontalAdvance(QStringLiteral("0000 of 0000")));
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

    connect(edFind, &QLineEdit::textChanged, this, [this] { Search(true); });
    connect(cbMatchCase, &QCheckBox::toggled, this, [this] { Search(true); });
    connect(prev, &QToolButton::clicked, this, &TFindBar::FindPrevious);
    connect(next, &QToolButton::clicked, this, &TFindBar::FindNext);
    connect(close, &QToolButton::clicked, this, &TFindBar::Close);
    Again.setSingleShot(true);
    Again.setInterval(250);
    // New output: the hits follow, the view stays where the user is reading.
    connect(&Again, &QTimer::timeout, this, [this] {
        if (IsOpen()) Search(false);
    });
    terminal->installEventFilter(this);
    hide();
}

void TFindBar::Open()
{
    if (!IsOpen()) OpenedAt = Terminal->Tty().Top;
    Place();
    show();
    raise();
    edFind->setFocus();
    edFind->selectAll();
    Search(true);
}

void TFindBar::Close()
{
    hide();
    Again.stop();
    Matches.clear();
    CurrentIndex = -1;
    Terminal->SetHighlights({}, {});
    // Back to where the user was reading before the search moved the view.
    TColorTTY &tty = Terminal->Tty();
    tty.ScrollTo(tty.Left, OpenedAt);
    Terminal->setFocus();
}

void TFindBar::TerminalChanged()
{
    if (IsOpen() && !edFind->text().isEmpty() && !Again.isActive()) Again.start();
}

void TFindBar::Search(bool follow)
{
    const TColorTTY &tty = Terminal->Tty();
    // Stay on the hit the user is at; a new search starts from the newest text.
    TCellSpan at{tty.Rows, 0, 0};
    if (CurrentIndex >= 0) at = Matches[size_t(CurrentIndex)].Spans.front();
    const std::string needle = cp437::FromUtf8(edFind->text().toStdString());
    Matches = FindInScrollback(tty, needle, cbMatchCase->isChecked());
    CurrentIndex = -1;
    for (size_t i = 0; i < Matches.size(); ++i)
        if (!Before(Matches[i].Spans.front(), at)) {
            CurrentIndex = int(i);
            break;
        }
    if (CurrentIndex < 0) CurrentIndex = int(Matches.size()) - 1;
    Show(follow);
}

void TFindBar::Step(int direction)
{
    if (Matches.empty()) return;
    const int n = int(Matches.size());
    CurrentIndex = ((CurrentIndex < 0 ? 0 : CurrentIndex + direction) % n + n) % n;
    Show(true);
}

void TFindBar::Show(bool follow)
{
    std::vector<TCellSpan> all, current;
    for (const TTextMatch &m : Matches)
        all.insert(all.end(), m.Spans.begin(), m.Spans.end());
    if (CurrentIndex >= 0) {
        current = Matches[size_t(CurrentIndex)].Spans;
        TColorTTY &tty = Terminal->Tty();
        const int row = current.front().Row;
        if (follow && (row < tty.Top || current.back().Row >= tty.Top + tty.VisibleRows))
            tty.ScrollTo(tty.Left, row - tty.VisibleRows / 2);
    }
    Terminal->SetHighlights(std::move(all), std::move(current));
    if (edFind->text().isEmpty())
        lbCount->clear();
    else if (Matches.empty())
        lbCount->setText(tr("No matches"));
    else
        lbCount->setText(tr("%1 of %2").arg(CurrentIndex + 1).arg(Matches.size()));
}

void TFindBar::Place()
{
    adjustSize();
    const QRect area = Terminal->viewport()->geometry();
    move(area.right() - width() - 4, area.top() + 4);
}

bool TFindBar::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == Terminal) {
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
