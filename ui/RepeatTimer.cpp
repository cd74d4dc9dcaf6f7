#include "RepeatTimer.h"

#include <QTimer>

namespace {

class QtRepeatTimer : public TRepeatTimer {
public:
    QtRepeatTimer()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (OnTimer)
                OnTimer();
        });
    }
    void Start(int intervalMs) override { timer.start(intervalMs); }
    void Stop() override { timer.stop(); }

private:
    QTimer timer;
};

TRepeatTimerFactory& repeatTimerFactory()
{
    static TRepeatTimerFactory f;
    return f;
}

} // namespace

std::unique_ptr<TRepeatTimer> makeRepeatTimer()
{
    if (auto& f = repeatTimerFactory())
        return f();
    return std::make_unique<QtRepeatTimer>();
}

void SetRepeatTimerFactory(TRepeatTimerFactory factory) { repeatTimerFactory() = std::move(factory); }
