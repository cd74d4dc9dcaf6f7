// The desktop platform's pause holds the main thread: nothing queued runs meanwhile; its
// message boxes are closed by their text.

#include "QtPlatform.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

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

// A box is closed by its exact text, and only while it is open: a box that has closed is no
// longer listed, so closing its text again finds nothing (and touches no box that is gone).
TEST(DesktopPlatform, CloseBoxClosesTheOpenBoxOfThatTextOnly)
{
    QtPlatform desktop;
    std::vector<bool> closed;
    QTimer::singleShot(0, [&] {
        // Inside the first box's loop: a second box, and inside its loop the closes.
        QTimer::singleShot(0, [&] {
            for (const char* text : {"firs", "second", "first"})
                closed.push_back(desktop.closeBox(QString::fromLatin1(text)));
        });
        desktop.messageBox(nullptr, QStringLiteral("T"), QStringLiteral("second"));
    });
    desktop.errorBox(nullptr, QStringLiteral("T"), QStringLiteral("first"));
    EXPECT_EQ(closed, (std::vector<bool>{false, true, true}));
    EXPECT_FALSE(desktop.closeBox(QStringLiteral("first")));
    EXPECT_FALSE(desktop.closeBox(QStringLiteral("second")));
}
