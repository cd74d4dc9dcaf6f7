#pragma once

#include <functional>
#include <memory>

// The repeat timer of the step buttons. Periodic once started; start() restarts it
// with a new interval. Tests replace the factory with one that runs on a fake clock.
class TRepeatTimer {
public:
    virtual ~TRepeatTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    std::function<void()> onTimer;
};
using TRepeatTimerFactory = std::function<std::unique_ptr<TRepeatTimer>()>;
// An empty factory restores the one built on QTimer.
void setRepeatTimerFactory(TRepeatTimerFactory factory);
// A new timer from the current factory.
std::unique_ptr<TRepeatTimer> makeRepeatTimer();
