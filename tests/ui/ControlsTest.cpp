#include "StandardControls.h"
#include "ToggleSwitch.h"

#include <QApplication>
#include <QFocusEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextDocument>

#include <algorithm>
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

// The tick stands out from the box it sits in: clearly while enabled, still visible but
// weaker while disabled, even under a parent whose text colour is white (as the window's).
TEST(CheckBox, TickContrastsWithTheBox)
{
    struct Case {
        const char* what;
        bool ticked, enabled;
        int minContrast, maxContrast; // grey levels between the lightest and darkest pixel
    };
    const Case cases[] = {
        {"ticked", true, true, 192, 255},
        {"ticked, disabled", true, false, 64, 160},
        {"unticked", false, true, 0, 0},
        {"unticked, disabled", false, false, 0, 0},
    };
    QWidget parent;
    setFontColor(&parent, Qt::white);
    auto* box = new TCheckBox(&parent);
    box->resize(15, 14);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box->setChecked(c.ticked);
        box->setEnabled(c.enabled);
        QStyleOptionButton opt;
        opt.initFrom(box);
        // Inside the box's border and shading.
        const QRect inside =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, box).adjusted(2, 2, -2, -2);
        const QImage img = box->grab().toImage();
        int lightest = 0, darkest = 255;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x) {
                const int grey = qGray(img.pixel(x, y));
                lightest = std::max(lightest, grey);
                darkest = std::min(darkest, grey);
            }
        const int contrast = lightest - darkest;
        EXPECT_GE(contrast, c.minContrast);
        EXPECT_LE(contrast, c.maxContrast);
    }
}
