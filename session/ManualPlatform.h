// A session platform turned by hand, for the replay tool, tests and fuzz targets: posted
// calls wait until RunPosted, timers until the clock is moved past them.
#pragma once

#include "session/SessionPlatform.h"

#include <deque>
#include <vector>

class TManualPlatform : public TSessionPlatform
{
public:
    ~TManualPlatform() override;

    int64_t Clock = 0; // what Now says
    double Chance = 0; // what Random says

    int64_t Now() override { return Clock; }
    double Random() override { return Chance; }
    void Post(std::function<void()> call) override { FQueue.push_back(std::move(call)); }
    std::unique_ptr<TSessionTimer> MakeTimer(std::function<void()> due) override;

    // The event loop's turn: runs the posted calls, and those they post, in order.
    // Returns how many ran.
    int RunPosted();
    // Moves the clock on by `ms`, running each timer that falls due (and what it posts).
    void Advance(int64_t ms);

private:
    class TTimer;
    std::deque<std::function<void()>> FQueue;
    std::vector<TTimer *> FTimers;
};
