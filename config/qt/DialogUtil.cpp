#include "config/qt/DialogUtil.h"

#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QVariant>

void CentreOverOwner(QWidget *window, const QWidget *owner)
{
    if (!owner) return;
    const QRect o = owner->window()->frameGeometry();
    const QSize own = window->frameGeometry().size();
    // Integer division in C++ already rounds toward zero, negative halves included.
    window->move(o.left() + (o.width() - own.width()) / 2, o.top() + (o.height() - own.height()) / 2);
}

void FixClientSize(QDialog *dialog, QSize clientSize)
{
    dialog->setWindowFlags(dialog->windowFlags() | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setFixedSize(clientSize.expandedTo(dialog->minimumSizeHint()));
}

void SetHelpContext(QWidget *widget, THelpTopic topic)
{
    widget->setProperty(HelpTopicProperty, int(topic));
}

QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QString BytesToText(const std::string &bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::string TextToBytes(const QString &text)
{
    return text.toLatin1().toStdString();
}

void ReportSaveFailure(QWidget *parent, const std::string &fileName)
{
    QMessageBox::critical(parent, QObject::tr("Error"),
                          QObject::tr("The settings could not be written to %1.")
                              .arg(QString::fromLocal8Bit(fileName.data(), qsizetype(fileName.size()))));
}
