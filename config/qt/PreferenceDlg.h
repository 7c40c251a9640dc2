// Preferences: on a general page connecting, exiting, colours, flashing, reconnecting,
// message notices, the high-contrast palette, lines on screen, history lines, the
// emulation for links and the download folder; on a page of its own what a screen
// reader is told. OK stores them in the preferences and saves those.
#pragma once

#include "config/HelpTopic.h"
#include "config/Prefernc.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class TPreferenceDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr THelpTopic HelpContext = THelpTopic::Preferences;
    static constexpr THelpTopic AccessibilityHelpContext = THelpTopic::Accessibility;

    TPreferenceDlg(TClientPrefs &prefs, QWidget *parent);

private:
    TClientPrefs &FPrefs;

    QTabWidget *PageControl;
    QCheckBox *cbStartCon;
    QCheckBox *cbDisExit;
    QCheckBox *cbColours;
    QCheckBox *cbFlashing;
    QCheckBox *cbReconnect;
    QCheckBox *cbNotices;
    QCheckBox *cbHighContrast;
    QLabel *lbLines;
    QLineEdit *edLines;
    QLabel *lbHistory;
    QLineEdit *edHistory;
    QLabel *lbLinkEmulation;
    QComboBox *cbLinkEmulation;
    QLabel *lbDownloads;
    QLineEdit *edDownloads;
    QPushButton *btBrowse;
    QCheckBox *cbAnnounce;
    QCheckBox *cbAnnounceMessages;
    QCheckBox *cbSilent;
    QPushButton *OKBtn;
    QPushButton *CancelBtn;
    QPushButton *HelpBtn;

    QWidget *GeneralPage();
    QWidget *AccessibilityPage();
    void btBrowseClick();
    void OKBtnClick();
};
