#pragma once

#include "NumSpinButton.h"

#include <QLineEdit>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

enum TValueType { vtInteger, vtFloat, vtHex };

// Raised by TNumCustomSpinEdit::CheckValue for a value outside the bounds.
class ERangeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A single-line edit for a number with step buttons; holds all the behaviour.
// Writing and reading the value are left to the derived class.
class TNumCustomSpinEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumCustomSpinEdit(QWidget* parent = nullptr);
    ~TNumCustomSpinEdit() override;

    // The operations a derived edit may replace, in this order.
    virtual void SetValue(long double x) = 0;
    virtual long double Value() const = 0;
    virtual void SetValueType(TValueType type);
    virtual void RefreshText();
    virtual QString DefaultDisplayFormat() const;
    virtual bool IsValidChar(QChar c) const;
    virtual void StepUp();
    virtual void StepDown();

    TValueType ValueType() const { return FValueType; }
    long double MinValue() const { return FMinValue; }
    void SetMinValue(long double v);
    long double MaxValue() const { return FMaxValue; }
    void SetMaxValue(long double v);
    bool CheckMinValue() const;
    void SetCheckMinValue(bool on);
    bool CheckMaxValue() const;
    void SetCheckMaxValue(bool on);
    long double Increment() const { return FIncrement; }
    void SetIncrement(long double v) { FIncrement = v; }
    int Decimal() const { return FDecimal; }
    void SetDecimal(int decimals);
    QString DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& pattern);
    bool ArrowKeys() const { return FArrowKeys; }
    void SetArrowKeys(bool on) { FArrowKeys = on; }
    TNumSpinButtonKind ButtonKind() const;
    void SetButtonKind(TNumSpinButtonKind kind);
    bool EditorEnabled() const { return FEditorEnabled; }
    void SetEditorEnabled(bool on) { FEditorEnabled = on; }
    bool CheckOnExit() const { return FCheckOnExit; }
    void SetCheckOnExit(bool on) { FCheckOnExit = on; }
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool on) { FAutoSelect = on; }

    // The bounds applied to x.
    long double Clamp(long double x) const;
    // Throws ERangeError when x lies outside the enforced bounds.
    void CheckValue(long double x) const;
    // Pastes the clipboard; restores the old value if the result is no number.
    void Paste();
    void Cut();

    TNumSpinButton* Button() const { return FButton; }

    std::function<void(QObject*Sender)> OnChange, OnTopClick, OnBottomClick;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

    // True while a write of the value must not raise OnChange.
    bool ChangeSuppressed() const { return FSuppressChange > 0; }
    // Whether the text can be read as a number of the current type.
    bool TextIsNumber(const QString& text) const;

private:
    void layoutButton();
    void step(long double delta);
    void pasteFrom(int clipboardMode);

    TValueType FValueType = vtInteger;
    long double FMinValue = 0, FMaxValue = 0, FIncrement = 1;
    std::optional<bool> FCheckMinSet, FCheckMaxSet;
    int FDecimal = 2;
    QString FDisplayFormat;
    bool FArrowKeys = true;
    bool FEditorEnabled = true;
    bool FCheckOnExit = false;
    bool FAutoSelect = true;
    int FSuppressChange = 0;
    TNumSpinButton* FButton = nullptr;
};

class TNumSpinEdit : public TNumCustomSpinEdit {
    Q_OBJECT
public:
    explicit TNumSpinEdit(QWidget* parent = nullptr);

    void SetValue(long double x) override;
    long double Value() const override;
};
