#include "ScaledPicture.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// A format the raster engine copies pixel for pixel, at any scale of the painter.
QImage drawable(QImage image)
{
    const QImage::Format f = image.format();
    if (!image.isNull() && f != QImage::Format_RGB32 && f != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    return image;
}

bool sameRatio(qreal a, qreal b) { return std::abs(a - b) < 1e-6; }

} // namespace

struct ScaledPicture::Data {
    QImage base;
    Loader loader;
    std::vector<int> scales;            // above 1, ascending
    std::map<int, QImage> variants;     // loaded, a null image where loading gave none
    std::map<qint64, QImage> resampled; // by ratio in millionths
};

ScaledPicture::ScaledPicture(const QImage& base) : ScaledPicture(base, {}, {}) {}

ScaledPicture::ScaledPicture(const QImage& base, Loader loader, std::vector<int> scales)
    : d_(std::make_shared<Data>())
{
    d_->base = base;
    d_->loader = std::move(loader);
    std::sort(scales.begin(), scales.end());
    scales.erase(std::remove_if(scales.begin(), scales.end(), [](int s) { return s <= 1; }), scales.end());
    d_->scales = std::move(scales);
}

const QImage& ScaledPicture::base() const
{
    static const QImage none;
    return d_ ? d_->base : none;
}

QImage ScaledPicture::variant(int scale) const
{
    if (!d_)
        return {};
    if (scale == 1)
        return d_->base;
    if (!d_->loader || std::find(d_->scales.begin(), d_->scales.end(), scale) == d_->scales.end())
        return {};
    auto it = d_->variants.find(scale);
    if (it == d_->variants.end()) {
        QImage image = drawable(d_->loader(scale));
        // A variant of another size than the base's at that scale would move what lies beside it.
        if (image.size() != d_->base.size() * scale)
            image = QImage();
        if (!image.isNull())
            image.setDevicePixelRatio(scale);
        it = d_->variants.emplace(scale, image).first;
    }
    return it->second;
}

QImage ScaledPicture::forRatio(qreal ratio) const
{
    if (isNull() || sameRatio(ratio, 1))
        return base();
    for (int scale : d_->scales)
        if (sameRatio(ratio, scale)) {
            const QImage image = variant(scale);
            if (!image.isNull())
                return image;
        }
    const qint64 key = std::llround(ratio * 1e6);
    if (const auto it = d_->resampled.find(key); it != d_->resampled.end())
        return it->second;
    // Down from the nearest variant at or above the ratio keeps the detail a screen can show;
    // up from a smaller one would blur it.
    QImage source = d_->base;
    for (int scale : d_->scales) {
        const QImage image = variant(scale);
        if (image.isNull())
            continue;
        source = image;
        if (scale >= ratio)
            break;
    }
    const QSize device(std::max(1, qRound(base().width() * ratio)),
                       std::max(1, qRound(base().height() * ratio)));
    QImage image = drawable(source.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    image.setDevicePixelRatio(ratio);
    d_->resampled.emplace(key, image);
    return image;
}

ScaledPicture ScaledPicture::mapped(const std::function<QImage(const QImage&)>& f) const
{
    if (isNull())
        return {};
    const ScaledPicture source = *this;
    return ScaledPicture(
        f(source.base()),
        [source, f](int scale) {
            const QImage image = source.variant(scale);
            return image.isNull() ? image : f(image);
        },
        d_->scales);
}

qreal paintRatio(const QPainter& p)
{
    const QTransform t = p.deviceTransform();
    return std::hypot(t.m11(), t.m12());
}

bool paintsAtOne(const QPainter& p) { return sameRatio(paintRatio(p), 1); }

void drawPicture(QPainter& p, QPoint at, const ScaledPicture& picture)
{
    if (paintsAtOne(p))
        p.drawImage(at, picture.base());
    else
        p.drawImage(at, picture.forRatio(paintRatio(p)));
}
