#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <future>

// Decodes JPEG data with libjpeg. The result is QImage::Format_RGB888.
// Grey-scale, YCbCr, RGB and CMYK/YCCK files are accepted.
// Anything libjpeg cannot decode cleanly gives a null image and never ends the program:
// a corrupt stream, a truncated one (libjpeg would pad it with grey and only warn; we
// treat every libjpeg warning as a failure), an unsupported colour space, an empty
// buffer, and pictures of more than 64 million pixels.
QImage decodeJpeg(const QByteArray& data);

// The scales the pictures are drawn at: 1, the files the window has always read, and 2, the
// same drawings at twice the pixels, for screens above 100 %.
inline constexpr int kPictureScales[] = {1, 2};

// The picture of a window control, from the compiled-in resources: "Image1" ...
// "Image15", "SpeedButton1" ... "SpeedButton14", "ToggleSwitch1Off", "ToggleSwitch1On"
// and "AppIcon" (64 x 64 program icon), at a scale of kPictureScales. At 1, JPEGs go through
// decodeJpeg, bitmaps and the icon through Qt's readers; at 2 ("Image3@2x.jpg",
// "SpeedButton1@2x.png") the photographs are JPEGs and the rest PNGs, and the image has twice
// the pixels and a devicePixelRatio of 2. An unknown name or scale gives a null image.
QImage picture(const QString& name, int scale = 1);

// Every name picture() knows, in a fixed order.
const QStringList& pictureNames();

// The stored bytes of a picture (the file as committed), empty for an unknown name or scale.
QByteArray pictureData(const QString& name, int scale = 1);

// Every picture by name at a scale, decoded on a thread of its own while the caller goes on;
// get() on the result waits for the rest. The window builds its controls meanwhile.
std::future<QHash<QString, QImage>> decodeAllPictures(int scale = 1);
