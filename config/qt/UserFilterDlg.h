// User Filter: the express-message and post filters and the friends and
// enemies lists. OK hands them to the filter, which saves them.
#pragma once

#include "config/HelpTopic.h"
#include "config/UserFilt.h"

#include <QDialog>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;

class TUserFilterDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::UserFilter;

    TUserFilterDlg(TUserFilter &filter, QWidget *parent);

private:
    // One page of names: the edit, the sorted list box and the names behind it.
    struct TNamePage
    {
        QLineEdit *Edit;
        QListWidget *List;
        TNameList Names;
    };

    TUserFilter &FFilter;
    TNamePage FFriends;
    TNamePage FEnemies;

    QTabWidget *PageControl1;
    QGroupBox *rgExpressFilter;
    QGroupBox *rgPostFilter;
    QButtonGroup *FExpress;
    QButtonGroup *FPost;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    QGroupBox *RadioGroup(const char *name, const QString &caption, const QStringList &items,
                          QButtonGroup *&group, int value);
    QWidget *NamePage(const char *page, const char *name, const char *listName, TNamePage &names,
                      const TNameList &from, void (TUserFilterDlg::*add)(), void (TUserFilterDlg::*del)());
    void FormCreate();
    void btAddFriendClick() { Add(FFriends); }
    void btAddEnemyClick() { Add(FEnemies); }
    void btDelFriendClick() { Remove(FFriends); }
    void btDelEnemyClick() { Remove(FEnemies); }
    void Add(TNamePage &page);
    void Remove(TNamePage &page);
    void OKBtnClick();
};
