// Setup Hosts: enter, change and delete the hosts of the host list. Nothing is
// written before OK: then the deletions are carried out and the named host is stored
// in its own section; the caller then makes it the current host (UseHost).
#pragma once

#include "config/HelpTopic.h"
#include "config/SetHost.h"

#include <QDialog>

#include <string>
#include <vector>

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

    // What the boxes hold (name, address and port without blanks around them);
    // after OK, the host just stored.
    std::string BBSName() const;
    std::string Address() const;
    std::string Port() const;
    THostMode Mode() const { return FMode; } // as chosen at OK; before it, the current host's
    bool AutoLogin() const;
    std::string LoginName() const;
    std::string Password() const;
    THostSettings Settings() const;

private:
    THostInfo &FHosts;
    THostMode FMode = hmORVO;
    bool FLoading = false;        // the dialog itself is filling the boxes
    bool FTerminalChosen = false; // a stored host's terminal, or the user's: the mode no longer suggests one
    std::vector<std::string> FDeleted; // names Delete Config took out, erased at OK

    QComboBox *cbBBSName;
    QLineEdit *edAddress;
    QLineEdit *edPortNum;
    QRadioButton *rbORVO, *rbISCA, *rbTelnet;
    QRadioButton *rbTcp, *rbTls, *rbSsh;
    QRadioButton *rbClassic, *rbAnsiBbs;
    QButtonGroup *FModes, *FTransports, *FTerminals;
    QCheckBox *cbIceColours;
    QCheckBox *cbLfExpand;
    QCheckBox *cbHideSauce;
    QCheckBox *cbAutoLogin;
    QLabel *lbLoginName;
    QLabel *lbPassword;
    QLineEdit *edLoginName;
    QLineEdit *edPassword;
    QPushButton *btDelete;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    void Layout();
    void FormCreate();
    void ShowHost(const THostSettings &host); // fills every box but the name
    void Check(QButtonGroup *group, int id);  // an id without a button checks none
    void ChoiceChanged();                     // the user picked a mode or a connection
    void EnableFields();
    void cbBBSNameChange();
    void OKBtnClick();
    void btDeleteClick();
    bool Deleted(const std::string &name) const;
};
