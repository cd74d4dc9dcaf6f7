#include "ShadowLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

TShadowLabel::TShadowLabel(QWidget* parent) : QWidget(parent)
{
    color_ = palette().color(QPalette::Window);
    fontColor_ = palette().color(QPalette::WindowText);
}

void TShadowLabel::SetCaption(const QString& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    fitToCaption();
    update();
}

void TShadowLabel::SetWordWrap(bool on)
{
    if (on == wordWrap_)
        return;
    wordWrap_ = on;
    fitToCaption();
    update();
}

void TShadowLabel::SetAutoSize(bool on)
{
    if (on == autoSize_)
        return;
    autoSize_ = on;
    fitToCaption();
    update();
}

void TShadowLabel::SetShowAccelChar(bool on)
{
    if (on == showAccelChar_)
        return;
    showAccelChar_ = on;
    fitToCaption();
    update();
}

void TShadowLabel::SetColor(const QColor& c)
{
    color_ = c;
    update();
}

void TShadowLabel::SetFontColor(const QColor& c)
{
    fontColor_ = c;
    update();
}

int TShadowLabel::textFlags() const
{
    int flags = Qt::AlignLeft | Qt::AlignTop;
    flags |= wordWrap_ ? Qt::TextWordWrap : Qt::TextSingleLine;
    flags |= showAccelChar_ ? Qt::TextShowMnemonic : 0;
    return flags;
}

void TShadowLabel::fitToCaption()
{
    if (!autoSize_)
        return;
    const QFontMetrics fm(font());
    // The shadow sits one pixel up-left of the text, so one more pixel each way.
    if (wordWrap_) {
        const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, width() - 1), 100000), textFlags(), caption_);
        resize(width(), r.height() + 1);
    } else {
        const QRect r = fm.boundingRect(QRect(0, 0, 100000, 100000), textFlags(), caption_);
        resize(r.width() + 1, r.height() + 1);
    }
}

void TShadowLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), color_);
    // Whatever falls outside the label's own rectangle is cut off.
    p.setClipRect(rect());
    p.setFont(font());
    const QRect r = rect();
    p.setPen(palette().color(QPalette::Active, QPalette::Light));
    p.drawText(r.translated(-1, -1), textFlags(), caption_);
    p.setPen(isEnabled() ? fontColor_ : palette().color(QPalette::Disabled, QPalette::WindowText));
    p.drawText(r, textFlags(), caption_);
}

void TShadowLabel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton)
        leftPressed_ = true;
    QWidget::mousePressEvent(e);
}

void TShadowLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        const bool click = leftPressed_ && rect().contains(e->position().toPoint());
        leftPressed_ = false;
        if (click && OnClick)
            OnClick(this);
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void TShadowLabel::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange)
        fitToCaption();
    if (e->type() == QEvent::EnabledChange || e->type() == QEvent::FontChange)
        update();
    QWidget::changeEvent(e);
}
