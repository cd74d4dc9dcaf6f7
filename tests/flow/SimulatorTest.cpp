// End to end with the controller simulator on a pseudo-terminal behind a symlink: the
// window connects with the switch, shows the records, sends settings, and rides out
// silence, a hang-up and an unplug with replug.

#include "FlowFixture.h"

#include "NumSpin.h"
#include "ProgramState.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <ctime>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

class SimulatorTest : public FlowTest {
protected:
    void TearDown() override
    {
        if (sim.state() != QProcess::NotRunning) {
            sim.terminate();
            if (!sim.waitForFinished(3000))
                sim.kill();
            sim.waitForFinished(3000);
        }
        FlowTest::TearDown();
    }

    // Starts the simulator with its device behind a link in the test folder; returns once
    // the device path is announced.
    void startSim(const QStringList& extra)
    {
        link = QDir(work.path()).filePath(QStringLiteral("tarlo-link"));
        commandLog = QDir(work.path()).filePath(QStringLiteral("commands.log"));
        sim.setProcessChannelMode(QProcess::SeparateChannels);
        sim.start(QStringLiteral(TARLO02_SIM_PATH),
                  QStringList{"--link", link, "--command-log", commandLog, "--seed", "7"} + extra);
        ASSERT_TRUE(sim.waitForStarted(5000));
        ASSERT_TRUE(waitFor([&] { return sim.canReadLine(); }, 5000))
            << sim.readAllStandardError().toStdString();
        devicePaths << QString::fromLatin1(sim.readLine()).trimmed();
        ASSERT_TRUE(QFile::exists(link));
    }
    bool waitForRecord(int ms = 5000)
    {
        form->Label7->SetCaption(QStringLiteral("?"));
        return waitFor([&] { return form->Label7->Caption() != QLatin1String("?"); }, ms);
    }
    QByteArray commands()
    {
        QFile f(commandLog);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QProcess sim;
    QString link, commandLog;
    QStringList devicePaths;
};

TEST_F(SimulatorTest, ConnectShowSendAndDisconnect)
{
    startSim({"--interval", "100", "--kh", "5"});
    openWindow();
    at(18, 30, 1);
    connectTo(link);
    ASSERT_TRUE(form->ComPort->Connected());
    ASSERT_TRUE(waitForRecord());
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^\\d\\.\\d\\d$")).match(form->Label7->Caption()).hasMatch())
        << form->Label7->Caption().toStdString();
    EXPECT_FALSE(form->Label7->isHidden());
    EXPECT_EQ(State().FrameLines[RecordLine::Kh], QStringLiteral("5")); // the simulator's KH
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QStringLiteral("6,90"));

    form->NumSpinEdit7->SetValue(6.5L);
    form->NumSpinEdit12->SetValue(3);
    form->SpeedButton3->click();
    EXPECT_TRUE(waitFor([&] { return commands().contains("10001400701000605002000300000011"); }))
        << commands().toStdString();
    // The next records carry the new settings.
    EXPECT_TRUE(waitFor([&] {
        return State().FrameLines[RecordLine::PhMin] == QLatin1String("6,50") &&
               State().FrameLines[RecordLine::Kh] == QLatin1String("3") &&
               form->Label7->Caption() != QLatin1String("?");
    }));
    EXPECT_TRUE(pf.messages.empty());

    clickSwitch();
    EXPECT_FALSE(form->ComPort->Connected());
    EXPECT_FALSE(form->Panel2->isHidden());
    EXPECT_FALSE(form->GroupBox14->Enabled());
    EXPECT_TRUE(form->Label7->isHidden());
    EXPECT_TRUE(form->ComboBox1->isEnabled());
}

TEST_F(SimulatorTest, SilentControllerIsBlankedNineSecondsAfterARestart)
{
    startSim({"--interval", "600000"}); // one record, then silence
    openWindow();
    at(18, 30, 1);
    connectTo(link);
    ASSERT_TRUE(form->ComPort->Connected());
    waitForRecord(1000);
    form->Label7->SetCaption(QStringLiteral("7.30"));
    for (int s = 5; s <= 13; ++s) {
        at(18, 30, s);
        QTest::qWait(5);
    }
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.30"));
    at(18, 30, 14);
    for (TLabel* l : {form->Label7, form->Label11, form->Label8, form->Label9, form->Label17, form->Label23})
        EXPECT_EQ(l->Caption(), QStringLiteral("0.00")) << l->objectName().toStdString();
    EXPECT_EQ(form->Label12->Caption(), QStringLiteral("00"));
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(SimulatorTest, HangUpLeavesNoSpinningThreadAndDisconnects)
{
    startSim({"--interval", "100", "--hangup-after", "1"});
    openWindow();
    at(18, 30, 1);
    connectTo(link);
    ASSERT_TRUE(waitForRecord());
    ASSERT_TRUE(sim.waitForFinished(5000));

    // A second of events after the hang-up: the port's thread must not eat a core.
    QTest::qWait(100);
    const double cpu0 = cpuSeconds();
    QTest::qWait(1000);
    const double used = cpuSeconds() - cpu0;
    EXPECT_LT(used, 0.3) << "CPU seconds in one second after the hang-up";

    // The restart cannot reopen a device that is gone: told once, the window stays usable.
    at(18, 30, 5);
    at(18, 30, 5);
    QCoreApplication::processEvents(); // the box opens after the tick
    EXPECT_EQ(pf.messages.size(), 1u);
    clickSwitch();
    EXPECT_FALSE(form->ToggleSwitch1->StateOn());
    EXPECT_FALSE(form->ComPort->Connected());
    EXPECT_FALSE(form->Panel2->isHidden());
    EXPECT_TRUE(form->ComboBox1->isEnabled());
    EXPECT_FALSE(form->SpeedButton5->isHidden());
}

TEST_F(SimulatorTest, UnplugAndReplugBehindTheSameLinkIsPickedUpByTheRestart)
{
    startSim({"--interval", "100", "--unplug-after", "1", "--replug-after", "1"});
    openWindow();
    at(18, 30, 1);
    connectTo(link);
    ASSERT_TRUE(waitForRecord());

    // Replugged: the simulator announces its new device.
    ASSERT_TRUE(waitFor([&] { return sim.canReadLine(); }, 6000));
    devicePaths << QString::fromLatin1(sim.readLine()).trimmed();
    ASSERT_TRUE(waitFor([&] { return QFile::exists(link); }, 3000));
    EXPECT_EQ(QFile::symLinkTarget(link), devicePaths.last());

    at(18, 30, 20); // the port restart opens the new device
    EXPECT_TRUE(form->ComPort->Connected());
    EXPECT_TRUE(waitForRecord());
    EXPECT_TRUE(pf.messages.empty());

    clickSwitch();
    EXPECT_FALSE(form->ComPort->Connected());
    EXPECT_FALSE(form->Panel2->isHidden());
}
