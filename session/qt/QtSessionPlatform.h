// The session's platform on Qt's event loop: QTimer, queued calls and a steady clock.
#pragma once

#include "session/SessionPlatform.h"

#include <QObject>

class TQtSessionPlatform : public TSessionPlatform
{
public:
    // Either may be empty: a steady clock and Qt's random generator then.
    TQtSessionPlatform(std::function<int64_t()> now = {}, std::function<double()> random = {});

    int64_t Now() override;
    double Random() override;
    void Post(std::function<void()> call) override;
    std::unique_ptr<TSessionTimer> MakeTimer(std::function<void()> due) override;

private:
    std::function<int64_t()> FNow;
    std::function<double()> FRandom;
    QObject FContext; // queued calls die with it
};
