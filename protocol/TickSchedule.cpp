#include "TickSchedule.h"

#include <algorithm>

namespace {
// How far past the second boundary the tick is aimed: the timer runs on the monotonic clock,
// the labels show the wall clock, and a tick that came a hair early would show the old second.
constexpr int kPastBoundaryMs = 1;
} // namespace

bool isRestartSecond(int second) { return second == 5 || second == 20 || second == 35 || second == 50; }

int msToNextTick(const QTime& now, bool switchOn)
{
    const int toBoundary = 1000 - now.msec() + kPastBoundaryMs;
    if (switchOn && isRestartSecond(now.second()))
        return std::min(kRestartTickMs, toBoundary);
    return toBoundary;
}
