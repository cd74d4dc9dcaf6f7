#pragma once

#include <QImage>
#include <QString>

#include <vector>

// The window's pictures, drawn with QPainter at their exact sizes in logical pixels, at a scale
// of device pixels a logical pixel (1 for the files the window has always had, 2 for screens at
// 200 %): the same drawing at every scale, so a 2x picture is the 1x one at twice the detail.

enum class PictureFormat { Jpeg, Bmp8, Bmp16, Bmp24, Bmp32, Png };

struct DrawnPicture {
    QString name; // control name, also the file's base name
    PictureFormat format;
    QImage image; // opaque, except the PNG icon; its devicePixelRatio is the scale
};

// Greyed copy: luminance, lightened a little; pixels equal to background stay as they are.
QImage greyed(const QImage& image, QRgb background);

std::vector<DrawnPicture> drawAllPictures(qreal scale = 1);

class QPainter;
// The program's icon, drawn on a 64 x 64 grid through the painter's transform: the same
// drawing as a picture of any size or as SVG.
void paintAppIcon(QPainter& p);
// The icon as a picture of 64 x 64 logical pixels at `scale` (1: the window's AppIcon.png;
// a desktop's sizes are 16 / 64 to 256 / 64).
QImage appIcon(qreal scale);

// File extension for a format ("jpg", "bmp", "png").
QString extensionOf(PictureFormat format);
