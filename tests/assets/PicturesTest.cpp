#include "Pictures.h"

#include <gtest/gtest.h>

#include <QSet>

#include <cstdlib>

namespace {

enum class Kind { Jpeg, Bmp, Png };

struct Expected {
    const char* name;
    Kind kind;
    int width;
    int height;
    int bits; // BMP bit depth; 0 for the others
};

const Expected expected[] = {
    {"Image1", Kind::Jpeg, 59, 80, 0},           {"Image2", Kind::Jpeg, 59, 80, 0},
    {"Image3", Kind::Jpeg, 350, 503, 0},         {"Image4", Kind::Jpeg, 30, 16, 0},
    {"Image8", Kind::Jpeg, 30, 16, 0},           {"Image5", Kind::Bmp, 32, 32, 8},
    {"Image6", Kind::Bmp, 32, 32, 24},           {"Image7", Kind::Bmp, 57, 25, 24},
    {"Image12", Kind::Bmp, 24, 24, 8},           {"Image13", Kind::Bmp, 24, 24, 24},
    {"Image14", Kind::Bmp, 24, 24, 24},          {"Image15", Kind::Bmp, 24, 24, 8},
    {"SpeedButton1", Kind::Bmp, 32, 32, 16},     {"SpeedButton10", Kind::Bmp, 32, 32, 16},
    {"SpeedButton2", Kind::Bmp, 32, 32, 16},     {"SpeedButton11", Kind::Bmp, 32, 32, 16},
    {"SpeedButton3", Kind::Bmp, 80, 32, 32},     {"SpeedButton14", Kind::Bmp, 80, 32, 8},
    {"SpeedButton4", Kind::Bmp, 80, 32, 32},     {"SpeedButton13", Kind::Bmp, 80, 32, 8},
    {"SpeedButton6", Kind::Bmp, 32, 32, 32},     {"SpeedButton12", Kind::Bmp, 32, 32, 8},
    {"SpeedButton5", Kind::Bmp, 20, 20, 24},     {"SpeedButton7", Kind::Bmp, 20, 20, 24},
    {"SpeedButton8", Kind::Bmp, 20, 20, 24},     {"SpeedButton9", Kind::Bmp, 20, 20, 24},
    {"ToggleSwitch1Off", Kind::Bmp, 41, 27, 16}, {"ToggleSwitch1On", Kind::Bmp, 41, 27, 16},
    {"AppIcon", Kind::Png, 64, 64, 0},
};

quint32 le32(const QByteArray& b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16 |
           quint32(uchar(b[at + 3])) << 24;
}

quint16 le16(const QByteArray& b, int at) { return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8); }

int distinctColours(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

int chroma(QRgb c)
{
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - std::min({qRed(c), qGreen(c), qBlue(c)});
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// The share of the aligned 2 x 2 blocks of an image that are not of one colour: none in a
// picture enlarged by pixel doubling.
double mixedBlocks(const QImage& image)
{
    int mixed = 0, blocks = 0;
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb c = image.pixel(x, y);
            mixed +=
                image.pixel(x + 1, y) != c || image.pixel(x, y + 1) != c || image.pixel(x + 1, y + 1) != c;
            ++blocks;
        }
    return blocks ? double(mixed) / blocks : 0;
}

// The mean difference of the colour channels between a 2x picture halved (each 2 x 2 block
// averaged) and the 1x one.
double differenceHalved(const QImage& dense, const QImage& base)
{
    qint64 sum = 0;
    for (int y = 0; y < base.height(); ++y)
        for (int x = 0; x < base.width(); ++x) {
            const QRgb b = base.pixel(x, y);
            int r = 0, g = 0, bl = 0;
            for (QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
                const QRgb c = dense.pixel(2 * x + d.x(), 2 * y + d.y());
                r += qRed(c), g += qGreen(c), bl += qBlue(c);
            }
            sum += std::abs(r / 4 - qRed(b)) + std::abs(g / 4 - qGreen(b)) + std::abs(bl / 4 - qBlue(b));
        }
    return double(sum) / (3.0 * base.width() * base.height());
}

class EveryPicture : public ::testing::TestWithParam<Expected> {};

TEST_P(EveryPicture, StoredInItsFormatAndLoadsAtItsSize)
{
    const Expected& e = GetParam();
    const QByteArray data = pictureData(QLatin1String(e.name));
    ASSERT_GT(data.size(), 16) << e.name;

    switch (e.kind) {
    case Kind::Jpeg: {
        EXPECT_EQ(uchar(data[0]), 0xFF);
        EXPECT_EQ(uchar(data[1]), 0xD8);
        const QImage decoded = decodeJpeg(data);
        ASSERT_FALSE(decoded.isNull()) << e.name;
        EXPECT_EQ(decoded.size(), QSize(e.width, e.height)) << e.name;
        EXPECT_TRUE(decoded.format() == QImage::Format_RGB888 || decoded.format() == QImage::Format_RGB32);
        break;
    }
    case Kind::Bmp:
        ASSERT_TRUE(data.startsWith("BM")) << e.name;
        EXPECT_EQ(le32(data, 2), quint32(data.size())) << e.name;
        EXPECT_EQ(le32(data, 14), 40u) << e.name << ": BITMAPINFOHEADER";
        EXPECT_EQ(int(le32(data, 18)), e.width) << e.name;
        EXPECT_EQ(int(le32(data, 22)), e.height) << e.name;
        EXPECT_EQ(le16(data, 26), 1) << e.name;
        EXPECT_EQ(le16(data, 28), e.bits) << e.name << ": biBitCount";
        EXPECT_EQ(le32(data, 30), 0u) << e.name << ": BI_RGB";
        if (e.bits == 8) {
            const quint32 used = le32(data, 46);
            EXPECT_GT(used, 0u);
            EXPECT_LE(used, 256u);
            EXPECT_EQ(le32(data, 10), 14 + 40 + 4 * used) << e.name << ": palette sits before the pixels";
        }
        break;
    case Kind::Png:
        EXPECT_TRUE(data.startsWith("\x89PNG"));
        break;
    }

    const QImage image = picture(QLatin1String(e.name));
    ASSERT_FALSE(image.isNull()) << e.name;
    EXPECT_EQ(image.size(), QSize(e.width, e.height)) << e.name;
    const bool flat = QLatin1String(e.name) == QLatin1String("Image7");
    if (!flat) {
        EXPECT_GT(distinctColours(image), 8) << e.name << " is a flat block";
    }

    // At 2x: a JPEG for a photograph, else a PNG, of twice the pixels each way; the same
    // drawing (halved, it is the 1x picture within JPEG's and antialiasing's noise), drawn
    // at those pixels and not enlarged from the 1x one.
    const QByteArray dense = pictureData(QLatin1String(e.name), 2);
    EXPECT_TRUE(dense.startsWith(e.kind == Kind::Jpeg ? QByteArray("\xFF\xD8") : QByteArray("\x89PNG")))
        << e.name;
    const QImage twice = picture(QLatin1String(e.name), 2);
    ASSERT_EQ(twice.size(), image.size() * 2) << e.name;
    EXPECT_EQ(twice.devicePixelRatio(), 2) << e.name;
    const QImage base = image.convertToFormat(QImage::Format_RGB32);
    const QImage denseRgb = twice.convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(differenceHalved(denseRgb, base), 6) << e.name;
    if (!flat) {
        EXPECT_GT(mixedBlocks(denseRgb), 0.1) << e.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, EveryPicture, ::testing::ValuesIn(expected),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PictureNames, ListsExactlyThePicturesDelivered)
{
    QStringList names;
    for (const Expected& e : expected)
        names << QLatin1String(e.name);
    QStringList listed = pictureNames();
    listed.sort();
    names.sort();
    EXPECT_EQ(listed, names);
}

TEST(PictureLookup, UnknownNamesAndScalesGiveNullImages)
{
    for (const char* name : {"", "Image9", "image3", "Image3.jpg", "../Image3", ":/pictures/Image3.jpg",
                             "SpeedButton15", "ToggleSwitch1", "Image3 ", "Image3@2x"}) {
        EXPECT_TRUE(picture(QLatin1String(name)).isNull()) << name;
        EXPECT_TRUE(pictureData(QLatin1String(name)).isEmpty()) << name;
    }
    for (int scale : {0, -1, 3, 4}) {
        EXPECT_TRUE(picture(QStringLiteral("Image3"), scale).isNull()) << scale;
        EXPECT_TRUE(pictureData(QStringLiteral("Image3"), scale).isEmpty()) << scale;
    }
}

TEST(PlainGreyField, IsUniform180)
{
    const QImage image = picture(QStringLiteral("Image7"));
    ASSERT_FALSE(image.isNull());
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_EQ(image.pixel(x, y) & 0xffffff, 0xb4b4b4u) << x << "," << y;
}

struct Twin {
    const char* coloured;
    const char* grey;
};

class GreyedTwin : public ::testing::TestWithParam<Twin> {};

// At each scale, the grey twin is made from the coloured picture of that scale.
TEST_P(GreyedTwin, IsAGreyCopyOfTheSameShape)
{
    for (int scale : kPictureScales) {
        SCOPED_TRACE(scale);
        const QImage colour =
            picture(QLatin1String(GetParam().coloured), scale).convertToFormat(QImage::Format_RGB32);
        const QImage grey =
            picture(QLatin1String(GetParam().grey), scale).convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(colour.isNull());
        ASSERT_FALSE(grey.isNull());
        ASSERT_EQ(colour.size(), grey.size());

        int colourful = 0;
        int same = 0;
        const QRgb colourBg = colour.pixel(0, colour.height() - 1);
        const QRgb greyBg = grey.pixel(0, grey.height() - 1);
        EXPECT_TRUE(near(colourBg, greyBg, 2)) << "both lie on the same background";
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x) {
                const QRgb g = grey.pixel(x, y);
                ASSERT_LE(chroma(g), 2) << GetParam().grey << " at " << x << "," << y;
                const QRgb c = colour.pixel(x, y);
                if (chroma(c) > 40)
                    ++colourful;
                same += (!near(c, colourBg, 2)) == (!near(g, greyBg, 2));
            }
        const int pixels = grey.width() * grey.height();
        EXPECT_GT(colourful, pixels / 50) << GetParam().coloured << " should be in colour";
        EXPECT_GT(same, pixels * 9 / 10) << "drawn pixels should be in the same places";
        // Lightened, not darkened: the grey copy is on average at least as light.
        qint64 colourSum = 0, greySum = 0;
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x) {
                colourSum += qGray(colour.pixel(x, y));
                greySum += qGray(grey.pixel(x, y));
            }
        EXPECT_GE(greySum, colourSum);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, GreyedTwin,
                         ::testing::Values(Twin{"Image6", "Image5"}, Twin{"Image13", "Image12"},
                                           Twin{"Image14", "Image15"}, Twin{"SpeedButton1", "SpeedButton10"},
                                           Twin{"SpeedButton2", "SpeedButton11"},
                                           Twin{"SpeedButton3", "SpeedButton14"},
                                           Twin{"SpeedButton4", "SpeedButton13"},
                                           Twin{"SpeedButton6", "SpeedButton12"}),
                         [](const auto& info) { return std::string(info.param.grey); });

int countWhere(const QImage& image, QRect area, bool (*test)(QRgb))
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += test(image.pixel(x, y));
    return n;
}

TEST(FrontPanel, LinesUpWithTheControlsLaidOverIt)
{
    const QImage front = picture(QStringLiteral("Image3"));
    ASSERT_EQ(front.size(), QSize(350, 503));
    // Points in picture coordinates (window y - 118).
    struct Probe {
        QPoint at;
        QRgb colour;
        const char* what;
    };
    const Probe probes[] = {
        {{40, 150}, qRgb(255, 255, 255), "white bezel left of the display"},
        {{308, 150}, qRgb(255, 255, 255), "white bezel right of the display"},
        {{174, 80}, qRgb(255, 255, 255), "white bezel above the display"},
        {{174, 235}, qRgb(255, 255, 255), "white bezel below the display"},
        {{290, 60}, qRgb(255, 255, 255), "tab under the spreadsheet icon"},
        {{174, 160}, qRgb(240, 251, 255), "display glass"},
        {{20, 150}, qRgb(0, 0, 0), "case left of the display"},
        {{60, 261}, qRgb(0, 0, 0), "case under the BRI label"},
        {{285, 261}, qRgb(0, 0, 0), "case under the CON label"},
        {{174, 320}, qRgb(0, 0, 0), "case above the lower panel"},
        {{174, 400}, qRgb(0, 0, 0), "lower panel"},
        {{0, 0}, qRgb(180, 180, 180), "window background outside the rounded corner"},
    };
    for (const Probe& p : probes)
        EXPECT_TRUE(near(front.pixel(p.at), p.colour, 6))
            << p.what << " at " << p.at.x() << "," << p.at.y() << " is " << std::hex << front.pixel(p.at);

    // The settings panel's grey edge shows around the black panel.
    const auto grey = [](QRgb c) { return qGray(c) > 50 && chroma(c) < 20; };
    EXPECT_GT(countWhere(front, QRect(26, 340, 4, 120), grey), 40) << "left edge of the lower panel";
    EXPECT_GT(countWhere(front, QRect(26, 458, 296, 6), grey), 200) << "bottom edge of the lower panel";

    // Blue model name at the top, blue device type below the display, clear of the labels.
    const auto blue = [](QRgb c) { return qBlue(c) > 150 && qBlue(c) > qRed(c) + 60; };
    EXPECT_GT(countWhere(front, QRect(60, 10, 170, 42), blue), 300) << "model name";
    EXPECT_GT(countWhere(front, QRect(95, 239, 160, 18), blue), 60) << "device type";
    EXPECT_EQ(countWhere(front, QRect(0, 60, 350, 180), blue), 0) << "nothing blue inside the display window";
}

TEST(BubblePictures, ArrowsPointAwayFromEachOther)
{
    // Image2: arrow at the right pointing up; Image1: arrow at the left pointing down.
    // An arrow head is the widest part of the arrow, so compare the arrow's width near
    // its two ends.
    const auto arrowWidth = [](const QImage& image, int x0, int x1, int y) {
        int n = 0;
        for (int x = x0; x <= x1; ++x) {
            const QRgb c = image.pixel(x, y);
            n += qBlue(c) > 150 && qRed(c) < 80;
        }
        return n;
    };
    const QImage up = picture(QStringLiteral("Image2"));
    const QImage down = picture(QStringLiteral("Image1"));
    ASSERT_FALSE(up.isNull());
    ASSERT_FALSE(down.isNull());
    EXPECT_GT(arrowWidth(up, 40, 58, 13), arrowWidth(up, 40, 58, 48));
    EXPECT_GT(arrowWidth(down, 0, 19, 47), arrowWidth(down, 0, 19, 12));
    EXPECT_TRUE(near(up.pixel(0, 79), qRgb(240, 251, 255), 4)) << "display background";
    EXPECT_TRUE(near(down.pixel(58, 79), qRgb(240, 251, 255), 4)) << "display background";
}

TEST(SwitchPictures, BackgroundIsTheTransparentColourAndOnlyOnShowsRed)
{
    const auto red = [](QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90; };
    for (const char* name : {"ToggleSwitch1Off", "ToggleSwitch1On"}) {
        const QImage image = picture(QLatin1String(name));
        ASSERT_FALSE(image.isNull());
        const QRgb key = image.pixel(0, image.height() - 1);
        EXPECT_TRUE(near(key, qRgb(180, 180, 180), 6)) << name;
        // The transparent colour appears only around the rocker, never inside it.
        for (int y = 6; y < 21; ++y)
            for (int x = 6; x < 35; ++x)
                ASSERT_NE(image.pixel(x, y), key) << name << " at " << x << "," << y;
        const int reds = countWhere(image, image.rect(), red);
        if (QLatin1String(name) == QLatin1String("ToggleSwitch1On"))
            EXPECT_GT(reds, 60);
        else
            EXPECT_EQ(reds, 0);
    }
}

// ---- decoder robustness ----

QByteArray validJpeg() { return pictureData(QStringLiteral("Image1")); }

TEST(DecodeJpeg, BrokenDataGivesANullImage)
{
    const QByteArray good = validJpeg();
    ASSERT_FALSE(decodeJpeg(good).isNull());

    QByteArray garbledBody = good;
    for (qsizetype i = good.size() / 3; i < good.size() - 2; i += 7)
        garbledBody[i] = char(uchar(garbledBody[i]) ^ 0x5A);
    QByteArray noMarkers(4000, '\0');
    for (qsizetype i = 0; i < noMarkers.size(); ++i)
        noMarkers[i] = char((i * 7919 + 13) & 0xff);

    const struct {
        const char* what;
        QByteArray data;
    } cases[] = {
        {"empty", QByteArray()},
        {"start marker only", QByteArray("\xFF\xD8", 2)},
        {"not a JPEG", noMarkers},
        {"truncated in the header", good.left(60)},
        {"truncated in the scan", good.left(good.size() / 2)},
        {"last bytes missing", good.left(good.size() - 40)},
        {"garbled entropy data", garbledBody},
        {"a BMP", pictureData(QStringLiteral("Image6"))},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(decodeJpeg(c.data).isNull()) << c.what;
}

TEST(DecodeJpeg, HugeDimensionsAreRefusedWithoutAllocating)
{
    QByteArray data = validJpeg();
    // Patch the frame header (SOF0: FF C0, length, precision, height, width).
    const qsizetype sof = data.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    for (int i : {5, 7})
        data[sof + i] = char(0xEA), data[sof + i + 1] = char(0x60); // 60000
    EXPECT_TRUE(decodeJpeg(data).isNull());
}

TEST(DecodeJpeg, DecodesTheSamePixelsEveryTime)
{
    const QByteArray data = pictureData(QStringLiteral("Image3"));
    const QImage a = decodeJpeg(data);
    const QImage b = decodeJpeg(data);
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(a, b);
}

} // namespace
