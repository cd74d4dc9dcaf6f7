#include "NumSpinButton.h"

#include "ScaledPicture.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

TNumSpinButton::TNumSpinButton(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
}

TNumSpinButton::~TNumSpinButton() = default;

void TNumSpinButton::SetKind(TNumSpinButtonKind kind)
{
    if (kind == kind_)
        return;
    kind_ = kind;
    update();
}

TNumSpinButton::TPart TNumSpinButton::partAt(QPoint p) const
{
    if (!rect().contains(p))
        return spNone;
    const long long w = width(), h = height(), x = p.x(), y = p.y();
    if (kind_ == bkDiagonal)
        // Below the diagonal from bottom-left to top-right: Y > H - X*H/W.
        return y * w > h * w - x * h ? spDown : spUp;
    // bkClassic, and bkStandard drawn the same way: the lower half steps down.
    return 2 * y > h ? spDown : spUp;
}

QImage TNumSpinButton::stockArrow(bool up)
{
    static const char* const rows[6] = {"..XX..", ".XXXX.", "XXXXXX", "..XX..", "..XX..", "..XX.."};
    QImage img(6, 6, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            if (rows[up ? y : 5 - y][x] == 'X')
                img.setPixel(x, y, qRgb(0, 0, 0));
    return img;
}

namespace {

QImage tinted(const QImage& arrow, const QColor& c)
{
    QImage img = arrow;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)))
                img.setPixel(x, y, c.rgb());
    return img;
}

// An arrow in the 6 x 6 pixels from `at`: the stock picture where a logical pixel is a device
// pixel; on a denser device the same shape drawn as a figure at the device's pixels, a head
// three pixels deep over a shaft two pixels wide.
void drawArrow(QPainter& p, QPoint at, bool up, const QImage& picture, const QColor& colour)
{
    if (paintsAtOne(p)) {
        p.drawImage(at, picture);
        return;
    }
    const auto y = [up](double v) { return up ? v : 6 - v; };
    QPainterPath arrow;
    arrow.moveTo(3, y(0));
    arrow.lineTo(6, y(3));
    arrow.lineTo(4, y(3));
    arrow.lineTo(4, y(6));
    arrow.lineTo(2, y(6));
    arrow.lineTo(2, y(3));
    arrow.lineTo(0, y(3));
    arrow.closeSubpath();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(arrow.translated(at), colour);
    p.restore();
}

} // namespace

void TNumSpinButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor light = pal.color(QPalette::Light);
    const QColor dark = pal.color(QPalette::Dark);
    const QColor sunken = pal.color(QPalette::Mid);
    const int w = width(), h = height();
    const TPart shown = shownPressed();

    QImage up = stockArrow(true), down = stockArrow(false);
    const QColor ink = isEnabled() ? QColor(Qt::black) : dark;
    if (!isEnabled()) {
        up = tinted(up, dark);
        down = tinted(down, dark);
    }

    p.fillRect(rect(), face);
    if (kind_ == bkDiagonal) {
        const QPolygon upTri{QPoint(0, 0), QPoint(w, 0), QPoint(0, h)};
        const QPolygon downTri{QPoint(w, 0), QPoint(w, h), QPoint(0, h)};
        if (shown != spNone) {
            p.setPen(Qt::NoPen);
            p.setBrush(sunken);
            p.drawPolygon(shown == spUp ? upTri : downTri);
        }
        // Raised square: light top and left, dark bottom and right; the pressed
        // triangle's outer edges are drawn the other way round.
        p.setPen(shown == spUp ? dark : light);
        p.drawLine(0, 0, w - 1, 0);
        p.drawLine(0, 0, 0, h - 1);
        p.setPen(shown == spDown ? light : dark);
        p.drawLine(0, h - 1, w - 1, h - 1);
        p.drawLine(w - 1, 0, w - 1, h - 1);
        p.setPen(dark);
        p.drawLine(0, h - 1, w - 1, 0);
        p.setPen(light);
        p.drawLine(1, h - 1, w - 1, 1);
        const int upShift = shown == spUp ? 1 : 0, downShift = shown == spDown ? 1 : 0;
        drawArrow(p, QPoint(w / 4 - 3 + upShift, h / 4 - 3 + upShift), true, up, ink);
        drawArrow(p, QPoint(3 * w / 4 - 3 + downShift, 3 * h / 4 - 3 + downShift), false, down, ink);
    } else {
        const QRect halves[2] = {QRect(0, 0, w, h / 2), QRect(0, h / 2, w, h - h / 2)};
        for (int i = 0; i < 2; ++i) {
            const QRect r = halves[i];
            const bool pressed = shown == (i == 0 ? spUp : spDown);
            if (pressed)
                p.fillRect(r, sunken);
            p.setPen(pressed ? dark : light);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(pressed ? light : dark);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
            const int shift = pressed ? 1 : 0;
            drawArrow(p, QPoint(r.center().x() - 2 + shift, r.center().y() - 2 + shift), i == 0,
                      i == 0 ? up : down, ink);
        }
    }
}

void TNumSpinButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !isEnabled() || pressed_ != spNone)
        return;
    const QPoint pos = e->position().toPoint();
    const TPart part = partAt(pos);
    if (part == spNone)
        return;
    if (focusControl_ && focusControl_->isEnabled() && focusControl_->focusPolicy() != Qt::NoFocus &&
        !focusControl_->hasFocus())
        focusControl_->setFocus(Qt::OtherFocusReason);
    pressed_ = part;
    shownPressed_ = true;
    lastPos_ = pos;
    update();
    if (!timer_) {
        timer_ = makeRepeatTimer();
        timer_->onTimer = [this] { timerExpired(); };
    }
    firstRepeat_ = true;
    timer_->start(kFirstRepeatPause);
    step(part);
}

void TNumSpinButton::mouseMoveEvent(QMouseEvent* e)
{
    if (pressed_ == spNone)
        return;
    lastPos_ = e->position().toPoint();
    const bool over = partAt(lastPos_) == pressed_;
    if (over != shownPressed_) {
        shownPressed_ = over;
        update();
    }
}

void TNumSpinButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        endPress();
}

void TNumSpinButton::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange && !isEnabled())
        endPress();
    QWidget::changeEvent(e);
}

void TNumSpinButton::hideEvent(QHideEvent* e)
{
    endPress();
    QWidget::hideEvent(e);
}

void TNumSpinButton::endPress()
{
    if (timer_)
        timer_->stop();
    if (pressed_ != spNone) {
        pressed_ = spNone;
        shownPressed_ = false;
        update();
    }
}

void TNumSpinButton::timerExpired()
{
    if (pressed_ == spNone) {
        timer_->stop();
        return;
    }
    if (firstRepeat_) {
        firstRepeat_ = false;
        timer_->start(kRepeatPause);
    }
    // Paused while the pointer is off the pressed button.
    if (shownPressed_)
        step(pressed_);
}

void TNumSpinButton::step(TPart part)
{
    if (part == spUp) {
        if (OnTopClick)
            OnTopClick(this);
    } else if (part == spDown) {
        if (OnBottomClick)
            OnBottomClick(this);
    }
}
