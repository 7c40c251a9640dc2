// What a session needs of the program around it: a clock, chance, timers and a way to run
// a call after the current one. The window gives it the Qt event loop's; tests and the
// replay tool give it one they turn by hand (ManualPlatform.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class TSessionTimer
{
public:
    virtual ~TSessionTimer() = default;
    // Runs the timer's call once, `ms` milliseconds from now; a running timer starts over.
    virtual void Start(int64_t ms) = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
};

class TSessionPlatform
{
public:
    virtual ~TSessionPlatform() = default;
    // Milliseconds of a steady clock.
    virtual int64_t Now() = 0;
    // A value in [0, 1).
    virtual double Random() = 0;
    // Runs `call` from the event loop after the current call has returned, in posting
    // order. Calls still waiting when the platform is destroyed are dropped.
    virtual void Post(std::function<void()> call) = 0;
    // A one-shot timer that runs `due` from the event loop.
    virtual std::unique_ptr<TSessionTimer> MakeTimer(std::function<void()> due) = 0;
};
