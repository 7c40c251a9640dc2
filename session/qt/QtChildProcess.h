// The helper-program interface on QProcess: an argument list, never a shell.
#pragma once

#include "session/ChildProcess.h"

class QProcess;

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

    static TChildFactory Factory();

private:
    QProcess *FProcess;
    TChildListener *FListener = nullptr;
    bool FDone = false;
    bool FStopping = false;
};
