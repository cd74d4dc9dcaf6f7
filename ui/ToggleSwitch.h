#pragma once

#include "ScaledPicture.h"

#include <QColor>
#include <QImage>
#include <QKeyCombination>
#include <QString>
#include <QWidget>

#include <functional>

// A focusable two-state switch that shows an off picture or an on picture.
// A left press flips it (OnOn/OnOff), the release over it raises OnClick;
// the toggle key flips it without OnClick.
class TToggleSwitch : public QWidget {
    Q_OBJECT
public:
    enum TTextPosition { tpNone, tpLeft, tpRight, tpAbove, tpBelow };
    enum TBorderStyle { bsNone, bsSingle };

    explicit TToggleSwitch(QWidget* parent = nullptr);
    ~TToggleSwitch() override;

    bool StateOn() const { return stateOn_; }
    void SetStateOn(bool on);
    void toggle() { SetStateOn(!stateOn_); }

    // The pictures at 1x.
    const QImage& GlyphOff() const { return glyphOff_.base(); }
    const QImage& GlyphOn() const { return glyphOn_.base(); }
    // A null image restores the stock picture.
    void SetGlyphOff(const ScaledPicture& img);
    void SetGlyphOn(const ScaledPicture& img);
    // The greyed copies a disabled switch shows, at 1x; at every scale they are greyed from the
    // picture of that scale.
    const QImage& greyedOff() const { return greyedOff_.base(); }
    const QImage& greyedOn() const { return greyedOn_.base(); }

    QKeyCombination ToggleKey() const { return toggleKey_; }
    void SetToggleKey(QKeyCombination key) { toggleKey_ = key; }
    // Off by default. On: every toggle by the user raises OnClick once (the toggle key and the
    // second press of a double click too), and a press released outside the switch flips it
    // back, so a click handler that acts on the state always sees what the picture shows.
    bool EveryToggleClicks() const { return everyToggleClicks_; }
    void SetEveryToggleClicks(bool on) { everyToggleClicks_ = on; }
    bool ShowFocus() const { return showFocus_; }
    void SetShowFocus(bool on);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool on);
    TTextPosition TextPosition() const { return textPosition_; }
    void SetTextPosition(TTextPosition pos);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

    // Where the picture of the current state is drawn, in widget coordinates.
    QRect glyphRect() const;

    // The stock pictures used when none is given.
    static QImage stockGlyph(bool on);
    // A grey copy of a picture; its transparent colour (bottom-left pixel) is kept.
    static QImage makeGreyed(const QImage& img);

    std::function<void(QObject*Sender)> OnClick, OnOn, OnOff, OnDblClick;
    std::function<void(QObject* Sender, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y)> OnMouseDown;
    // Raised for every key press before the toggle key is looked at.
    std::function<void(QObject* Sender, int Key, Qt::KeyboardModifiers)> OnKeyDown;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    const ScaledPicture& currentGlyph() const;
    QRect clientRect() const;
    void updateFocusPolicy();

    bool stateOn_ = false;
    ScaledPicture glyphOff_, glyphOn_, greyedOff_, greyedOn_;
    QKeyCombination toggleKey_{Qt::NoModifier, Qt::Key_Space};
    bool showFocus_ = true;
    bool tabStop_ = true;
    TTextPosition textPosition_ = tpNone;
    TBorderStyle borderStyle_ = bsNone;
    QString caption_;
    QColor color_;
    int shortcutId_ = 0;
    // Set by a single left press; its release over the switch raises OnClick.
    bool clickPending_ = false;
    bool everyToggleClicks_ = false;
};
