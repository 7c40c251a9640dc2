#include "session/qt/QtSessionPlatform.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

namespace {

class TQtSessionTimer : public TSessionTimer
{
public:
    explicit TQtSessionTimer(std::function<void()> due)
    {
        FTimer.setSingleShot(true);
        QObject::connect(&FTimer, &QTimer::timeout, [due = std::move(due)] { due(); });
    }
    void Start(int64_t ms) override { FTimer.start(std::chrono::milliseconds(ms)); }
    void Stop() override { FTimer.stop(); }
    bool Active() const override { return FTimer.isActive(); }

private:
    QTimer FTimer;
};

} // namespace

TQtSessionPlatform::TQtSessionPlatform(std::function<int64_t()> now, std::function<double()> random)
    : FNow(std::move(now)), FRandom(std::move(random))
{
}

int64_t TQtSessionPlatform::Now()
{
    if (FNow) return FNow();
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

double TQtSessionPlatform::Random()
{
    return FRandom ? FRandom() : QRandomGenerator::global()->generateDouble();
}

void TQtSessionPlatform::Post(std::function<void()> call)
{
    QMetaObject::invokeMethod(&FContext, std::move(call), Qt::QueuedConnection);
}

std::unique_ptr<TSessionTimer> TQtSessionPlatform::MakeTimer(std::function<void()> due)
{
    return std::make_unique<TQtSessionTimer>(std::move(due));
}
