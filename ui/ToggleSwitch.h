#pragma once

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

    bool StateOn() const { return FStateOn; }
    void SetStateOn(bool on);
    void Toggle() { SetStateOn(!FStateOn); }

    const QImage& GlyphOff() const { return FGlyphOff; }
    const QImage& GlyphOn() const { return FGlyphOn; }
    // A null image restores the stock picture.
    void SetGlyphOff(const QImage& img);
    void SetGlyphOn(const QImage& img);
    // The greyed copies a disabled switch shows.
    const QImage& GreyedOff() const { return FGreyedOff; }
    const QImage& GreyedOn() const { return FGreyedOn; }

    QKeyCombination ToggleKey() const { return FToggleKey; }
    void SetToggleKey(QKeyCombination key) { FToggleKey = key; }
    bool ShowFocus() const { return FShowFocus; }
    void SetShowFocus(bool on);
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool on);
    TTextPosition TextPosition() const { return FTextPosition; }
    void SetTextPosition(TTextPosition pos);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& color);

    // Where the picture of the current state is drawn, in widget coordinates.
    QRect GlyphRect() const;

    // The stock pictures used when none is given.
    static QImage StockGlyph(bool on);
    // A grey copy of a picture; its transparent colour (bottom-left pixel) is kept.
    static QImage MakeGreyed(const QImage& img);

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
    QImage currentGlyph() const;
    QRect clientRect() const;
    void updateFocusPolicy();

    bool FStateOn = false;
    QImage FGlyphOff, FGlyphOn, FGreyedOff, FGreyedOn;
    QKeyCombination FToggleKey{Qt::NoModifier, Qt::Key_Space};
    bool FShowFocus = true;
    bool FTabStop = true;
    TTextPosition FTextPosition = tpNone;
    TBorderStyle FBorderStyle = bsNone;
    QString FCaption;
    QColor FColor;
    int FShortcutId = 0;
    // Set by a single left press; its release over the switch raises OnClick.
    bool FClickPending = false;
};
