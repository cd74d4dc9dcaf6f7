// The command buttons: sending the settings, taking them from the record, the factory
// settings and the controller restart, with a pseudo-terminal as the controller.

#include "FlowFixture.h"

#include "NumSpin.h"
#include "ProgramState.h"
#include "ShadowLabel.h"
#include "WriteTap.h"

namespace {

const QByteArray kStartFrame = "10001400701000609002000000000011";

struct Spins {
    long double phMin, phMax, threshold, kh, brightness, contrast;
};

} // namespace

class CommandsTest : public FlowTest {
protected:
    void SetUp() override
    {
        FlowTest::SetUp();
        openWindow();
        at(18, 30, 1);
        connectTo(pty.qPath());
        ASSERT_TRUE(form->ComPort->Connected());
        pf.pauses.clear();
    }
    void setSpins(const Spins& s)
    {
        form->NumSpinEdit7->SetValue(s.phMin);
        form->NumSpinEdit8->SetValue(s.phMax);
        form->NumSpinEdit11->SetValue(s.threshold);
        form->NumSpinEdit12->SetValue(s.kh);
        form->NumSpinEdit9->SetValue(s.brightness);
        form->NumSpinEdit10->SetValue(s.contrast);
    }
    Spins spins() const
    {
        return {form->NumSpinEdit7->Value(),  form->NumSpinEdit8->Value(), form->NumSpinEdit11->Value(),
                form->NumSpinEdit12->Value(), form->NumSpinEdit9->Value(), form->NumSpinEdit10->Value()};
    }
    void expectSpins(const Spins& s)
    {
        const Spins v = spins();
        EXPECT_NEAR(double(v.phMin), double(s.phMin), 1e-9);
        EXPECT_NEAR(double(v.phMax), double(s.phMax), 1e-9);
        EXPECT_NEAR(double(v.threshold), double(s.threshold), 1e-9);
        EXPECT_NEAR(double(v.kh), double(s.kh), 1e-9);
        EXPECT_NEAR(double(v.brightness), double(s.brightness), 1e-9);
        EXPECT_NEAR(double(v.contrast), double(s.contrast), 1e-9);
    }

    PtyPeer pty;
};

TEST_F(CommandsTest, SendingTheStartValuesWritesTheFrameAsElevenWrites)
{
    bool greyDuringPause = false;
    pf.onPause = [&](int ms) {
        if (ms == 800)
            greyDuringPause = !form->SpeedButton14->isHidden() && form->SpeedButton3->isHidden();
    };
    // The record must not change before the pause is over.
    QString recordLine2DuringPause = QStringLiteral("unset");
    pf.onPause = [&, base = pf.onPause](int ms) {
        base(ms);
        if (ms == 800)
            recordLine2DuringPause = State().FrameLines[RecordLine::PhMin];
    };

    writetap::start();
    form->SpeedButton3->click();
    const std::vector<std::string> writes = writetap::stop();

    EXPECT_EQ(pty.receiveBytes(), kStartFrame);
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i)
        expected.push_back(kStartFrame.mid(3 * i, 3).toStdString());
    expected.push_back("11");
    EXPECT_EQ(writes, expected);
    EXPECT_EQ(pf.pauses, std::vector<int>{800});
    EXPECT_TRUE(greyDuringPause);
    EXPECT_EQ(recordLine2DuringPause, QString());
    EXPECT_TRUE(form->SpeedButton14->isHidden());
    EXPECT_FALSE(form->SpeedButton3->isHidden());
    const FrameLines& r = State().FrameLines;
    EXPECT_EQ(r[RecordLine::PhMin], QStringLiteral("6,90"));
    EXPECT_EQ(r[RecordLine::PhMax], QStringLiteral("7,10"));
    EXPECT_EQ(r[RecordLine::Kh], QStringLiteral("0"));
    EXPECT_EQ(r[RecordLine::Alarm], QStringLiteral("20"));
    EXPECT_EQ(r[RecordLine::Brightness], QStringLiteral("100"));
    EXPECT_EQ(r[RecordLine::Contrast], QStringLiteral("14"));
    EXPECT_TRUE(pf.messages.empty());
}

struct SendCase {
    const char* name;
    Spins values;
    const char* frame;
    const char* line2;
    const char* line3;
};

class SendValuesTest : public CommandsTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendValuesTest, FrameAndRecordThenTakeGivesThemBack)
{
    const SendCase c = GetParam();
    setSpins(c.values);
    form->SpeedButton3->click();
    EXPECT_EQ(pty.receiveBytes(), QByteArray(c.frame));
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QString::fromLatin1(c.line2));
    EXPECT_EQ(State().FrameLines[RecordLine::PhMax], QString::fromLatin1(c.line3));

    setSpins({8.0L, 8.5L, 1.0L, 20, 50, 20});
    form->ShadowLabel1->SetCaption(QStringLiteral("ustawienia.tarlo"));
    form->SpeedButton4->click();
    expectSpins(c.values);
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("*.*"));
    EXPECT_TRUE(pty.receiveBytes(200).isEmpty()); // taking sends nothing
}

INSTANTIATE_TEST_SUITE_P(
    Values, SendValuesTest,
    ::testing::Values(
        SendCase{"StartValues",
                 {6.9L, 7.1L, 0.2L, 0, 100, 14},
                 "10001400701000609002000000000011",
                 "6,90",
                 "7,10"},
        SendCase{"HundredthsBelowTen",
                 {6.05L, 7.1L, 0.2L, 0, 100, 14},
                 "10001400701000600502000000000011",
                 "6,05",
                 "7,10"},
        SendCase{"Limits", {4.0L, 8.8L, 2.5L, 20, 5, 0}, "00500000808000400025002000000011", "4,00", "8,80"}),
    [](const auto& info) { return std::string(info.param.name); });

// A text typed and not yet committed is taken as leaving the edit would take it: clamped to
// the edit's limits and formatted, so the frame stays 32 characters of digits plus "11".
TEST_F(CommandsTest, TypedTextIsCommittedBeforeSendingAndSaving)
{
    struct Case {
        TNumSpinEdit* edit;
        const char* typed;
        const char* frame;
        const char* shown;
    };
    const Case cases[] = {
        {form->NumSpinEdit9, "1000", "10001400701000609002000000000011", "100"},
        {form->NumSpinEdit7, "-5", "10001400701000400002000000000011", "4,00"},
        {form->NumSpinEdit7, "12,5", "10001400701000807002000000000011", "8,70"},
        {form->NumSpinEdit11, "9", "10001400701000807025000000000011", "2,50"},
    };
    for (const Case& c : cases) {
        c.edit->setFocus();
        c.edit->selectAll();
        QTest::keyClicks(c.edit, QString::fromLatin1(c.typed));
        ASSERT_EQ(c.edit->text(), QString::fromLatin1(c.typed));
        form->SpeedButton3->click();
        EXPECT_EQ(pty.receiveBytes(), QByteArray(c.frame)) << c.typed;
        EXPECT_EQ(c.edit->text(), QString::fromLatin1(c.shown)) << c.typed;
    }

    // Saving takes the same committed values.
    form->NumSpinEdit10->setFocus();
    form->NumSpinEdit10->selectAll();
    QTest::keyClicks(form->NumSpinEdit10, QStringLiteral("99"));
    pf.saveAnswers = {QDir(work.path()).filePath(QStringLiteral("typed.tarlo"))};
    form->SpeedButton2->click();
    EXPECT_EQ(readFile(QStringLiteral("typed.tarlo")).split('\n').value(1), QByteArray("25\r"));
}

TEST_F(CommandsTest, TakingFromARecordFillsTheSpinEditsAndFields)
{
    ASSERT_TRUE(feedRecord(pty, {"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "75", "9"}));
    form->SpeedButton4->click();
    expectSpins({6.8L, 7.4L, 0.2L, 5, 75, 9});
    const SettingsFields& f = State().SettingsFields;
    EXPECT_EQ(f[SettingsField::Brightness], QStringLiteral("75"));
    EXPECT_EQ(f[SettingsField::Contrast], QStringLiteral("9"));
    EXPECT_EQ(f[SettingsField::PhMaxWhole], QStringLiteral("7"));
    EXPECT_EQ(f[SettingsField::PhMaxHundredths], QStringLiteral("40"));
    EXPECT_EQ(f[SettingsField::PhMinWhole], QStringLiteral("6"));
    EXPECT_EQ(f[SettingsField::PhMinHundredths], QStringLiteral("80"));
    EXPECT_EQ(f[SettingsField::Alarm], QStringLiteral("20"));
    EXPECT_EQ(f[SettingsField::Kh], QStringLiteral("5"));
}

TEST_F(CommandsTest, TakingWithNoRecordLeavesTheSpinEdits)
{
    setSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    form->SpeedButton4->click();
    expectSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("*.*"));
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(CommandsTest, FactorySettingsCancelledChangesNothing)
{
    setSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    form->ShadowLabel1->SetCaption(QStringLiteral("ustawienia.tarlo"));
    pf.warningAnswers = {false};
    form->SpeedButton6->click();
    ASSERT_EQ(pf.warnings.size(), 1u);
    EXPECT_EQ(pf.warnings[0].title, QStringLiteral("Warning"));
    EXPECT_TRUE(pty.receiveBytes(200).isEmpty());
    expectSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("ustawienia.tarlo"));
    EXPECT_TRUE(pf.messages.empty());
}

struct FactoryCase {
    bool english;
    const char* question;
    const char* done;
};

class FactoryTest : public CommandsTest, public ::testing::WithParamInterface<FactoryCase> {};

TEST_P(FactoryTest, ConfirmedRestoresTheFactoryValuesAndKeepsTheFields)
{
    const FactoryCase c = GetParam();
    if (c.english)
        form->Image15Click(form.get());
    ASSERT_TRUE(feedRecord(pty, {"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "75", "9"}));
    const SettingsFields before = State().SettingsFields;
    const FrameLines recordBefore = State().FrameLines;
    setSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    pf.warningAnswers = {true};
    form->SpeedButton6->click();

    ASSERT_EQ(pf.warnings.size(), 1u);
    EXPECT_EQ(pf.warnings[0].title, QStringLiteral("Warning"));
    EXPECT_EQ(pf.warnings[0].text, QString::fromUtf8(c.question));
    EXPECT_EQ(pf.warningButtons[0], std::make_pair(QStringLiteral("OK"), QStringLiteral("Cancel")));
    EXPECT_EQ(pty.receiveBytes(), QByteArray(32, '2'));
    expectSpins({6.9L, 7.1L, 0.2L, 0, 100, 14});
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("*.*"));
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_EQ(pf.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
    EXPECT_EQ(pf.messages[0].text, QString::fromUtf8(c.done));
    EXPECT_EQ(State().SettingsFields, before);
    EXPECT_EQ(State().FrameLines, recordBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Languages, FactoryTest,
    ::testing::Values(
        FactoryCase{
            false,
            "Czy jesteś pewnien, że chcesz przywrócić ustawienia domyślne (fabryczne)?\r\n\r\nBieżące "
            "ustawienia będą wykasowane ...",
            "Po przywróceniu ustawień domyślnych, do poprawnej pracy urządzenia WYMAGANA jest kalibracja!"},
        FactoryCase{
            true,
            "Are you sure, You want to restore the default values?\r\n\r\nCurrent settings will be lost ...",
            "After restore the default settings, REQUIRE probe calibration process!"}),
    [](const auto& info) { return std::string(info.param.english ? "English" : "Polish"); });

TEST_F(CommandsTest, RestartIsTheOnlyTraffic)
{
    setSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    const FrameLines recordBefore = State().FrameLines;
    form->SpeedButton7->click();
    EXPECT_EQ(pty.receiveBytes(), QByteArray(32, '3'));
    EXPECT_TRUE(pf.pauses.empty());
    expectSpins({6.5L, 7.5L, 0.3L, 4, 80, 10});
    EXPECT_EQ(State().FrameLines, recordBefore);
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(CommandsTest, SendingOnAClosedPortIsReportedAndSkipsTheRest)
{
    form->ComPort->ClosePort();
    form->SpeedButton3->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_FALSE(pf.messages[0].text.isEmpty());
    EXPECT_TRUE(pf.pauses.empty());
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QString());
}
