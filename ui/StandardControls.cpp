#include "StandardControls.h"

#include <QChildEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVariant>

#include <cmath>

namespace {
const char* kHintProperty = "tarloHint";
} // namespace

void setHint(QWidget* w, const QString& h)
{
    w->setProperty(kHintProperty, h);
    QString shown = h;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    w->setToolTip(shown);
}

QString hint(const QWidget* w) { return w->property(kHintProperty).toString(); }

void installFontSubstitutions()
{
    // Liberation Sans has the metrics of Arial, and is the closest installed face to
    // MS Sans Serif; DejaVu Sans stands behind it.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

QFont layoutFont(const QString& family, int pixelSize, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

void setFontColor(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::Text, c);
    p.setColor(QPalette::ButtonText, c);
    w->setPalette(p);
}

QColor fontColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

QImage greyed(const QImage& img)
{
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            // Luminance, lifted towards white so the picture reads as inactive.
            int g = (qRed(c) * 30 + qGreen(c) * 59 + qBlue(c) * 11) / 100;
            g = 96 + g * 5 / 8;
            line[x] = qRgba(g, g, g, qAlpha(c));
        }
    }
    return out;
}

void ClickTracker::press(const QMouseEvent* e) { pending_ = e->button() == Qt::LeftButton; }

void ClickTracker::changed(const QEvent* e)
{
    if (e->type() == QEvent::EnabledChange)
        pending_ = false;
}

bool ClickTracker::release(const QWidget* w, const QMouseEvent* e)
{
    const bool click =
        pending_ && e->button() == Qt::LeftButton && w->rect().contains(e->position().toPoint());
    pending_ = false;
    return click;
}

// --- TImage -------------------------------------------------------------------------------

TImage::TImage(QWidget* parent) : QWidget(parent) {}

void TImage::SetPicture(const ScaledPicture& img)
{
    picture_ = img;
    update();
}

void TImage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    drawPicture(p, QPoint(0, 0), picture_);
}

void TImage::mousePressEvent(QMouseEvent* e) { click_.press(e); }

void TImage::mouseReleaseEvent(QMouseEvent* e)
{
    if (click_.release(this, e) && OnClick)
        OnClick(this);
}

void TImage::changeEvent(QEvent* e)
{
    click_.changed(e);
    QWidget::changeEvent(e);
}

// --- TLabel -------------------------------------------------------------------------------

TLabel::TLabel(QWidget* parent) : QWidget(parent)
{
    // The label fills its whole rectangle with its colour, so whatever lies beneath it need
    // not be painted first when its caption changes.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TLabel::SetCaption(const QString& text)
{
    if (caption_ == text)
        return;
    caption_ = text;
    adjustBounds();
    update();
}

void TLabel::SetAutoSize(bool on)
{
    autoSize_ = on;
    adjustBounds();
}

void TLabel::SetAlignment(Qt::Alignment a)
{
    alignment_ = a;
    update();
}

void TLabel::SetColor(const QColor& c)
{
    color_ = c;
    update();
}

QColor TLabel::Color() const
{
    if (color_)
        return *color_;
    return parentWidget() ? parentWidget()->palette().color(QPalette::Window) : Colors::clActiveBorder;
}

void TLabel::adjustBounds()
{
    if (!autoSize_)
        return;
    // The width follows the caption; the left edge, top and height stay where they are.
    const QFontMetrics fm(font());
    const int w = caption_.isEmpty() ? 0 : fm.horizontalAdvance(caption_) + 1;
    resize(w, height());
}

void TLabel::changeEvent(QEvent* e)
{
    click_.changed(e);
    if (e->type() == QEvent::FontChange)
        adjustBounds();
    QWidget::changeEvent(e);
}

void TLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Color());
    p.setFont(font());
    const int flags = int(alignment_ | Qt::AlignTop) | Qt::TextSingleLine;
    if (isEnabled()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), flags, caption_);
    } else {
        p.setPen(Colors::clBtnHighlight);
        p.drawText(rect().translated(1, 1), flags, caption_);
        p.setPen(Colors::clBtnShadow);
        p.drawText(rect(), flags, caption_);
    }
}

void TLabel::mousePressEvent(QMouseEvent* e) { click_.press(e); }

void TLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (click_.release(this, e) && OnClick)
        OnClick(this);
}

// --- TSpeedButton -------------------------------------------------------------------------

TSpeedButton::TSpeedButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (OnClick)
            OnClick(this);
    });
}

void TSpeedButton::SetGlyph(const ScaledPicture& img)
{
    glyph_ = img;
    glyphGreyed_ = img.mapped([](const QImage& i) { return greyed(i); });
    update();
}

void TSpeedButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    const bool down = isDown();
    p.fillRect(r, Colors::clBtnFace);
    // Raised face: light top-left, dark bottom-right; swapped while pressed.
    const QColor light = down ? QColor(105, 105, 105) : Colors::clBtnHighlight;
    const QColor dark = down ? Colors::clBtnHighlight : QColor(105, 105, 105);
    p.setPen(light);
    p.drawLine(r.topLeft(), r.topRight() - QPoint(1, 0));
    p.drawLine(r.topLeft(), r.bottomLeft() - QPoint(0, 1));
    p.setPen(dark);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    p.setPen(Colors::clBtnShadow);
    p.drawLine(r.bottomLeft() + QPoint(1, -1), r.bottomRight() - QPoint(1, 1));
    p.drawLine(r.topRight() + QPoint(-1, 1), r.bottomRight() - QPoint(1, 1));

    const ScaledPicture& g = isEnabled() ? glyph_ : glyphGreyed_;
    const int x = (width() - g.size().width()) / 2 + (down ? 1 : 0);
    const int y = (height() - g.size().height()) / 2 + (down ? 1 : 0);
    p.setClipRect(r.adjusted(1, 1, -1, -1));
    drawPicture(p, QPoint(x, y), g);
}

// --- TBevel -------------------------------------------------------------------------------

TBevel::TBevel(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

void TBevel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(Colors::clBtnHighlight);
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(Colors::clBtnShadow);
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

// --- TContainer ---------------------------------------------------------------------------

namespace {
// Sits on top of a disabled container's children and swallows the mouse.
class MouseShield : public QWidget {
public:
    explicit MouseShield(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_NoSystemBackground); }

protected:
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }
    void mouseMoveEvent(QMouseEvent* e) override { e->accept(); }
    void wheelEvent(QWheelEvent* e) override { e->accept(); }
};
} // namespace

TContainer::TContainer(bool bordered, QWidget* parent) : QWidget(parent), bordered_(bordered)
{
    setAutoFillBackground(true);
    shield_ = new MouseShield(this);
    shield_->hide();
}

void TContainer::SetColor(const QColor& c)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, c);
    setPalette(p);
}

QColor TContainer::Color() const { return palette().color(QPalette::Window); }

void TContainer::SetEnabled(bool on)
{
    enabled_ = on;
    shield_->setGeometry(rect());
    shield_->setVisible(!on);
    if (!on)
        shield_->raise();
}

void TContainer::resizeEvent(QResizeEvent* e)
{
    shield_->setGeometry(rect());
    QWidget::resizeEvent(e);
}

void TContainer::childEvent(QChildEvent* e)
{
    // Children added later must stay below the shield.
    if (e->added() && shield_ && shield_->isVisible())
        shield_->raise();
    QWidget::childEvent(e);
}

void TContainer::paintEvent(QPaintEvent*)
{
    if (!bordered_)
        return;
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    // Etched border of a frame without a title.
    p.setPen(Colors::clBtnShadow);
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(Colors::clBtnHighlight);
    p.drawRect(r.adjusted(1, 1, 0, 0));
}

// --- TMemo, TCheckBox, TComboBox -----------------------------------------------------------

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Tab moves the focus on, as in a plain memo that wants no tabs.
    setTabChangesFocus(true);
}

void TMemo::SetText(const QString& text)
{
    if (text == given_)
        return;
    given_ = text;
    stale_ = true;
}

QString TMemo::Text()
{
    Sync();
    return toPlainText();
}

void TMemo::Sync()
{
    if (!stale_)
        return;
    stale_ = false;
    setPlainText(given_);
}

bool TMemo::viewportEvent(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Paint:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
        Sync();
        break;
    default:
        break;
    }
    return QPlainTextEdit::viewportEvent(e);
}

void TMemo::focusInEvent(QFocusEvent* e)
{
    Sync();
    QPlainTextEdit::focusInEvent(e);
}

TCheckBox::TCheckBox(QWidget* parent) : QCheckBox(parent)
{
    setAutoFillBackground(true);
    connect(this, &QCheckBox::clicked, this, [this] {
        if (OnClick)
            OnClick(this);
    });
}

void TCheckBox::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const bool ticked = opt.state & QStyle::State_On;
    // The style draws the box as if unticked; the mark is ours.
    opt.state = (opt.state & ~QStyle::State_On) | QStyle::State_Off;
    p.drawControl(QStyle::CE_CheckBox, opt);
    if (!ticked)
        return;
    // A tick of 8 x 8 pixels, three pixels thick, centred in the box: the top row of each
    // column, left to right.
    constexpr int kTickSize = 8;
    constexpr int kColumnTop[kTickSize] = {3, 4, 5, 4, 3, 2, 1, 0};
    const QRect box = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
    const QPoint origin =
        box.topLeft() + QPoint((box.width() - kTickSize) / 2, (box.height() - kTickSize) / 2);
    const QColor ink = isEnabled() ? Colors::clWindowText : Colors::clGray;
    if (paintsAtOne(p)) {
        for (int x = 0; x < kTickSize; ++x)
            p.fillRect(origin.x() + x, origin.y() + kColumnTop[x], 1, 3, ink);
        return;
    }
    // On a denser device the same tick as a stroke at the device's pixels: through the middles
    // of the columns, as thick across as the columns are tall.
    QPainterPath tick;
    tick.moveTo(0.5, kColumnTop[0] + 1.5);
    tick.lineTo(2.5, kColumnTop[2] + 1.5);
    tick.lineTo(7.5, kColumnTop[7] + 1.5);
    p.setRenderHint(QPainter::Antialiasing);
    p.strokePath(tick.translated(origin),
                 QPen(ink, 3 / std::sqrt(2.0), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
}

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // No inline completion: the text the user sees is the port that is opened and stored.
    setCompleter(nullptr);
    // Only the user's own edits and picks count as a change.
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
        if (OnChange)
            OnChange(this);
    });
    connect(this, &QComboBox::activated, this, [this](int index) {
        setEditText(itemText(index));
        if (OnChange)
            OnChange(this);
    });
}

void TComboBox::SetText(const QString& t) { setEditText(t); }

void TComboBox::focusInEvent(QFocusEvent* e)
{
    QComboBox::focusInEvent(e);
    // Entering is the focus moving here from another control of the window; the focus coming
    // back as the drop-down list closes or as the window is activated again is no entry
    // (a refresh then would lose the pick, or bring a message box back without end).
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (OnEnter)
        OnEnter(this);
}
