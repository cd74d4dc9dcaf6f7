#include "ToggleSwitch.h"

#include "ScriptedPlatform.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const QColor kKey(0, 0, 255); // transparent colour of the test pictures
const QColor kSwitchColour(0, 128, 0);

// A solid picture whose bottom-left pixel carries the transparent colour.
QImage picture(const QColor& body, int w = 41, int h = 27)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(body);
    img.setPixelColor(0, h - 1, kKey);
    return img;
}

struct SwitchFixture : ::testing::Test {
    ScopedPlatform scoped;
    TToggleSwitch sw;
    std::vector<std::string> events;

    SwitchFixture()
    {
        sw.resize(47, 29);
        sw.SetColor(kSwitchColour);
        sw.SetGlyphOff(picture(Qt::red));
        sw.SetGlyphOn(picture(Qt::yellow));
        sw.OnOn = [this](QObject* s) { record(s, "on"); };
        sw.OnOff = [this](QObject* s) { record(s, "off"); };
        sw.OnClick = [this](QObject* s) { record(s, sw.StateOn() ? "click(on)" : "click(off)"); };
        sw.OnDblClick = [this](QObject* s) { record(s, "dblclick"); };
        sw.OnMouseDown = [this](QObject* s, Qt::MouseButton b, Qt::KeyboardModifiers, int x, int y) {
            record(s, "down(" + std::to_string(int(b)) + "," + std::to_string(x) + "," + std::to_string(y) +
                          ")");
        };
    }
    void record(QObject* sender, const std::string& what)
    {
        EXPECT_EQ(sender, &sw);
        events.push_back(what);
    }
    void doubleClickPress(QPoint pos)
    {
        QMouseEvent e(QEvent::MouseButtonDblClick, pos, sw.mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(&sw, &e);
    }
};

using Events = std::vector<std::string>;

TEST_F(SwitchFixture, ClickFlipsAtPressAndReportsAtRelease)
{
    QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_TRUE(sw.StateOn());
    EXPECT_EQ(events, (Events{"on", "down(1,10,12)"}));
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(10, 12));
    EXPECT_EQ(events, (Events{"on", "down(1,10,12)", "click(on)"}));

    events.clear();
    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(sw.StateOn());
    EXPECT_EQ(events, (Events{"off", "down(1,5,5)", "click(off)"}));
}

TEST_F(SwitchFixture, ReleaseOutsideKeepsTheFlipWithoutClick)
{
    QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(60, 10));
    EXPECT_TRUE(sw.StateOn());
    EXPECT_EQ(events, (Events{"on", "down(1,10,10)"}));
}

TEST_F(SwitchFixture, DoubleClickRunsOneClickWithStateOnAndEndsOff)
{
    const QPoint p(20, 14);
    QTest::mousePress(&sw, Qt::LeftButton, {}, p);
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, p);
    doubleClickPress(p);
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, p);
    EXPECT_FALSE(sw.StateOn());
    EXPECT_EQ(events, (Events{"on", "down(1,20,14)", "click(on)", "off", "dblclick", "down(1,20,14)"}));
}

TEST_F(SwitchFixture, OtherButtonsOnlyRaiseMouseDown)
{
    QTest::mouseClick(&sw, Qt::RightButton, {}, QPoint(3, 4));
    EXPECT_FALSE(sw.StateOn());
    EXPECT_EQ(events, (Events{"down(2,3,4)"}));
}

TEST_F(SwitchFixture, ToggleKeyFlipsWithoutClick)
{
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_TRUE(sw.StateOn());
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_FALSE(sw.StateOn());
    QTest::keyClick(&sw, Qt::Key_Space, Qt::ShiftModifier); // modifiers must match
    QTest::keyClick(&sw, Qt::Key_Return);
    EXPECT_EQ(events, (Events{"on", "off"}));

    events.clear();
    sw.SetToggleKey(QKeyCombination(Qt::ControlModifier, Qt::Key_T));
    QTest::keyClick(&sw, Qt::Key_Space);
    QTest::keyClick(&sw, Qt::Key_T);
    EXPECT_TRUE(events.empty());
    QTest::keyClick(&sw, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(events, (Events{"on"}));
}

TEST_F(SwitchFixture, SettingTheSameStateRaisesNothing)
{
    sw.SetStateOn(false);
    EXPECT_TRUE(events.empty());
    sw.SetStateOn(true);
    sw.SetStateOn(true);
    sw.toggle();
    EXPECT_EQ(events, (Events{"on", "off"}));
}

TEST_F(SwitchFixture, PicturePlacementFollowsTextPositionAndBorder)
{
    struct Case {
        TToggleSwitch::TTextPosition pos;
        TToggleSwitch::TBorderStyle border;
        QPoint at;
    };
    const Case cases[] = {
        {TToggleSwitch::tpNone, TToggleSwitch::bsNone, {3, 1}},
        {TToggleSwitch::tpLeft, TToggleSwitch::bsNone, {6, 1}},
        {TToggleSwitch::tpRight, TToggleSwitch::bsNone, {0, 1}},
        {TToggleSwitch::tpAbove, TToggleSwitch::bsNone, {3, 2}},
        {TToggleSwitch::tpBelow, TToggleSwitch::bsNone, {3, 0}},
        // The single border takes one pixel on each side of the client area.
        {TToggleSwitch::tpNone, TToggleSwitch::bsSingle, {3, 1}},
        {TToggleSwitch::tpRight, TToggleSwitch::bsSingle, {1, 1}},
    };
    for (const Case& c : cases) {
        sw.SetTextPosition(c.pos);
        sw.SetBorderStyle(c.border);
        EXPECT_EQ(sw.glyphRect(), QRect(c.at, QSize(41, 27))) << int(c.pos) << "/" << int(c.border);
    }
}

TEST_F(SwitchFixture, PaintsPictureAtThreeOneWithTransparentColourReplaced)
{
    const QImage shot = sw.grab().toImage();
    EXPECT_EQ(shot.pixelColor(3, 1), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(43, 27), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(2, 1), kSwitchColour);   // left of the picture
    EXPECT_EQ(shot.pixelColor(3, 0), kSwitchColour);   // above it
    EXPECT_EQ(shot.pixelColor(44, 28), kSwitchColour); // beyond its bottom-right
    // The bottom-left pixel of the picture holds the transparent colour.
    EXPECT_EQ(shot.pixelColor(3, 27), kSwitchColour);

    sw.SetStateOn(true);
    EXPECT_EQ(sw.grab().toImage().pixelColor(20, 14), QColor(Qt::yellow));
}

TEST_F(SwitchFixture, DisabledSwitchIgnoresInputAndShowsGreyedPicture)
{
    sw.setEnabled(false);
    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::keyClick(&sw, Qt::Key_Space);
    EXPECT_FALSE(sw.StateOn());
    EXPECT_TRUE(events.empty());

    const QColor shown = sw.grab().toImage().pixelColor(20, 14);
    EXPECT_EQ(shown, sw.greyedOff().pixelColor(17, 13));
    EXPECT_EQ(shown.red(), shown.green());
    EXPECT_EQ(shown.green(), shown.blue());

    // Reassigning the picture rebuilds the greyed copy.
    sw.SetGlyphOff(picture(Qt::black));
    EXPECT_EQ(sw.grab().toImage().pixelColor(20, 14), QColor(128, 128, 128));
    sw.setEnabled(true);
    EXPECT_EQ(sw.grab().toImage().pixelColor(20, 14), QColor(Qt::black));
}

TEST(ToggleSwitchGreyed, KeepsTransparentColourAndGreysTheRest)
{
    QImage img = picture(QColor(200, 50, 50), 4, 3);
    img.setPixelColor(1, 0, Qt::white);
    const QImage g = TToggleSwitch::makeGreyed(img);
    EXPECT_EQ(g.pixelColor(0, 2), kKey);
    EXPECT_EQ(g.pixelColor(1, 0), QColor(255, 255, 255));
    const QColor body = g.pixelColor(2, 1);
    EXPECT_EQ(body, QColor(128 + qGray(qRgb(200, 50, 50)) / 2, 128 + qGray(qRgb(200, 50, 50)) / 2,
                           128 + qGray(qRgb(200, 50, 50)) / 2));
}

TEST(ToggleSwitchStock, NewSwitchHasDefaultsAndStockPictures)
{
    TToggleSwitch sw;
    EXPECT_EQ(sw.size(), QSize(50, 60));
    EXPECT_FALSE(sw.StateOn());
    EXPECT_TRUE(sw.ShowFocus());
    EXPECT_EQ(sw.ToggleKey(), QKeyCombination(Qt::Key_Space));
    EXPECT_EQ(sw.TextPosition(), TToggleSwitch::tpNone);
    EXPECT_FALSE(sw.GlyphOff().isNull());
    EXPECT_FALSE(sw.GlyphOn().isNull());
    EXPECT_NE(sw.GlyphOff(), sw.GlyphOn());
    EXPECT_FALSE(sw.greyedOn().isNull());
    // A null picture brings the stock one back.
    sw.SetGlyphOn(picture(Qt::red));
    sw.SetGlyphOn(QImage());
    EXPECT_EQ(sw.GlyphOn(), TToggleSwitch::stockGlyph(true));
}

// Counts pixels on the one-pixel ring just outside the picture that differ from the switch colour.
int ringInk(const QImage& shot, const QRect& glyph)
{
    const QRect ring = glyph.adjusted(-1, -1, 1, 1);
    int n = 0;
    for (int x = ring.left(); x <= ring.right(); ++x)
        for (int y : {ring.top(), ring.bottom()})
            n += shot.pixelColor(x, y) != kSwitchColour;
    for (int y = ring.top(); y <= ring.bottom(); ++y)
        for (int x : {ring.left(), ring.right()})
            n += shot.pixelColor(x, y) != kSwitchColour;
    return n;
}

TEST(ToggleSwitchFocus, FocusRectangleAroundPictureOnlyWhileFocusedAndShown)
{
    QWidget window;
    window.resize(100, 100);
    auto& sw = *new TToggleSwitch(&window);
    sw.resize(47, 29);
    sw.SetColor(kSwitchColour);
    sw.SetGlyphOff(picture(Qt::red));
    QWidget other(&window);
    other.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    other.setFocus();
    EXPECT_EQ(ringInk(sw.grab().toImage(), sw.glyphRect()), 0);
    sw.setFocus();
    ASSERT_TRUE(sw.hasFocus());
    EXPECT_GT(ringInk(sw.grab().toImage(), sw.glyphRect()), 10);
    sw.SetShowFocus(false);
    EXPECT_EQ(ringInk(sw.grab().toImage(), sw.glyphRect()), 0);

    // A left press takes the focus.
    sw.SetShowFocus(true);
    other.setFocus();
    QTest::mouseClick(&sw, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(sw.hasFocus());
}

TEST(ToggleSwitchFocus, CaptionAcceleratorFocusesWithoutToggling)
{
    QWidget window;
    window.resize(100, 100);
    auto& sw = *new TToggleSwitch(&window);
    int events = 0;
    sw.OnOn = sw.OnOff = sw.OnClick = [&](QObject*) { ++events; };
    QWidget other(&window);
    other.setFocusPolicy(Qt::StrongFocus);
    sw.SetCaption("&Link");
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other.setFocus();
    QTest::keyClick(&window, Qt::Key_L, Qt::AltModifier);
    EXPECT_TRUE(sw.hasFocus());
    EXPECT_FALSE(sw.StateOn());
    EXPECT_EQ(events, 0);
}

} // namespace
