#include "config/qt/DialogUtil.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
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

QLabel *BuddyLabel(const QString &caption, QWidget *buddy, QWidget *parent, const char *name)
{
    auto *label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    if (name) label->setObjectName(QLatin1String(name));
    return label;
}

TDialogButtons AddDialogButtons(QDialog *dialog, QBoxLayout *layout, std::initializer_list<QWidget *> left)
{
    auto *row = new QHBoxLayout;
    for (QWidget *w : left)
        row->addWidget(w);
    row->addStretch();
    TDialogButtons b{MakeButton(dialog, "OKBtn", QObject::tr("OK")),
                     MakeButton(dialog, "CancelBtn", QObject::tr("Cancel")),
                     MakeButton(dialog, "HelpBtn", QObject::tr("&Help"))};
    b.OKBtn->setDefault(true);
    for (QPushButton *button : {b.OKBtn, b.CancelBtn, b.HelpBtn})
        row->addWidget(button);
    layout->addLayout(row);
    QObject::connect(b.CancelBtn, &QPushButton::clicked, dialog, &QDialog::reject);
    // The help key, as F1 would send it from here: the help system shows the dialog's topic.
    // A page of a tabbed dialog may have a topic of its own.
    QObject::connect(b.HelpBtn, &QPushButton::clicked, dialog, [dialog, help = b.HelpBtn] {
        QWidget *from = help;
        if (auto *pages = dialog->findChild<QTabWidget *>(); pages && pages->currentWidget())
            from = pages->currentWidget();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Help, Qt::NoModifier);
        QApplication::sendEvent(from, &press);
    });
    return b;
}

QString BytesToText(const std::string &bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

std::string TextToBytes(const QString &text)
{
    return text.toUtf8().toStdString();
}

QMessageBox::StandardButton ShowMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                                        const QString &text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

void ReportSaveFailure(QWidget *parent, const std::string &fileName)
{
    ShowMessage(parent, QMessageBox::Critical, QObject::tr("Error"),
                QObject::tr("The settings could not be written to %1.")
                    .arg(QString::fromLocal8Bit(fileName.data(), qsizetype(fileName.size()))));
}
