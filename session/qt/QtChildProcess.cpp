#include "session/qt/QtChildProcess.h"

#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// A tool told to stop reads what is written to it, gets this long more to take it in, then
// SIGTERM; SIGKILL when it still runs after the last.
constexpr int TerminateAfterMs = 200;
constexpr int KillAfterMs = 5000;
constexpr size_t ReadPiece = 65536;
constexpr int RetryAfterMs = 1;
constexpr qsizetype MaxErrorLine = 1024;
constexpr int PipeSize = 1 << 20; // what a fast transfer brings in several retry periods

// Pipe ends of ours stay clear of 0, 1 and 2, which the child's ends are copied onto.
int AboveStandard(int fd)
{
    if (fd > 2) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    ::close(fd);
    return moved;
}

bool MakePipe(int ends[2])
{
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    ends[0] = AboveStandard(ends[0]);
    ends[1] = AboveStandard(ends[1]);
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    for (int i : {0, 1})
        if (ends[i] >= 0) ::close(ends[i]);
    return false;
}
} // namespace

TQtChildProcess::TQtChildProcess() : FProcess(new QProcess)
{
    // A tool gone away must give EPIPE on its input, not end the program.
    static const bool ignored = [] { return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR; }();
    (void)ignored;
    QObject::connect(FProcess, &QProcess::readyReadStandardError, FProcess, [this] {
        // A tool writes a line in pieces (progress lines end in CR): it is told once whole, or
        // once too long to wait for.
        FErrorLine += FProcess->readAllStandardError();
        for (;;) {
            const auto end = std::find_if(FErrorLine.begin(), FErrorLine.end(),
                                          [](char c) { return c == '\n' || c == '\r'; });
            const qsizetype at = end - FErrorLine.begin();
            if (end == FErrorLine.end() && at <= MaxErrorLine) break;
            TellErrorLine(FErrorLine.left(at));
            FErrorLine.remove(0, at + 1);
        }
    });
    QObject::connect(FProcess, &QProcess::finished, FProcess, [this](int code, QProcess::ExitStatus status) {
        Finished(status == QProcess::NormalExit ? code : -1);
    });
    // Qt may report this from inside start(): it is told from the event loop.
    QObject::connect(
        FProcess, &QProcess::errorOccurred, FProcess,
        [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart || FDone) return;
            FDone = true;
            CloseIn();
            CloseOut();
            if (FListener) FListener->ChildFailed(FProcess->errorString().toStdString());
        },
        Qt::QueuedConnection);
}

TQtChildProcess::~TQtChildProcess()
{
    *FAlive = false;
    CloseIn();
    CloseOut();
    // The listener may drop us from inside one of its calls: the process object goes
    // later, a running tool with it.
    QObject::disconnect(FProcess, nullptr, nullptr, nullptr);
    if (FProcess->state() != QProcess::NotRunning) {
        QObject::connect(FProcess, &QProcess::finished, FProcess, &QObject::deleteLater);
        FProcess->kill();
    } else {
        FProcess->deleteLater();
    }
    if (FRetry) FRetry.release()->deleteLater(); // we may be inside its timeout
}

void TQtChildProcess::Start(const std::string &program, const std::vector<std::string> &args,
                            const std::string &folder, TChildListener &listener)
{
    FListener = &listener;
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (!MakePipe(in) || !MakePipe(out)) {
        const std::string why = std::strerror(errno);
        for (int fd : {in[0], in[1]})
            if (fd >= 0) ::close(fd);
        FDone = true;
        QTimer::singleShot(0, FProcess, [this, alive = FAlive, why] {
            if (*alive && FListener) FListener->ChildFailed(why);
        });
        return;
    }
    const int childIn = in[0], childOut = out[1];
    FProcess->setStandardInputFile(QProcess::nullDevice());
    FProcess->setStandardOutputFile(QProcess::nullDevice());
    // Runs in the child between fork and exec: only async-signal-safe calls.
    FProcess->setChildProcessModifier([childIn, childOut] {
        ::dup2(childIn, STDIN_FILENO);
        ::dup2(childOut, STDOUT_FILENO);
    });
    QStringList list;
    for (const std::string &a : args)
        list << QString::fromLocal8Bit(a.c_str());
    FProcess->setWorkingDirectory(QString::fromLocal8Bit(folder.c_str()));
    FProcess->start(QString::fromLocal8Bit(program.c_str()), list);
    ::close(childIn);
    ::close(childOut);
    FIn = in[1];
    FOut = out[0];
    ::fcntl(FIn, F_SETPIPE_SZ, PipeSize);
    ::fcntl(FIn, F_SETFL, O_NONBLOCK);
    ::fcntl(FOut, F_SETFL, O_NONBLOCK);
    // A full pipe means the tool is behind: waking at each of its small reads to write a
    // little more would cost more than the tool's own work, so the rest goes a moment later.
    FRetry = std::make_unique<QTimer>();
    FRetry->setSingleShot(true);
    FRetry->setTimerType(Qt::PreciseTimer);
    FRetry->setInterval(RetryAfterMs);
    QObject::connect(FRetry.get(), &QTimer::timeout, FRetry.get(), [this] { Flush(); });
    FOutWatch = std::make_unique<QSocketNotifier>(FOut, QSocketNotifier::Read);
    QObject::connect(FOutWatch.get(), &QSocketNotifier::activated, FOutWatch.get(),
                     [this] { ReadOutput(false); });
}

void TQtChildProcess::Write(const uint8_t *data, size_t count)
{
    if (FIn < 0 || FStopping || FCloseWhenWritten || count == 0) return;
    if (Queued() == 0) { // straight into the pipe; only the rest waits
        FQueue.clear();
        FHead = 0;
        while (count > 0) {
            const ssize_t n = ::write(FIn, data, count);
            if (n > 0) {
                data += n;
                count -= size_t(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else if (n < 0 && errno == EAGAIN) {
                break;
            } else {
                CloseIn(); // the tool has gone; what it did is told by its ending
                return;
            }
        }
        if (count == 0) return;
    }
    FQueue.append(reinterpret_cast<const char *>(data), count);
    if (!FRetry->isActive()) FRetry->start();
}

void TQtChildProcess::Flush()
{
    while (FIn >= 0 && Queued() > 0) {
        const ssize_t n = ::write(FIn, FQueue.data() + FHead, Queued());
        if (n > 0)
            FHead += size_t(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN)
            break;
        else
            CloseIn();
    }
    if (FIn >= 0 && Queued() > 0) {
        if (FHead >= (1u << 20)) { // what was written goes, now and then
            FQueue.erase(0, FHead);
            FHead = 0;
        }
        FRetry->start();
        return;
    }
    FQueue.clear();
    FHead = 0;
    if (FCloseWhenWritten) CloseIn();
    if (FStopping) TerminateSoon();
    if (FListener) FListener->ChildInputTaken();
}

bool TQtChildProcess::ReadOutput(bool toEnd)
{
    const std::shared_ptr<bool> alive = FAlive;
    char piece[ReadPiece];
    while (FOut >= 0) {
        const ssize_t n = ::read(FOut, piece, sizeof piece);
        if (n > 0) {
            if (FListener) FListener->ChildOutput(reinterpret_cast<const uint8_t *>(piece), size_t(n));
            if (!*alive) return false;
            if (size_t(n) < sizeof piece && !toEnd) break; // the pipe is empty for now
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            CloseOut(); // its end: the process's ending is reported by QProcess
        }
    }
    return true;
}

void TQtChildProcess::Finished(int code)
{
    if (FDone) return;
    // All it wrote is in the pipe by now, and goes on before its ending is told.
    if (!ReadOutput(true)) return;
    FDone = true;
    CloseIn();
    CloseOut();
    FErrorLine += FProcess->readAllStandardError();
    for (const QByteArray &line : FErrorLine.replace('\r', '\n').split('\n'))
        TellErrorLine(line);
    FErrorLine.clear();
    if (FListener) FListener->ChildFinished(code);
}

void TQtChildProcess::TellErrorLine(const QByteArray &line)
{
    if (FListener && !line.trimmed().isEmpty()) FListener->ChildMessage(line.toStdString());
}

void TQtChildProcess::CloseIn()
{
    if (FRetry) FRetry->stop(); // not freed here: this may run inside its own timeout
    if (FIn >= 0) ::close(FIn);
    FIn = -1;
    FQueue.clear();
    FHead = 0;
}

void TQtChildProcess::CloseOut()
{
    FOutWatch.reset();
    if (FOut >= 0) ::close(FOut);
    FOut = -1;
}

void TQtChildProcess::CloseInput()
{
    if (Queued() == 0)
        CloseIn();
    else
        FCloseWhenWritten = true;
}

void TQtChildProcess::Stop()
{
    if (FProcess->state() == QProcess::NotRunning || FStopping) return;
    FStopping = true;
    if (Queued() == 0) TerminateSoon();
    QPointer<QProcess> process(FProcess);
    QTimer::singleShot(KillAfterMs, FProcess, [process] {
        if (process && process->state() != QProcess::NotRunning) process->kill();
    });
}

void TQtChildProcess::TerminateSoon()
{
    QPointer<QProcess> process(FProcess);
    QTimer::singleShot(TerminateAfterMs, process, [process] {
        if (process && process->state() != QProcess::NotRunning) process->terminate();
    });
}

TChildFactory TQtChildProcess::Factory()
{
    return [] { return std::make_unique<TQtChildProcess>(); };
}
