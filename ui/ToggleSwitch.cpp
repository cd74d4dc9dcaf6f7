#include "ToggleSwitch.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace {

constexpr int kStockWidth = 41;
constexpr int kStockHeight = 27;

// Pixels of the picture's transparent colour (its bottom-left pixel) become `fill`.
QImage withTransparentColour(const QImage& src, const QColor& fill)
{
    if (src.isNull())
        return src;
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = img.pixel(0, img.height() - 1);
    const QRgb to = fill.rgba();
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if (line[x] == key)
                line[x] = to;
    }
    return img;
}

} // namespace

TToggleSwitch::TToggleSwitch(QWidget* parent) : QWidget(parent)
{
    color_ = palette().color(QPalette::Button);
    resize(50, 60);
    updateFocusPolicy();
    SetGlyphOff(QImage());
    SetGlyphOn(QImage());
}

TToggleSwitch::~TToggleSwitch() = default;

void TToggleSwitch::SetStateOn(bool on)
{
    if (on == stateOn_)
        return;
    stateOn_ = on;
    update();
    if (on) {
        if (OnOn)
            OnOn(this);
    } else if (OnOff) {
        OnOff(this);
    }
}

void TToggleSwitch::SetGlyphOff(const ScaledPicture& img)
{
    glyphOff_ = img.isNull() ? ScaledPicture(stockGlyph(false)) : img;
    greyedOff_ = glyphOff_.mapped(makeGreyed);
    update();
}

void TToggleSwitch::SetGlyphOn(const ScaledPicture& img)
{
    glyphOn_ = img.isNull() ? ScaledPicture(stockGlyph(true)) : img;
    greyedOn_ = glyphOn_.mapped(makeGreyed);
    update();
}

void TToggleSwitch::SetShowFocus(bool on)
{
    if (on == showFocus_)
        return;
    showFocus_ = on;
    update();
}

void TToggleSwitch::SetTabStop(bool on)
{
    tabStop_ = on;
    updateFocusPolicy();
    update();
}

void TToggleSwitch::updateFocusPolicy() { setFocusPolicy(tabStop_ ? Qt::StrongFocus : Qt::NoFocus); }

void TToggleSwitch::SetTextPosition(TTextPosition pos)
{
    if (pos == textPosition_)
        return;
    textPosition_ = pos;
    update();
}

void TToggleSwitch::SetBorderStyle(TBorderStyle style)
{
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    // The single border is one line around the client area.
    const int m = style == bsSingle ? 1 : 0;
    setContentsMargins(m, m, m, m);
    update();
}

void TToggleSwitch::SetCaption(const QString& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    // The character after "&" moves the focus here.
    if (shortcutId_)
        releaseShortcut(shortcutId_);
    shortcutId_ = 0;
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption);
    if (!mnemonic.isEmpty())
        shortcutId_ = grabShortcut(mnemonic);
    update();
}

void TToggleSwitch::SetColor(const QColor& color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

QRect TToggleSwitch::clientRect() const { return contentsRect(); }

const ScaledPicture& TToggleSwitch::currentGlyph() const
{
    if (!isEnabled()) {
        const ScaledPicture& greyed = stateOn_ ? greyedOn_ : greyedOff_;
        if (!greyed.isNull())
            return greyed;
    }
    return stateOn_ ? glyphOn_ : glyphOff_;
}

QRect TToggleSwitch::glyphRect() const
{
    const QRect c = clientRect();
    const QSize g = (stateOn_ ? glyphOn_ : glyphOff_).size();
    const int w = g.width(), h = g.height();
    // Centred along each axis unless the caption pushes the picture to an edge.
    int x = (c.width() - w) / 2;
    int y = (c.height() - h) / 2;
    switch (textPosition_) {
    case tpLeft:
        x = c.width() - w;
        break;
    case tpRight:
        x = 0;
        break;
    case tpAbove:
        y = c.height() - h;
        break;
    case tpBelow:
        y = 0;
        break;
    case tpNone:
        break;
    }
    return QRect(c.left() + x, c.top() + y, w, h);
}

void TToggleSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (borderStyle_ == bsSingle) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect c = clientRect();
    p.fillRect(c, color_);
    p.setClipRect(c);

    // The picture for this device's pixels, its transparent colour filled in at that scale.
    const QRect gr = glyphRect();
    p.drawImage(gr.topLeft(), withTransparentColour(currentGlyph().forRatio(paintRatio(p)), color_));

    if (hasFocus() && showFocus_ && tabStop_) {
        // Dotted rectangle just outside the picture.
        QPen pen(palette().color(QPalette::WindowText));
        pen.setStyle(Qt::DotLine);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRect(gr.adjusted(-1, -1, 0, 0));
    }

    if (textPosition_ != tpNone) {
        QRect tr = c;
        switch (textPosition_) {
        case tpLeft:
            tr.setRight(gr.left() - 1);
            break;
        case tpRight:
            tr.setLeft(gr.right() + 1);
            break;
        case tpAbove:
            tr.setBottom(gr.top() - 1);
            break;
        case tpBelow:
            tr.setTop(gr.bottom() + 1);
            break;
        case tpNone:
            break;
        }
        p.setFont(font());
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(tr, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, caption_);
    }
}

void TToggleSwitch::mousePressEvent(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        if (tabStop_ && !hasFocus() && focusPolicy() != Qt::NoFocus)
            setFocus(Qt::MouseFocusReason);
        clickPending_ = true;
        toggle();
    }
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->modifiers(), pos.x(), pos.y());
}

void TToggleSwitch::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        // The second press of a double click: its release raises no OnClick, unless every
        // toggle must click.
        clickPending_ = everyToggleClicks_;
        toggle();
        if (OnDblClick)
            OnDblClick(this);
    }
    if (OnMouseDown)
        OnMouseDown(this, e->button(), e->modifiers(), pos.x(), pos.y());
}

void TToggleSwitch::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const bool inside = rect().contains(e->position().toPoint());
    const bool pending = clickPending_;
    clickPending_ = false;
    if (pending && !inside && everyToggleClicks_)
        toggle(); // released outside: the press's flip is taken back
    if (pending && inside && OnClick)
        OnClick(this);
}

void TToggleSwitch::keyPressEvent(QKeyEvent* e)
{
    if (OnKeyDown)
        OnKeyDown(this, e->key(), e->modifiers());
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (QKeyCombination(mods, Qt::Key(e->key())) == toggleKey_) {
        toggle();
        e->accept();
        if (everyToggleClicks_ && OnClick)
            OnClick(this);
        return;
    }
    QWidget::keyPressEvent(e);
}

bool TToggleSwitch::event(QEvent* e)
{
    if (e->type() == QEvent::Shortcut) {
        auto* se = static_cast<QShortcutEvent*>(e);
        if (se->shortcutId() == shortcutId_) {
            if (focusPolicy() != Qt::NoFocus)
                setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return QWidget::event(e);
}

void TToggleSwitch::focusInEvent(QFocusEvent* e)
{
    if (showFocus_)
        update();
    QWidget::focusInEvent(e);
}

void TToggleSwitch::focusOutEvent(QFocusEvent* e)
{
    if (showFocus_)
        update();
    QWidget::focusOutEvent(e);
}

void TToggleSwitch::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::EnabledChange) {
        clickPending_ = false;
        update();
    }
    QWidget::changeEvent(e);
}

void TToggleSwitch::resizeEvent(QResizeEvent* e)
{
    update();
    QWidget::resizeEvent(e);
}

QImage TToggleSwitch::makeGreyed(const QImage& src)
{
    if (src.isNull())
        return src;
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = img.pixel(0, img.height() - 1);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (line[x] == key)
                continue;
            // Washed-out grey: dark parts become mid grey, light parts light grey.
            const int g = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return img;
}

QImage TToggleSwitch::stockGlyph(bool on)
{
    // A small rocker seen from the side; the background colour (magenta) is the
    // transparent colour, taken from the bottom-left pixel.
    QImage img(kStockWidth, kStockHeight, QImage::Format_ARGB32);
    img.fill(QColor(255, 0, 255));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    // Housing.
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(160, 160, 160));
    p.drawRect(2, 4, kStockWidth - 5, kStockHeight - 9);
    // Rocker, tilted towards the pressed side.
    QPolygon rocker;
    if (on)
        rocker << QPoint(6, 8) << QPoint(20, 11) << QPoint(34, 5) << QPoint(34, 18) << QPoint(6, 18);
    else
        rocker << QPoint(6, 5) << QPoint(20, 11) << QPoint(34, 8) << QPoint(34, 18) << QPoint(6, 18);
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(rocker);
    if (on) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(220, 0, 0));
        p.drawRect(26, 9, 6, 3);
    }
    return img;
}
