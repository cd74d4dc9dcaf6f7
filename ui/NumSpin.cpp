#include "NumSpin.h"

#include "Numbers.h"
#include "Platform.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>

#include <algorithm>

// ---------------------------------------------------------------------------
// TNumCustomSpinEdit

TNumCustomSpinEdit::TNumCustomSpinEdit(QWidget* parent) : QLineEdit(parent)
{
    setText(QStringLiteral("0"));
    // Dropped text would bypass the character filter.
    setAcceptDrops(false);
    button_ = new TNumSpinButton(this);
    button_->SetFocusControl(this);
    button_->OnTopClick = [this](QObject*) { stepUp(); };
    button_->OnBottomClick = [this](QObject*) { stepDown(); };
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!changeSuppressed() && OnChange)
            OnChange(this);
    });
    layoutButton();
}

TNumCustomSpinEdit::~TNumCustomSpinEdit() = default;

void TNumCustomSpinEdit::SetValueType(TValueType type)
{
    if (type == valueType_)
        return;
    // Read with the old type, write with the new one.
    const long double v = Value();
    valueType_ = type;
    if (type != vtFloat) {
        increment_ = roundHalfEven(increment_);
        if (increment_ == 0)
            increment_ = 1;
    }
    SetValue(v);
}

void TNumCustomSpinEdit::refreshText() { SetValue(Value()); }

QString TNumCustomSpinEdit::defaultDisplayFormat() const
{
    // The pattern that gives the fixed format of vtFloat.
    if (decimal_ <= 0)
        return QStringLiteral("0");
    return QStringLiteral("0.") + QString(decimal_, u'0');
}

bool TNumCustomSpinEdit::isValidChar(QChar c) const
{
    if (c.unicode() < 32 || c.unicode() == 127)
        return editorEnabled_ || c != u'\b';
    if (!editorEnabled_)
        return false;
    if (c == u'+' || c == u'-' || digitValue(c, 10) >= 0)
        return true;
    switch (valueType_) {
    case vtFloat:
        if (c == u'.' || c == u',')
            return !text().contains(u',');
        if (c == u'E' || c == u'e')
            return !text().contains(u'E', Qt::CaseInsensitive);
        return false;
    case vtHex:
        return digitValue(c, 16) >= 0;
    case vtInteger:
        return false;
    }
    return false;
}

void TNumCustomSpinEdit::stepUp()
{
    if (isReadOnly()) {
        platform().beep();
        return;
    }
    step(increment_);
    if (OnTopClick)
        OnTopClick(this);
}

void TNumCustomSpinEdit::stepDown()
{
    if (isReadOnly()) {
        platform().beep();
        return;
    }
    step(-increment_);
    if (OnBottomClick)
        OnBottomClick(this);
}

void TNumCustomSpinEdit::step(long double delta)
{
    // Reads the shown text and writes it back rounded, so steps never accumulate error.
    const QString before = text();
    ++suppressChange_;
    try {
        SetValue(Value() + delta);
    } catch (...) {
        --suppressChange_;
        throw;
    }
    --suppressChange_;
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        if (OnChange)
            OnChange(this);
    }
}

void TNumCustomSpinEdit::SetMinValue(long double v)
{
    if (v == minValue_)
        return;
    minValue_ = v;
    refreshText();
}

void TNumCustomSpinEdit::SetMaxValue(long double v)
{
    if (v == maxValue_)
        return;
    maxValue_ = v;
    refreshText();
}

bool TNumCustomSpinEdit::CheckMinValue() const
{
    return minValue_ != 0 || checkMinSet_.value_or(maxValue_ != 0);
}

void TNumCustomSpinEdit::SetCheckMinValue(bool on)
{
    checkMinSet_ = on;
    refreshText();
}

bool TNumCustomSpinEdit::CheckMaxValue() const
{
    return maxValue_ != 0 || checkMaxSet_.value_or(minValue_ != 0);
}

void TNumCustomSpinEdit::SetCheckMaxValue(bool on)
{
    checkMaxSet_ = on;
    refreshText();
}

void TNumCustomSpinEdit::SetDecimal(int decimals)
{
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    if (decimals == decimal_)
        return;
    decimal_ = decimals;
    refreshText();
}

void TNumCustomSpinEdit::SetDisplayFormat(const QString& pattern)
{
    if (pattern == displayFormat_)
        return;
    displayFormat_ = pattern;
    refreshText();
}

TNumSpinButtonKind TNumCustomSpinEdit::ButtonKind() const { return button_->Kind(); }

void TNumCustomSpinEdit::SetButtonKind(TNumSpinButtonKind kind) { button_->SetKind(kind); }

long double TNumCustomSpinEdit::clamp(long double x) const
{
    long double r = x;
    if (CheckMinValue() && x < minValue_)
        r = minValue_;
    if (CheckMaxValue() && x > maxValue_)
        r = maxValue_;
    return r;
}

void TNumCustomSpinEdit::checkValue(long double x) const
{
    if (clamp(x) != x)
        throw ERangeError(QStringLiteral("Value must be between %1 and %2")
                              .arg(formatFixed(minValue_, decimal_), formatFixed(maxValue_, decimal_))
                              .toStdString());
}

bool TNumCustomSpinEdit::textIsNumber(const QString& t) const
{
    // Whatever the value type, a paste must leave a decimal number with "," as separator.
    return parseFloat(t, Padding::WhiteSpace).has_value();
}

void TNumCustomSpinEdit::pasteFrom(int clipboardMode)
{
    if (!editorEnabled_ || isReadOnly())
        return;
    const long double before = Value();
    insert(QGuiApplication::clipboard()->text(QClipboard::Mode(clipboardMode)));
    if (!textIsNumber(text()))
        SetValue(before);
}

void TNumCustomSpinEdit::pasteChecked() { pasteFrom(QClipboard::Clipboard); }

void TNumCustomSpinEdit::cutChecked()
{
    if (editorEnabled_ && !isReadOnly())
        QLineEdit::cut();
}

void TNumCustomSpinEdit::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    if (arrowKeys_ && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        if (key == Qt::Key_Up)
            stepUp();
        else
            stepDown();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        pasteChecked();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        cutChecked();
        e->accept();
        return;
    }
    if (!editorEnabled_ &&
        (key == Qt::Key_Backspace || key == Qt::Key_Delete || e->matches(QKeySequence::Undo) ||
         e->matches(QKeySequence::Redo) || e->matches(QKeySequence::DeleteEndOfLine) ||
         e->matches(QKeySequence::DeleteStartOfWord) || e->matches(QKeySequence::DeleteEndOfWord) ||
         e->matches(QKeySequence::DeleteCompleteLine))) {
        platform().beep();
        e->accept();
        return;
    }
    const QString typed = e->text();
    if (!typed.isEmpty() && key != Qt::Key_Delete) {
        for (QChar c : typed) {
            if (!isValidChar(c)) {
                platform().beep();
                e->accept();
                return;
            }
        }
        if (typed.contains(u'.')) {
            // The program's decimal separator is ",".
            QString t = typed;
            t.replace(u'.', u',');
            QKeyEvent comma(e->type(), Qt::Key_Comma, e->modifiers(), t, e->isAutoRepeat(),
                            ushort(e->count()));
            QLineEdit::keyPressEvent(&comma);
            e->setAccepted(comma.isAccepted());
            return;
        }
    }
    QLineEdit::keyPressEvent(e);
}

void TNumCustomSpinEdit::focusInEvent(QFocusEvent* e)
{
    Qt::FocusReason reason = e->reason();
    // The line edit selects everything itself on keyboard focus; not wanted without AutoSelect.
    if (!autoSelect_ && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                         reason == Qt::ShortcutFocusReason))
        reason = Qt::OtherFocusReason;
    QFocusEvent forwarded(e->type(), reason);
    QLineEdit::focusInEvent(&forwarded);
    // A left press into the text places the cursor right after this and so
    // clears the selection again.
    if (autoSelect_)
        selectAll();
}

void TNumCustomSpinEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Popup menus and other windows take the focus only for a while.
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (checkOnExit_) {
        const long double v = Value();
        if (clamp(v) != v) {
            // Out of range: keep the text as typed and send the user back to it.
            platform().beep();
            QTimer::singleShot(0, this, [this] {
                if (isEnabled() && isVisible()) {
                    setFocus(Qt::OtherFocusReason);
                    selectAll();
                }
            });
            return;
        }
    }
    refreshText();
}

void TNumCustomSpinEdit::layoutButton()
{
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    const QRect client = style()->subElementRect(QStyle::SE_LineEditContents, &opt, this);
    const int side = std::max(0, client.height());
    button_->setGeometry(client.right() + 1 - side, client.top(), side, side);
    setTextMargins(0, 0, side, 0);
}

void TNumCustomSpinEdit::resizeEvent(QResizeEvent* e)
{
    QLineEdit::resizeEvent(e);
    layoutButton();
}

void TNumCustomSpinEdit::changeEvent(QEvent* e)
{
    QLineEdit::changeEvent(e);
    if (e->type() == QEvent::StyleChange || e->type() == QEvent::FontChange)
        layoutButton();
}

void TNumCustomSpinEdit::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu* menu = createStandardContextMenu();
    const bool editable = editorEnabled_ && !isReadOnly();
    for (QAction* a : menu->actions()) {
        const QString name = a->objectName();
        if (name == QLatin1String("edit-paste") || name == QLatin1String("edit-cut")) {
            // Route cut and paste through the checked versions.
            QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
            if (name == QLatin1String("edit-paste"))
                connect(a, &QAction::triggered, this, &TNumCustomSpinEdit::pasteChecked);
            else
                connect(a, &QAction::triggered, this, &TNumCustomSpinEdit::cutChecked);
            a->setEnabled(a->isEnabled() && editable);
        } else if (name == QLatin1String("edit-undo") || name == QLatin1String("edit-redo") ||
                   name == QLatin1String("edit-delete")) {
            a->setEnabled(a->isEnabled() && editable);
        }
    }
    menu->exec(e->globalPos());
    delete menu;
}

void TNumCustomSpinEdit::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        // The selection paste of X11 goes through the same check as Ctrl+V.
        if (rect().contains(e->position().toPoint()))
            pasteFrom(QClipboard::Selection);
        e->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(e);
}

// ---------------------------------------------------------------------------
// TNumSpinEdit

TNumSpinEdit::TNumSpinEdit(QWidget* parent) : TNumCustomSpinEdit(parent) {}

void TNumSpinEdit::SetValue(long double x)
{
    const long double v = clamp(x);
    QString t;
    switch (ValueType()) {
    case vtFloat:
        t = DisplayFormat().isEmpty() ? formatFixed(v, Decimal()) : formatPattern(v, DisplayFormat());
        break;
    case vtInteger:
        t = formatInteger(v);
        break;
    case vtHex:
        t = formatHex(v);
        break;
    }
    setText(t);
}

long double TNumSpinEdit::Value() const
{
    std::optional<int> v;
    switch (ValueType()) {
    case vtFloat:
        return parseFloat(text(), Padding::WhiteSpace).value_or(MinValue());
    case vtInteger:
        v = parseInteger(text(), Padding::WhiteSpace);
        break;
    case vtHex:
        v = parseHex(text(), Padding::WhiteSpace);
        break;
    }
    return v ? *v : roundHalfEven(MinValue());
}
