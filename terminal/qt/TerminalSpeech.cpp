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
        : QAccessibleObject(notice), FNotice(notice), FOwner(static_cast<QWidget *>(notice->parent()))
    {
    }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(FOwner); }
    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override { return {}; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? FNotice->Text() : QString();
    }
    QRect rect() const override { return QAccessible::queryAccessibleInterface(FOwner)->rect(); }

private:
    TSpeechNotice *FNotice;
    QWidget *FOwner;
};

QAccessibleInterface *NoticeFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TSpeechNotice") && object && object->parent() &&
        object->parent()->isWidgetType())
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
    FSaid = text;
    // A changed name first: clients drop the name they hold and ask for the new one.
    QAccessibleEvent named(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&named);
    QAccessibleEvent shown(this, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

TTerminalSpeech::TTerminalSpeech(QWidget &widget, TColorTTY &tty)
    : FWidget(widget), FTty(tty), FOutput(tty), FNotice(new TSpeechNotice(&widget))
{
    FOutput.OnActivity = [this] {
        if (!FTimer.isActive()) FTimer.start(0, this);
    };
    FClock.start();
    QAccessible::installActivationObserver(this);
    if (QAccessible::isActive()) Attach();
}

TTerminalSpeech::~TTerminalSpeech()
{
    QAccessible::removeActivationObserver(this);
    if (FAttached) FTty.Screen().SetOutputObserver(nullptr);
}

void TTerminalSpeech::accessibilityActiveChanged(bool active)
{
    if (active) Attach();
}

void TTerminalSpeech::Attach()
{
    // Once a screen reader has listened the observer stays: it keeps count of the rows.
    if (FAttached) return;
    FAttached = true;
    FOutput.Reset();
    FOutput.SetListening(FAnnounce);
    FTty.Screen().SetOutputObserver(&FOutput);
}

void TTerminalSpeech::SetAnnounceOutput(bool on)
{
    FAnnounce = on;
    FOutput.SetListening(FAttached && FAnnounce);
}

void TTerminalSpeech::Typed(char c)
{
    FOutput.Typed(c);
    FReviewAt = -1;
}

void TTerminalSpeech::Reset()
{
    FOutput.Reset();
    FReviewAt = -1;
}

void TTerminalSpeech::Flush()
{
    const std::vector<TAnnouncement> due = FOutput.Flush();
    if (FAnnounce && !Quiet() && FWidget.isVisible() && FWidget.height() > 0)
        for (const TAnnouncement &a : due)
            Tell(a);
}

bool TTerminalSpeech::Quiet() const
{
    return FSilent && !FWidget.isActiveWindow();
}

void TTerminalSpeech::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != FTimer.timerId()) {
        QObject::timerEvent(e);
        return;
    }
    FTimer.stop();
    int next = -1;
    const std::vector<TAnnouncement> due = FOutput.Tick(FClock.elapsed(), next);
    // A terminal out of sight (the debug pane without height) tells nothing.
    if (FAnnounce && !Quiet() && FWidget.isVisible() && FWidget.height() > 0)
        for (const TAnnouncement &a : due)
            Tell(a);
    if (next >= 0) {
        FTimer.start(next, this);
    } else if (!FPolite.isEmpty()) {
        if (!Quiet()) Notify(FPolite.last()); // the latest says how things stand
        FPolite.clear();
    }
}

void TTerminalSpeech::Tell(const TAnnouncement &a)
{
    const TColorTTY &t = FTty;
    TTTYText text;
    text.Build(t);
    const int64_t y = a.Row - FOutput.Scrolls();
    const int at = y < 0 ? 0 : text.Offset(int(std::min<int64_t>(y, t.Rows - 1)), a.Column);
    QAccessibleTextInsertEvent ev(&FWidget, at, TerminalString(a.Text));
    QAccessible::updateAccessibility(&ev);
}

void TTerminalSpeech::Say(const QString &text, bool polite)
{
    if (polite && FTimer.isActive()) {
        FPolite << text;
        return;
    }
    if (!Quiet()) Notify(text);
}

void TTerminalSpeech::SayMessage(const QString &author, const QString &text)
{
    if (!author.isEmpty())
        FOutput.DiscardPendingFrom(cp437::FromUtf8((QStringLiteral(" from ") + author).toStdString()));
    const QString body = text.simplified();
    Say(author.isEmpty() ? tr("Message: %1").arg(body) : tr("Message from %1: %2").arg(author, body));
}

void TTerminalSpeech::Notify(const QString &text)
{
    FNotice->Say(text);
}

int TTerminalSpeech::ReviewRow() const
{
    return FReviewAt < 0 ? -1 : int(FReviewAt - FOutput.Scrolls());
}

void TTerminalSpeech::Review(int delta)
{
    const TColorTTY &t = FTty;
    TTTYText text;
    text.Build(t);
    int row = FReviewAt < 0 ? t.CursorY : int(FReviewAt - FOutput.Scrolls());
    row = std::clamp(row + delta, text.FirstRow(), text.LastRow());
    FReviewAt = row + FOutput.Scrolls();
    const QString line = TerminalString(RowText(t, row)).trimmed();
    FReviewLine = line.isEmpty() ? tr("blank") : line;
    Notify(FReviewLine);
}

bool TTerminalSpeech::ReviewKey(QKeyEvent *e)
{
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods != (Qt::ControlModifier | Qt::ShiftModifier) ||
        (e->key() != Qt::Key_Up && e->key() != Qt::Key_Down))
        return false;
    Review(e->key() == Qt::Key_Up ? -1 : 1);
    e->accept();
    return true;
}
