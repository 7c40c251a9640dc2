// Text that other people wrote (the BBS and its users, file names, system errors) shown by
// Qt: always as the characters it holds, never as markup that could load a file or a link.
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// A tooltip that shows `text` as it is, line breaks kept.
QString PlainToolTip(const QString &text);
// A window title that shows `text` as it is (Qt reads "[*]" as the modified mark).
QString PlainWindowTitle(const QString &text);
// The body of a desktop notice, whose servers read a little markup: &, < and > escaped.
QString NoticeBody(const QString &text);
// A modal message box with an OK button whose text is plain text.
void ShowPlainMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text);
