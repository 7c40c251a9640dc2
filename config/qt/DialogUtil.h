// Small pieces the setup dialogs share: placement, fixed size, help context,
// byte-string conversion and the note shown when the settings file cannot be written.
#pragma once

#include "config/HelpTopic.h"

#include <QSize>
#include <QString>

#include <string>

class QDialog;
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

// The settings file keeps bytes; every byte survives the trip through a box.
QString BytesToText(const std::string &bytes);
std::string TextToBytes(const QString &text);

// An error box telling that the settings file could not be written.
void ReportSaveFailure(QWidget *parent, const std::string &fileName);
