// Small pieces the setup dialogs share: placement, fixed size, help context, the
// OK/Cancel/Help row, text conversion and message boxes.
#pragma once

#include "config/HelpTopic.h"

#include <QMessageBox>
#include <QSize>
#include <QString>

#include <string>

class QBoxLayout;
class QDialog;
class QLabel;
class QPushButton;
class QWidget;

// Places the window over the middle of owner: left = owner left + (owner width -
// own width) / 2 and top likewise, halves rounded toward zero. No owner: left as is.
void CentreOverOwner(QWidget *window, const QWidget *owner);

// Fixed dialog border with the given client area, grown only where the
// contents would not fit in it (fonts differ from one desktop to the next).
void FixClientSize(QDialog *dialog, QSize clientSize);

// The help topic F1 opens for this widget and its children.
void SetHelpContext(QWidget *widget, THelpTopic topic);

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption);

// A label naming buddy (its accessible name and the Alt key that focuses it).
QLabel *BuddyLabel(const QString &caption, QWidget *buddy, QWidget *parent, const char *name = nullptr);

// Every dialog's button row: "OK" (the default button; its click is the dialog's to
// handle), "Cancel" (closes with Cancel) and "&Help" (shows the dialog's help topic, as F1
// does), after the given widgets at the left.
struct TDialogButtons
{
    QPushButton *OKBtn, *CancelBtn, *HelpBtn;
};
TDialogButtons AddDialogButtons(QDialog *dialog, QBoxLayout *layout,
                                std::initializer_list<QWidget *> left = {});

// The stores hold UTF-8.
QString BytesToText(const std::string &bytes);
std::string TextToBytes(const QString &text);

// A message box whose text is shown as plain text, whatever it holds (names come
// from the user and from links). Returns the button pressed.
QMessageBox::StandardButton ShowMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                        const QString &text,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

// An error box telling that the settings file could not be written.
void ReportSaveFailure(QWidget *parent, const std::string &fileName);
