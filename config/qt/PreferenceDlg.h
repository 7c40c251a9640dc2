// Preferences: connect at start-up, exit on disconnect, colours, flashing,
// reconnecting, message notices and lines on screen. OK stores them in the preferences and saves those.
#pragma once

#include "config/HelpTopic.h"
#include "config/Prefernc.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPreferenceDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::Preferences;

    TPreferenceDlg(TClientPrefs &prefs, QWidget *parent);

private:
    TClientPrefs &FPrefs;

    QCheckBox *cbStartCon;
    QCheckBox *cbDisExit;
    QCheckBox *cbColours;
    QCheckBox *cbFlashing;
    QCheckBox *cbReconnect;
    QCheckBox *cbNotices;
    QLabel *lbLines;
    QLineEdit *edLines;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    void OKBtnClick();
};
