#include "session/ManualPlatform.h"

#include <algorithm>

class TManualPlatform::TTimer : public TSessionTimer
{
public:
    TTimer(TManualPlatform &platform, std::function<void()> due) : Platform(platform), Due(std::move(due))
    {
        Platform.FTimers.push_back(this);
    }
    ~TTimer() override { std::erase(Platform.FTimers, this); }
    void Start(int64_t ms) override
    {
        At = Platform.Clock + ms;
        Running = true;
    }
    void Stop() override { Running = false; }
    bool Active() const override { return Running; }

    TManualPlatform &Platform;
    std::function<void()> Due;
    int64_t At = 0;
    bool Running = false;
};

TManualPlatform::~TManualPlatform() = default;

std::unique_ptr<TSessionTimer> TManualPlatform::MakeTimer(std::function<void()> due)
{
    return std::make_unique<TTimer>(*this, std::move(due));
}

int TManualPlatform::RunPosted()
{
    int ran = 0;
    while (!FQueue.empty()) {
        const std::function<void()> call = std::move(FQueue.front());
        FQueue.pop_front();
        call();
        ++ran;
    }
    return ran;
}

void TManualPlatform::Advance(int64_t ms)
{
    const int64_t end = Clock + ms;
    for (;;) {
        RunPosted();
        TTimer *next = nullptr;
        for (TTimer *t : FTimers)
            if (t->Running && t->At <= end && (!next || t->At < next->At)) next = t;
        if (!next) break;
        Clock = std::max(Clock, next->At);
        next->Running = false;
        next->Due();
    }
    Clock = end;
}
