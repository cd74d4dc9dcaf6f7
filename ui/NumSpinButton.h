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
    static constexpr int kFirstRepeatPause = 400;
    static constexpr int kRepeatPause = 100;

    explicit TNumSpinButton(QWidget* parent = nullptr);
    ~TNumSpinButton() override;

    TNumSpinButtonKind Kind() const { return kind_; }
    void SetKind(TNumSpinButtonKind kind);
    // Takes the focus when a button is pressed.
    QWidget* FocusControl() const { return focusControl_; }
    void SetFocusControl(QWidget* w) { focusControl_ = w; }

    // Which button a point of this widget falls on.
    TPart partAt(QPoint p) const;
    // The button drawn pressed now (spNone while the pointer is off the pressed one).
    TPart shownPressed() const { return shownPressed_ ? pressed_ : spNone; }

    // The up and down arrow pictures.
    static QImage stockArrow(bool up);

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

    TNumSpinButtonKind kind_ = bkDiagonal;
    QWidget* focusControl_ = nullptr;
    TPart pressed_ = spNone;
    bool shownPressed_ = false;
    bool firstRepeat_ = false;
    QPoint lastPos_;
    std::unique_ptr<TRepeatTimer> timer_;
};
