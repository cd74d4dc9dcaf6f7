// Port listing, port choice, link buttons and the connection switch, through the window.

#include "FlowFixture.h"

#include "NumSpin.h"
#include "ProgramState.h"
#include "ToggleSwitch.h"

#include <functional>

namespace {

const QString kNoPorts =
    QString::fromUtf8("                                  Brak zainstalowanych portów COM!\r\n\r\n"
                      "1. Podłącz bezprzewodowy nadajnik do dowolnego USB tego komputera\r\n"
                      "2. Sprawdź w Menadżeże Urządzeń, czy się poprawnie zainstalował COM");

QStringList items(const TComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}

bool shown(const QWidget* w) { return !w->isHidden(); }

} // namespace

class PortListTest : public FlowTest {};

TEST_F(PortListTest, ListsRealPortsByDeviceNumber)
{
    addTty(QStringLiteral("ttyUSB10"), QStringLiteral("188:10"), true);
    addTty(QStringLiteral("ttyUSB9"), QStringLiteral("188:9"), true);
    addTty(QStringLiteral("ttyACM0"), QStringLiteral("166:0"), true);
    addTty(QStringLiteral("ttyS1"), QStringLiteral("4:65"), true, QStringLiteral("0")); // placeholder UART
    addTty(QStringLiteral("ttyS2"), QStringLiteral("4:66"), true); // no type: not known real
    addTty(QStringLiteral("ttyS0"), QStringLiteral("4:64"), true, QStringLiteral("4")); // a real 16550A
    addTty(QStringLiteral("tty0"), QStringLiteral("4:0"), false);                       // console
    addTty(QStringLiteral("ptmx"), QStringLiteral("5:2"), false);                       // pty multiplexer
    pf.devices = sysfs();
    openWindow();

    form->SpeedButton5->click();
    EXPECT_EQ(items(form->ComboBox1),
              (QStringList{"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyUSB9", "/dev/ttyUSB10"}));
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(PortListTest, NoPortAtAllGivesThePolishMessageInEitherLanguage)
{
    addTty(QStringLiteral("tty0"), QStringLiteral("4:0"), false);
    pf.devices = sysfs();
    openWindow();
    form->Image15Click(form.get()); // English: the message exists in Polish only

    form->SpeedButton5->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_EQ(pf.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
    EXPECT_EQ(pf.messages[0].text, kNoPorts);
    EXPECT_EQ(form->ComboBox1->count(), 0);
}

TEST_F(PortListTest, UnreadableListIsARegistryError)
{
    addTty(QStringLiteral("ttyUSB0"), QStringLiteral("188:0"), true);
    openWindow();

    pf.devices = sysfs() + QStringLiteral("/missing");
    form->SpeedButton5->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_EQ(pf.messages[0].text, QStringLiteral("Registry error (Error: 2)"));

    // A regular file where the class folder should be.
    writeFile(QStringLiteral("notadir"), "x");
    pf.devices = QDir(work.path()).filePath(QStringLiteral("notadir"));
    form->SpeedButton5->click();
    ASSERT_EQ(pf.messages.size(), 2u);
    EXPECT_EQ(pf.messages[1].text, QStringLiteral("Registry error (Error: 20)"));
}

TEST_F(PortListTest, ChosenNameSurvivesRefreshAndEnteringEmptiesAnUnchosenText)
{
    addTty(QStringLiteral("ttyUSB0"), QStringLiteral("188:0"), true);
    addTty(QStringLiteral("ttyUSB1"), QStringLiteral("188:1"), true);
    pf.devices = sysfs();
    openWindow();
    ASSERT_EQ(form->ComboBox1->Text(), QStringLiteral("COM1")); // from the first run

    // Entering the box before any port was applied: the start-up text goes.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(form->ComboBox1, &in);
    EXPECT_EQ(form->ComboBox1->Text(), QString());
    EXPECT_EQ(form->ComboBox1->count(), 2);
    tick();
    EXPECT_TRUE(form->ToggleSwitch1->isHidden());
    EXPECT_TRUE(shown(form->Image7));

    choosePort(QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(form->Label29->Caption(), QStringLiteral("/dev/ttyUSB1"));
    for (int i = 0; i < 2; ++i) {
        form->SpeedButton5->click();
        EXPECT_EQ(form->ComboBox1->Text(), QStringLiteral("/dev/ttyUSB1"));
        EXPECT_EQ(items(form->ComboBox1), (QStringList{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    }
    QApplication::sendEvent(form->ComboBox1, &in);
    EXPECT_EQ(form->ComboBox1->Text(), QStringLiteral("/dev/ttyUSB1"));
}

TEST_F(PortListTest, TheStoredPortStaysThroughEnteringRefreshingAndClosing)
{
    addTty(QStringLiteral("ttyUSB0"), QStringLiteral("188:0"), true);
    pf.devices = sysfs();
    writeFile(QStringLiteral("tarlo02.ini"), "/dev/ttyUSB7\r\n100\r\n50\r\n361\r\n662\r\nPL\r\nUSB\r\n");
    openWindow();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(form->ComboBox1, &in);
    form->SpeedButton5->click();
    EXPECT_EQ(form->ComboBox1->Text(), QStringLiteral("/dev/ttyUSB7"));
    tick();
    EXPECT_TRUE(shown(form->ToggleSwitch1));
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(readFile(QStringLiteral("tarlo02.ini")).startsWith("/dev/ttyUSB7\r\n"));
}

struct ChangeCase {
    const char* typed;
    const char* port;
    const char* textAfter;
};

class ComboBoxChangeTest : public FlowTest, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(ComboBoxChangeTest, AppliesTheTextAsPortName)
{
    const ChangeCase c = GetParam();
    openWindow();
    choosePort(QString::fromLatin1(c.typed));
    EXPECT_EQ(QString::fromStdString(form->ComPort->Port()), QString::fromLatin1(c.port));
    EXPECT_EQ(form->Label29->Caption(), QString::fromLatin1(c.port));
    EXPECT_EQ(form->ComboBox1->Text(), QString::fromLatin1(c.textAfter));
}

INSTANTIATE_TEST_SUITE_P(Typed, ComboBoxChangeTest,
                         ::testing::Values(ChangeCase{"XYZ", "XYZ", ""}, ChangeCase{"COM7", "COM7", "COM7"},
                                           ChangeCase{"Otty", "Otty", "Otty"}, ChangeCase{"M1", "M1", "M1"},
                                           ChangeCase{"/dev/ttyUSB0", "/dev/ttyUSB0", "/dev/ttyUSB0"},
                                           ChangeCase{"com3", "com3", ""}, ChangeCase{"", "COM1", ""}));

// --- the connection switch ---

class SwitchTest : public FlowTest {
protected:
    // The working arrangement; wireless picks Image4, cable Image8.
    void expectWorking(int linkType)
    {
        TForm1& f = *form;
        EXPECT_TRUE(f.ComPort->Connected());
        EXPECT_TRUE(f.SpeedButton8->isHidden());
        EXPECT_TRUE(f.SpeedButton9->isHidden());
        EXPECT_EQ(shown(f.Image4), linkType == 1);
        EXPECT_EQ(shown(f.Image8), linkType == 0);
        EXPECT_FALSE(f.ComboBox1->isEnabled());
        EXPECT_TRUE(f.SpeedButton5->isHidden());
        EXPECT_TRUE(shown(f.SpeedButton7));
        EXPECT_TRUE(f.GroupBox14->Enabled());
        for (QWidget* w : {(QWidget*)f.SpeedButton10, (QWidget*)f.SpeedButton11, (QWidget*)f.SpeedButton12,
                           (QWidget*)f.SpeedButton13, (QWidget*)f.SpeedButton14, (QWidget*)f.Panel2})
            EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
        for (TNumSpinEdit* s : {f.NumSpinEdit7, f.NumSpinEdit8, f.NumSpinEdit9, f.NumSpinEdit10,
                                f.NumSpinEdit11, f.NumSpinEdit12})
            EXPECT_TRUE(s->isEnabled()) << s->objectName().toStdString();
        for (TLabel* l : {f.Label3, f.Label4, f.Label5, f.Label13, f.Label14, f.Label19})
            EXPECT_TRUE(l->isEnabled()) << l->objectName().toStdString();
        EXPECT_TRUE(f.Image5->isHidden());
        EXPECT_TRUE(shown(f.Image6));
        EXPECT_TRUE(f.CheckBox1->isEnabled());
    }
    void expectIdle(int linkType)
    {
        TForm1& f = *form;
        EXPECT_FALSE(f.ComPort->Connected());
        EXPECT_EQ(shown(f.SpeedButton8), linkType == 0);
        EXPECT_EQ(shown(f.SpeedButton9), linkType == 1);
        EXPECT_TRUE(f.ComboBox1->isEnabled());
        EXPECT_TRUE(shown(f.SpeedButton5));
        EXPECT_TRUE(f.SpeedButton7->isHidden());
        EXPECT_FALSE(f.GroupBox14->Enabled());
        for (QWidget* w : {(QWidget*)f.SpeedButton10, (QWidget*)f.SpeedButton11, (QWidget*)f.SpeedButton12,
                           (QWidget*)f.SpeedButton13, (QWidget*)f.SpeedButton14, (QWidget*)f.Panel2})
            EXPECT_TRUE(shown(w)) << w->objectName().toStdString();
        for (TNumSpinEdit* s : {f.NumSpinEdit7, f.NumSpinEdit8, f.NumSpinEdit9, f.NumSpinEdit10,
                                f.NumSpinEdit11, f.NumSpinEdit12})
            EXPECT_FALSE(s->isEnabled()) << s->objectName().toStdString();
        // Label10 (ALARM) shows from start-up on; the disconnect hides it with the values.
        for (QWidget* w : {(QWidget*)f.Label7, (QWidget*)f.Label8, (QWidget*)f.Label9, (QWidget*)f.Label11,
                           (QWidget*)f.Label12, (QWidget*)f.Label17, (QWidget*)f.Label23, (QWidget*)f.Image4})
            EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
        for (TLabel* l : {f.Label3, f.Label4, f.Label5})
            EXPECT_FALSE(l->isEnabled()) << l->objectName().toStdString();
        EXPECT_TRUE(shown(f.Image5));
        EXPECT_TRUE(f.Image6->isHidden());
        EXPECT_FALSE(f.CheckBox1->isEnabled());
    }
};

TEST_F(SwitchTest, ConnectAndDisconnectWithEitherLink)
{
    PtyPeer pty;
    openWindow();
    for (int link : {0, 1}) {
        SCOPED_TRACE(link);
        if (link == 1)
            form->SpeedButton8->click();
        ASSERT_EQ(State().LinkType, link);
        form->ReceiveText().setText(QStringLiteral("old text"));
        pf.pauses.clear();
        connectTo(pty.qPath());
        ASSERT_TRUE(form->ToggleSwitch1->StateOn());
        EXPECT_EQ(form->ReceiveText().text(), QStringLiteral("\r\n"));
        EXPECT_EQ(pf.pauses, std::vector<int>(30, 10));
        expectWorking(link);
        EXPECT_EQ(hint(form->ToggleSwitch1), QStringLiteral("Rozłącz ..."));

        form->ReceiveText().setText(QStringLiteral("old text"));
        clickSwitch();
        ASSERT_FALSE(form->ToggleSwitch1->StateOn());
        EXPECT_EQ(form->ReceiveText().text(), QStringLiteral("\r\n"));
        expectIdle(link);
        EXPECT_TRUE(form->Label10->isHidden());
        EXPECT_EQ(hint(form->ToggleSwitch1), QString::fromUtf8("Połącz ..."));
    }
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(SwitchTest, WorkingArrangementComesOnlyAfterThePause)
{
    PtyPeer pty;
    openWindow();
    bool panelCoveredDuringPauses = true;
    pf.onPause = [&](int) { panelCoveredDuringPauses = panelCoveredDuringPauses && shown(form->Panel2); };
    connectTo(pty.qPath());
    EXPECT_TRUE(panelCoveredDuringPauses);
    EXPECT_TRUE(form->Panel2->isHidden());
}

TEST_F(SwitchTest, FailedOpenLeavesTheSwitchOffAndNoPortOpen)
{
    openWindow();
    const QString missing = QDir(work.path()).filePath(QStringLiteral("no-such-tty"));
    connectTo(missing);
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_EQ(pf.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
    EXPECT_EQ(pf.messages[0].text, QStringLiteral("Unable to open com port (Error: 2)"));
    EXPECT_FALSE(form->ToggleSwitch1->StateOn());
    expectIdle(0);
    EXPECT_TRUE(pf.pauses.empty());

    // The device appears at that path: the restart seconds open nothing behind the user's back.
    PtyPeer pty;
    ASSERT_TRUE(QFile::link(pty.qPath(), missing));
    at(18, 30, 5);
    EXPECT_FALSE(form->ComPort->Connected());
    expectIdle(0);
    EXPECT_EQ(pf.messages.size(), 1u);
}

TEST_F(SwitchTest, APressHeldThroughARestartSecondOpensNoPort)
{
    PtyPeer pty;
    openWindow();
    at(18, 30, 3);
    choosePort(pty.qPath());
    tick();
    TToggleSwitch* s = form->ToggleSwitch1;
    QTest::mousePress(s, Qt::LeftButton, {}, s->rect().center());
    ASSERT_TRUE(s->StateOn()); // the picture flips at the press
    at(18, 30, 5);
    EXPECT_FALSE(form->ComPort->Connected());
    QTest::mouseRelease(s, Qt::LeftButton, {}, QPoint(s->width() + 20, s->height() + 20));
    at(18, 30, 5);
    EXPECT_FALSE(s->StateOn());
    EXPECT_FALSE(form->ComPort->Connected());
    expectIdle(0); // the send buttons' grey covers too
}

TEST_F(SwitchTest, LinkButtonsSwapAndReturnToCable)
{
    openWindow();
    ASSERT_EQ(State().LinkType, 0);
    ASSERT_TRUE(shown(form->SpeedButton8));
    form->SpeedButton8->click();
    EXPECT_EQ(State().LinkType, 1);
    EXPECT_TRUE(shown(form->SpeedButton9));
    EXPECT_TRUE(form->SpeedButton8->isHidden());
    form->SpeedButton9->click();
    EXPECT_EQ(State().LinkType, 0);
    EXPECT_TRUE(shown(form->SpeedButton8));
    EXPECT_TRUE(form->SpeedButton9->isHidden());
}

TEST_F(SwitchTest, HintFollowsTheLanguageAtTheClick)
{
    PtyPeer pty;
    openWindow();
    form->Image15Click(form.get());
    connectTo(pty.qPath());
    EXPECT_EQ(hint(form->ToggleSwitch1), QStringLiteral("Disconnect ..."));
    form->Image12Click(form.get());
    clickSwitch();
    EXPECT_EQ(hint(form->ToggleSwitch1), QString::fromUtf8("Połącz ..."));
    form->Image15Click(form.get());
    clickSwitch();
    EXPECT_EQ(hint(form->ToggleSwitch1), QStringLiteral("Disconnect ..."));
    form->Image12Click(form.get());
    clickSwitch();
    EXPECT_EQ(hint(form->ToggleSwitch1), QString::fromUtf8("Połącz ..."));
}

TEST_F(SwitchTest, Label8IsNotGreyedAfterReconnecting)
{
    PtyPeer pty;
    openWindow();
    connectTo(pty.qPath());
    clickSwitch();
    clickSwitch();
    ASSERT_TRUE(form->ComPort->Connected());
    EXPECT_TRUE(form->Label8->isEnabled());
    ASSERT_TRUE(feedRecord(pty));
    EXPECT_TRUE(shown(form->Label8));
    EXPECT_TRUE(form->Label8->isEnabled());
}

// --- keyboard and the switch ---

// The box completes nothing: what the user sees is the port opened and stored.
TEST_F(PortListTest, TypedTextIsThePortWithoutCompletion)
{
    addTty(QStringLiteral("ttyS0"), QStringLiteral("4:64"), true, QStringLiteral("4"));
    addTty(QStringLiteral("ttyUSB0"), QStringLiteral("188:0"), true);
    pf.devices = sysfs();
    openWindow();
    QApplication::setActiveWindow(form.get());
    form->ComboBox1->setFocus(Qt::MouseFocusReason); // entering the box lists the ports
    ASSERT_EQ(form->ComboBox1->count(), 2);
    const struct {
        const char *typed, *text;
    } cases[] = {{"/dev/ttyS", "/dev/ttyS"}, {"/dev/ttyUSB", "/dev/ttyUSB"}, {"XYZ", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        form->ComboBox1->lineEdit()->clear();
        QTest::keyClicks(form->ComboBox1->lineEdit(), QString::fromLatin1(c.typed));
        tick();
        EXPECT_EQ(form->ComboBox1->Text(), QString::fromLatin1(c.text));
        // The switch is offered only for a name the user can see, and that name is the port.
        EXPECT_EQ(form->ToggleSwitch1->isHidden(), *c.text == 0);
        if (*c.text) {
            EXPECT_EQ(form->ComPort->Port(), c.text);
        }
    }
}

TEST_F(SwitchTest, TabGoesOnceRoundTheWindow)
{
    PtyPeer pty;
    openWindow();
    at(18, 30, 1);
    connectTo(pty.qPath());
    ASSERT_TRUE(form->ComPort->Connected());
    QApplication::setActiveWindow(form.get());
    form->ToggleSwitch1->setFocus(Qt::TabFocusReason);
    const std::vector<QWidget*> expected =
        {form->CheckBox1,     form->NumSpinEdit7,  form->NumSpinEdit8,
         form->NumSpinEdit11, form->NumSpinEdit12, form->NumSpinEdit9,
         form->NumSpinEdit10, form->ToggleSwitch1}; // the port box is disabled while connected
    std::vector<QWidget*> seen;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QTest::keyClick(form->focusWidget(), Qt::Key_Tab);
        QWidget* w = form->focusWidget();
        // The port box's editor stands for the box.
        seen.push_back(w && w->parentWidget() == form->ComboBox1 ? form->ComboBox1 : w);
    }
    EXPECT_EQ(seen, expected);
    EXPECT_FALSE(form->Memo->Text().contains(u'\t'));
}

// A double click as the window system delivers it: press, release, double-click press, release.
void doubleClick(QWidget* w, QPoint at)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    QMouseEvent second(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                       Qt::NoModifier);
    QApplication::sendEvent(w, &second);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
}

// Whatever way the switch is toggled, the picture is on exactly when the port is open.
TEST_F(SwitchTest, ThePictureAlwaysShowsTheConnection)
{
    PtyPeer pty;
    openWindow();
    at(18, 30, 1);
    choosePort(pty.qPath());
    tick();
    TToggleSwitch* s = form->ToggleSwitch1;
    const QPoint in = s->rect().center(), out(s->width() + 20, s->height() + 20);
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"click", [&] { clickSwitch(); }},
        {"space",
         [&] {
             s->setFocus();
             QTest::keyClick(s, Qt::Key_Space);
         }},
        {"double click", [&] { doubleClick(s, in); }},
        {"release outside",
         [&] {
             QTest::mousePress(s, Qt::LeftButton, {}, in);
             QTest::mouseRelease(s, Qt::LeftButton, {}, out);
         }},
    };
    for (const auto& [way, toggle] : ways) {
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(std::string(way) + (round ? " again" : ""));
            toggle();
            EXPECT_EQ(s->StateOn(), form->ComPort->Connected());
            EXPECT_EQ(s->StateOn(), form->Panel2->isHidden()); // the grey cover goes while connected
        }
    }
}
