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
        Timer.setSingleShot(true);
        QObject::connect(&Timer, &QTimer::timeout, [due = std::move(due)] { due(); });
    }
    void Start(int64_t ms) override { Timer.start(std::chrono::milliseconds(ms)); }
    void Stop() override { Timer.stop(); }
    bool Active() const override { return Timer.isActive(); }

private:
    QTimer Timer;
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
