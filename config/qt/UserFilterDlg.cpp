#include "config/qt/UserFilterDlg.h"

#include "config/qt/DialogUtil.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <algorithm>

namespace {

// A plus (add) or a minus (remove) on the buttons.
QIcon Glyph(bool add)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QPen(add ? QColor(0, 128, 0) : QColor(160, 0, 0), 3, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(3, 8, 13, 8);
    if (add) p.drawLine(8, 3, 8, 13);
    return QIcon(pixmap);
}

QPushButton *GlyphButton(QWidget *parent, const char *name, const QString &caption, bool add)
{
    QPushButton *button = MakeButton(parent, name, caption);
    button->setIcon(Glyph(add));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TUserFilterDlg::TUserFilterDlg(TUserFilter &filter, QWidget *parent) : QDialog(parent), FFilter(filter)
{
    setWindowTitle(tr("User Filter"));
    SetHelpContext(this, HelpContext);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setAccessibleName(tr("Pages"));
    auto *options = new QWidget;
    options->setObjectName(QStringLiteral("tsOptions"));
    rgExpressFilter = RadioGroup(
        "rgExpressFilter", tr("Express Message Filter"),
        {tr("Receive all messages"), tr("Kill messages from enemies"), tr("Only messages from friends")},
        FExpress, filter.ExpressFilter);
    rgPostFilter = RadioGroup("rgPostFilter", tr("Post Filter"),
                              {tr("Read all posts"), tr("Kill posts by enemies")}, FPost, filter.PostFilter);
    auto *optionsLayout = new QVBoxLayout(options);
    optionsLayout->setContentsMargins(6, 6, 6, 6);
    optionsLayout->addWidget(rgExpressFilter);
    optionsLayout->addWidget(rgPostFilter);
    optionsLayout->addStretch();
    PageControl1->addTab(options, tr("Options"));
    PageControl1->addTab(NamePage("tsFriends", "Friend", "lbFriends", FFriends, filter.Friends,
                                  &TUserFilterDlg::btAddFriendClick, &TUserFilterDlg::btDelFriendClick),
                         tr("Friends"));
    PageControl1->addTab(NamePage("tsEnemies", "Enemy", "lbEnemies", FEnemies, filter.Enemies,
                                  &TUserFilterDlg::btAddEnemyClick, &TUserFilterDlg::btDelEnemyClick),
                         tr("Enemies"));

    FFriends.Edit->setAccessibleName(tr("Friend to add"));
    FFriends.List->setAccessibleName(tr("Friends"));
    FEnemies.Edit->setAccessibleName(tr("Enemy to add"));
    FEnemies.List->setAccessibleName(tr("Enemies"));
    auto *main = new QVBoxLayout(this);
    main->addWidget(PageControl1, 1);
    const TDialogButtons buttons = AddDialogButtons(this, main);
    OKBtn = buttons.OKBtn;
    CancelBtn = buttons.CancelBtn;
    HelpBtn = buttons.HelpBtn;

    FixClientSize(this, QSize(298, 221));
    FormCreate();
    connect(OKBtn, &QPushButton::clicked, this, &TUserFilterDlg::OKBtnClick);
}

QGroupBox *TUserFilterDlg::RadioGroup(const char *name, const QString &caption, const QStringList &items,
                                      QButtonGroup *&group, int value)
{
    auto *box = new QGroupBox(caption);
    box->setObjectName(QLatin1String(name));
    group = new QButtonGroup(box);
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(8, 2, 8, 4); // the page was laid out for a small font: keep it compact
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto *rb = new QRadioButton(items[i], box);
        group->addButton(rb, i);
        layout->addWidget(rb);
    }
    // Beyond the last item selects the last; a negative value selects none and reads back as -1.
    if (QAbstractButton *rb = group->button(FilterRadioIndex(value, int(items.size())))) rb->setChecked(true);
    return box;
}

QWidget *TUserFilterDlg::NamePage(const char *page, const char *name, const char *listName, TNamePage &names,
                                  const TNameList &from, void (TUserFilterDlg::*add)(),
                                  void (TUserFilterDlg::*del)())
{
    auto *widget = new QWidget;
    widget->setObjectName(QLatin1String(page));
    names.Edit = new QLineEdit(widget);
    names.Edit->setObjectName(QStringLiteral("ed") + QLatin1String(name));
    names.Edit->setMaxLength(UserNameMax);
    names.List = new QListWidget(widget);
    names.List->setObjectName(QLatin1String(listName));
    names.List->setSelectionMode(QAbstractItemView::ExtendedSelection);
    names.Names = from;
    QPushButton *btAdd = GlyphButton(widget, (std::string("btAdd") + name).c_str(), tr("&Add"), true);
    QPushButton *btDel = GlyphButton(widget, (std::string("btDel") + name).c_str(), tr("&Remove"), false);
    connect(btAdd, &QPushButton::clicked, this, add);
    connect(btDel, &QPushButton::clicked, this, del);
    auto *layout = new QGridLayout(widget);
    layout->addWidget(names.Edit, 0, 0);
    layout->addWidget(btAdd, 0, 1);
    layout->addWidget(names.List, 1, 0, 2, 1);
    layout->addWidget(btDel, 1, 1);
    layout->setRowStretch(2, 1);
    setTabOrder(names.Edit, btAdd);
    setTabOrder(btAdd, names.List);
    setTabOrder(names.List, btDel);
    return widget;
}

void TUserFilterDlg::FormCreate()
{
    CentreOverOwner(this, parentWidget());
    for (TNamePage *page : {&FFriends, &FEnemies}) {
        page->List->clear();
        for (const std::string &n : page->Names.Items())
            page->List->addItem(BytesToText(n));
    }
}

void TUserFilterDlg::Add(TNamePage &page)
{
    const std::string name = TextToBytes(page.Edit->text());
    // The names keep their order and refuse blanks and names held in another case.
    if (!page.Names.Add(name)) return;
    page.List->insertItem(page.Names.IndexOf(name), BytesToText(name));
}

void TUserFilterDlg::Remove(TNamePage &page)
{
    std::vector<int> rows;
    for (const QModelIndex &index : page.List->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.rbegin(), rows.rend());
    for (int row : rows)
        delete page.List->takeItem(row);
    page.Names.RemoveIndices(rows);
}

void TUserFilterDlg::OKBtnClick()
{
    if (!FFilter.Apply(FExpress->checkedId(), FPost->checkedId(), FFriends.Names, FEnemies.Names))
        ReportSaveFailure(this, FFilter.IniFileName());
    accept();
}
