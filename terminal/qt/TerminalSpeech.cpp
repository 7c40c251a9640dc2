#include "terminal/qt/TerminalSpeech.h"

#include "terminal/Cp437.h"
#include "terminal/TerminalText.h"

#include <QAccessibleObject>
#include <QTimerEvent>
#include <QWidget>

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

namespace {

// A notice: role Notification, its text as name. Showing it is how a screen reader is
// made to speak it (and keep it in its list of notices).
class TNoticeAccessible : public QAccessibleObject
{
public:
    explicit TNoticeAccessible(TSpeechNotice *notice)
        : QAccessibleObject(notice), Notice(notice), Owner(static_cast<QWidget *>(notice->parent()))
    {
    }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(Owner); }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? Notice->Text() : QString();
    }
    QRect rect() const override { return QAccessible::queryAccessibleInterface(Owner)->rect(); }

private:
    TSpeechNotice *Notice;
    QWidget *Owner;
};

QAccessibleInterface *NoticeFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TSpeechNotice") && object && object->parent() && object->parent()->isWidgetType())
        return new TNoticeAccessible(static_cast<TSpeechNotice *>(object));
    return nullptr;
}

} // namespace

TSpeechNotice::TSpeechNotice(QWidget *owner) : QObject(owner)
{
    static const bool factory = [] {
        QAccessible::installFactory(NoticeFactory);
        return true;
    }();
    (void)factory;
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

TTerminalSpeech::TTerminalSpeech(QWidget &widget, TColorTTY &tty)
    : Widget(widget), Tty(tty), Output(tty), Notice(new TSpeechNotice(&widget))
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
    if (Attached) Tty.SetOutputObserver(nullptr);
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
    Tty.SetOutputObserver(&Output);
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
    const TColorTTY &t = Tty;
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
    const TColorTTY &t = Tty;
    TTTYText text;
    text.Build(t);
    int row = ReviewAt < 0 ? t.CursorY : int(ReviewAt - Output.Scrolls());
    row = std::clamp(row + delta, text.FirstRow(), text.LastRow());
    ReviewAt = row + Output.Scrolls();
    const QString line = TerminalString(RowText(t, row)).trimmed();
    ReviewLine = line.isEmpty() ? tr("blank") : line;
    Notify(ReviewLine);
}
