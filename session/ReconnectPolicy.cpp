#include "session/ReconnectPolicy.h"

#include <algorithm>

void TReconnectPolicy::UserConnect()
{
    FAttempts = 0;
    FLoginCloses = 0;
    FConnectedAt = -1;
}

void TReconnectPolicy::Connected(int64_t nowMs)
{
    FConnectedAt = nowMs;
    FAttempts = 0;
}

bool TReconnectPolicy::Dropped(int64_t nowMs)
{
    if (FConnectedAt >= 0 && nowMs - FConnectedAt < LoginWindowMs)
        ++FLoginCloses;
    else
        FLoginCloses = 0;
    FConnectedAt = -1;
    return FLoginCloses < MaxLoginCloses;
}

int64_t TReconnectPolicy::NextDelay()
{
    const int shift = std::min(FAttempts, 5); // 2 << 5 = 64 s, past the cap already
    ++FAttempts;
    const int64_t base = std::min(FirstDelayMs << shift, MaxDelayMs);
    const double r = FRandom ? std::clamp(FRandom(), 0.0, 1.0) : 0.0;
    return base - int64_t(double(base) * 0.2 * r);
}
