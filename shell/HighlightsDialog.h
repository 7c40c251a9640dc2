// Options "Highlights...": the table of highlight rules and an editor for one rule below
// it. A pattern the matcher cannot read is refused with the reason, before it reaches
// the table. The user filter's friends and enemies are offered as ready rules.
#pragma once

#include "config/Highlights.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TUserFilter;

class THighlightsDialog : public QDialog
{
    Q_OBJECT

public:
    THighlightsDialog(std::vector<THighlightRule> rules, const std::vector<std::string> &hosts,
                      const TUserFilter &filter, QWidget *parent = nullptr);

    const std::vector<THighlightRule> &Rules() const { return FRules; }
    // Fills the editor (not the table) with a rule, as "Highlight this" does.
    void Propose(const THighlightRule &rule);
    // The editor's rule into the table (as a new row, or over the chosen one); false with
    // the reason shown when the pattern is refused.
    bool AddRule(bool replace);
    QString Refusal() const;
    QLineEdit *PatternBox() const { return edPattern; }
    QCheckBox *RegexBox() const { return cbRegex; }

private:
    THighlightRule Edited() const;
    void FillTable();
    void RowChosen();
    void RemoveRule();
    void OfferFilterNames();

    std::vector<THighlightRule> FRules;
    const TUserFilter &FFilter;
    QTableWidget *tbRules;
    QLineEdit *edPattern;
    QCheckBox *cbRegex, *cbWholeWord, *cbMatchCase;
    QComboBox *cmColourWhat, *cmForeground, *cmBackground, *cmHost;
    QCheckBox *cbGag, *cbSound, *cbNotice, *cbMark;
    QLabel *lbRefusal;
    QPushButton *btAdd, *btReplace, *btRemove;
};
