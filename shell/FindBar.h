// The find bar: a small strip floating over the top right of the terminal that searches
// the whole scrollback as the user types, tints every hit and scrolls to the current one.
// It floats rather than taking layout space, so opening it never resizes the terminal
// (which would tell the BBS a new window size).
#pragma once

#include "terminal/ScrollbackSearch.h"

#include <QTimer>
#include <QWidget>

#include <vector>

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

    int MatchCount() const { return int(FFinder.Count()); }
    // Index of the current match, -1 when there is none.
    int Current() const { return CurrentIndex(); }
    // The whole text is searched (a long history takes a few event-loop turns).
    bool IsSearchDone() const { return FFinder.Done(); }
    const TScrollbackSearch &Search() const { return FFinder; }
    QLineEdit *TextBox() const { return edFind; }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    // A new search from the newest text, or from the current match where there is one.
    void NewSearch();
    int CurrentIndex() const;
    // Searches for a few milliseconds, then shows what was found; goes on in later turns.
    void RunSlice();
    void Step(int direction);
    void Show(bool follow);
    void Place();
    // Whether the bar, placed at the top or the bottom, hides any of these cells.
    bool Covers(const std::vector<TCellSpan> &spans, bool atBottom) const;

    TColorTTYWidget *FTerminal;
    QLineEdit *edFind;
    QCheckBox *cbMatchCase;
    QLabel *lbCount;
    QTimer FAgain;
    QTimer FSlice;
    TScrollbackSearch FFinder;
    // The current match is the first at or after FAnchor (the newest when none is), until
    // the user steps: then it is FCurrentHit. Both by row number, so they stay with the text.
    TSearchHit FAnchor, FCurrentHit;
    bool FStepped = false;
    bool FFollow = false;   // scroll to the current match while the search runs
    bool FAtBottom = false; // the bar sits at the bottom edge, out of the current match's way
    int FOpenedAt = 0;      // the view's top row when the bar opened
};
