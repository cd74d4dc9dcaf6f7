#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

#include <stdexcept>

// Writers for the picture files, so each file has exactly the pixel format the window
// expects (Qt's own BMP writer cannot write 8-bit palette or 16-bit 5-5-5 files).

struct PictureWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A Windows bitmap: BITMAPFILEHEADER, BITMAPINFOHEADER (BI_RGB), bottom-up rows padded
// to four bytes. bitsPerPixel: 8 (palette of the picture's own colours, at most 256,
// else PictureWriteError), 16 (5-5-5, top bit 0), 24 or 32 (B, G, R, 255).
// Transparency in the image is ignored.
QByteArray encodeBmp(const QImage& image, int bitsPerPixel);

// A baseline YCbCr JPEG through libjpeg's compression API; quality 1..100.
QByteArray encodeJpeg(const QImage& image, int quality);

// A Windows icon file holding each picture as a PNG entry, in the order given: square pictures
// of 1 to 256 pixels, else PictureWriteError.
QByteArray encodeIco(const QList<QImage>& images);
