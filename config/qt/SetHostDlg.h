// Setup Hosts: enter, change and delete the hosts of the host list. OK stores
// the named host in its own section; the caller then reads the boxes to make
// it the current host. Delete acts on the file at once.
#pragma once

#include "config/HelpTopic.h"
#include "config/SetHost.h"

#include <QDialog>

#include <string>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class TSetHostDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::SetupHosts;

    TSetHostDlg(THostInfo &hosts, QWidget *parent);

    // What the boxes hold; after OK, the host just stored.
    std::string BBSName() const;
    std::string Address() const;
    std::string Port() const;
    THostMode Mode() const { return FMode; } // as chosen at OK; before it, the current host's
    bool AutoLogin() const;
    std::string LoginName() const;
    std::string Password() const;

private:
    THostInfo &FHosts;
    THostMode FMode = hmORVO;
    bool FLoading = false; // the dialog itself is filling the boxes

    QComboBox *cbBBSName;
    QLineEdit *edAddress;
    QLineEdit *edPortNum;
    QRadioButton *rbORVO;
    QRadioButton *rbISCA;
    QRadioButton *rbTelnet;
    QButtonGroup *FModes;
    QCheckBox *cbAutoLogin;
    QLabel *lbLoginName;
    QLabel *lbPassword;
    QLineEdit *edLoginName;
    QLineEdit *edPassword;
    QPushButton *btDelete;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    void FormCreate();
    void CheckMode(int mode); // any value but 0..2 checks none
    void ModeChecked(THostMode mode);
    void EnableLogin();
    void cbBBSNameChange();
    void OKBtnClick();
    void btDeleteClick();
    THostSettings Settings() const;
};
