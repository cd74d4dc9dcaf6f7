#include "NumSpin.h"

#include "FakeRepeatTimer.h"
#include "Numbers.h"
#include "ScriptedPlatform.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The window's spin edits are configured in this order: increment, maximum,
// minimum, value type, value.
std::unique_ptr<TNumSpinEdit> makeEdit(long double inc, long double max, long double min, TValueType type,
                                       long double value)
{
    auto e = std::make_unique<TNumSpinEdit>();
    e->resize(73, 29);
    e->SetIncrement(inc);
    e->SetMaxValue(max);
    e->SetMinValue(min);
    e->SetValueType(type);
    e->SetValue(value);
    return e;
}
auto edit7() { return makeEdit(0.01, 8.7, 4.0, vtFloat, 6.9); }
auto edit9() { return makeEdit(1, 100, 0, vtInteger, 100); }
auto edit11() { return makeEdit(0.01, 2.5, 0, vtFloat, 0.2); }
auto edit12() { return makeEdit(1, 20, 0, vtInteger, 0); }

void focusOut(QWidget* w, Qt::FocusReason reason = Qt::TabFocusReason)
{
    QFocusEvent e(QEvent::FocusOut, reason);
    QApplication::sendEvent(w, &e);
}

void focusIn(QWidget* w, Qt::FocusReason reason)
{
    QFocusEvent e(QEvent::FocusIn, reason);
    QApplication::sendEvent(w, &e);
}

// ---------------------------------------------------------------------------
// Bounds, writing and reading

TEST(NumSpinEdit, NewEditAndTheWindowsSetUp)
{
    TNumSpinEdit e;
    EXPECT_EQ(e.text(), "0");
    EXPECT_EQ(e.ValueType(), vtInteger);
    EXPECT_EQ(e.ButtonKind(), bkDiagonal);
    EXPECT_EQ(e.Decimal(), 2);
    EXPECT_FALSE(e.CheckMinValue());
    EXPECT_FALSE(e.CheckMaxValue());

    EXPECT_EQ(edit7()->text(), "6,90");
    EXPECT_EQ(makeEdit(0.01, 8.8, 4.1, vtFloat, 7.1)->text(), "7,10");
    EXPECT_EQ(edit11()->text(), "0,20");
    EXPECT_EQ(edit12()->text(), "0");
    EXPECT_EQ(edit9()->text(), "100");
    EXPECT_EQ(makeEdit(1, 25, 0, vtInteger, 14)->text(), "14");
    // The increment set while the type was still vtInteger stays 0.01.
    EXPECT_EQ(edit7()->Increment(), static_cast<long double>(0.01));
}

TEST(NumSpinEdit, ClampsToTheEnforcedBounds)
{
    struct Case {
        long double min, max, x, expected;
    };
    const Case cases[] = {
        {4.0L, 8.7L, 9.5L, 8.7L},
        {4.0L, 8.7L, 3.0L, 4.0L},
        {4.0L, 8.7L, 6.0L, 6.0L},
        {0, 2.5L, -1, 0}, // a zero minimum is a bound when the maximum is not zero
        {-3, 0, 2, 0},    // and the other way round
        {0, 0, -5, -5},   // both zero: unbounded
        {0, 0, 1e9L, 1e9L},
        {5, 3, 4, 3}, // crossed bounds: the maximum test looks at x itself
    };
    for (const Case& c : cases) {
        TNumSpinEdit e;
        e.SetMaxValue(c.max);
        e.SetMinValue(c.min);
        EXPECT_EQ(e.clamp(c.x), c.expected) << double(c.min) << ".." << double(c.max) << " " << double(c.x);
    }
}

TEST(NumSpinEdit, CheckFlagsFollowBoundsUnlessSetDirectly)
{
    TNumSpinEdit e;
    e.SetValueType(vtFloat);
    e.SetCheckMinValue(true); // both bounds zero, minimum enforced by hand
    e.SetValue(-5);
    EXPECT_EQ(e.text(), "0,00");
    e.SetValue(5);
    EXPECT_EQ(e.text(), "5,00");
    e.SetMinValue(2); // the zero maximum is now a bound too: it wins
    EXPECT_TRUE(e.CheckMaxValue());
    EXPECT_EQ(e.text(), "0,00");
    e.SetCheckMinValue(false); // a non-zero bound is always enforced
    EXPECT_TRUE(e.CheckMinValue());
    EXPECT_EQ(e.text(), "2,00");
    e.SetCheckMaxValue(false); // a zero bound can be switched off
    e.SetValue(100);
    EXPECT_EQ(e.text(), "100,00");
    e.SetMaxValue(4); // changing a bound re-applies the value
    EXPECT_TRUE(e.CheckMaxValue());
    EXPECT_EQ(e.text(), "4,00");
}

TEST(NumSpinEdit, WritesClampedFormattedTextAndRaisesOnChange)
{
    auto e = makeEdit(1, 0, 0, vtInteger, 0);
    int changes = 0;
    e->OnChange = [&](QObject* s) {
        EXPECT_EQ(s, e.get());
        ++changes;
    };
    e->SetValue(2.5);
    EXPECT_EQ(e->text(), "2");
    e->SetValue(3.5);
    EXPECT_EQ(e->text(), "4");
    EXPECT_EQ(changes, 2);
    e->SetValue(4.2); // same text: no change
    EXPECT_EQ(changes, 2);

    e->SetValueType(vtHex);
    e->SetValue(254.6);
    EXPECT_EQ(e->text(), "FF");
    EXPECT_EQ(e->Value(), 255);
    e->SetValueType(vtInteger); // read with the old type, written with the new
    EXPECT_EQ(e->text(), "255");
}

TEST(NumSpinEdit, ReadingDoesNotClampUntilFocusLeaves)
{
    auto e = edit7();
    e->setText("9,5");
    EXPECT_EQ(e->Value(), 9.5L);
    focusOut(e.get());
    EXPECT_EQ(e->text(), "8,70");
    EXPECT_NEAR(double(e->Value()), 8.7, 1e-15);

    e->setText("7");
    focusOut(e.get());
    EXPECT_EQ(e->text(), "7,00");

    auto e11 = edit11();
    e11->setText("-1");
    focusOut(e11.get());
    EXPECT_EQ(e11->text(), "0,00");

    // A popup menu taking the focus for a moment leaves the text alone.
    e->setText("9,5");
    focusOut(e.get(), Qt::PopupFocusReason);
    EXPECT_EQ(e->text(), "9,5");
}

TEST(NumSpinEdit, TextThatIsNoNumberReadsAsMinValue)
{
    auto e7 = edit7();
    e7->setText("");
    EXPECT_EQ(e7->Value(), 4.0L);
    e7->setText("abc");
    EXPECT_EQ(e7->Value(), 4.0L);
    auto e12 = edit12();
    e12->setText("");
    EXPECT_EQ(e12->Value(), 0);
    e12->SetMinValue(2.5); // rounded for the integer types: 2.5 -> 2
    e12->setText("x");
    EXPECT_EQ(e12->Value(), 2);
}

TEST(NumSpinEdit, IncrementRoundedOnlyByChangeOfType)
{
    struct Case {
        long double inc, expected;
    };
    for (Case c : {Case{0.6L, 1}, Case{0.4L, 1}, Case{2.5L, 2}, Case{3.5L, 4}, Case{-0.2L, 1}}) {
        TNumSpinEdit e;
        e.SetValueType(vtFloat);
        e.SetIncrement(c.inc);
        EXPECT_EQ(e.Increment(), c.inc);
        e.SetValueType(vtHex);
        EXPECT_EQ(e.Increment(), c.expected) << double(c.inc);
    }
}

TEST(NumSpinEdit, CheckOnExitKeepsOutOfRangeTextAndBeeps)
{
    ScopedPlatform sp;
    auto e = edit7();
    e->SetCheckOnExit(true);
    e->setText("9,5");
    focusOut(e.get());
    EXPECT_EQ(e->text(), "9,5");
    EXPECT_EQ(sp.p.beeps, 1);
    EXPECT_THROW(e->checkValue(9.5), ERangeError);
    EXPECT_NO_THROW(e->checkValue(8.7));
    e->setText("5");
    focusOut(e.get());
    EXPECT_EQ(e->text(), "5,00");
    EXPECT_EQ(sp.p.beeps, 1);
}

TEST(NumSpinEdit, DisplayFormatSetsShownDecimals)
{
    auto e = makeEdit(0.5, 0, 0, vtFloat, 2.5);
    e->SetDisplayFormat("0.0#");
    EXPECT_EQ(e->text(), "2,5");
    e->SetValue(2.25);
    EXPECT_EQ(e->text(), "2,25");
    e->SetValue(3);
    EXPECT_EQ(e->text(), "3,0");
    e->SetDisplayFormat("0");
    EXPECT_EQ(e->text(), "3");
}

// ---------------------------------------------------------------------------
// Stepping

struct Counters {
    int changes = 0, tops = 0, bottoms = 0;
    void attach(TNumCustomSpinEdit& e)
    {
        e.OnChange = [this](QObject*) { ++changes; };
        e.OnTopClick = [this](QObject*) { ++tops; };
        e.OnBottomClick = [this](QObject*) { ++bottoms; };
    }
};

TEST(NumSpinStep, StepsReadTheShownTextSoErrorsDoNotAccumulate)
{
    auto e = edit7();
    Counters c;
    c.attach(*e);
    e->stepUp();
    EXPECT_EQ(e->text(), "6,91");
    EXPECT_EQ(c.changes, 1);
    EXPECT_EQ(c.tops, 1);
    EXPECT_TRUE(e->isModified());

    e->SetValue(4.0);
    for (int i = 1; i <= 100; ++i) {
        e->stepUp();
        ASSERT_EQ(e->text(), formatFixed(4.0L + i / 100.0L, 2)) << i;
    }
    EXPECT_EQ(e->text(), "5,00");
    EXPECT_EQ(e->Value(), 5.0L);
    for (int i = 0; i < 100; ++i)
        e->stepDown();
    EXPECT_EQ(e->text(), "4,00");
    EXPECT_EQ(c.bottoms, 100);
}

TEST(NumSpinStep, AtABoundNothingChanges)
{
    struct Case {
        std::unique_ptr<TNumSpinEdit> e;
        bool up;
        const char* text;
    };
    Case cases[] = {{edit9(), true, "100"}, {edit11(), false, "0,00"}, {edit7(), true, "8,70"}};
    cases[1].e->SetValue(0);
    cases[2].e->SetValue(8.7L);
    for (Case& k : cases) {
        Counters c;
        c.attach(*k.e);
        k.up ? k.e->stepUp() : k.e->stepDown();
        EXPECT_EQ(k.e->text(), k.text);
        EXPECT_EQ(c.changes, 0) << k.text;
        EXPECT_EQ(c.tops + c.bottoms, 1) << k.text; // the click event still comes
    }
}

TEST(NumSpinStep, GarbageStartsFromMinValue)
{
    auto e = edit7();
    e->setText("abc");
    e->stepUp();
    EXPECT_EQ(e->text(), "4,01");
    auto e12 = edit12();
    e12->setText("");
    e12->stepUp();
    EXPECT_EQ(e12->text(), "1");
}

TEST(NumSpinStep, ReadOnlyStepBeepsAndStops)
{
    ScopedPlatform sp;
    auto e = edit7();
    Counters c;
    c.attach(*e);
    e->setReadOnly(true);
    e->stepUp();
    QTest::keyClick(e.get(), Qt::Key_Down);
    EXPECT_EQ(e->text(), "6,90");
    EXPECT_EQ(sp.p.beeps, 2);
    EXPECT_EQ(c.tops + c.bottoms + c.changes, 0);
}

TEST(NumSpinStep, ArrowKeysStepWithAnyModifier)
{
    auto e = edit7();
    QTest::keyClick(e.get(), Qt::Key_Up);
    QTest::keyClick(e.get(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(e.get(), Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(e->text(), "6,93");
    QTest::keyClick(e.get(), Qt::Key_Down);
    EXPECT_EQ(e->text(), "6,92");
    e->SetArrowKeys(false);
    QTest::keyClick(e.get(), Qt::Key_Up);
    EXPECT_EQ(e->text(), "6,92");
}

// ---------------------------------------------------------------------------
// Typing and pasting

TEST(NumSpinKeys, FilterRefusesWithBeepAndEntersPointAsComma)
{
    ScopedPlatform sp;
    auto e = edit7();
    e->clear();
    QTest::keyClicks(e.get(), "6.5");
    EXPECT_EQ(e->text(), "6,5");
    EXPECT_EQ(sp.p.beeps, 0);
    QTest::keyClicks(e.get(), ".");
    QTest::keyClicks(e.get(), ",");
    EXPECT_EQ(e->text(), "6,5");
    EXPECT_EQ(sp.p.beeps, 2);
    e->selectAll(); // even when the selection covers the separator
    QTest::keyClicks(e.get(), ",");
    EXPECT_EQ(e->text(), "6,5");
    EXPECT_EQ(sp.p.beeps, 3);
    e->end(false);
    QTest::keyClicks(e.get(), "e-E1x");
    EXPECT_EQ(e->text(), "6,5e-1");
    EXPECT_EQ(sp.p.beeps, 5);
    QTest::keyClick(e.get(), Qt::Key_Backspace);
    EXPECT_EQ(e->text(), "6,5e-");
    QTest::keyClick(e.get(), Qt::Key_Return); // passed on, no beep
    EXPECT_EQ(sp.p.beeps, 5);
}

TEST(NumSpinKeys, AcceptedCharactersDependOnValueType)
{
    struct Case {
        TValueType type;
        const char* typed;
        const char* text;
        int beeps;
    };
    const Case cases[] = {
        {vtInteger, "-12a,.e", "-12", 4},
        {vtHex, "1fA+g", "1fA+", 1},
        {vtFloat, "1a", "1", 1},
    };
    for (const Case& c : cases) {
        ScopedPlatform sp;
        TNumSpinEdit e;
        e.SetValueType(c.type);
        e.clear();
        QTest::keyClicks(&e, c.typed);
        EXPECT_EQ(e.text(), c.text) << c.typed;
        EXPECT_EQ(sp.p.beeps, c.beeps) << c.typed;
    }
}

TEST(NumSpinKeys, EditorDisabledRefusesEditingButStillSteps)
{
    ScopedPlatform sp;
    auto e = edit9();
    e->SetEditorEnabled(false);
    e->end(false);
    QTest::keyClicks(e.get(), "5");
    QTest::keyClick(e.get(), Qt::Key_Backspace);
    QTest::keyClick(e.get(), Qt::Key_Home);
    QTest::keyClick(e.get(), Qt::Key_Delete);
    EXPECT_EQ(e->text(), "100");
    EXPECT_EQ(sp.p.beeps, 3);
    QGuiApplication::clipboard()->setText("7");
    e->selectAll();
    e->pasteChecked();
    EXPECT_EQ(e->text(), "100");
    QTest::keyClick(e.get(), Qt::Key_Down);
    EXPECT_EQ(e->text(), "99");
}

TEST(NumSpinKeys, PasteRestoresThePreviousValueWhenNoNumberResults)
{
    auto e = edit7();
    int changes = 0;
    e->OnChange = [&](QObject*) { ++changes; };
    QClipboard* cb = QGuiApplication::clipboard();

    cb->setText("abc");
    e->selectAll();
    e->pasteChecked();
    EXPECT_EQ(e->text(), "6,90");

    cb->setText(",");
    e->end(false);
    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->text(), "6,90");

    cb->setText("7,5");
    e->selectAll();
    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->text(), "7,5"); // a number stays as pasted
    EXPECT_GT(changes, 0);

    e->setText("9,5"); // the value from before is clamped when written back
    cb->setText("x");
    e->selectAll();
    e->pasteChecked();
    EXPECT_EQ(e->text(), "8,70");

    // The check is the decimal one in every value type: "2,5" stays in an integer edit and
    // reads as its minimum, "FF" does not stay even in a hexadecimal one.
    auto i = edit9();
    cb->setText("2,5");
    i->selectAll();
    i->pasteChecked();
    EXPECT_EQ(i->text(), "2,5");
    EXPECT_EQ(i->Value(), 0);
    i->SetValueType(vtHex);
    i->SetValue(10);
    cb->setText("FF");
    i->selectAll();
    i->pasteChecked();
    EXPECT_EQ(i->text(), "A");
}

TEST(NumSpinKeys, FocusSelectsAllExceptForAPressIntoTheText)
{
    auto e = edit7();
    e->deselect();
    focusIn(e.get(), Qt::TabFocusReason);
    EXPECT_EQ(e->selectedText(), "6,90");
    e->SetAutoSelect(false);
    e->deselect();
    focusIn(e.get(), Qt::TabFocusReason);
    EXPECT_EQ(e->selectedText(), "");

    QWidget window;
    window.resize(200, 60);
    auto* f = new TNumSpinEdit(&window);
    f->resize(73, 29);
    f->SetValueType(vtFloat);
    f->SetValue(6.9);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::mouseClick(f, Qt::LeftButton, {}, QPoint(5, 14));
    ASSERT_TRUE(f->hasFocus());
    EXPECT_EQ(f->selectedText(), "");
}

// ---------------------------------------------------------------------------
// Step buttons

TEST(NumSpinButton, DiagonalAndClassicHitTesting)
{
    TNumSpinButton b;
    b.resize(20, 20);
    struct Case {
        TNumSpinButtonKind kind;
        QPoint p;
        TNumSpinButton::TPart part;
    };
    const Case cases[] = {
        {bkDiagonal, {0, 0}, TNumSpinButton::spUp},     {bkDiagonal, {19, 19}, TNumSpinButton::spDown},
        {bkDiagonal, {10, 10}, TNumSpinButton::spUp}, // on the diagonal: Y = H - X*H/W
        {bkDiagonal, {10, 11}, TNumSpinButton::spDown}, {bkDiagonal, {0, 19}, TNumSpinButton::spUp},
        {bkDiagonal, {19, 2}, TNumSpinButton::spDown},  {bkDiagonal, {20, 5}, TNumSpinButton::spNone},
        {bkClassic, {19, 10}, TNumSpinButton::spUp},    {bkClassic, {0, 11}, TNumSpinButton::spDown},
        {bkStandard, {0, 11}, TNumSpinButton::spDown},
    };
    for (const Case& c : cases) {
        b.SetKind(c.kind);
        EXPECT_EQ(b.partAt(c.p), c.part) << int(c.kind) << " " << c.p.x() << "," << c.p.y();
    }
    b.resize(40, 20); // a wider area keeps the diagonal corner to corner
    b.SetKind(bkDiagonal);
    EXPECT_EQ(b.partAt({20, 10}), TNumSpinButton::spUp);
    EXPECT_EQ(b.partAt({20, 11}), TNumSpinButton::spDown);
}

// Reaches the edit's own frame description to find its client area.
struct ProbeEdit : TNumSpinEdit {
    QRect client()
    {
        QStyleOptionFrame opt;
        initStyleOption(&opt);
        return style()->subElementRect(QStyle::SE_LineEditContents, &opt, this);
    }
};

TEST(NumSpinButton, FillsASquareAtTheRightEndOfTheClientArea)
{
    ProbeEdit e;
    e.show();
    for (QSize size : {QSize(73, 29), QSize(57, 28), QSize(100, 40)}) {
        e.resize(size);
        const QRect client = e.client();
        const QRect b = e.spinButton()->geometry();
        EXPECT_EQ(b.width(), b.height());
        EXPECT_EQ(b.height(), client.height());
        EXPECT_EQ(b.top(), client.top());
        EXPECT_EQ(b.right(), client.right());
        // The text area ends where the square begins.
        EXPECT_EQ(e.textMargins().right(), b.width());
    }
}

struct RepeatFixture : ::testing::Test {
    FakeClock clock;
    std::unique_ptr<TNumSpinEdit> e = edit7();
    Counters c;
    TNumSpinButton* b = nullptr;
    const QPoint upPoint{3, 3};
    RepeatFixture()
    {
        c.attach(*e);
        b = e->spinButton();
    }
    void move(QPoint p)
    {
        QMouseEvent ev(QEvent::MouseMove, p, b->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(b, &ev);
    }
    QPoint downPoint() const { return {b->width() - 3, b->height() - 3}; }
};

TEST_F(RepeatFixture, OneStepAtPressThenAfter400ThenEvery100)
{
    QTest::mousePress(b, Qt::LeftButton, {}, upPoint);
    EXPECT_EQ(c.tops, 1);
    EXPECT_EQ(b->shownPressed(), TNumSpinButton::spUp);
    clock.advance(399);
    EXPECT_EQ(c.tops, 1);
    clock.advance(1);
    EXPECT_EQ(c.tops, 2);
    clock.advance(99);
    EXPECT_EQ(c.tops, 2);
    clock.advance(1);
    EXPECT_EQ(c.tops, 3);
    clock.advance(500);
    EXPECT_EQ(c.tops, 8);
    EXPECT_EQ(e->text(), "6,98");
    QTest::mouseRelease(b, Qt::LeftButton, {}, upPoint);
    EXPECT_EQ(b->shownPressed(), TNumSpinButton::spNone);
    clock.advance(1000);
    EXPECT_EQ(c.tops, 8);
    EXPECT_EQ(c.bottoms, 0);
}

TEST_F(RepeatFixture, SlidingOffThePressedTrianglePausesRepeats)
{
    QTest::mousePress(b, Qt::LeftButton, {}, downPoint());
    EXPECT_EQ(c.bottoms, 1);
    move(upPoint); // onto the other triangle: not pressed, no steps
    EXPECT_EQ(b->shownPressed(), TNumSpinButton::spNone);
    clock.advance(600);
    EXPECT_EQ(c.bottoms, 1);
    EXPECT_EQ(c.tops, 0);
    move(QPoint(-10, 5)); // out of the square
    clock.advance(100);
    EXPECT_EQ(c.bottoms, 1);
    move(downPoint()); // back: repeats resume on the next tick
    EXPECT_EQ(b->shownPressed(), TNumSpinButton::spDown);
    clock.advance(100);
    EXPECT_EQ(c.bottoms, 2);
    clock.advance(200);
    EXPECT_EQ(c.bottoms, 4);
    QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-10, 5));
    clock.advance(500);
    EXPECT_EQ(c.bottoms, 4);
    EXPECT_EQ(e->text(), "6,86");
}

TEST_F(RepeatFixture, DisabledEditIgnoresButtonsAndKeys)
{
    e->setEnabled(false);
    EXPECT_FALSE(b->isEnabled());
    QTest::mousePress(b, Qt::LeftButton, {}, upPoint);
    QTest::keyClick(e.get(), Qt::Key_Up);
    clock.advance(1000);
    QTest::mouseRelease(b, Qt::LeftButton, {}, upPoint);
    EXPECT_EQ(c.tops, 0);
    EXPECT_EQ(e->text(), "6,90");
}

TEST_F(RepeatFixture, DisablingWhileHeldEndsTheRepeats)
{
    QTest::mousePress(b, Qt::LeftButton, {}, upPoint);
    e->setEnabled(false);
    clock.advance(1000);
    EXPECT_EQ(c.tops, 1);
}

} // namespace

TEST(NumSpinEdit, TypedOrPastedTextMayCarryWhiteSpaceAround)
{
    // Line ends and no-break spaces come with text copied from a spreadsheet or a web page.
    auto f = edit7();
    f->setText(QStringLiteral("\u00A07,5\n"));
    EXPECT_EQ(f->Value(), 7.5L);
    auto i = edit12();
    i->setText(QStringLiteral("\t12\u00A0"));
    EXPECT_EQ(i->Value(), 12);

    QGuiApplication::clipboard()->setText(QStringLiteral("7,5\u00A0"));
    f->selectAll();
    f->pasteChecked();
    EXPECT_EQ(f->text(), QStringLiteral("7,5\u00A0"));
}
