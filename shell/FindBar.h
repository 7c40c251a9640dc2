// The find bar: a small strip floating over the top right of the terminal that searches
// the whole scrollback as the user types, tints every hit and scrolls to the current one.
// It floats rather than taking layout space, so opening it never resizes the terminal
// (which would tell the BBS a new window size).
#pragma once

#include "terminal/ScrollbackSearch.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class TColorTTYWidget;

class TFindBar : public QWidget
{
    Q_OBJECT

public:
    explicit TFindBar(TColorTTYWidget *terminal);

    // Shows the bar with the keys in its text box.
    void Open();
    // Hides it, removes the tints, puts the view back and gives the keys to the terminal.
    void Close();
    bool IsOpen() const { return isVisible(); }
    void FindNext() { Step(+1); }
    void FindPrevious() { Step(-1); }
    // The terminal received output: search again soon (rows may have moved).
    void TerminalChanged();

    int MatchCount() const { return int(Matches.size()); }
    // Index of the current match, -1 when there is none.
    int Current() const { return CurrentIndex; }
    const std::vector<TTextMatch> &AllMatches() const { return Matches; }
    QLineEdit *TextBox() const { return edFind; }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    // Searches again; keeps the current match where the text still matches there.
    // `follow`: scroll the current hit into view.
    void Search(bool follow);
    void Step(int direction);
    void Show(bool follow);
    void Place();

    TColorTTYWidget *Terminal;
    QLineEdit *edFind;
    QCheckBox *cbMatchCase;
    QLabel *lbCount;
    QTimer Again;
    std::vector<TTextMatch> Matches;
    int CurrentIndex = -1;
    int OpenedAt = 0; // the view's top row when the bar opened
};
