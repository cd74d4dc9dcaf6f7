#include "TickSchedule.h"

#include <gtest/gtest.h>

TEST(TickSchedule, JustPastEachSecondAndEvery10MsThroughARestartSecondWhileOn)
{
    struct Case {
        QTime now;
        bool switchOn;
        int ms;
    };
    const Case cases[] = {
        {QTime(18, 30, 4, 0), false, 1001},
        {QTime(18, 30, 4, 500), true, 501}, // the next second is a restart one: its first tick
        {QTime(18, 30, 4, 999), true, 2},
        {QTime(18, 30, 5, 0), true, 10},
        {QTime(18, 30, 5, 1), true, 10},
        {QTime(18, 30, 20, 400), true, 10},
        {QTime(18, 30, 35, 0), true, 10},
        {QTime(18, 30, 50, 0), true, 10},
        {QTime(18, 30, 5, 990), true, 10},
        {QTime(18, 30, 5, 995), true, 6}, // never later than just past the boundary
        {QTime(18, 30, 5, 999), true, 2},
        {QTime(18, 30, 5, 0), false, 1001}, // switch off: no restart, the clock alone
        {QTime(18, 30, 6, 0), true, 1001},
        {QTime(18, 30, 55, 0), true, 1001},
        {QTime(23, 59, 59, 999), true, 2},
        {QTime(0, 0, 0, 0), false, 1001},
    };
    for (const Case& c : cases)
        EXPECT_EQ(msToNextTick(c.now, c.switchOn), c.ms)
            << c.now.toString("hh:mm:ss.zzz").toStdString() << (c.switchOn ? " on" : " off");
}
