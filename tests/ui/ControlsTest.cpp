#include "StandardControls.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QFocusEvent>
#include <QTest>
#include <QTextDocument>

#include <functional>

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

// A press, then the control disabled and enabled again, then the release: no click.
TEST(ClickTracker, ADisableBetweenPressAndReleaseEndsTheClick)
{
    TLabel label;
    label.SetAutoSize(false);
    TImage image;
    TSpeedButton button;
    TToggleSwitch toggle;
    int clicks = 0;
    label.OnClick = image.OnClick = toggle.OnClick = [&](QObject*) { ++clicks; };
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicks; });
    for (QWidget* w : std::initializer_list<QWidget*>{&label, &image, &button, &toggle}) {
        SCOPED_TRACE(w->metaObject()->className());
        w->resize(20, 20);
        clicks = 0;
        QTest::mousePress(w, Qt::LeftButton, {}, {5, 5});
        w->setEnabled(false);
        w->setEnabled(true);
        QTest::mouseRelease(w, Qt::LeftButton, {}, {5, 5});
        EXPECT_EQ(clicks, 0);
        // And a plain click afterwards still counts.
        QTest::mouseClick(w, Qt::LeftButton, {}, {5, 5});
        EXPECT_EQ(clicks, 1);
    }
}

// A memo given text lays it out only when it is seen or used, and then shows the last text.
TEST(Memo, TextGivenIsLaidOutWhenPaintedFocusedOrRead)
{
    const std::pair<const char*, std::function<void(TMemo&)>> uses[] = {
        {"painted", [](TMemo& m) { m.grab(); }},
        {"focused",
         [](TMemo& m) {
             QFocusEvent in(QEvent::FocusIn);
             QApplication::sendEvent(&m, &in);
         }},
        {"pressed",
         [](TMemo& m) {
             QTest::mousePress(m.viewport(), Qt::LeftButton, {}, {5, 5});
         }},
    };
    for (const auto& [what, use] : uses) {
        TMemo memo;
        memo.resize(90, 120);
        memo.SetText(QStringLiteral("first"));
        memo.SetText(QStringLiteral("12\r\n7,01"));
        EXPECT_TRUE(memo.document()->isEmpty()) << what;
        use(memo);
        EXPECT_EQ(memo.toPlainText(), QStringLiteral("12\n7,01")) << what;
    }
    TMemo memo;
    memo.SetText(QStringLiteral("a\r\nb"));
    EXPECT_EQ(memo.Text(), QStringLiteral("a\nb"));
    // The same text again is not laid out anew: the reader keeps his place.
    memo.moveCursor(QTextCursor::End);
    memo.SetText(QStringLiteral("a\r\nb"));
    memo.grab();
    EXPECT_EQ(memo.textCursor().position(), 3);
}
