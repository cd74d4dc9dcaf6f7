#include "PictureWriters.h"
#include "Pictures.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QColor>
#include <QImageReader>

#include <csetjmp>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace {

quint32 le32(const QByteArray& b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16 |
           quint32(uchar(b[at + 3])) << 24;
}

// 13 pixels wide so every bit depth needs row padding; a few dozen colours.
QImage pattern(int colours = 40)
{
    QImage image(13, 7, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const int i = (y * image.width() + x) % colours;
            image.setPixel(x, y, qRgb((i * 37) & 0xff, (i * 91 + 40) & 0xff, (255 - i * 13) & 0xff));
        }
    return image;
}

class BmpDepth : public ::testing::TestWithParam<int> {};

TEST_P(BmpDepth, QtReadsBackThePixels)
{
    const int bits = GetParam();
    const QImage source = pattern();
    const QByteArray file = encodeBmp(source, bits);
    ASSERT_TRUE(file.startsWith("BM"));
    EXPECT_EQ(le32(file, 2), quint32(file.size()));
    EXPECT_EQ(uchar(file[28]), bits);
    const int rowBytes = ((13 * bits + 31) / 32) * 4;
    EXPECT_EQ(le32(file, 34), quint32(rowBytes * 7)) << "biSizeImage";
    EXPECT_EQ(quint32(file.size()), le32(file, 10) + quint32(rowBytes * 7));

    const QImage back = QImage::fromData(file, "BMP");
    ASSERT_FALSE(back.isNull());
    ASSERT_EQ(back.size(), source.size());
    const int tolerance = bits == 16 ? 7 : 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb a = source.pixel(x, y), b = back.pixel(x, y);
            ASSERT_LE(std::abs(qRed(a) - qRed(b)), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(qGreen(a) - qGreen(b)), tolerance) << x << "," << y;
            ASSERT_LE(std::abs(qBlue(a) - qBlue(b)), tolerance) << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Depths, BmpDepth, ::testing::Values(8, 16, 24, 32),
                         [](const auto& info) { return "Bits" + std::to_string(info.param); });

TEST(EncodeBmp, SixteenBitsAre555WithTheTopBitClear)
{
    QImage image(2, 2, QImage::Format_RGB32);
    image.setPixel(0, 1, qRgb(255, 0, 0)); // bottom row comes first in the file
    image.setPixel(1, 1, qRgb(0, 255, 255));
    image.setPixel(0, 0, qRgb(255, 255, 255));
    image.setPixel(1, 0, qRgb(8, 16, 24));
    const QByteArray file = encodeBmp(image, 16);
    const int pixels = int(le32(file, 10));
    const auto word = [&](int i) {
        return quint16(uchar(file[pixels + i]) | uchar(file[pixels + i + 1]) << 8);
    };
    EXPECT_EQ(word(0), 0x7C00); // red
    EXPECT_EQ(word(2), 0x03FF); // cyan
    EXPECT_EQ(word(4), 0x7FFF); // white, second row after 4 bytes (already aligned)
    EXPECT_EQ(word(6), (1 << 10) | (2 << 5) | 3);
    EXPECT_EQ(le32(file, 30), 0u) << "BI_RGB, no bit fields";
}

TEST(EncodeBmp, EightBitsStoreAPaletteOfTheColoursUsed)
{
    const QImage source = pattern(5);
    const QByteArray file = encodeBmp(source, 8);
    EXPECT_EQ(le32(file, 46), 5u);
    EXPECT_EQ(le32(file, 10), 14u + 40u + 5u * 4u);
}

TEST(EncodeBmp, RefusesTooManyColoursBadDepthsAndEmptyImages)
{
    QImage many(20, 20, QImage::Format_RGB32);
    for (int i = 0; i < 400; ++i)
        many.setPixel(i % 20, i / 20, qRgb(i & 0xff, i >> 8, 0));
    EXPECT_THROW(encodeBmp(many, 8), PictureWriteError);
    EXPECT_NO_THROW(encodeBmp(many, 24));
    for (int bits : {1, 4, 12, 48})
        EXPECT_THROW(encodeBmp(pattern(), bits), PictureWriteError) << bits;
    EXPECT_THROW(encodeBmp(QImage(), 24), PictureWriteError);
    EXPECT_THROW(encodeJpeg(QImage(), 90), PictureWriteError);
}

TEST(EncodeJpeg, RoundTripsThroughTheDecoder)
{
    QImage source(64, 40, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, qRgb(x * 4, y * 6, 128));
    const QByteArray file = encodeJpeg(source, 95);
    const QImage back = decodeJpeg(file);
    ASSERT_FALSE(back.isNull());
    ASSERT_EQ(back.size(), source.size());
    int worst = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb a = source.pixel(x, y), b = back.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b))});
        }
    EXPECT_LE(worst, 12);
    EXPECT_LT(encodeJpeg(source, 30).size(), file.size()) << "quality is honoured";
}

// ---- decoder colour spaces, with files written straight through libjpeg ----

struct JumpError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jumpOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JumpError*>(cinfo->err)->jump, 1); }

bool writeRaw(jpeg_compress_struct* cinfo, JumpError* err, J_COLOR_SPACE space, J_COLOR_SPACE stored,
              int components, int w, int h, const unsigned char* pixels, unsigned char** out,
              unsigned long* size)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, size);
    cinfo->image_width = JDIMENSION(w);
    cinfo->image_height = JDIMENSION(h);
    cinfo->input_components = components;
    cinfo->in_color_space = space;
    jpeg_set_defaults(cinfo);
    jpeg_set_colorspace(cinfo, stored);
    jpeg_set_quality(cinfo, 95, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<unsigned char*>(pixels + cinfo->next_scanline * JDIMENSION(w * components));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// The pixels in colour space `space`, stored in the file as `stored` (the same by default).
QByteArray rawJpeg(J_COLOR_SPACE space, int components, int w, int h,
                   const std::vector<unsigned char>& pixels, J_COLOR_SPACE stored = JCS_UNKNOWN)
{
    jpeg_compress_struct cinfo{};
    JumpError err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpOnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = writeRaw(&cinfo, &err, space, stored == JCS_UNKNOWN ? space : stored, components, w, h,
                             pixels.data(), &buffer, &size);
    jpeg_destroy_compress(&cinfo);
    QByteArray out = ok ? QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size)) : QByteArray();
    std::free(buffer);
    return out;
}

// A valid grey file of any size, black: every row is the same one, so a huge picture costs
// the encoder little and the test no buffer of its size.
bool writeBlack(jpeg_compress_struct* cinfo, JumpError* err, int w, int h, unsigned char** out,
                unsigned long* size)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, out, size);
    cinfo->image_width = JDIMENSION(w);
    cinfo->image_height = JDIMENSION(h);
    cinfo->input_components = 1;
    cinfo->in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, 10, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    std::vector<unsigned char> row(std::size_t(w), 0);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo->next_scanline < cinfo->image_height)
        jpeg_write_scanlines(cinfo, rows, 1);
    jpeg_finish_compress(cinfo);
    return true;
}

QByteArray blackJpeg(int w, int h)
{
    jpeg_compress_struct cinfo{};
    JumpError err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jumpOnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = writeBlack(&cinfo, &err, w, h, &buffer, &size);
    jpeg_destroy_compress(&cinfo);
    QByteArray out = ok ? QByteArray(reinterpret_cast<const char*>(buffer), qsizetype(size)) : QByteArray();
    std::free(buffer);
    return out;
}

TEST(DecodeJpeg, AValidFileOverTheLimitOfPixelsIsRefused)
{
    // One row more than 8192 x 8192 (64 M pixels): refused before its image is made.
    const QByteArray file = blackJpeg(8192, 8193);
    ASSERT_FALSE(file.isEmpty());
    EXPECT_TRUE(decodeJpeg(file).isNull());
    EXPECT_FALSE(decodeJpeg(blackJpeg(64, 64)).isNull()) << "the same form, small, is read";
}

TEST(DecodeJpeg, GreyScaleFilesComeOutAsGreyRgb)
{
    std::vector<unsigned char> grey(16 * 8);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<unsigned char>((i % 16) * 16);
    const QImage image = decodeJpeg(rawJpeg(JCS_GRAYSCALE, 1, 16, 8, grey));
    ASSERT_FALSE(image.isNull());
    ASSERT_EQ(image.size(), QSize(16, 8));
    for (int x = 0; x < 16; ++x) {
        const QRgb c = image.pixel(x, 4);
        EXPECT_EQ(qRed(c), qGreen(c));
        EXPECT_EQ(qGreen(c), qBlue(c));
        EXPECT_NEAR(qRed(c), x * 16, 10);
    }
}

TEST(DecodeJpeg, AdobeCmykFilesAreConverted)
{
    // Adobe's inverted CMYK: 255 means no ink. Pure red: no cyan, full magenta and yellow.
    std::vector<unsigned char> cmyk;
    for (int i = 0; i < 16 * 16; ++i)
        cmyk.insert(cmyk.end(), {255, 0, 0, 255});
    // Stored as it is, or as YCCK (which Adobe's files mostly are).
    for (const J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        const QByteArray file = rawJpeg(JCS_CMYK, 4, 16, 16, cmyk, stored);
        ASSERT_FALSE(file.isEmpty());
        const QImage image = decodeJpeg(file);
        ASSERT_FALSE(image.isNull()) << stored;
        const QRgb c = image.pixel(8, 8);
        EXPECT_GT(qRed(c), 240) << stored;
        EXPECT_LT(qGreen(c), 15) << stored;
        EXPECT_LT(qBlue(c), 15) << stored;
    }
}

} // namespace

namespace {

// Qt's icon reader gives every entry back: sizes and pixels; the Windows program's icon in the
// tree holds the sizes Windows shows.
TEST(IcoWriter, QtReadsBackEveryEntry)
{
    QList<QImage> images;
    for (const int side : {16, 32, 256}) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(QColor(side, 255 - side / 2, 40, side == 16 ? 128 : 255));
        image.setPixel(side - 1, 0, qRgba(1, 2, 3, 255));
        images << image;
    }
    QByteArray file = encodeIco(images);
    QBuffer buffer(&file);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), 3);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage back = reader.read().convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(back, images[i]) << images[i].width();
    }
    EXPECT_THROW(encodeIco({QImage(16, 8, QImage::Format_ARGB32)}), PictureWriteError);
    EXPECT_THROW(encodeIco({QImage(257, 257, QImage::Format_ARGB32)}), PictureWriteError);

    QImageReader tree(QStringLiteral(TARLO_SOURCE_DIR "/windows/Tarlo01.ico"), "ico");
    QList<int> sides;
    for (int i = 0; i < tree.imageCount() && tree.jumpToImage(i); ++i)
        sides << tree.read().width();
    EXPECT_EQ(sides, (QList<int>{16, 20, 24, 32, 40, 48, 64, 256}));
}

} // namespace
