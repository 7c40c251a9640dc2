#include "shell/HighlightMarks.h"

#include "config/Highlights.h"
#include "config/Prefernc.h"
#include "config/SetHost.h"
#include "session/Session.h"
#include "shell/HighlightsDialog.h"
#include "shell/Notifier.h"
#include "terminal/Cp437.h"
#include "terminal/qt/ColorTTYWidget.h"
#include "terminal/qt/TerminalSpeech.h"

#include <QApplication>
#include <QLineEdit>
#include <QStandardPaths>

#include <algorithm>

namespace {

// Marks kept at most; the oldest go first.
constexpr size_t MaxMarks = 10000;

} // namespace

THighlightMarks::THighlightMarks(TParts parts)
    : FParts(std::move(parts)), FStore(std::make_unique<THighlightStore>(FParts.IniFileName))
{
    FParts.Session.SetHighlightRules(FStore->Rules);
}

THighlightMarks::~THighlightMarks() = default;

void THighlightMarks::HighlightSelection()
{
    const TColorTTY &t = FParts.Tty.Tty();
    if (!t.Viewport().HasSelection()) return;
    char buffer[256];
    t.GetSelTextBuf(buffer, sizeof buffer);
    // The first line of the selection, without the blanks around it.
    std::string text = cp437::ToUtf8(buffer);
    text = text.substr(0, text.find_first_of("\r\n"));
    const QString trimmed = QString::fromStdString(text).trimmed();
    if (trimmed.isEmpty()) return;
    THighlightRule rule;
    rule.Pattern = trimmed.toStdString();
    Open(&rule);
}

void THighlightMarks::Open(const THighlightRule *proposal)
{
    FStore->Load(); // another copy of the program may have changed them
    THighlightsDialog dialog(FStore->Rules, FParts.Hosts.HostList(), FParts.Filter, &FParts.Window);
    if (proposal) dialog.Propose(*proposal);
    if (dialog.exec() != QDialog::Accepted) return;
    FStore->Rules = dialog.Rules();
    if (!FStore->Save())
        FParts.Status(QObject::tr(" The highlight rules could not be saved to %1.")
                          .arg(QString::fromStdString(FParts.IniFileName)));
    FParts.Session.SetHighlightRules(FStore->Rules);
}

void THighlightMarks::Matched(const THighlightEvent &event)
{
    const QString line = QString::fromStdString(cp437::ToUtf8(event.Text)).trimmed();
    if (event.Actions & haMark) {
        if (FMarkedRows.empty() || FMarkedRows.back() < event.Row) FMarkedRows.push_back(event.Row);
        if (FMarkedRows.size() > MaxMarks) FMarkedRows.erase(FMarkedRows.begin());
    }
    if (event.Actions & haSound) PlayMessageSound();
    if (!(event.Actions & haNotice)) return;
    if (FParts.Window.isActiveWindow()) {
        FParts.Status(QStringLiteral(" ") + line);
        return;
    }
    if (TNotifier *notifier = FParts.Notifier()) notifier->Notify(QObject::tr("Highlight"), line);
    QApplication::alert(&FParts.Window);
}

void THighlightMarks::PlayMessageSound()
{
    // The desktop's own sound for a new message, by its theme name; a beep without one.
    const QString player = QStandardPaths::findExecutable(QStringLiteral("canberra-gtk-play"));
    if (player.isEmpty() || !FParts.StartProgram ||
        !FParts.StartProgram(player, {QStringLiteral("--id=message-new-instant")}))
        QApplication::beep();
}

bool THighlightMarks::ReviewMark(int direction)
{
    TColorTTY &t = FParts.Tty.Tty();
    // Marks of lines the history has let go are dropped.
    const int64_t first = t.Screen().RowNumber(t.Screen().FirstRow());
    FMarkedRows.erase(FMarkedRows.begin(), std::lower_bound(FMarkedRows.begin(), FMarkedRows.end(), first));
    TTerminalSpeech &speech = FParts.Tty.Speech();
    const int at = speech.ReviewRow() >= 0 ? speech.ReviewRow() : t.CursorY;
    const int64_t here = t.Screen().RowNumber(at);
    int64_t target = -1;
    if (direction < 0) {
        auto it = std::lower_bound(FMarkedRows.begin(), FMarkedRows.end(), here);
        if (it != FMarkedRows.begin()) target = *std::prev(it);
    } else {
        auto it = std::upper_bound(FMarkedRows.begin(), FMarkedRows.end(), here);
        if (it != FMarkedRows.end()) target = *it;
    }
    if (target < 0) {
        speech.Say(direction < 0 ? QObject::tr("No marked line above") : QObject::tr("No marked line below"));
        return false;
    }
    const int row = t.Screen().RowOfNumber(target);
    speech.Review(row - at);
    // The line in the middle of the view.
    t.ScrollTo(t.Left, std::clamp(row - t.Viewport().SplitUpperRows() / 2, t.Screen().FirstRow(), t.MaxTop));
    return true;
}
