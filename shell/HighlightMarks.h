// The window's highlight rules: Options "Highlights...", "Highlight This..." on a
// selection, and what a matched line asks for: the desktop's message sound, a notice, and
// a mark that Ctrl+Shift+Page Up and Down take the review line to.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QWidget;
class TColorTTYWidget;
class THighlightStore;
class THostInfo;
class TNotifier;
class TSession;
class TUserFilter;
struct THighlightEvent;
struct THighlightRule;

class THighlightMarks
{
public:
    struct TParts
    {
        QWidget &Window;
        TColorTTYWidget &Tty;
        TSession &Session;
        THostInfo &Hosts;
        TUserFilter &Filter;
        std::string IniFileName;
        // Starts a program (the sound player); a notifier for notices (null: none);
        // a word for the status line.
        std::function<bool(const QString &program, const QStringList &args)> StartProgram;
        std::function<TNotifier *()> Notifier;
        std::function<void(const QString &text)> Status;
    };
    explicit THighlightMarks(TParts parts);
    ~THighlightMarks();

    // Options "Highlights...", and the same with a rule for the terminal's selection proposed.
    void EditRules() { Open(nullptr); }
    void HighlightSelection();
    // Moves the review line to the previous (-1) or next (1) marked line; false when none.
    bool ReviewMark(int direction);
    const std::vector<int64_t> &MarkedRows() const { return FMarkedRows; }
    // A line matched a rule that asks for a sound, a notice or a mark.
    void Matched(const THighlightEvent &event);

private:
    void Open(const THighlightRule *proposal);
    void PlayMessageSound();

    TParts FParts;
    std::unique_ptr<THighlightStore> FStore;
    std::vector<int64_t> FMarkedRows; // row numbers of lines marked by a rule, oldest first
};
