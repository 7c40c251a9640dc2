#include "session/secure/qt/TrustDialogs.h"

#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {
QString Text(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
} // namespace

void AskTrustDialog(QWidget *parent, const TTrustQuestion &q, std::function<void(bool)> answer)
{
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setWindowTitle(QObject::tr("New host key"));
    box->setTextFormat(Qt::PlainText);
    const bool certificate = q.KeyKind == "certificate";
    box->setText(
        (certificate
             ? QObject::tr("This is the first connection to %1 over TLS. Its certificate is not vouched "
                           "for by an authority of this system.")
             : QObject::tr("This is the first connection to %1 over SSH."))
            .arg(Text(q.Host)) +
        (q.Warning.empty() ? QString() : "\n\n" + Text(q.Warning)) + "\n\n" +
        (certificate ? QObject::tr("Fingerprint of its public key:")
                     : QObject::tr("Fingerprint of its %1 host key:").arg(Text(q.KeyKind))) +
        "\n" + Text(q.Fingerprint) + "\n\n" +
        QObject::tr("If the BBS publishes its fingerprint, compare it with this one. Trust it and connect? "
                    "winMarlet will remember it and not ask again."));
    if (!q.Details.empty()) box->setDetailedText(Text(q.Details));
    QPushButton *trust = box->addButton(QObject::tr("&Trust and Connect"), QMessageBox::AcceptRole);
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, trust, answer] { answer(box->clickedButton() == trust); });
    box->open();
}

void AskPasswordDialog(QWidget *parent, const std::string &user, const std::string &host,
                       std::function<void(std::optional<std::string>)> answer)
{
    auto *dlg = new QInputDialog(parent);
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setWindowModality(Qt::WindowModal);
    dlg->setWindowTitle(QObject::tr("SSH Password"));
    // QInputDialog's label is a QLabel that guesses rich text: what others wrote is plain text.
    dlg->setLabelText(QObject::tr("Password for %1 on %2:").arg(Text(user), Text(host)));
    if (auto *label = dlg->findChild<QLabel *>()) label->setTextFormat(Qt::PlainText);
    dlg->setTextEchoMode(QLineEdit::Password);
    QObject::connect(dlg, &QInputDialog::finished, dlg, [dlg, answer](int result) {
        if (result == QDialog::Accepted) {
            const QByteArray pw = dlg->textValue().toUtf8();
            answer(std::string(pw.constData(), static_cast<std::size_t>(pw.size())));
        } else {
            answer(std::nullopt);
        }
    });
    dlg->open();
}
