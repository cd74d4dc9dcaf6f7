#pragma once

#include <QImage>
#include <QString>

#include <vector>

// The window's pictures, drawn with QPainter at their exact sizes.

enum class PictureFormat { Jpeg, Bmp8, Bmp16, Bmp24, Bmp32, Png };

struct DrawnPicture {
    QString name; // control name, also the file's base name
    PictureFormat format;
    QImage image; // opaque, except the PNG icon
};

// Greyed copy: luminance, lightened a little; pixels equal to background stay as they are.
QImage greyed(const QImage& image, QRgb background);

std::vector<DrawnPicture> drawAllPictures();

// File extension for a format ("jpg", "bmp", "png").
QString extensionOf(PictureFormat format);
