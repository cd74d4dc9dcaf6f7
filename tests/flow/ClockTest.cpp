// The tick: clock texts, the switch offered with a port name, the port restart and the
// no-data check. The clock is scripted and the tick is run by hand.

#include "FlowFixture.h"

#include "ProgramState.h"

namespace {
bool shown(const QWidget* w) { return !w->isHidden(); }
} // namespace

class ClockTest : public FlowTest {
protected:
    // Counts the port's closes and opens from here on.
    void countRestarts()
    {
        form->ComPort->OnAfterClose = [this](QObject*) { ++closes; };
        form->ComPort->OnAfterOpen = [this](QObject*) { ++opens; };
    }
    void dirtyBuffers()
    {
        form->ReceiveText().setText(QStringLiteral("7,0"));
        form->ShowReceiveBuffer();
        form->SetFrameBufferText(QStringLiteral("7,05\r\n"));
    }
    void expectBuffersReset()
    {
        EXPECT_EQ(form->ReceiveText().text(), QStringLiteral("\r\n"));
        EXPECT_EQ(form->FrameBufferText(), QStringLiteral("\r\n"));
        EXPECT_EQ(form->Memo->Text(), form->Memo1->Text());
    }
    void setValueLabels(const QString& text)
    {
        for (TLabel* l : {form->Label7, form->Label11, form->Label8, form->Label9, form->Label17,
                          form->Label23, form->Label12})
            l->SetCaption(text);
    }
    void expectBlanked(bool blanked)
    {
        for (TLabel* l :
             {form->Label7, form->Label11, form->Label8, form->Label9, form->Label17, form->Label23})
            EXPECT_EQ(l->Caption() == QLatin1String("0.00"), blanked) << l->objectName().toStdString();
        EXPECT_EQ(form->Label12->Caption() == QLatin1String("00"), blanked);
    }

    int closes = 0, opens = 0;
};

TEST_F(ClockTest, TimeDateAndWeekdayInBothLanguages)
{
    const char* polish[] = {"Niedziela", "Poniedziałek", "Wtorek", "Środa", "Czwartek", "Piątek", "Sobota"};
    const char* english[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    openWindow();
    for (int i = 0; i < 7; ++i) {
        const QDate day(2016, 10, 2 + i); // 2016-10-02 is a Sunday
        pf.clock = QDateTime(day, QTime(9, 7, 3));
        form->Image12Click(form.get());
        tick();
        EXPECT_EQ(form->Label5->Caption(), QStringLiteral("09:07:03"));
        EXPECT_EQ(form->Label4->Caption(), day.toString(QStringLiteral("yyyy-MM-dd")));
        EXPECT_EQ(form->Label3->Caption(), QString::fromUtf8(polish[i]));
        EXPECT_EQ(State().ClockMinute, QStringLiteral("07"));
        form->Image15Click(form.get());
        tick();
        EXPECT_EQ(form->Label3->Caption(), QString::fromLatin1(english[i]));
    }
    pf.clock = QDateTime(QDate(2016, 10, 5), QTime(23, 59, 58));
    tick();
    EXPECT_EQ(form->Label5->Caption(), QStringLiteral("23:59:58"));
    EXPECT_EQ(form->Label4->Caption(), QStringLiteral("2016-10-05"));
    EXPECT_EQ(form->Label3->Caption(), QStringLiteral("Wednesday"));
    EXPECT_EQ(State().ClockMinute, QStringLiteral("59"));
}

TEST_F(ClockTest, SwitchOfferedOnlyWithAPortName)
{
    openWindow();
    form->ComboBox1->SetText(QString());
    tick();
    EXPECT_TRUE(form->ToggleSwitch1->isHidden());
    EXPECT_TRUE(shown(form->Image7));
    form->ComboBox1->SetText(QStringLiteral("COM3"));
    tick();
    EXPECT_TRUE(shown(form->ToggleSwitch1));
    EXPECT_TRUE(form->Image7->isHidden());
}

TEST_F(ClockTest, RestartsThePortOnEveryTickOfTheRestartSeconds)
{
    PtyPeer pty;
    openWindow();
    at(18, 30, 1);
    connectTo(pty.qPath());
    ASSERT_TRUE(form->ComPort->Connected());
    countRestarts();

    for (int s : {5, 20, 35, 50}) {
        SCOPED_TRACE(s);
        closes = opens = 0;
        for (int ms : {0, 300, 900}) {
            pf.clock.setTime(QTime(18, 30, s, ms));
            dirtyBuffers();
            tick();
            expectBuffersReset();
        }
        EXPECT_EQ(closes, 3);
        EXPECT_EQ(opens, 3);
        EXPECT_TRUE(form->ComPort->Connected());
        EXPECT_TRUE(shown(form->SpeedButton3));
        EXPECT_TRUE(shown(form->SpeedButton4));
        EXPECT_TRUE(form->SpeedButton13->isHidden());
        EXPECT_TRUE(form->SpeedButton14->isHidden());
    }
    // Other seconds leave the port and the buffers alone.
    closes = opens = 0;
    for (int s : {4, 6, 19, 21, 36, 51}) {
        dirtyBuffers();
        at(18, 30, s);
        EXPECT_EQ(form->ReceiveText().text(), QStringLiteral("7,0"));
    }
    EXPECT_EQ(closes + opens, 0);
    // The restarted port still delivers.
    EXPECT_TRUE(feedRecord(pty));
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(ClockTest, NoRestartWithTheSwitchOff)
{
    PtyPeer pty;
    openWindow();
    choosePort(pty.qPath());
    countRestarts();
    dirtyBuffers();
    at(18, 30, 5);
    EXPECT_EQ(form->Label5->Caption(), QStringLiteral("18:30:05"));
    EXPECT_EQ(closes + opens, 0);
    EXPECT_EQ(form->ReceiveText().text(), QStringLiteral("7,0"));
    EXPECT_EQ(form->FrameBufferText(), QStringLiteral("7,05\r\n"));
    // Nor any blanking, however long it stays silent.
    setValueLabels(QStringLiteral("x"));
    for (int s = 6; s <= 30; ++s)
        at(18, 30, s);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("x"));
}

TEST_F(ClockTest, SilenceAfterARestartBlanksTheValuesNineSecondsOn)
{
    PtyPeer pty;
    openWindow();
    at(18, 29, 58);
    connectTo(pty.qPath());
    ASSERT_TRUE(feedRecord(pty));
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.05"));
    for (int s = 0; s <= 4; ++s)
        at(18, 30, s); // digits seen before the restart do not count after it

    at(18, 30, 5); // silent restart
    for (int s = 6; s <= 13; ++s) {
        at(18, 30, s);
        at(18, 30, s); // several ticks a second change nothing
        expectBlanked(false);
    }
    at(18, 30, 14);
    expectBlanked(true);
    EXPECT_EQ(State().SecondDigitCount, 0);
}

TEST_F(ClockTest, ARecordAfterTheRestartPreventsTheBlanking)
{
    PtyPeer pty;
    openWindow();
    at(18, 29, 58);
    connectTo(pty.qPath());
    at(18, 30, 5);
    for (int s = 6; s <= 9; ++s)
        at(18, 30, s);
    at(18, 30, 10);
    ASSERT_TRUE(feedRecord(pty));
    for (int s = 11; s <= 14; ++s)
        at(18, 30, s);
    expectBlanked(false);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.05"));
    EXPECT_EQ(form->Label12->Caption(), QStringLiteral("05"));
}

TEST_F(ClockTest, BytesWithoutARecordAlsoPreventTheBlanking)
{
    PtyPeer pty;
    openWindow();
    at(18, 29, 58);
    connectTo(pty.qPath());
    setValueLabels(QStringLiteral("x"));
    at(18, 30, 5);
    at(18, 30, 8);
    pty.send("7,0");
    ASSERT_TRUE(waitFor([&] { return !form->ReceiveText().isReset(); }));
    for (int s = 9; s <= 14; ++s)
        at(18, 30, s);
    expectBlanked(false);
}

TEST_F(ClockTest, FailingReopenIsToldAfterTheTickAndRecoveryGoesOnWhileItsBoxIsOpen)
{
    PtyPeer pty;
    const QString link = QDir(work.path()).filePath(QStringLiteral("tarlo-tty"));
    ASSERT_TRUE(QFile::link(pty.qPath(), link));
    openWindow();
    at(18, 30, 1);
    connectTo(link);
    ASSERT_TRUE(form->ComPort->Connected());
    form->CheckBox1->click(); // logging on
    at(18, 30, 4);
    ASSERT_TRUE(QFile::remove(link)); // the adapter is gone

    // Every tick of the restart second tries again; none of them opens a box.
    for (int ms : {0, 10, 500, 990})
        pf.clock.setTime(QTime(18, 30, 5, ms)), tick();
    EXPECT_TRUE(pf.messages.empty()) << "a box opened inside the tick";
    EXPECT_FALSE(form->ComPort->Connected());
    EXPECT_TRUE(shown(form->SpeedButton13)); // the tick ended at the failure: grey buttons stay

    // The box opens from the event loop, once. While nobody answers it the clock runs on: the
    // device comes back, the next restart reopens it, and a record is shown and logged.
    bool recovered = false;
    pf.onMessage = [&](const ScriptedPlatform::Message& m) {
        EXPECT_EQ(m.text, QStringLiteral("Unable to open com port (Error: 2)"));
        at(18, 30, 19);
        ASSERT_TRUE(QFile::link(pty.qPath(), link));
        at(18, 30, 20);
        EXPECT_TRUE(form->ComPort->Connected());
        EXPECT_EQ(pf.closedBoxes, std::vector<QString>{m.text}) << "the box goes once the port works";
        EXPECT_TRUE(shown(form->SpeedButton3));
        at(18, 30, 21);
        recovered = feedRecord(pty);
    };
    QCoreApplication::processEvents();
    pf.onMessage = nullptr;
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_TRUE(recovered);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.05"));
    const QStringList logs = QDir(work.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    ASSERT_EQ(logs.size(), 1);
    EXPECT_TRUE(readFile(logs[0]).endsWith("18:30:21;7,05;6,80;7,40;12,3;5;20;on;off\r\n"))
        << readFile(logs[0]).toStdString();

    // A later failing restart second, with no box open, is told again.
    ASSERT_TRUE(QFile::remove(link));
    at(18, 30, 35);
    QCoreApplication::processEvents();
    EXPECT_EQ(pf.messages.size(), 2u);
}

// The window's own schedule: the timer is never left running, each armed tick is run by hand
// with the scripted clock moved on by the delay the window armed.
class TickScheduleTest : public ClockTest {
protected:
    // Runs the ticks the window arms from the clock's current time until `end`; the times
    // they ran at.
    std::vector<QTime> runArmedTicksUntil(const QTime& end)
    {
        std::vector<QTime> ran;
        while (pf.clock.time() < end) {
            ran.push_back(pf.clock.time());
            form->RunTick();
            EXPECT_TRUE(form->Timer1->isActive());
            const int armed = form->Timer1->interval();
            form->Timer1->stop();
            pf.clock = pf.clock.addMSecs(armed);
        }
        return ran;
    }
};

TEST_F(TickScheduleTest, PortTextAndLanguageShowAtOnceWithoutATick)
{
    openWindow();
    pf.clock = QDateTime(QDate(2016, 10, 5), QTime(9, 0, 0)); // a Wednesday
    form->ComboBox1->SetText(QString());
    EXPECT_TRUE(form->ToggleSwitch1->isHidden());
    EXPECT_TRUE(shown(form->Image7));
    form->ComboBox1->SetText(QStringLiteral("C"));
    EXPECT_TRUE(shown(form->ToggleSwitch1));
    EXPECT_TRUE(form->Image7->isHidden());
    form->Image15Click(form.get());
    EXPECT_EQ(form->Label3->Caption(), QStringLiteral("Wednesday"));
    form->Image12Click(form.get());
    EXPECT_EQ(form->Label3->Caption(), QString::fromUtf8("Środa"));
}

TEST_F(TickScheduleTest, EveryArmedTickOfARestartSecondReopensThePort)
{
    PtyPeer pty;
    openWindow();
    at(18, 30, 1);
    connectTo(pty.qPath());
    ASSERT_TRUE(form->ComPort->Connected());
    countRestarts();

    pf.clock.setTime(QTime(18, 30, 4, 500));
    const std::vector<QTime> ran = runArmedTicksUntil(QTime(18, 30, 7, 500));
    std::vector<QTime> inRestart;
    for (const QTime& t : ran)
        if (t.second() == 5)
            inRestart.push_back(t);
    ASSERT_EQ(inRestart.size(), 100u);
    EXPECT_EQ(inRestart.front(), QTime(18, 30, 5, 1));
    EXPECT_EQ(inRestart.back(), QTime(18, 30, 5, 991));
    EXPECT_EQ(closes, 100);
    EXPECT_EQ(opens, 100);
    EXPECT_TRUE(form->ComPort->Connected());
    // Outside it, one tick just past each second.
    EXPECT_EQ(ran.size(), 103u);
    EXPECT_EQ(ran[ran.size() - 2], QTime(18, 30, 6, 1));
    EXPECT_EQ(ran.back(), QTime(18, 30, 7, 1));
    EXPECT_EQ(form->Label5->Caption(), QStringLiteral("18:30:07"));

    // The switch turned off in a restart second: no tick is armed before the next second.
    pf.clock.setTime(QTime(18, 30, 20, 300));
    form->RunTick();
    EXPECT_EQ(form->Timer1->interval(), 10);
    clickSwitch();
    EXPECT_EQ(form->Timer1->interval(), 701);
    form->Timer1->stop();
}

TEST_F(TickScheduleTest, AJumpOfTheClockIsFollowedAtTheNextSecond)
{
    openWindow();
    struct Step {
        QDateTime jumpTo;
        const char* time;
        const char* date;
        int armedMs;
    };
    const Step steps[] = {
        {QDateTime(QDate(2016, 10, 1), QTime(18, 30, 10, 0)), "18:30:10", "2016-10-01", 1001},
        {QDateTime(QDate(2016, 10, 1), QTime(17, 5, 59, 400)), "17:05:59", "2016-10-01", 601}, // back
        {QDateTime(QDate(2016, 10, 3), QTime(7, 0, 0, 990)), "07:00:00", "2016-10-03", 11},    // forward
        {QDateTime(QDate(2016, 10, 3), QTime(7, 0, 1, 1)), "07:00:01", "2016-10-03", 1000},
    };
    for (const Step& s : steps) {
        pf.clock = s.jumpTo;
        form->RunTick();
        EXPECT_EQ(form->Label5->Caption(), QLatin1String(s.time));
        EXPECT_EQ(form->Label4->Caption(), QLatin1String(s.date));
        EXPECT_EQ(form->Timer1->interval(), s.armedMs) << s.time;
        form->Timer1->stop();
    }
}
