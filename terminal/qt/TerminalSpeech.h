// What screen readers are told by the terminal: new output as text-inserted events of the
// terminal's accessible text (decided by TOutputAnnouncer), the review line, and messages
// that are not terminal text (an express message, a connection's status) as notices.
// Nothing of this costs anything while no screen reader listens (QAccessible::isActive()).
#pragma once

#include "terminal/OutputAnnouncer.h"

#include <QAccessible>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// A text said to screen readers that is no widget's text: shown on the accessibility bus as
// a notification (which Orca speaks and keeps in its list), a child of `owner`.
class TSpeechNotice : public QObject
{
    Q_OBJECT

public:
    explicit TSpeechNotice(QWidget *owner);
    void Say(const QString &text);
    QString Text() const { return FSaid; }

private:
    QString FSaid;
};

// Terminal bytes (code page 437, '\n' between lines) as the accessible text shows them:
// one character per byte.
QString TerminalString(const std::string &bytes);

class TTerminalSpeech : public QObject, private QAccessible::ActivationObserver
{
    Q_OBJECT

public:
    // Speaks for `widget`, which shows `tty`.
    TTerminalSpeech(QWidget &widget, TColorTTY &tty);
    ~TTerminalSpeech() override;

    // New output is announced (the default); off, only Say speaks.
    void SetAnnounceOutput(bool on);
    bool AnnounceOutput() const { return FAnnounce; }
    // Nothing is announced or said while the terminal's window is not the active one.
    void SetSilentWhenInactive(bool on) { FSilent = on; }

    // A key the user typed (its echo is not announced back; the review line returns to
    // the cursor).
    void Typed(char c);
    // Says a message that is not terminal text, as a notice. A polite one waits until the
    // output that is still to be told has been told.
    void Say(const QString &text, bool polite = false);
    // An express message, author first ("Message from Sysop: ..."), said instead of its
    // lines on the terminal when those are still to be told.
    void SayMessage(const QString &author, const QString &text);
    // Moves the review line by `delta` rows through the text (starting from the cursor's
    // row) and says it; neither the cursor nor the view moves.
    void Review(int delta);
    // Ctrl+Shift+Up/Down move the review line; true when the key was one of them.
    bool ReviewKey(QKeyEvent *e);
    // The row being reviewed, or -1, and its text as last said.
    int ReviewRow() const;
    QString ReviewText() const { return FReviewLine; }
    // Forgets what was told (a new connection).
    void Reset();
    // Tells at once what output is still to be told (before the keyboard moves elsewhere:
    // a screen reader reads only what happens where its focus is).
    void Flush();

    // What the last notice said, and the object screen readers see for it.
    QString LastNotice() const { return FNotice->Text(); }
    QObject *NoticeObject() const { return FNotice; }
    TOutputAnnouncer &Announcer() { return FOutput; }

protected:
    void timerEvent(QTimerEvent *e) override;

private:
    void accessibilityActiveChanged(bool active) override;
    void Attach();
    bool Quiet() const;
    void Tell(const TAnnouncement &a);
    void Notify(const QString &text);

    QWidget &FWidget;
    TColorTTY &FTty;
    TOutputAnnouncer FOutput;
    QBasicTimer FTimer;
    QElapsedTimer FClock;
    bool FAnnounce = true, FSilent = false, FAttached = false;
    int64_t FReviewAt = -1; // absolute row (logical + scrolls) being reviewed
    TSpeechNotice *FNotice; // owned by the terminal
    QString FReviewLine;
    QStringList FPolite; // notices waiting for the output to be told
};
