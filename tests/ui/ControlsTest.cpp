#include "Controls.h"

#include <QTest>

#include <gtest/gtest.h>

TEST(ClickTracker, ALeftPressAndItsReleaseOverTheControlClick)
{
    struct Case {
        const char* what;
        Qt::MouseButton pressed, released;
        QPoint at;
        bool click;
    };
    const Case cases[] = {
        {"left, released inside", Qt::LeftButton, Qt::LeftButton, {5, 5}, true},
        {"left, released outside", Qt::LeftButton, Qt::LeftButton, {50, 5}, false},
        {"right", Qt::RightButton, Qt::RightButton, {5, 5}, false},
        {"left, right released", Qt::LeftButton, Qt::RightButton, {5, 5}, false},
    };
    for (const Case& c : cases) {
        int clicks = 0;
        TLabel label;
        label.SetAutoSize(false);
        label.resize(20, 20);
        label.OnClick = [&](QObject* sender) {
            EXPECT_EQ(sender, &label);
            ++clicks;
        };
        QTest::mousePress(&label, c.pressed, {}, {5, 5});
        QTest::mouseRelease(&label, c.released, {}, c.at);
        // A release always ends the pending click.
        QTest::mouseRelease(&label, Qt::LeftButton, {}, {5, 5});
        EXPECT_EQ(clicks, c.click ? 1 : 0) << c.what;
    }
}
