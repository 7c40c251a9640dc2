#include "session/qt/QtChildProcess.h"

#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

namespace {
// A tool told to stop reads what is written to it, gets this long more to take it in, then
// SIGTERM; SIGKILL when it still runs after the last.
constexpr int TerminateAfterMs = 200;
constexpr int KillAfterMs = 5000;
} // namespace

TQtChildProcess::TQtChildProcess() : FProcess(new QProcess)
{
    FProcess->setProcessChannelMode(QProcess::SeparateChannels);
    QObject::connect(FProcess, &QProcess::readyReadStandardOutput, FProcess, [this] {
        const QByteArray bytes = FProcess->readAllStandardOutput();
        if (FListener && !bytes.isEmpty())
            FListener->ChildOutput(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                   size_t(bytes.size()));
    });
    QObject::connect(FProcess, &QProcess::readyReadStandardError, FProcess, [this] {
        // Progress lines end in CR; only whole lines matter, and only the last of a batch.
        const QByteArray bytes = FProcess->readAllStandardError();
        for (const QByteArray &line : bytes.split('\n'))
            if (FListener && !line.trimmed().isEmpty()) FListener->ChildMessage(line.toStdString());
    });
    QObject::connect(FProcess, &QProcess::finished, FProcess, [this](int code, QProcess::ExitStatus status) {
        if (FDone) return;
        FDone = true;
        if (FListener) FListener->ChildFinished(status == QProcess::NormalExit ? code : -1);
    });
    // Qt may report this from inside start(): it is told from the event loop.
    QObject::connect(
        FProcess, &QProcess::errorOccurred, FProcess,
        [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || FDone) return;
            FDone = true;
            if (FListener) FListener->ChildFailed(FProcess->errorString().toStdString());
        },
        Qt::QueuedConnection);
}

TQtChildProcess::~TQtChildProcess()
{
    // The listener may drop us from inside one of its calls: the process object goes
    // later, a running tool with it.
    QObject::disconnect(FProcess, nullptr, nullptr, nullptr);
    if (FProcess->state() != QProcess::NotRunning) {
        QObject::connect(FProcess, &QProcess::finished, FProcess, &QObject::deleteLater);
        FProcess->kill();
    } else {
        FProcess->deleteLater();
    }
}

void TQtChildProcess::Start(const std::string &program, const std::vector<std::string> &args,
                            const std::string &folder, TChildListener &listener)
{
    FListener = &listener;
    QStringList list;
    for (const std::string &a : args)
        list << QString::fromLocal8Bit(a.c_str());
    FProcess->setWorkingDirectory(QString::fromLocal8Bit(folder.c_str()));
    FProcess->start(QString::fromLocal8Bit(program.c_str()), list);
}

void TQtChildProcess::Write(const uint8_t *data, size_t count)
{
    if (FProcess->state() != QProcess::NotRunning && !FStopping)
        FProcess->write(reinterpret_cast<const char *>(data), qint64(count));
}

void TQtChildProcess::CloseInput()
{
    FProcess->closeWriteChannel();
}

void TQtChildProcess::Stop()
{
    if (FProcess->state() == QProcess::NotRunning || FStopping) return;
    FStopping = true;
    QPointer<QProcess> process(FProcess);
    auto terminate = [process] {
        QTimer::singleShot(TerminateAfterMs, process, [process] {
            if (process && process->state() != QProcess::NotRunning) process->terminate();
        });
    };
    if (FProcess->bytesToWrite() == 0)
        terminate();
    else
        QObject::connect(FProcess, &QProcess::bytesWritten, FProcess, [process, terminate] {
            if (process->bytesToWrite() == 0) terminate();
        });
    QTimer::singleShot(KillAfterMs, FProcess, [process] {
        if (process && process->state() != QProcess::NotRunning) process->kill();
    });
}

TChildFactory TQtChildProcess::Factory()
{
    return [] { return std::make_unique<TQtChildProcess>(); };
}
