#include "shell/CaptureControl.h"

#include "session/Session.h"
#include "shell/PlainText.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

QString Title()
{
    return qApp->property("applicationTitle").toString();
}

} // namespace

TCaptureControl::TCaptureControl(QWidget &window, TSession &session, std::function<void()> changed,
                                 std::function<void(const QString &text)> status)
    : FWindow(window), FSession(session), FChanged(std::move(changed)), FStatus(std::move(status))
{
}

bool TCaptureControl::Running() const
{
    return FSession.Capturing();
}

void TCaptureControl::Toggle()
{
    if (Running()) {
        Stop();
        return;
    }
    FChanged(); // the click toggled the check mark; the capture decides it
    const QString raw = QObject::tr("Raw received bytes, for winmarlet-replay --raw (*.raw)");
    QString filter;
    const QString path =
        QFileDialog::getSaveFileName(&FWindow, QObject::tr("Capture to File"), QStringLiteral("session.txt"),
                                     QObject::tr("Plain text (*.txt)") + QStringLiteral(";;") + raw, &filter);
    if (!path.isEmpty()) Start(path, filter == raw ? cfRaw : cfPlainText);
}

bool TCaptureControl::Start(const QString &path, TCaptureForm form)
{
    if (Running()) Stop();
    auto sink = std::make_unique<TFileCaptureSink>(path.toLocal8Bit().toStdString());
    if (!sink->IsOpen()) {
        FChanged();
        ShowPlainMessage(
            &FWindow, QMessageBox::Warning, Title(),
            QObject::tr("Cannot capture to %1: %2.").arg(path, QString::fromLocal8Bit(sink->Error())));
        return false;
    }
    FSession.StartCapture(std::make_unique<TSessionCapture>(std::move(sink), form));
    FPath = path;
    FChanged();
    FStatus(QStringLiteral(" Capturing to %1.").arg(path));
    return true;
}

void TCaptureControl::Stop()
{
    const std::unique_ptr<TSessionCapture> capture = FSession.TakeCapture();
    if (!capture) return;
    const bool ok = capture->Finish();
    const QString why = QString::fromLocal8Bit(capture->Error());
    FChanged();
    if (ok)
        FStatus(QStringLiteral(" Capture saved to %1.").arg(FPath));
    else
        Tell(why);
}

void TCaptureControl::Failed(const std::string &why)
{
    // Called while output is being handled: the user hears of it from the event loop.
    FChanged();
    Tell(QString::fromLocal8Bit(why));
}

void TCaptureControl::Tell(const QString &why)
{
    FStatus(QStringLiteral(" Capture stopped: %1.").arg(why));
    const QString text = QObject::tr("Capture to %1 stopped: %2.").arg(FPath, why);
    QPointer<QWidget> window(&FWindow);
    QMetaObject::invokeMethod(
        &FWindow,
        [window, text] {
            if (window) ShowPlainMessage(window, QMessageBox::Warning, Title(), text);
        },
        Qt::QueuedConnection);
}
