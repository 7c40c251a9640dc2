#include "shell/PlainText.h"

#include <QTextDocument>

QString PlainToolTip(const QString &text)
{
    // Rich text made from plain text: Qt would take a plain tooltip with a tag in it for markup.
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

QString PlainWindowTitle(const QString &text)
{
    QString t = text;
    return t.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

QString NoticeBody(const QString &text)
{
    return text.toHtmlEscaped().replace(QStringLiteral("&quot;"), QStringLiteral("\""));
}

void ShowPlainMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
