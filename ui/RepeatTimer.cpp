#include "RepeatTimer.h"

#include <QTimer>

namespace {

class QtRepeatTimer : public TRepeatTimer {
public:
    QtRepeatTimer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTimer)
                onTimer();
        });
    }
    void start(int intervalMs) override { timer_.start(intervalMs); }
    void stop() override { timer_.stop(); }

private:
    QTimer timer_;
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

void setRepeatTimerFactory(TRepeatTimerFactory factory) { repeatTimerFactory() = std::move(factory); }
