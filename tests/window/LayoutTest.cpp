// The window as laid out, before the create event: every control at its place, with its
// parent, state, cursor and hint; the stacking, the fixed client size and the custom pieces.

#include "FormFixture.h"

#include "Frame.h"
#include "NumSpin.h"
#include "ShadowLabel.h"
#include "ToggleSwitch.h"

#include <QTest>

namespace {

struct Expected {
    const char* name;
    const char* parent;
    int left, top, width, height;
    bool visible;
    bool enabled;
    bool hand;
    const char* hint; // nullptr: none
    bool autoWidth;   // an auto-sized label: its width follows the caption in our fonts
};

// Transcribed from the layout tables.
const Expected kLayout[] = {
    {"Image3", "Form1", 0, 118, 345, 505, true, true, false, nullptr, false},
    {"Image6", "Form1", 275, 173, 32, 32, false, true, true, "Pokaż folder z plikiem Excela", false},
    {"Image5", "Form1", 275, 173, 32, 32, true, true, false, nullptr, false},
    {"Label5", "Form1", 265, 110, 57, 16, true, false, true, "obecna godzina ...", true},
    {"Label4", "Form1", 24, 110, 75, 16, true, false, true, "data ...", true},
    {"Label3", "Form1", 105, 110, 91, 16, true, false, true, "dziś jest ...", true},
    {"Label28", "Form1", 264, 369, 41, 20, true, true, false, nullptr, false},
    {"Label2", "Form1", 46, 369, 32, 20, true, true, false, nullptr, true},
    {"SpeedButton5", "Form1", 70, 52, 21, 21, true, true, false, "Odśwież COM", false},
    {"Image7", "Form1", 20, 80, 57, 25, true, true, false, nullptr, false},
    {"SpeedButton7", "Form1", 70, 52, 21, 21, false, true, false, "Restart zdalny", false},
    {"SpeedButton9", "Form1", 3, 82, 21, 21, false, true, false, "Połączenie bezprzewodowe", false},
    {"SpeedButton8", "Form1", 3, 82, 21, 21, false, true, false, "Połączenie kablowe", false},
    {"ToggleSwitch1", "Form1", 24, 78, 47, 29, false, true, true, "Połącz ...", false},
    {"Memo1", "Form1", 60, 216, 85, 121, true, true, false, nullptr, false},
    {"Memo", "Form1", 150, 216, 92, 121, true, true, false, nullptr, false},
    {"GroupBox14", "Form1", 93, 0, 249, 108, true, false, false, nullptr, false},
    {"GroupBox1", "Form1", 50, 205, 249, 140, true, true, false, nullptr, false},
    {"Panel2", "Form1", 45, 205, 258, 143, true, true, false, nullptr, false},
    {"CheckBox1", "Form1", 253, 183, 15, 14, true, false, true, "Zapisz do pliku Excela w formacie CSV",
     false},
    {"GroupBox2", "Form1", 2, 0, 88, 44, true, true, false, "   Wybór języka \r\nChoose language", false},
    {"Panel1", "Form1", 34, 470, 281, 104, true, true, false, nullptr, false},
    {"NumSpinEdit9", "Form1", 33, 387, 60, 28, true, false, false, "Jasność podświetlenia LCD", false},
    {"NumSpinEdit10", "Form1", 255, 387, 60, 28, true, false, false, "Kontrast LCD", false},
    {"ComboBox1", "Form1", 2, 51, 66, 21, true, true, false, nullptr, false},

    {"SpeedButton3", "GroupBox14", 152, 60, 89, 41, true, true, true, "Wyślij ustawienia do urządzenia",
     false},
    {"SpeedButton4", "GroupBox14", 8, 60, 89, 41, true, true, true, "Pobierz ustawienia z urządzenia", false},
    {"SpeedButton1", "GroupBox14", 8, 12, 41, 41, true, true, true, "Pobierz ustawienia z pliku", false},
    {"SpeedButton2", "GroupBox14", 200, 12, 41, 41, true, true, true, "Zachowaj ustawienia do pliku", false},
    {"SpeedButton10", "GroupBox14", 8, 12, 41, 41, true, true, false, nullptr, false},
    {"SpeedButton11", "GroupBox14", 200, 12, 41, 41, true, true, false, nullptr, false},
    {"SpeedButton13", "GroupBox14", 8, 60, 89, 41, true, true, false, nullptr, false},
    {"SpeedButton14", "GroupBox14", 152, 60, 89, 41, true, true, false, nullptr, false},
    {"Bevel2", "GroupBox14", 56, 27, 137, 25, true, true, false, nullptr, false},
    {"Label327", "GroupBox14", 58, 18, 89, 13, true, true, false, nullptr, true},
    {"ShadowLabel1", "GroupBox14", 64, 33, 121, 13, true, true, true, "C:\\", false},
    {"SpeedButton6", "GroupBox14", 104, 60, 41, 41, true, true, true,
     "Przywróć ustawienia domyślne (fabryczne)", false},
    {"SpeedButton12", "GroupBox14", 104, 60, 41, 41, true, true, false, nullptr, false},

    {"Label24", "GroupBox1", 58, 108, 8, 24, true, true, false, nullptr, true},
    {"Label7", "GroupBox1", 60, 6, 81, 75, false, true, false, nullptr, true},
    {"Label8", "GroupBox1", 8, 110, 28, 24, false, true, false, nullptr, true},
    {"Label9", "GroupBox1", 201, 110, 28, 24, false, true, false, nullptr, true},
    {"Label10", "GroupBox1", 106, 116, 40, 14, true, true, false, nullptr, true},
    {"Label11", "GroupBox1", 136, 70, 28, 24, false, true, false, nullptr, true},
    {"Label12", "GroupBox1", 136, 90, 15, 24, false, true, false, nullptr, true},
    {"Image1", "GroupBox1", 185, 8, 65, 81, false, true, false, nullptr, false},
    {"Image2", "GroupBox1", 1, 8, 65, 81, false, true, false, nullptr, false},
    {"Label15", "GroupBox1", 17, 65, 17, 24, true, true, false, nullptr, true},
    {"Label18", "GroupBox1", 8, 90, 35, 24, true, true, false, nullptr, true},
    {"Label20", "GroupBox1", 200, 90, 40, 24, true, true, false, nullptr, true},
    {"Label21", "GroupBox1", 72, 70, 50, 24, true, true, false, nullptr, true},
    {"Label22", "GroupBox1", 87, 90, 35, 24, true, true, false, nullptr, true},
    {"Image4", "GroupBox1", 52, 93, 30, 17, false, true, false, nullptr, false},
    {"Label17", "GroupBox1", 64, 110, 28, 24, false, true, false, nullptr, true},
    {"Label23", "GroupBox1", 145, 110, 28, 24, false, true, false, nullptr, true},
    {"Label25", "GroupBox1", 184, 108, 8, 24, true, true, false, nullptr, true},
    {"Label26", "GroupBox1", 32, 75, 9, 16, true, true, false, nullptr, true},
    {"Label27", "GroupBox1", 227, 76, 9, 16, true, true, false, nullptr, true},
    {"Label16", "GroupBox1", 198, 65, 31, 24, true, true, false, nullptr, true},
    {"Image8", "GroupBox1", 52, 93, 30, 17, false, true, false, nullptr, false},

    {"Image12", "GroupBox2", 13, 13, 24, 24, false, true, false, "Język polski", false},
    {"Image13", "GroupBox2", 13, 13, 24, 24, true, true, false, "Język polski", false},
    {"Image14", "GroupBox2", 53, 12, 24, 24, false, true, false, "English language", false},
    {"Image15", "GroupBox2", 53, 12, 24, 24, true, true, false, "English language", false},
    {"Label1", "GroupBox2", 39, 23, 13, 13, true, true, false, "polski", true},

    {"Label13", "Panel1", 8, 8, 82, 24, true, true, false, nullptr, true},
    {"Label6", "Panel1", 180, 3, 10, 29, true, true, false, nullptr, true},
    {"Label14", "Panel1", 8, 42, 149, 24, true, true, false, nullptr, true},
    {"Label19", "Panel1", 8, 73, 168, 24, true, true, false, nullptr, true},
    {"NumSpinEdit7", "Panel1", 100, 6, 73, 29, true, false, false, "PH minimalne zakresu", false},
    {"NumSpinEdit8", "Panel1", 196, 6, 73, 28, true, false, false, "PH maksymalne zakresu", false},
    {"NumSpinEdit11", "Panel1", 172, 39, 73, 28, true, false, false,
     "Próg alarmu obliczany jako (PHmin-ALARM oraz PHmax+ALARM)", false},
    {"NumSpinEdit12", "Panel1", 188, 72, 57, 28, true, false, false, "Twardość węglanowa wody TWW (KH)",
     false},
};

bool enabledState(QWidget* w)
{
    if (auto* c = qobject_cast<TContainer*>(w))
        return c->Enabled();
    return w->isEnabled();
}

QPoint centreIn(QWidget* w, QWidget* top) { return w->mapTo(top, w->rect().center()); }

} // namespace

TEST_F(FormTest, EveryControlSitsWhereTheLayoutPutsIt)
{
    TForm1& f = layoutOnly();
    for (const Expected& e : kLayout) {
        SCOPED_TRACE(e.name);
        auto* w = f.findChild<QWidget*>(QString::fromLatin1(e.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), QString::fromLatin1(e.parent));
        EXPECT_EQ(w->x(), e.left);
        EXPECT_EQ(w->y(), e.top);
        EXPECT_EQ(w->height(), e.height);
        if (e.autoWidth) {
            // Our fonts are metric-compatible stand-ins: the caption's width comes out close
            // to the layout's, never far off.
            EXPECT_GE(w->width(), e.width * 6 / 10);
            EXPECT_LE(w->width(), e.width * 14 / 10 + 4);
        } else {
            EXPECT_EQ(w->width(), e.width);
        }
        EXPECT_EQ(!w->isHidden(), e.visible);
        EXPECT_EQ(enabledState(w), e.enabled);
        EXPECT_EQ(w->cursor().shape() == Qt::PointingHandCursor, e.hand);
        EXPECT_EQ(hint(w), e.hint ? QString::fromUtf8(e.hint) : QString());
    }
}

TEST_F(FormTest, CaptionsFontsAndValuesAsLaidOut)
{
    TForm1& f = layoutOnly();
    EXPECT_TRUE(f.windowTitle().startsWith(QStringLiteral("Tarlo-02 - ")));
    EXPECT_EQ(applicationTitle(), QStringLiteral("PH Controller Tarlo-01"));

    const std::pair<TLabel*, const char*> captions[] = {{f.Label5, "18:00:00"},
                                                        {f.Label4, "2016-10-01"},
                                                        {f.Label3, "Poniedzialek"},
                                                        {f.Label28, "CON"},
                                                        {f.Label2, "BRI"},
                                                        {f.Label29, ""},
                                                        {f.Label327, "Plik z konfiguracją "},
                                                        {f.Label7, "-,--"},
                                                        {f.Label10, "ALARM"},
                                                        {f.Label12, "--"},
                                                        {f.Label13, "ZAKRES"},
                                                        {f.Label14, "PRÓG ALARMU"},
                                                        {f.Label19, "TWW (KH) WODY"},
                                                        {f.Label1, "PL"},
                                                        {f.Label6, "-"}};
    for (const auto& [label, text] : captions)
        EXPECT_EQ(label->Caption(), QString::fromUtf8(text)) << label->objectName().toStdString();
    EXPECT_EQ(f.ShadowLabel1->Caption(), QStringLiteral("*.*"));

    // Pixel heights of the characters, boldness and colours of a few telling labels.
    EXPECT_EQ(f.Label7->font().pixelSize(), 64);
    EXPECT_TRUE(f.Label7->font().bold());
    EXPECT_EQ(f.Label10->font().pixelSize(), 11);
    EXPECT_EQ(fontColor(f.Label10), Colors::clGray);
    EXPECT_EQ(fontColor(f.Label15), Colors::clTeal);
    EXPECT_EQ(fontColor(f.Label13), Colors::clSilver);
    EXPECT_EQ(f.Label13->font().pixelSize(), 19);
    EXPECT_EQ(f.Label6->font().pixelSize(), 23);
    EXPECT_EQ(f.Label28->Color(), QColor(Qt::black));
    EXPECT_EQ(f.GroupBox1->Color(), QColor(240, 251, 255));
    EXPECT_EQ(f.Panel2->Color(), Colors::clGray);
    EXPECT_EQ(f.Panel1->Color(), Colors::clBtnText);
    EXPECT_FALSE(f.Label327->font().bold());
    EXPECT_EQ(f.font().pixelSize(), 11);
    EXPECT_EQ(fontColor(&f), QColor(Qt::white));

    // The spin edits show their values in their formats.
    const std::pair<TNumSpinEdit*, const char*> values[] = {
        {f.NumSpinEdit7, "6,90"}, {f.NumSpinEdit8, "7,10"}, {f.NumSpinEdit11, "0,20"},
        {f.NumSpinEdit12, "0"},   {f.NumSpinEdit9, "100"},  {f.NumSpinEdit10, "14"}};
    for (const auto& [edit, text] : values)
        EXPECT_EQ(edit->text(), QString::fromLatin1(text)) << edit->objectName().toStdString();
    EXPECT_EQ(f.NumSpinEdit7->MinValue(), 4.0L);
    EXPECT_EQ(f.NumSpinEdit8->MaxValue(), 8.8L);
    EXPECT_EQ(f.NumSpinEdit12->ValueType(), vtInteger);
    EXPECT_EQ(f.NumSpinEdit11->ValueType(), vtFloat);

    // The text buffers start as one empty line; the combo box has no items.
    EXPECT_EQ(f.ReceiveText().text(), QStringLiteral("\r\n"));
    EXPECT_EQ(f.FrameBufferText(), QStringLiteral("\r\n"));
    EXPECT_EQ(f.ComboBox1->count(), 0);
    EXPECT_TRUE(f.ComboBox1->Text().isEmpty());
    EXPECT_FALSE(f.ToggleSwitch1->StateOn());
    EXPECT_EQ(f.ToggleSwitch1->Caption(), QStringLiteral("ToggleSwitch1"));

    // The two file dialogs.
    EXPECT_EQ(f.SaveDialog1.fileName, QStringLiteral("ustawienia"));
    EXPECT_EQ(f.OpenDialog1.fileName, QStringLiteral("ustawienia"));
    EXPECT_EQ(f.OpenDialog1.filter, QString::fromUtf8("Pliki ustawień Tarlo-01 (*.tarlo)"));
    EXPECT_EQ(f.SaveDialog1.filter, f.OpenDialog1.filter);
}

TEST_F(FormTest, PicturesAreLoadedAtTheirSizes)
{
    TForm1& f = layoutOnly();
    const std::tuple<TImage*, int, int> images[] = {
        {f.Image3, 350, 503}, {f.Image1, 59, 80},  {f.Image2, 59, 80},  {f.Image4, 30, 16},
        {f.Image8, 30, 16},   {f.Image5, 32, 32},  {f.Image6, 32, 32},  {f.Image7, 57, 25},
        {f.Image12, 24, 24},  {f.Image13, 24, 24}, {f.Image14, 24, 24}, {f.Image15, 24, 24}};
    for (const auto& [img, w, h] : images) {
        SCOPED_TRACE(img->objectName().toStdString());
        EXPECT_EQ(img->Picture().size(), QSize(w, h));
    }
    const std::tuple<TSpeedButton*, int, int> buttons[] = {
        {f.SpeedButton1, 32, 32},  {f.SpeedButton10, 32, 32}, {f.SpeedButton3, 80, 32},
        {f.SpeedButton14, 80, 32}, {f.SpeedButton5, 20, 20},  {f.SpeedButton7, 20, 20},
        {f.SpeedButton8, 20, 20},  {f.SpeedButton9, 20, 20}};
    for (const auto& [b, w, h] : buttons) {
        SCOPED_TRACE(b->objectName().toStdString());
        EXPECT_EQ(b->Glyph().size(), QSize(w, h));
    }
    EXPECT_EQ(f.ToggleSwitch1->GlyphOff().size(), QSize(41, 27));
    EXPECT_EQ(f.ToggleSwitch1->GlyphOn().size(), QSize(41, 27));

    // The front panel is cut at the control's right edge: its last drawn column is picture
    // column 344.
    f.show();
    const QImage shot = f.grab().toImage();
    EXPECT_EQ(shot.pixelColor(344, 600), f.Image3->Picture().pixelColor(344, 600 - 118));
}

TEST_F(FormTest, WindowedControlsLieAboveTheOthersInCreationOrder)
{
    TForm1& f = layoutOnly();
    f.show();
    // What the user sees at a control's centre is the topmost control there.
    EXPECT_EQ(f.childAt(centreIn(f.GroupBox1, &f)), f.Panel2);
    f.Panel2->hide();
    QWidget* atMemo = f.childAt(centreIn(f.Memo, &f));
    EXPECT_TRUE(atMemo == f.GroupBox1 || f.GroupBox1->isAncestorOf(atMemo));
    // Grey copies over their working twins, the switch over the grey field, Image5 over Image6.
    f.Image6->show();
    EXPECT_EQ(f.childAt(centreIn(f.Image6, &f)), f.Image5);
    f.ToggleSwitch1->show();
    EXPECT_EQ(f.childAt(centreIn(f.Image7, &f)), f.ToggleSwitch1);
    f.GroupBox14->SetEnabled(true);
    EXPECT_EQ(f.GroupBox14->childAt(f.SpeedButton1->geometry().center()), f.SpeedButton10);
    EXPECT_EQ(f.GroupBox14->childAt(f.SpeedButton3->geometry().center()), f.SpeedButton14);
    EXPECT_EQ(f.GroupBox14->childAt(f.SpeedButton6->geometry().center()), f.SpeedButton12);
    // In the display, the cable icon lies above the wireless one.
    f.Image4->show();
    f.Image8->show();
    EXPECT_EQ(f.GroupBox1->childAt(f.Image4->geometry().center()), f.Image8);
    // The spin edits lie above the labels of the front panel.
    EXPECT_EQ(f.childAt(centreIn(f.NumSpinEdit9, &f)), f.NumSpinEdit9);
}

TEST_F(FormTest, ClientAreaKeepsItsSizeAndPositionStaysFree)
{
    TForm1& f = layoutOnly();
    f.show();
    f.resize(500, 200);
    EXPECT_EQ(f.size(), QSize(345, 623));
    f.SetBounds(10, 20, 425, 158);
    EXPECT_EQ(f.Left(), 10);
    EXPECT_EQ(f.Top(), 20);
    EXPECT_EQ(f.size(), QSize(345, 623));
}

TEST_F(FormTest, DisabledFrameKeepsTheMouseFromItsControls)
{
    TForm1& f = layoutOnly();
    f.show();
    f.SpeedButton10->hide();
    // Disabled as laid out: a click on the folder label does nothing, and the label keeps
    // its own look (it is not disabled itself).
    EXPECT_TRUE(f.ShadowLabel1->isEnabled());
    QTest::mouseClick(f.GroupBox14->childAt(f.ShadowLabel1->geometry().center()), Qt::LeftButton);
    EXPECT_TRUE(plat.foldersOpened.empty());
    f.GroupBox14->SetEnabled(true);
    QTest::mouseClick(f.ShadowLabel1, Qt::LeftButton);
    ASSERT_EQ(plat.foldersOpened.size(), 1u);
    EXPECT_EQ(plat.foldersOpened[0], QStringLiteral("C:\\"));
}

TEST_F(FormTest, PictureButtonsNeverTakeFocusAndGreyWhenDisabled)
{
    TForm1& f = layoutOnly();
    f.show();
    f.GroupBox14->SetEnabled(true);
    f.SpeedButton10->hide();
    f.NumSpinEdit9->setEnabled(true);
    f.NumSpinEdit9->setFocus();
    QTest::mouseClick(f.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(f.SpeedButton1->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(f.SpeedButton1->hasFocus());

    f.SpeedButton5->setEnabled(false);
    const QImage grey = f.SpeedButton5->grab().toImage();
    const QPoint c = f.SpeedButton5->rect().center();
    bool allGrey = true;
    for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) {
            const QColor px = grey.pixelColor(c + QPoint(dx, dy));
            allGrey &= px.red() == px.green() && px.green() == px.blue();
        }
    EXPECT_TRUE(allGrey);
}

TEST_F(FormTest, HintsWithALineBreakShowOnTwoLines)
{
    TForm1& f = layoutOnly();
    EXPECT_EQ(f.GroupBox2->toolTip(), QString::fromUtf8("   Wybór języka \nChoose language"));
    EXPECT_EQ(hint(f.GroupBox2), QString::fromUtf8("   Wybór języka \r\nChoose language"));
}

TEST_F(FormTest, LabelsResizeFromTheirLeftEdgeUnlessFixed)
{
    TForm1& f = layoutOnly();
    const int width = f.Label2->width();
    f.Label2->SetCaption(QStringLiteral("BRIGHTNESS"));
    EXPECT_EQ(f.Label2->x(), 46);
    EXPECT_GT(f.Label2->width(), width);
    f.Label28->SetCaption(QStringLiteral("CONTRAST"));
    EXPECT_EQ(f.Label28->size(), QSize(41, 20));
    f.ShadowLabel1->SetCaption(QStringLiteral("a very long settings file name.tarlo"));
    EXPECT_EQ(f.ShadowLabel1->size(), QSize(121, 13));
}

// Tab follows the layout's tab order and, however long it is pressed, lands only on controls
// the user can see: never on the buffers under the display.
TEST_F(FormTest, TabGoesFromOneVisibleControlToTheNext)
{
    TForm1& f = layoutOnly();
    f.show();
    // Everything that can take the focus at some time, at once.
    f.ToggleSwitch1->show();
    for (QWidget* w :
         std::initializer_list<QWidget*>{f.CheckBox1, f.NumSpinEdit7, f.NumSpinEdit8, f.NumSpinEdit11,
                                         f.NumSpinEdit12, f.NumSpinEdit9, f.NumSpinEdit10})
        w->setEnabled(true);
    QApplication::setActiveWindow(&f);
    f.ToggleSwitch1->setFocus(Qt::TabFocusReason);
    const std::vector<QWidget*> expected = {f.CheckBox1,     f.NumSpinEdit7, f.NumSpinEdit8,  f.NumSpinEdit11,
                                            f.NumSpinEdit12, f.NumSpinEdit9, f.NumSpinEdit10, f.ComboBox1};
    std::vector<QWidget*> reached;
    for (std::size_t i = 0; i < 2 * expected.size(); ++i) {
        QTest::keyClick(f.focusWidget(), Qt::Key_Tab);
        QWidget* w = f.focusWidget();
        ASSERT_NE(w, nullptr);
        // What the user sees at the focused control's centre is that control.
        QWidget* top = f.childAt(centreIn(w, &f));
        EXPECT_TRUE(top == w || w->isAncestorOf(top)) << qPrintable(w->objectName());
        // The port box's editor stands for the box.
        if (reached.size() < expected.size())
            reached.push_back(w->parentWidget() == f.ComboBox1 ? f.ComboBox1 : w);
    }
    EXPECT_EQ(reached, expected);
}

TEST_F(FormTest, EnteringThePortBoxIsAFocusMoveFromAnotherControl)
{
    TForm1& f = layoutOnly();
    int entered = 0;
    f.ComboBox1->OnEnter = [&](QObject*) { ++entered; };
    // The focus coming back from the drop-down list or from another window is no entry: a
    // refresh then would drop the picked item, or bring its message box back again and again.
    for (Qt::FocusReason reason : {Qt::PopupFocusReason, Qt::ActiveWindowFocusReason}) {
        QFocusEvent back(QEvent::FocusIn, reason);
        QCoreApplication::sendEvent(f.ComboBox1, &back);
    }
    EXPECT_EQ(entered, 0);
    for (Qt::FocusReason reason : {Qt::MouseFocusReason, Qt::TabFocusReason}) {
        QFocusEvent in(QEvent::FocusIn, reason);
        QCoreApplication::sendEvent(f.ComboBox1, &in);
    }
    EXPECT_EQ(entered, 2);
}

TEST_F(FormTest, ErrorsAreReportedWithTheErrorIconAndAFinalFullStop)
{
    TForm1& f = layoutOnly();
    f.ShowError(QStringLiteral("'X' is not a valid integer value"));
    f.ShowError(QStringLiteral("Disk full."));
    ASSERT_EQ(plat.messages.size(), 2u);
    EXPECT_EQ(plat.messages[0].text, QStringLiteral("'X' is not a valid integer value."));
    EXPECT_EQ(plat.messages[1].text, QStringLiteral("Disk full."));
    EXPECT_TRUE(plat.messages[0].error);
    EXPECT_EQ(plat.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
}
