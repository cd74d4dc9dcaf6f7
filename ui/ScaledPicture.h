#pragma once

#include <QImage>
#include <QPoint>

#include <functional>
#include <memory>
#include <vector>

class QPainter;

// A control's picture at the scales it is drawn at. The 1x image gives its size in logical
// pixels and is what a screen at 100 % shows, unchanged; a loader gives the same drawing at
// other scales (2 for 2x), asked the first time a screen needs one, so a program on a 100 %
// screen never loads them. Copies share what was loaded.
class ScaledPicture {
public:
    // The picture drawn at a scale, with that devicePixelRatio; a null image when there is none.
    using Loader = std::function<QImage(int scale)>;

    ScaledPicture() = default;
    // Only the 1x image: denser screens get it resampled.
    ScaledPicture(const QImage& base);
    ScaledPicture(const QImage& base, Loader loader, std::vector<int> scales);

    const QImage& base() const;
    bool isNull() const { return base().isNull(); }
    QSize size() const { return base().size(); }

    // The stored picture for `scale`, 1 giving the base; a null image when there is none.
    QImage variant(int scale) const;

    // The image that covers the picture's place at `ratio` device pixels a logical pixel, pixel
    // for pixel: the base at 1; a stored variant at its own scale; otherwise the nearest
    // variant at or above the ratio (the largest when none is), resampled once to the device
    // pixels the picture covers. Its devicePixelRatio is `ratio`.
    QImage forRatio(qreal ratio) const;

    // The same picture with `f` applied to each variant as it is needed: a greyed copy at 2x
    // is made from the 2x picture. f keeps the size.
    ScaledPicture mapped(const std::function<QImage(const QImage&)>& f) const;

private:
    struct Data;
    std::shared_ptr<Data> d_;
};

// Device pixels a logical pixel of what the painter paints on: 2 on a screen at 200 % and when
// rendering into an image of devicePixelRatio 2.
qreal paintRatio(const QPainter& p);
// Whether a logical pixel is one device pixel there: what the window has always drawn is drawn
// exactly so.
bool paintsAtOne(const QPainter& p);

// Draws a picture unscaled with its top-left corner at `at`, from the image for the painter's
// ratio: at 1 exactly the 1x image.
void drawPicture(QPainter& p, QPoint at, const ScaledPicture& picture);
