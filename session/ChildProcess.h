// A helper program run as a child (the file-transfer tools), behind a small interface so
// the transfer logic stays free of Qt. Listener calls always come from the event loop,
// never from inside Start, Write, CloseInput or Stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TChildListener
{
public:
    virtual ~TChildListener() = default;
    virtual void ChildOutput(const uint8_t *data, size_t count) = 0; // its standard output
    virtual void ChildMessage(const std::string &line) = 0;          // a line of its error output
    // It ended (exit code, or -1 after a signal); also after Stop. The last call.
    virtual void ChildFinished(int exitCode) = 0;
    // It could not be started; the last call.
    virtual void ChildFailed(const std::string &why) = 0;
    // It has taken all that was written to it.
    virtual void ChildInputTaken() {}
};

class TChildProcess
{
public:
    virtual ~TChildProcess() = default;
    // Runs Program (looked up in PATH) with Args, never through a shell.
    virtual void Start(const std::string &program, const std::vector<std::string> &args,
                       const std::string &folder, TChildListener &listener) = 0;
    virtual void Write(const uint8_t *data, size_t count) = 0;
    // Bytes written that it has not taken yet.
    virtual size_t Queued() const { return 0; }
    virtual void CloseInput() = 0;
    // Ends it once it has taken what was written to it (SIGTERM, later SIGKILL): a
    // receiving tool keeps what it had, where the end of its input would make it give up.
    virtual void Stop() = 0;
};

using TChildFactory = std::function<std::unique_ptr<TChildProcess>()>;
