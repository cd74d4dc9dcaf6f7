#pragma once

#include "RepeatTimer.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <memory>

enum TNumSpinButtonKind { bkStandard, bkDiagonal, bkClassic };

// The pair of step buttons at the right end of a spin edit.
class TNumSpinButton : public QWidget {
    Q_OBJECT
public:
    enum TPart { spNone, spUp, spDown };
    static constexpr int InitRepeatPause = 400;
    static constexpr int RepeatPause = 100;

    explicit TNumSpinButton(QWidget* parent = nullptr);
    ~TNumSpinButton() override;

    TNumSpinButtonKind Kind() const { return FKind; }
    void SetKind(TNumSpinButtonKind kind);
    // Takes the focus when a button is pressed.
    QWidget* FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget* w) { FFocusControl = w; }

    // Which button a point of this widget falls on.
    TPart PartAt(QPoint p) const;
    // The button drawn pressed now (spNone while the pointer is off the pressed one).
    TPart ShownPressed() const { return FShownPressed ? FPressed : spNone; }

    // The up and down arrow pictures.
    static QImage StockArrow(bool up);

    std::function<void(QObject*Sender)> OnTopClick, OnBottomClick;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void step(TPart part);
    void timerExpired();
    void endPress();

    TNumSpinButtonKind FKind = bkDiagonal;
    QWidget* FFocusControl = nullptr;
    TPart FPressed = spNone;
    bool FShownPressed = false;
    bool FFirstRepeat = false;
    QPoint FLastPos;
    std::unique_ptr<TRepeatTimer> FTimer;
};
