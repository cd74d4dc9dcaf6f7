#pragma once

#include "RepeatTimer.h"

#include <set>

// Repeat timers that run on a clock the test moves by hand.
class FakeClock {
public:
    class Timer : public TRepeatTimer {
    public:
        explicit Timer(FakeClock* c) : clock(c) { clock->timers.insert(this); }
        ~Timer() override { clock->timers.erase(this); }
        void start(int ms) override
        {
            active = true;
            interval = ms;
            due = clock->now + ms;
        }
        void stop() override { active = false; }
        FakeClock* clock;
        bool active = false;
        int interval = 0;
        long long due = 0;
    };

    FakeClock()
    {
        setRepeatTimerFactory([this] { return std::make_unique<Timer>(this); });
    }
    ~FakeClock() { setRepeatTimerFactory({}); }

    // Moves the clock on, firing every timer that falls due on the way, in order.
    void advance(int ms)
    {
        const long long end = now + ms;
        for (;;) {
            Timer* next = nullptr;
            for (Timer* t : timers)
                if (t->active && t->due <= end && (!next || t->due < next->due))
                    next = t;
            if (!next)
                break;
            now = next->due;
            next->due += next->interval;
            if (next->onTimer)
                next->onTimer();
        }
        now = end;
    }

    long long now = 0;
    std::set<Timer*> timers;
};
