#include "shell/HighlightsDialog.h"

#include "config/UserFilt.h"
#include "session/HighlightMatcher.h"
#include "shell/HelpSystem.h"
#include "terminal/TerminalText.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString Utf8(const std::string &s)
{
    return QString::fromStdString(s);
}

QString ActionWords(uint8_t a)
{
    QStringList w;
    if (a & haColourMatch) w << QObject::tr("colour match");
    if (a & haColourLine) w << QObject::tr("colour line");
    if (a & haGag) w << QObject::tr("gag");
    if (a & haSound) w << QObject::tr("sound");
    if (a & haNotice) w << QObject::tr("notice");
    if (a & haMark) w << QObject::tr("mark");
    return w.join(QStringLiteral(", "));
}

} // namespace

THighlightsDialog::THighlightsDialog(std::vector<THighlightRule> rules, const std::vector<std::string> &hosts,
                                     const TUserFilter &filter, QWidget *parent)
    : QDialog(parent), FRules(std::move(rules)), FFilter(filter)
{
    setWindowTitle(tr("Highlights"));
    setObjectName(QStringLiteral("HighlightsDlg"));
    SetHelpTopic(this, THelpTopic::Highlights);
    tbRules = new QTableWidget(0, 5, this);
    tbRules->setObjectName(QStringLiteral("tbRules"));
    tbRules->setAccessibleName(tr("Rules"));
    tbRules->setHorizontalHeaderLabels({tr("On"), tr("Look for"), tr("How"), tr("Does"), tr("Host")});
    tbRules->setSelectionBehavior(QAbstractItemView::SelectRows);
    tbRules->setSelectionMode(QAbstractItemView::SingleSelection);
    tbRules->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tbRules->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    tbRules->verticalHeader()->hide();

    edPattern = new QLineEdit(this);
    edPattern->setObjectName(QStringLiteral("edPattern"));
    cbRegex = new QCheckBox(tr("Regular e&xpression"), this);
    cbWholeWord = new QCheckBox(tr("&Whole word"), this);
    cbMatchCase = new QCheckBox(tr("Match &case"), this);
    cmColourWhat = new QComboBox(this);
    cmColourWhat->addItems({tr("No colour"), tr("Colour the match"), tr("Colour the whole line")});
    cmForeground = new QComboBox(this);
    cmBackground = new QComboBox(this);
    for (int i = 0; i < 16; ++i) {
        cmForeground->addItem(QString::fromLatin1(ColourName(i)));
        if (i < 8) cmBackground->addItem(QString::fromLatin1(ColourName(i)));
    }
    cbGag = new QCheckBox(tr("&Hide the line (gag)"), this);
    cbSound = new QCheckBox(tr("Play the message &sound"), this);
    cbNotice = new QCheckBox(tr("Show a desktop &notice"), this);
    cbMark = new QCheckBox(tr("Mar&k for the review keys"), this);
    cmHost = new QComboBox(this);
    cmHost->addItem(tr("All hosts"));
    for (const std::string &h : hosts)
        cmHost->addItem(Utf8(h));
    lbRefusal = new QLabel(this);
    lbRefusal->setObjectName(QStringLiteral("lbRefusal"));
    lbRefusal->setTextFormat(Qt::PlainText);
    lbRefusal->setStyleSheet(QStringLiteral("color: #b00000"));
    btAdd = new QPushButton(tr("&Add"), this);
    btReplace = new QPushButton(tr("&Replace"), this);
    btRemove = new QPushButton(tr("Re&move"), this);
    auto *fromFilter = new QPushButton(tr("&Friends and Enemies..."), this);
    fromFilter->setToolTip(tr("A ready rule for a name of the user filter"));

    auto *how = new QHBoxLayout;
    how->addWidget(cbRegex);
    how->addWidget(cbWholeWord);
    how->addWidget(cbMatchCase);
    how->addStretch();
    auto *colour = new QHBoxLayout;
    colour->addWidget(cmColourWhat);
    colour->addWidget(new QLabel(tr("in"), this));
    colour->addWidget(cmForeground);
    colour->addWidget(new QLabel(tr("on"), this));
    colour->addWidget(cmBackground);
    colour->addStretch();
    auto *also = new QHBoxLayout;
    for (QCheckBox *b : {cbGag, cbSound, cbNotice, cbMark})
        also->addWidget(b);
    auto *form = new QFormLayout;
    form->addRow(tr("&Look for:"), edPattern);
    form->addRow(QString(), how);
    form->addRow(tr("Colour:"), colour);
    form->addRow(tr("Also:"), also);
    form->addRow(tr("H&ost:"), cmHost);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btAdd);
    buttons->addWidget(btReplace);
    buttons->addWidget(btRemove);
    buttons->addStretch();
    buttons->addWidget(fromFilter);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tbRules, 1);
    layout->addLayout(form);
    layout->addWidget(lbRefusal);
    layout->addLayout(buttons);
    layout->addWidget(box);
    resize(640, 480);

    connect(tbRules, &QTableWidget::itemSelectionChanged, this, &THighlightsDialog::RowChosen);
    connect(tbRules, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (column == 0 && row < int(FRules.size()))
            FRules[size_t(row)].Enabled = tbRules->item(row, 0)->checkState() == Qt::Checked;
    });
    connect(btAdd, &QPushButton::clicked, this, [this] { AddRule(false); });
    connect(btReplace, &QPushButton::clicked, this, [this] { AddRule(true); });
    connect(btRemove, &QPushButton::clicked, this, &THighlightsDialog::RemoveRule);
    connect(fromFilter, &QPushButton::clicked, this, &THighlightsDialog::OfferFilterNames);
    connect(edPattern, &QLineEdit::textChanged, lbRefusal, &QLabel::clear);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FillTable();
    Propose(THighlightRule{});
}

void THighlightsDialog::FillTable()
{
    const QSignalBlocker block(tbRules);
    tbRules->setRowCount(int(FRules.size()));
    for (int i = 0; i < int(FRules.size()); ++i) {
        const THighlightRule &r = FRules[size_t(i)];
        auto *on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        on->setCheckState(r.Enabled ? Qt::Checked : Qt::Unchecked);
        tbRules->setItem(i, 0, on);
        tbRules->setItem(i, 1, new QTableWidgetItem(Utf8(r.Pattern)));
        QStringList how{r.Regex ? tr("expression") : tr("text")};
        if (r.WholeWord) how << tr("whole word");
        if (r.MatchCase) how << tr("case");
        tbRules->setItem(i, 2, new QTableWidgetItem(how.join(QStringLiteral(", "))));
        tbRules->setItem(i, 3, new QTableWidgetItem(ActionWords(r.Actions)));
        tbRules->setItem(i, 4, new QTableWidgetItem(r.Host.empty() ? tr("all") : Utf8(r.Host)));
    }
    tbRules->resizeColumnToContents(0);
    btReplace->setEnabled(false);
    btRemove->setEnabled(false);
}

void THighlightsDialog::Propose(const THighlightRule &r)
{
    edPattern->setText(Utf8(r.Pattern));
    cbRegex->setChecked(r.Regex);
    cbWholeWord->setChecked(r.WholeWord);
    cbMatchCase->setChecked(r.MatchCase);
    cmColourWhat->setCurrentIndex(r.Actions & haColourLine ? 2 : r.Actions & haColourMatch ? 1 : 0);
    cmForeground->setCurrentIndex(r.Colour & 15);
    cmBackground->setCurrentIndex((r.Colour >> 4) & 7);
    cbGag->setChecked(r.Actions & haGag);
    cbSound->setChecked(r.Actions & haSound);
    cbNotice->setChecked(r.Actions & haNotice);
    cbMark->setChecked(r.Actions & haMark);
    const int host = cmHost->findText(Utf8(r.Host));
    cmHost->setCurrentIndex(r.Host.empty() || host < 0 ? 0 : host);
    lbRefusal->clear();
    edPattern->setFocus();
}

THighlightRule THighlightsDialog::Edited() const
{
    THighlightRule r;
    r.Pattern = edPattern->text().toStdString();
    r.Regex = cbRegex->isChecked();
    r.WholeWord = cbWholeWord->isChecked();
    r.MatchCase = cbMatchCase->isChecked();
    const int what = cmColourWhat->currentIndex();
    r.Actions = uint8_t((what == 1   ? haColourMatch
                         : what == 2 ? haColourLine
                                     : 0) |
                        (cbGag->isChecked() ? haGag : 0) | (cbSound->isChecked() ? haSound : 0) |
                        (cbNotice->isChecked() ? haNotice : 0) | (cbMark->isChecked() ? haMark : 0));
    r.Colour = uint8_t(cmForeground->currentIndex() | cmBackground->currentIndex() << 4);
    if (cmHost->currentIndex() > 0) r.Host = cmHost->currentText().toStdString();
    return r;
}

QString THighlightsDialog::Refusal() const
{
    return lbRefusal->text();
}

bool THighlightsDialog::AddRule(bool replace)
{
    const THighlightRule r = Edited();
    QString why = Utf8(HighlightPatternError(r));
    if (why.isEmpty() && !r.Actions) why = tr("Choose at least one thing for the rule to do.");
    if (why.isEmpty() && !replace && int(FRules.size()) >= THighlightStore::MaxRules)
        why = tr("There are %1 rules already.").arg(THighlightStore::MaxRules);
    if (!why.isEmpty()) {
        lbRefusal->setText(tr("Not taken: %1").arg(why));
        edPattern->setFocus();
        return false;
    }
    const int row = tbRules->currentRow();
    if (replace && row >= 0 && row < int(FRules.size())) {
        FRules[size_t(row)] = r;
    } else {
        FRules.push_back(r);
    }
    FillTable();
    tbRules->selectRow(replace && row >= 0 ? row : int(FRules.size()) - 1);
    return true;
}

void THighlightsDialog::RowChosen()
{
    const int row = tbRules->currentRow();
    const bool any = row >= 0 && row < int(FRules.size()) && !tbRules->selectedItems().isEmpty();
    btReplace->setEnabled(any);
    btRemove->setEnabled(any);
    if (any) Propose(FRules[size_t(row)]);
}

void THighlightsDialog::RemoveRule()
{
    const int row = tbRules->currentRow();
    if (row < 0 || row >= int(FRules.size())) return;
    FRules.erase(FRules.begin() + row);
    FillTable();
}

void THighlightsDialog::OfferFilterNames()
{
    // A friend's name is coloured bright green and noticed; an enemy's lines are gagged.
    QMenu menu(this);
    const auto offer = [&](const TNameList &names, const QString &title, uint8_t actions, uint8_t colour) {
        QMenu *sub = menu.addMenu(title);
        sub->setEnabled(names.Count() > 0);
        for (const std::string &name : names.Items())
            connect(sub->addAction(Utf8(name)), &QAction::triggered, this, [this, name, actions, colour] {
                THighlightRule r;
                r.Pattern = name;
                r.WholeWord = true;
                r.Actions = actions;
                r.Colour = colour;
                Propose(r);
            });
    };
    offer(FFilter.Friends, tr("Friends"), haColourMatch | haNotice, 0x0A);
    offer(FFilter.Enemies, tr("Enemies"), haGag, 0x08);
    menu.exec(QCursor::pos());
}
