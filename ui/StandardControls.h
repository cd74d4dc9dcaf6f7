#pragma once

// The standard controls of the main window: pictures, labels, picture buttons, frames,
// panels, text boxes, the check box and the drop-down. Each offers what the window's
// handlers use of it (caption, hint, visibility, enabled state, click) and draws itself
// the way the front-panel layout expects (pictures unscaled and cut at the edge, labels
// filling their background, buttons that never take the focus). Each paints at the device
// pixel ratio of what it is painted on: a picture from its variant for that ratio, text and
// lines by the painter at the device's own pixels.

#include "ScaledPicture.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QPlainTextEdit>
#include <QWidget>

#include <functional>
#include <optional>

using TNotifyEvent = std::function<void(QObject* Sender)>;

namespace Colors {
inline const QColor clActiveBorder{180, 180, 180};
inline const QColor clBtnFace{240, 240, 240};
inline const QColor clBtnText{0, 0, 0};
inline const QColor clWindowText{0, 0, 0};
inline const QColor clMenu{240, 240, 240};
inline const QColor clSilver{192, 192, 192};
inline const QColor clGray{128, 128, 128};
inline const QColor clTeal{0, 128, 128};
inline const QColor clBtnHighlight{255, 255, 255};
inline const QColor clBtnShadow{160, 160, 160};
inline const QColor displayBlue{240, 251, 255};
} // namespace Colors

// Hints are tooltips; a "\r\n" in a hint shows as a line break.
void setHint(QWidget* w, const QString& hint);
QString hint(const QWidget* w);

// Font of the layout: family (MS Sans Serif or Arial, mapped to installed fonts), character
// height in pixels, bold, colour.
QFont layoutFont(const QString& family, int pixelSize, bool bold);
void setFontColor(QWidget* w, const QColor& c);
QColor fontColor(const QWidget* w);
// Makes the layout's font names resolve to installed, metric-compatible fonts.
void installFontSubstitutions();

// A left press and its release over the control make a click; a press of another button,
// and every release, end the one pending.
class ClickTracker {
public:
    void press(const QMouseEvent* e);
    // Whether this release completes a click on w.
    bool release(const QWidget* w, const QMouseEvent* e);
    // A change of the control's enabled state ends a pending click: a press before a disable
    // and a release after the enable are no click.
    void changed(const QEvent* e);

private:
    bool pending_ = false;
};

// Greyed copy of a picture, as disabled buttons show it.
QImage greyed(const QImage& img);

// A static picture, drawn unscaled from the top-left corner and cut at the control's edge.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    void SetPicture(const ScaledPicture& img);
    // The picture at 1x.
    const QImage& Picture() const { return picture_.base(); }
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    ScaledPicture picture_;
    ClickTracker click_;
};

// Static text on a filled background. Auto-sized labels take the width of their caption and
// keep their left edge; fixed-size ones keep their size. A disabled label draws embossed grey.
class TLabel : public QWidget {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent = nullptr);
    void SetCaption(const QString& text);
    QString Caption() const { return caption_; }
    void SetAutoSize(bool on);
    bool AutoSize() const { return autoSize_; }
    void SetAlignment(Qt::Alignment a);
    // Background colour; unset means the parent's colour.
    void SetColor(const QColor& c);
    QColor Color() const;
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void changeEvent(QEvent*) override;

private:
    void adjustBounds();
    QString caption_;
    bool autoSize_ = true;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    std::optional<QColor> color_;
    ClickTracker click_;
};

// A push button with a picture and no caption that never takes the keyboard focus. The
// picture is centred on a raised face; a disabled button draws it greyed, at every scale
// greyed from the picture of that scale.
class TSpeedButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget* parent = nullptr);
    void SetGlyph(const ScaledPicture& img);
    // The picture at 1x.
    const QImage& Glyph() const { return glyph_.base(); }
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    ScaledPicture glyph_, glyphGreyed_;
};

// A raised frame line.
class TBevel : public QWidget {
    Q_OBJECT
public:
    explicit TBevel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

// Container with a background colour. A frame has an etched border, a panel none.
// A disabled container keeps the mouse from everything inside it while the controls
// inside keep their own look.
class TContainer : public QWidget {
    Q_OBJECT
public:
    TContainer(bool bordered, QWidget* parent = nullptr);
    void SetColor(const QColor& c);
    QColor Color() const;
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void childEvent(QChildEvent*) override;

private:
    bool bordered_;
    bool enabled_ = true;
    QWidget* shield_ = nullptr;
};

class TGroupBox : public TContainer {
    Q_OBJECT
public:
    explicit TGroupBox(QWidget* parent = nullptr) : TContainer(true, parent) {}
};

class TPanel : public TContainer {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent = nullptr) : TContainer(false, parent) {}
};

// Multi-line text box with a vertical scroll bar, fed by the program. The text it is given
// is laid out only when it can be seen or used (a paint, the focus, a mouse press, Text()):
// a covered memo fed on every record then costs nothing, and one in view shows the same as
// if it had been laid out at once. Given the same text again, it keeps its place.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent = nullptr);
    void SetText(const QString& text);
    // The last text given, as given (line ends kept), whether laid out yet or not.
    const QString& GivenText() const { return given_; }
    // The text shown, as the document holds it.
    QString Text();

protected:
    bool viewportEvent(QEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    void Sync();
    QString given_;      // the last text given
    bool stale_ = false; // given_ is not laid out yet
};

// A check box whose tick is drawn in the window's own ink: black while enabled, grey while
// disabled, whatever the text colour it inherits (the window's is white, which a style would
// turn into a faint mark on the light box). The box itself is the style's.
class TCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TCheckBox(QWidget* parent = nullptr);
    bool Checked() const { return isChecked(); }
    TNotifyEvent OnClick;

protected:
    void paintEvent(QPaintEvent*) override;
};

// Editable drop-down. OnChange fires for the user's edits and picks only; OnEnter when it
// gets the focus.
class TComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComboBox(QWidget* parent = nullptr);
    QString Text() const { return currentText(); }
    void SetText(const QString& t);
    TNotifyEvent OnChange;
    TNotifyEvent OnEnter;

protected:
    void focusInEvent(QFocusEvent*) override;
};
