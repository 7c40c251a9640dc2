#include "terminal/qt/TerminalSpeech.h"

#include "terminal/Cp437.h"
#include "terminal/TerminalText.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalAccessible.h"

#include <QTimerEvent>

#include <algorithm>
#include <array>

QString TerminalString(const std::string &bytes)
{
    static const auto table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = char16_t(cp437::ToUnicode(uint8_t(b)));
        t['\n'] = u'\n';
        return t;
    }();
    QString s(qsizetype(bytes.size()), Qt::Uninitialized);
    QChar *out = s.data();
    for (const char c : bytes)
        *out++ = QChar(table[uint8_t(c)]);
    return s;
}

TSpeechNotice::TSpeechNotice(QWidget *owner) : QObject(owner)
{
    InstallTerminalAccessibility();
}

void TSpeechNotice::Say(const QString &text)
{
    if (text.isEmpty()) return;
    // Screen readers speak a notification as it shows; Qt's bridge does not carry the text
    // of a changed name or description to them.
    Said = text;
    // A changed name first: clients drop the name they hold and ask for the new one.
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

TTerminalSpeech::TTerminalSpeech(TColorTTYWidget &widget)
    : Widget(widget), Output(widget.Tty()), Notice(new TSpeechNotice(&widget))
{
    Output.OnActivity = [this] {
        if (!Timer.isActive()) Timer.start(0, this);
    };
    Clock.start();
    QAccessible::installActivationObserver(this);
    if (QAccessible::isActive()) Attach();
}

TTerminalSpeech::~TTerminalSpeech()
{
    QAccessible::removeActivationObserver(this);
    if (Attached) Widget.Tty().SetOutputObserver(nullptr);
}

void TTerminalSpeech::accessibilityActiveChanged(bool active)
{
    if (active) Attach();
}

void TTerminalSpeech::Attach()
{
    // Once a screen reader has listened the observer stays: it keeps count of the rows.
    if (Attached) return;
    Attached = true;
    Output.Reset();
    Output.SetListening(Announce);
    Widget.Tty().SetOutputObserver(&Output);
}

void TTerminalSpeech::SetAnnounceOutput(bool on)
{
    Announce = on;
    Output.SetListening(Attached && Announce);
}

void TTerminalSpeech::Typed(char c)
{
    Output.Typed(c);
    ReviewAt = -1;
}

void TTerminalSpeech::Reset()
{
    Output.Reset();
    ReviewAt = -1;
}

void TTerminalSpeech::Flush()
{
    const std::vector<TAnnouncement> due = Output.Flush();
    if (Announce && !Quiet() && Widget.isVisible() && Widget.height() > 0)
        for (const TAnnouncement &a : due)
            Tell(a);
}

bool TTerminalSpeech::Quiet() const
{
    return Silent && !Widget.isActiveWindow();
}

void TTerminalSpeech::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != Timer.timerId()) {
        QObject::timerEvent(e);
        return;
    }
    Timer.stop();
    int next = -1;
    const std::vector<TAnnouncement> due = Output.Tick(Clock.elapsed(), next);
    // A terminal out of sight (the debug pane without height) tells nothing.
    if (Announce && !Quiet() && Widget.isVisible() && Widget.height() > 0)
        for (const TAnnouncement &a : due)
            Tell(a);
    if (next >= 0) {
        Timer.start(next, this);
    } else if (!Polite.isEmpty()) {
        if (!Quiet()) Notify(Polite.last()); // the latest says how things stand
        Polite.clear();
    }
}

void TTerminalSpeech::Tell(const TAnnouncement &a)
{
    const TColorTTY &t = Widget.Tty();
    TTTYText text;
    text.Build(t);
    const int64_t y = a.Row - Output.Scrolls();
    const int at = y < 0 ? 0 : text.Offset(int(std::min<int64_t>(y, t.Rows - 1)), a.Column);
    QAccessibleTextInsertEvent ev(&Widget, at, TerminalString(a.Text));
    QAccessible::updateAccessibility(&ev);
}

void TTerminalSpeech::Say(const QString &text, bool polite)
{
    if (polite && Timer.isActive()) {
        Polite << text;
        return;
    }
    if (!Quiet()) Notify(text);
}

void TTerminalSpeech::SayMessage(const QString &author, const QString &text)
{
    if (!author.isEmpty()) Output.DiscardPendingFrom(cp437::FromUtf8((QStringLiteral(" from ") + author).toStdString()));
    const QString body = text.simplified();
    Say(author.isEmpty() ? tr("Message: %1").arg(body) : tr("Message from %1: %2").arg(author, body));
}

void TTerminalSpeech::Notify(const QString &text)
{
    Notice->Say(text);
}

int TTerminalSpeech::ReviewRow() const
{
    return ReviewAt < 0 ? -1 : int(ReviewAt - Output.Scrolls());
}

void TTerminalSpeech::Review(int delta)
{
    const TColorTTY &t = Widget.Tty();
    TTTYText text;
    text.Build(t);
    int row = ReviewAt < 0 ? t.CursorY : int(ReviewAt - Output.Scrolls());
    row = std::clamp(row + delta, text.FirstRow(), text.LastRow());
    ReviewAt = row + Output.Scrolls();
    const QString line = TerminalString(RowText(t, row)).trimmed();
    ReviewLine = line.isEmpty() ? tr("blank") : line;
    Notify(ReviewLine);
}
