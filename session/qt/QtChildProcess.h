// The helper-program interface on QProcess: an argument list, never a shell. Its standard
// input and output are pipes of our own, written and read straight away in large pieces:
// QProcess hands on one buffered block per turn of the event loop, which halves what a
// transfer can move.
#pragma once

#include "session/ChildProcess.h"

#include <QByteArray>
#include <memory>

class QProcess;
class QSocketNotifier;
class QTimer;

class TQtChildProcess : public TChildProcess
{
public:
    TQtChildProcess();
    ~TQtChildProcess() override;
    void Start(const std::string &program, const std::vector<std::string> &args, const std::string &folder,
               TChildListener &listener) override;
    void Write(const uint8_t *data, size_t count) override;
    void CloseInput() override;
    void Stop() override;
    size_t Queued() const override { return FQueue.size() - FHead; }

    static TChildFactory Factory();

private:
    void Flush();
    bool ReadOutput(bool toEnd); // false: the listener dropped us meanwhile
    void TerminateSoon();
    void Finished(int code);
    void TellErrorLine(const QByteArray &line);
    void CloseIn();
    void CloseOut();

    QProcess *FProcess;
    TChildListener *FListener = nullptr;
    int FIn = -1;  // our end of its standard input
    int FOut = -1; // our end of its standard output
    std::unique_ptr<QSocketNotifier> FOutWatch;
    std::unique_ptr<QTimer> FRetry; // writes what its input pipe could not take
    std::string FQueue;             // what its input pipe could not take yet
    size_t FHead = 0;
    bool FCloseWhenWritten = false;
    bool FDone = false;
    bool FStopping = false;
    QByteArray FErrorLine; // the start of a line of its error output
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
