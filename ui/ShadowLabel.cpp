#include "ShadowLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

TShadowLabel::TShadowLabel(QWidget* parent) : QWidget(parent)
{
    FColor = palette().color(QPalette::Window);
    FFontColor = palette().color(QPalette::WindowText);
}

void TShadowLabel::SetCaption(const QString& caption)
{
    if (caption == FCaption)
        return;
    FCaption = caption;
    adjustSize();
    update();
}

void TShadowLabel::SetWordWrap(bool on)
{
    if (on == FWordWrap)
        return;
    FWordWrap = on;
    adjustSize();
    update();
}

void TShadowLabel::SetAutoSize(bool on)
{
    if (on == FAutoSize)
        return;
    FAutoSize = on;
    adjustSize();
    update();
}

void TShadowLabel::SetShowAccelChar(bool on)
{
    if (on == FShowAccelChar)
        return;
    FShowAccelChar = on;
    adjustSize();
    update();
}

void TShadowLabel::SetColor(const QColor& c)
{
    FColor = c;
    update();
}

void TShadowLabel::SetFontColor(const QColor& c)
{
    FFontColor = c;
    update();
}

int TShadowLabel::textFlags() const
{
    int flags = Qt::AlignLeft | Qt::AlignTop;
    flags |= FWordWrap ? Qt::TextWordWrap : Qt::TextSingleLine;
    flags |= FShowAccelChar ? Qt::TextShowMnemonic : 0;
    return flags;
}

void TShadowLabel::adjustSize()
{
    if (!FAutoSize)
        return;
    const QFontMetrics fm(font());
    // The shadow sits one pixel up-left of the text, so one more pixel each way.
    if (FWordWrap) {
        const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, width() - 1), 100000), textFlags(), FCaption);
        resize(width(), r.height() + 1);
    } else {
        const QRect r = fm.boundingRect(QRect(0, 0, 100000, 100000), textFlags(), FCaption);
        resize(r.width() + 1, r.height() + 1);
    }
}

void TShadowLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), FColor);
    // Whatever falls outside the label's own rectangle is cut off.
    p.setClipRect(rect());
    p.setFont(font());
    const QRect r = rect();
    p.setPen(palette().color(QPalette::Active, QPalette::Light));
    p.drawText(r.translated(-1, -1), textFlags(), FCaption);
    p.setPen(isEnabled() ? FFontColor : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.drawText(r, textFlags(), FCaption);
}

void TShadowLabel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        FLeftPressed = true;
    QWidget::mousePressEvent(e);
}

void TShadowLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        const bool click = FLeftPressed && rect().contains(e->position().toPoint());
        FLeftPressed = false;
        if (click && OnClick)
            OnClick(this);
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void TShadowLabel::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange)
        adjustSize();
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(e);
}
