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

// Raised by TNumCustomSpinEdit::checkValue for a value outside the bounds.
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
    virtual void refreshText();
    virtual QString defaultDisplayFormat() const;
    virtual bool isValidChar(QChar c) const;
    virtual void stepUp();
    virtual void stepDown();

    TValueType ValueType() const { return valueType_; }
    long double MinValue() const { return minValue_; }
    void SetMinValue(long double v);
    long double MaxValue() const { return maxValue_; }
    void SetMaxValue(long double v);
    bool CheckMinValue() const;
    void SetCheckMinValue(bool on);
    bool CheckMaxValue() const;
    void SetCheckMaxValue(bool on);
    long double Increment() const { return increment_; }
    void SetIncrement(long double v) { increment_ = v; }
    int Decimal() const { return decimal_; }
    void SetDecimal(int decimals);
    QString DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& pattern);
    bool ArrowKeys() const { return arrowKeys_; }
    void SetArrowKeys(bool on) { arrowKeys_ = on; }
    TNumSpinButtonKind ButtonKind() const;
    void SetButtonKind(TNumSpinButtonKind kind);
    bool EditorEnabled() const { return editorEnabled_; }
    void SetEditorEnabled(bool on) { editorEnabled_ = on; }
    bool CheckOnExit() const { return checkOnExit_; }
    void SetCheckOnExit(bool on) { checkOnExit_ = on; }
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool on) { autoSelect_ = on; }

    // The bounds applied to x.
    long double clamp(long double x) const;
    // Throws ERangeError when x lies outside the enforced bounds.
    void checkValue(long double x) const;
    // Pastes the clipboard; restores the old value if the result is no number.
    void pasteChecked();
    // Cuts only while the text may be edited.
    void cutChecked();

    TNumSpinButton* spinButton() const { return button_; }

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
    bool changeSuppressed() const { return suppressChange_ > 0; }
    // Whether a paste left a decimal number with "," as separator, whatever the value type.
    bool textIsNumber(const QString& text) const;

private:
    void layoutButton();
    void step(long double delta);
    void pasteFrom(int clipboardMode);

    TValueType valueType_ = vtInteger;
    long double minValue_ = 0, maxValue_ = 0, increment_ = 1;
    std::optional<bool> checkMinSet_, checkMaxSet_;
    int decimal_ = 2;
    QString displayFormat_;
    bool arrowKeys_ = true;
    bool editorEnabled_ = true;
    bool checkOnExit_ = false;
    bool autoSelect_ = true;
    int suppressChange_ = 0;
    TNumSpinButton* button_ = nullptr;
};

class TNumSpinEdit : public TNumCustomSpinEdit {
    Q_OBJECT
public:
    explicit TNumSpinEdit(QWidget* parent = nullptr);

    void SetValue(long double x) override;
    long double Value() const override;
};
