#pragma once

#include <functional>
#include <memory>

// The repeat timer of the step buttons. Periodic once started; Start restarts it
// with a new interval. Tests replace the factory with one that runs on a fake clock.
class TRepeatTimer {
public:
    virtual ~TRepeatTimer() = default;
    virtual void Start(int intervalMs) = 0;
    virtual void Stop() = 0;
    std::function<void()> OnTimer;
};
using TRepeatTimerFactory = std::function<std::unique_ptr<TRepeatTimer>()>;
// An empty factory restores the one built on QTimer.
void SetRepeatTimerFactory(TRepeatTimerFactory factory);
// A new timer from the current factory.
std::unique_ptr<TRepeatTimer> makeRepeatTimer();
