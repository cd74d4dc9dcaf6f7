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
    FButton = new TNumSpinButton(this);
    FButton->SetFocusControl(this);
    FButton->OnTopClick = [this](QObject*) { StepUp(); };
    FButton->OnBottomClick = [this](QObject*) { StepDown(); };
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (!ChangeSuppressed() && OnChange)
            OnChange(this);
    });
    layoutButton();
}

TNumCustomSpinEdit::~TNumCustomSpinEdit() = default;

void TNumCustomSpinEdit::SetValueType(TValueType type)
{
    if (type == FValueType)
        return;
    // Read with the old type, write with the new one.
    const long double v = Value();
    FValueType = type;
    if (type != vtFloat) {
        FIncrement = roundHalfEven(FIncrement);
        if (FIncrement == 0)
            FIncrement = 1;
    }
    SetValue(v);
}

void TNumCustomSpinEdit::RefreshText() { SetValue(Value()); }

QString TNumCustomSpinEdit::DefaultDisplayFormat() const
{
    // The pattern that gives the fixed format of vtFloat.
    if (FDecimal <= 0)
        return QStringLiteral("0");
    return QStringLiteral("0.") + QString(FDecimal, u'0');
}

bool TNumCustomSpinEdit::IsValidChar(QChar c) const
{
    if (c.unicode() < 32 || c.unicode() == 127)
        return FEditorEnabled || c != u'\b';
    if (!FEditorEnabled)
        return false;
    if (c == u'+' || c == u'-' || digitValue(c, 10) >= 0)
        return true;
    switch (FValueType) {
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

void TNumCustomSpinEdit::StepUp()
{
    if (isReadOnly()) {
        platform().beep();
        return;
    }
    step(FIncrement);
    if (OnTopClick)
        OnTopClick(this);
}

void TNumCustomSpinEdit::StepDown()
{
    if (isReadOnly()) {
        platform().beep();
        return;
    }
    step(-FIncrement);
    if (OnBottomClick)
        OnBottomClick(this);
}

void TNumCustomSpinEdit::step(long double delta)
{
    // Reads the shown text and writes it back rounded, so steps never accumulate error.
    const QString before = text();
    ++FSuppressChange;
    try {
        SetValue(Value() + delta);
    } catch (...) {
        --FSuppressChange;
        throw;
    }
    --FSuppressChange;
    if (text().compare(before, Qt::CaseInsensitive) != 0) {
        setModified(true);
        if (OnChange)
            OnChange(this);
    }
}

void TNumCustomSpinEdit::SetMinValue(long double v)
{
    if (v == FMinValue)
        return;
    FMinValue = v;
    RefreshText();
}

void TNumCustomSpinEdit::SetMaxValue(long double v)
{
    if (v == FMaxValue)
        return;
    FMaxValue = v;
    RefreshText();
}

bool TNumCustomSpinEdit::CheckMinValue() const
{
    return FMinValue != 0 || FCheckMinSet.value_or(FMaxValue != 0);
}

void TNumCustomSpinEdit::SetCheckMinValue(bool on)
{
    FCheckMinSet = on;
    RefreshText();
}

bool TNumCustomSpinEdit::CheckMaxValue() const
{
    return FMaxValue != 0 || FCheckMaxSet.value_or(FMinValue != 0);
}

void TNumCustomSpinEdit::SetCheckMaxValue(bool on)
{
    FCheckMaxSet = on;
    RefreshText();
}

void TNumCustomSpinEdit::SetDecimal(int decimals)
{
    decimals = std::clamp(decimals, 0, kMaxDecimals);
    if (decimals == FDecimal)
        return;
    FDecimal = decimals;
    RefreshText();
}

void TNumCustomSpinEdit::SetDisplayFormat(const QString& pattern)
{
    if (pattern == FDisplayFormat)
        return;
    FDisplayFormat = pattern;
    RefreshText();
}

TNumSpinButtonKind TNumCustomSpinEdit::ButtonKind() const { return FButton->Kind(); }

void TNumCustomSpinEdit::SetButtonKind(TNumSpinButtonKind kind) { FButton->SetKind(kind); }

long double TNumCustomSpinEdit::Clamp(long double x) const
{
    long double r = x;
    if (CheckMinValue() && x < FMinValue)
        r = FMinValue;
    if (CheckMaxValue() && x > FMaxValue)
        r = FMaxValue;
    return r;
}

void TNumCustomSpinEdit::CheckValue(long double x) const
{
    if (Clamp(x) != x)
        throw ERangeError(QStringLiteral("Value must be between %1 and %2")
                              .arg(formatFixed(FMinValue, FDecimal), formatFixed(FMaxValue, FDecimal))
                              .toStdString());
}

bool TNumCustomSpinEdit::TextIsNumber(const QString& t) const
{
    // Whatever the value type, a paste must leave a decimal number with "," as separator.
    return parseFloat(t, Padding::WhiteSpace).has_value();
}

void TNumCustomSpinEdit::pasteFrom(int clipboardMode)
{
    if (!FEditorEnabled || isReadOnly())
        return;
    const long double before = Value();
    insert(QGuiApplication::clipboard()->text(QClipboard::Mode(clipboardMode)));
    if (!TextIsNumber(text()))
        SetValue(before);
}

void TNumCustomSpinEdit::Paste() { pasteFrom(QClipboard::Clipboard); }

void TNumCustomSpinEdit::Cut()
{
    if (FEditorEnabled && !isReadOnly())
        QLineEdit::cut();
}

void TNumCustomSpinEdit::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    if (FArrowKeys && (key == Qt::Key_Up || key == Qt::Key_Down)) {
        if (key == Qt::Key_Up)
            StepUp();
        else
            StepDown();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        Paste();
        e->accept();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        Cut();
        e->accept();
        return;
    }
    if (!FEditorEnabled &&
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
            if (!IsValidChar(c)) {
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
    if (!FAutoSelect && (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                         reason == Qt::ShortcutFocusReason))
        reason = Qt::OtherFocusReason;
    QFocusEvent forwarded(e->type(), reason);
    QLineEdit::focusInEvent(&forwarded);
    // A left press into the text places the cursor right after this and so
    // clears the selection again.
    if (FAutoSelect)
        selectAll();
}

void TNumCustomSpinEdit::focusOutEvent(QFocusEvent* e)
{
    QLineEdit::focusOutEvent(e);
    // Popup menus and other windows take the focus only for a while.
    if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
        return;
    if (FCheckOnExit) {
        const long double v = Value();
        if (Clamp(v) != v) {
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
    RefreshText();
}

void TNumCustomSpinEdit::layoutButton()
{
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    const QRect client = style()->subElementRect(QStyle::SE_LineEditContents, &opt, this);
    const int side = std::max(0, client.height());
    FButton->setGeometry(client.right() + 1 - side, client.top(), side, side);
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
    const bool editable = FEditorEnabled && !isReadOnly();
    for (QAction* a : menu->actions()) {
        const QString name = a->objectName();
        if (name == QLatin1String("edit-paste") || name == QLatin1String("edit-cut")) {
            // Route cut and paste through the checked versions.
            QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
            if (name == QLatin1String("edit-paste"))
                connect(a, &QAction::triggered, this, &TNumCustomSpinEdit::Paste);
            else
                connect(a, &QAction::triggered, this, &TNumCustomSpinEdit::Cut);
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
    const long double v = Clamp(x);
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
