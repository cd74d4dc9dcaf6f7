#pragma once

#include <QTime>

// When the window's tick has something to do. Everything the tick shows or decides changes
// at a second boundary (the clock labels, the log's minute, the digit counters, the no-data
// check), except the port restart, which runs on every tick of its seconds while connected.

// The seconds of each minute in which the port is closed and reopened while connected.
bool isRestartSecond(int second);

// The time between two ticks within a restart second, as the window timer it stands for
// ticks at most.
inline constexpr int kRestartTickMs = 10;

// Milliseconds from `now` to the next tick: kRestartTickMs while the switch is on and `now`
// lies in a restart second, otherwise just past the next second boundary. The last tick of a
// restart second is never later than that boundary either. Computed afresh from the clock
// at every tick, so the ticks do not drift and follow a jump of the clock at the next second.
int msToNextTick(const QTime& now, bool switchOn);
