// The desktop platform's pause holds the main thread: nothing queued runs meanwhile.

#include "QtPlatform.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

TEST(DesktopPlatform, PauseLetsNoTickOrPostedWorkRun)
{
    QtPlatform desktop;
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    desktop.pause(30);
    EXPECT_FALSE(ran);
    EXPECT_EQ(ticks, 0);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}
