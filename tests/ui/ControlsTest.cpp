#include "NumSpinButton.h"
#include "ScaledPicture.h"
#include "ShadowLabel.h"
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

namespace {

// A picture whose 1x image is one colour and whose 2x one a checkerboard of single pixels, so
// what a control shows tells which it drew, and whether it drew it pixel for pixel.
QImage solid(QSize size, const QColor& c)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

QImage checker(QSize size, const QColor& a, const QColor& b)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, (x + y) % 2 ? a : b);
    image.setDevicePixelRatio(2);
    return image;
}

// What a widget shows at `ratio` device pixels a pixel.
QImage renderAt(QWidget& w, qreal ratio)
{
    QImage out(w.size() * ratio, QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::magenta);
    w.render(&out);
    return out;
}

// The pixels of `area` (device pixels) as an image of its own, for comparing.
QImage part(const QImage& image, QRect area)
{
    QImage out = image.copy(area).convertToFormat(QImage::Format_RGB32);
    out.setDevicePixelRatio(1);
    return out;
}

QImage plain(QImage image)
{
    image = image.convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(1);
    return image;
}

} // namespace

TEST(ScaledPicture, EachRatioGetsItsPictureAndTheVariantLoadsOnlyWhenNeeded)
{
    const QImage base = solid({10, 6}, Qt::red);
    const QImage dense = checker({20, 12}, Qt::blue, Qt::white);
    int loads = 0;
    const ScaledPicture picture(base,
                                [&](int scale) {
                                    ++loads;
                                    return scale == 2 ? dense : QImage();
                                },
                                {2});
    const struct {
        qreal ratio;
        QSize size;
        bool fromDense; // drawn from the 2x picture (blue), else from the 1x one (red)
        int loads;      // the loader's calls so far
    } cases[] = {
        {1, {10, 6}, false, 0},  {2, {20, 12}, true, 1},    {1.25, {13, 8}, true, 1},
        {1.5, {15, 9}, true, 1}, {1.75, {18, 11}, true, 1}, {3, {30, 18}, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ratio);
        const QImage shown = picture.forRatio(c.ratio);
        EXPECT_EQ(shown.size(), c.size);
        EXPECT_EQ(shown.devicePixelRatio(), c.ratio);
        qint64 blue = 0, red = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                blue += qBlue(shown.pixel(x, y)), red += qRed(shown.pixel(x, y));
        EXPECT_EQ(blue > red, c.fromDense);
        EXPECT_EQ(loads, c.loads);
    }
    EXPECT_EQ(plain(picture.forRatio(2)), plain(dense)) << "the 2x picture as it is";
    EXPECT_EQ(plain(picture.forRatio(1)), base);

    // A copy made from it (a greyed one) is made at each scale from that scale's picture.
    const ScaledPicture greyedCopy = picture.mapped(greyed);
    EXPECT_EQ(plain(greyedCopy.forRatio(1)), plain(greyed(base)));
    EXPECT_EQ(plain(greyedCopy.forRatio(2)), plain(greyed(dense)));
    EXPECT_EQ(loads, 1) << "shared with the copy";

    // Only a 1x image: at 2 it is enlarged, there being nothing better.
    EXPECT_EQ(ScaledPicture(base).forRatio(2).size(), QSize(20, 12));
    // A 2x picture of another size than twice the base's, even in one direction, is not used.
    for (const QSize size : {QSize(20, 13), QSize(21, 12)}) {
        const ScaledPicture odd(base, [&](int) { return checker(size, Qt::blue, Qt::white); }, {2});
        EXPECT_TRUE(odd.variant(2).isNull()) << size.width() << "x" << size.height();
    }
    // However small the ratio, a picture keeps a pixel.
    EXPECT_EQ(ScaledPicture(solid({1, 1}, Qt::red)).forRatio(0.4).size(), QSize(1, 1));
}

// At two device pixels a pixel, each control draws its pictures from their 2x variants pixel
// for pixel (a disabled one greyed from the 2x picture), and its text and figures at the
// device's own pixels: never a 1x drawing enlarged, in which every aligned 2 x 2 block of
// pixels is of one colour.
TEST(DevicePixelRatio, ControlsDrawAtTheDevicesPixels)
{
    const QColor key(0, 0, 255), face(0, 128, 0);
    QImage switchDense = checker({82, 54}, Qt::red, Qt::white);
    switchDense.setPixelColor(0, 53, key);
    const ScaledPicture glyph(solid({10, 6}, Qt::red),
                              [](int) {
                                  return checker({20, 12}, Qt::blue, Qt::white);
                              },
                              {2});
    const ScaledPicture switchGlyph(solid({41, 27}, key), [&](int) { return switchDense; }, {2});
    QImage switchShown = plain(switchDense);
    switchShown.setPixelColor(0, 53, face);

    TImage image;
    image.resize(10, 6);
    image.SetPicture(glyph);
    TSpeedButton button, disabledButton;
    for (TSpeedButton* b : {&button, &disabledButton}) {
        b->resize(20, 16);
        b->SetGlyph(glyph);
    }
    disabledButton.setEnabled(false);
    TToggleSwitch toggle;
    toggle.resize(47, 29);
    toggle.SetColor(face);
    toggle.SetGlyphOff(switchGlyph);
    TLabel label;
    label.setFont(layoutFont(QStringLiteral("MS Sans Serif"), 13, true));
    label.SetCaption(QStringLiteral("18:30:08"));
    label.resize(label.width(), 16);
    TShadowLabel shadow;
    shadow.setFont(layoutFont(QStringLiteral("MS Sans Serif"), 11, false));
    shadow.SetCaption(QStringLiteral("ustawienia.tarlo"));
    TNumSpinButton spin;
    spin.resize(20, 20);
    TCheckBox box;
    box.resize(15, 14);
    box.setChecked(true);
    QStyleOptionButton boxOption;
    boxOption.initFrom(&box);
    const QRect tick =
        box.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &boxOption, &box).adjusted(2, 2, -2, -2);

    const struct {
        const char* what;
        QWidget* widget;
        QRect area;     // in the widget's pixels
        QImage picture; // what the area shows at 2x; none: text or figures, of mixed blocks
    } cases[] = {
        {"picture", &image, {0, 0, 10, 6}, plain(glyph.variant(2))},
        {"picture button", &button, {5, 5, 10, 6}, plain(glyph.variant(2))},
        {"disabled picture button", &disabledButton, {5, 5, 10, 6}, plain(greyed(glyph.variant(2)))},
        {"switch", &toggle, {3, 1, 41, 27}, switchShown},
        {"label", &label, label.rect(), {}},
        {"shadow label", &shadow, shadow.rect(), {}},
        {"spin buttons", &spin, spin.rect().adjusted(2, 2, -2, -2), {}},
        {"check box's tick", &box, tick, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QImage shot = renderAt(*c.widget, 2);
        const QRect device(c.area.topLeft() * 2, c.area.size() * 2);
        if (!c.picture.isNull()) {
            EXPECT_EQ(part(shot, device), c.picture);
            continue;
        }
        // Of the blocks that are not all background (the area's top-left pixel), a good share
        // has an edge drawn through it.
        const QImage drawn = part(shot, device);
        const QRgb background = drawn.pixel(0, 0);
        int inked = 0, mixed = 0;
        for (int y = 0; y + 1 < drawn.height(); y += 2)
            for (int x = 0; x + 1 < drawn.width(); x += 2) {
                const QRgb b[] = {drawn.pixel(x, y), drawn.pixel(x + 1, y), drawn.pixel(x, y + 1),
                                  drawn.pixel(x + 1, y + 1)};
                if (std::all_of(std::begin(b), std::end(b), [&](QRgb p) { return p == background; }))
                    continue;
                ++inked;
                mixed += !std::all_of(std::begin(b), std::end(b), [&](QRgb p) { return p == b[0]; });
            }
        ASSERT_GT(inked, 4);
        EXPECT_GT(double(mixed) / inked, 0.3) << mixed << " of " << inked;
    }
}
