#include "ShadowLabel.h"

#include <QFont>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QColor kBack(0, 0, 128);
const QColor kText(0, 0, 0);
const QColor kHighlight(255, 255, 255);
const QColor kGrey(128, 128, 128);

std::unique_ptr<TShadowLabel> makeLabel(QSize size, const QString& caption, bool wrap = true)
{
    auto l = std::make_unique<TShadowLabel>();
    QFont f("DejaVu Sans");
    f.setPixelSize(11);
    f.setBold(true);
    f.setStyleStrategy(QFont::NoAntialias); // exact colours to count
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, kGrey);
    l->setPalette(pal);
    l->SetAutoSize(false);
    l->SetWordWrap(wrap);
    l->SetColor(kBack);
    l->SetFontColor(kText);
    l->resize(size);
    l->SetCaption(caption);
    return l;
}

int count(const QImage& img, const QColor& c, int fromRow = 0)
{
    int n = 0;
    for (int y = fromRow; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixelColor(x, y) == c;
    return n;
}

const QString kLong = "settings of the tank in the living room.tarlo";

TEST(ShadowLabel, DrawsShadowUpLeftThenText)
{
    auto l = makeLabel({121, 13}, "HI");
    const QImage img = l->grab().toImage();
    ASSERT_GT(count(img, kText), 10);
    ASSERT_GT(count(img, kHighlight), 3);
    // Every text pixel whose up-left neighbour is background has shadow nowhere
    // but up-left: the shadow shows only where the text does not cover it.
    bool shadowUpLeft = false;
    for (int y = 0; y + 1 < img.height(); ++y)
        for (int x = 0; x + 1 < img.width(); ++x)
            if (img.pixelColor(x, y) == kHighlight)
                shadowUpLeft |= img.pixelColor(x + 1, y + 1) == kText;
    EXPECT_TRUE(shadowUpLeft);
}

TEST(ShadowLabel, DisabledTextIsGrey)
{
    auto l = makeLabel({121, 13}, "HI");
    l->setEnabled(false);
    const QImage img = l->grab().toImage();
    EXPECT_EQ(count(img, kText), 0);
    EXPECT_GT(count(img, kGrey), 10);
    EXPECT_GT(count(img, kHighlight), 3);
}

TEST(ShadowLabel, WrapsAtWordsAndCutsAtItsHeight)
{
    auto tall = makeLabel({121, 60}, kLong);
    auto single = makeLabel({121, 60}, kLong, false);
    const int lineHeight = QFontMetrics(tall->font()).height();
    const QImage tallImg = tall->grab().toImage();
    // Wrapping puts text on the next lines; one line without wrapping does not.
    EXPECT_GT(count(tallImg, kText, lineHeight + 1), 10);
    EXPECT_EQ(count(single->grab().toImage(), kText, lineHeight + 1), 0);

    // The 13-pixel label shows exactly the top of the wrapped text.
    auto cut = makeLabel({121, 13}, kLong);
    EXPECT_EQ(cut->grab().toImage(), tallImg.copy(0, 0, 121, 13));
    EXPECT_EQ(cut->size(), QSize(121, 13));
}

TEST(ShadowLabel, LeftClickRaisesOnClick)
{
    auto l = makeLabel({121, 13}, "*.*");
    int clicks = 0;
    l->OnClick = [&](QObject* s) {
        EXPECT_EQ(s, l.get());
        ++clicks;
    };
    QTest::mouseClick(l.get(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(l.get(), Qt::RightButton, {}, QPoint(5, 5));
    QTest::mousePress(l.get(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(l.get(), Qt::LeftButton, {}, QPoint(200, 5));
    EXPECT_EQ(clicks, 1);
}

TEST(ShadowLabel, AutoSizeFollowsCaption)
{
    TShadowLabel l;
    l.SetCaption("short");
    const int w1 = l.width();
    l.SetCaption("a much longer caption");
    EXPECT_GT(l.width(), w1);
    l.SetAutoSize(false);
    l.SetCaption("x");
    EXPECT_GT(l.width(), w1);
}

} // namespace
