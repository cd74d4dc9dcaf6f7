// Saving and loading settings files through the scripted file dialogs.

#include "FlowFixture.h"

#include "NumSpin.h"
#include "ProgramState.h"
#include "ShadowLabel.h"

#include <csignal>

#include <sys/resource.h>

class SettingsFileTest : public FlowTest {
protected:
    void SetUp() override
    {
        FlowTest::SetUp();
        openWindow();
        folder = QDir::currentPath();
    }
    QString path(const QString& name) const { return QDir(folder).filePath(name); }

    QString folder;
};

TEST_F(SettingsFileTest, SavingTheStartValuesWritesTenLines)
{
    pf.saveAnswers = {path(QStringLiteral("ustawienia.tarlo"))};
    form->SpeedButton2->click();
    EXPECT_EQ(readFile(QStringLiteral("ustawienia.tarlo")),
              QByteArray("100\r\n14\r\n7\r\n10\r\n6\r\n90\r\n20\r\n0\r\n0\r\n0\r\n"));
    ASSERT_EQ(pf.saveAsked.size(), 1u);
    EXPECT_EQ(pf.saveAsked[0].initialFolder, folder);
    EXPECT_EQ(pf.saveAsked[0].fileName, QStringLiteral("ustawienia"));
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("ustawienia.tarlo"));
    EXPECT_EQ(hint(form->ShadowLabel1), folder);
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QStringLiteral("6,90"));
    EXPECT_EQ(pf.pauses, std::vector<int>(10, 1));
    EXPECT_TRUE(pf.messages.empty());

    form->ShadowLabel1Click(form->ShadowLabel1);
    EXPECT_EQ(pf.foldersOpened, std::vector<QString>{folder});
}

TEST_F(SettingsFileTest, ANameWithoutExtensionGetsTarloAndReplacesAnOldFile)
{
    writeFile(QStringLiteral("mine.tarlo"), "old content\r\n");
    form->NumSpinEdit7->SetValue(6.05L);
    pf.saveAnswers = {path(QStringLiteral("mine"))};
    form->SpeedButton2->click();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("mine"))));
    EXPECT_EQ(readFile(QStringLiteral("mine.tarlo")),
              QByteArray("100\r\n14\r\n7\r\n10\r\n6\r\n5\r\n20\r\n0\r\n0\r\n0\r\n"));
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("mine.tarlo"));
}

TEST_F(SettingsFileTest, CancelledDialogsChangeOnlyTheHint)
{
    setHint(form->ShadowLabel1, QStringLiteral("elsewhere"));
    form->SpeedButton2->click();
    EXPECT_EQ(hint(form->ShadowLabel1), folder);
    setHint(form->ShadowLabel1, QStringLiteral("elsewhere"));
    form->SpeedButton1->click();
    EXPECT_EQ(hint(form->ShadowLabel1), folder);
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("*.*"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("tarlo02.ini")});
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(SettingsFileTest, LoadRoundTripThenTakeGivesTheLoadedValues)
{
    form->NumSpinEdit7->SetValue(6.05L);
    form->NumSpinEdit8->SetValue(7.33L);
    form->NumSpinEdit11->SetValue(0.45L);
    form->NumSpinEdit12->SetValue(7);
    form->NumSpinEdit9->SetValue(55);
    form->NumSpinEdit10->SetValue(3);
    pf.saveAnswers = {path(QStringLiteral("round.tarlo"))};
    form->SpeedButton2->click();
    for (TNumSpinEdit* s : {form->NumSpinEdit7, form->NumSpinEdit8, form->NumSpinEdit11, form->NumSpinEdit12,
                            form->NumSpinEdit9, form->NumSpinEdit10})
        s->SetValue(s->MinValue());
    State().FrameLines = {};
    form->ShadowLabel1->SetCaption(QStringLiteral("*.*"));

    pf.pauses.clear();
    form->ReceiveText().setText(QStringLiteral("-\r\n7,0")); // part of a record, received before
    pf.openAnswers = {path(QStringLiteral("round"))};        // typed without the extension
    form->SpeedButton1->click();
    // The receive buffer holds the file's lines alone.
    EXPECT_EQ(form->ReceiveText().text(),
              QStringLiteral("55\r\n3\r\n7\r\n33\r\n6\r\n5\r\n45\r\n7\r\n0\r\n0\r\n"));
    ASSERT_TRUE(pf.messages.empty()) << pf.messages[0].text.toStdString();
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("round.tarlo"));
    EXPECT_NEAR(double(form->NumSpinEdit7->Value()), 6.05, 1e-9);
    EXPECT_EQ(form->NumSpinEdit7->text(), QStringLiteral("6,05"));
    EXPECT_NEAR(double(form->NumSpinEdit8->Value()), 7.33, 1e-9);
    EXPECT_NEAR(double(form->NumSpinEdit11->Value()), 0.45, 1e-9);
    EXPECT_EQ(form->NumSpinEdit12->Value(), 7);
    EXPECT_EQ(form->NumSpinEdit9->Value(), 55);
    EXPECT_EQ(form->NumSpinEdit10->Value(), 3);
    EXPECT_EQ(pf.pauses, std::vector<int>(10, 1));
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QStringLiteral("6,05"));

    for (TNumSpinEdit* s : {form->NumSpinEdit7, form->NumSpinEdit8})
        s->SetValue(s->MaxValue());
    form->SpeedButton4Click(form->SpeedButton4);
    EXPECT_NEAR(double(form->NumSpinEdit7->Value()), 6.05, 1e-9);
    EXPECT_NEAR(double(form->NumSpinEdit8->Value()), 7.33, 1e-9);
}

TEST_F(SettingsFileTest, ASixteenLineFileFillsFifteenFields)
{
    QByteArray content = "90\r\n20\r\n8\r\n5\r\n5\r\n50\r\n100\r\n12\r\n0\r\n0\r\n";
    for (int i = 11; i <= 16; ++i)
        content += QByteArray::number(i) + "\r\n";
    writeFile(QStringLiteral("long.tarlo"), content);
    pf.openAnswers = {path(QStringLiteral("long.tarlo"))};
    form->SpeedButton1->click();
    ASSERT_TRUE(pf.messages.empty()) << pf.messages[0].text.toStdString();
    EXPECT_NEAR(double(form->NumSpinEdit7->Value()), 5.5, 1e-9);
    EXPECT_NEAR(double(form->NumSpinEdit8->Value()), 8.05, 1e-9);
    EXPECT_NEAR(double(form->NumSpinEdit11->Value()), 1.0, 1e-9);
    EXPECT_EQ(form->NumSpinEdit12->Value(), 12);
    EXPECT_EQ(form->NumSpinEdit9->Value(), 90);
    EXPECT_EQ(form->NumSpinEdit10->Value(), 20);
    EXPECT_EQ(State().SettingsFields[SettingsField::Spare15], QStringLiteral("15"));
}

TEST_F(SettingsFileTest, ANonIntegerLineStopsTheLoading)
{
    State().FrameLines[RecordLine::PhMin] = QStringLiteral("6,90");
    form->NumSpinEdit9->SetValue(40);
    writeFile(QStringLiteral("bad.tarlo"), "100\r\n14\r\n7\r\n10\r\n6\r\n90\r\nabc\r\n0\r\n0\r\n0\r\n");
    pf.openAnswers = {path(QStringLiteral("bad.tarlo"))};
    form->SpeedButton1->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_EQ(pf.messages[0].title, QStringLiteral("PH Controller Tarlo-01"));
    // In the window's language, Polish here.
    EXPECT_EQ(
        pf.messages[0].text,
        QString::fromUtf8("Plik z konfiguracją \"%1\", wiersz 7: 'abc' nie jest poprawną liczbą całkowitą.")
            .arg(path(QStringLiteral("bad.tarlo"))));
    // PHmin and PHmax came before the bad line; brightness comes after it.
    EXPECT_NEAR(double(form->NumSpinEdit7->Value()), 6.9, 1e-9);
    EXPECT_EQ(form->NumSpinEdit9->Value(), 40);
    EXPECT_EQ(State().FrameLines[RecordLine::PhMin], QStringLiteral("6,90"));
    // The label does not name a file that failed to load.
    EXPECT_EQ(form->ShadowLabel1->Caption(), QStringLiteral("*.*"));
}

// Each load stands alone: a refused file leaves nothing behind for the next one, and each
// message names the file and says what is wrong with it.
TEST_F(SettingsFileTest, EachLoadStandsAloneAndItsMessageSaysWhatIsWrong)
{
    form->Image15Click(form.get()); // the messages in English
    pf.saveAnswers = {path(QStringLiteral("start.tarlo"))};
    form->SpeedButton2->click(); // the fields hold the start values
    const struct {
        const char* name;
        QByteArray content;
        const char* message; // nullptr: loads
    } loads[] = {
        {"bad.tarlo", "100\r\n14\r\n7\r\n10\r\n6\r\n90\r\nabc\r\n0\r\n0\r\n0\r\n", "line 7: 'abc'"},
        // Lines ended by CR alone.
        {"cr.tarlo", "55\r3\r7\r33\r6\r5\r20\r0\r0\r0\r", nullptr},
        // Cut short: refused, nothing of it taken.
        {"short.tarlo", "1\r\n2\r\n7\r\n", "ends before line 4."},
        {"empty.tarlo", "", "is empty."},
        {"utf16.tarlo", QByteArray::fromHex("fffe35000d000a00"), "UTF-16 text"}, // "5" CR LF
        {"long.tarlo", "55\n3\n7\n33\n6\n5\n" + QByteArray(40, '9') + "\t\n0\n0\n0\n",
         "line 7: '9999999999999999\u2026' is"},
    };
    for (const auto& l : loads) {
        SCOPED_TRACE(l.name);
        pf.messages.clear();
        writeFile(QString::fromLatin1(l.name), l.content);
        pf.openAnswers = {path(QString::fromLatin1(l.name))};
        form->SpeedButton1->click();
        if (!l.message) {
            EXPECT_TRUE(pf.messages.empty()) << pf.messages[0].text.toStdString();
            continue;
        }
        ASSERT_EQ(pf.messages.size(), 1u);
        const QString& text = pf.messages[0].text;
        EXPECT_TRUE(text.contains(QStringLiteral("\"%1\"").arg(path(QString::fromLatin1(l.name)))))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QString::fromUtf8(l.message))) << text.toStdString();
    }
    EXPECT_EQ(form->NumSpinEdit9->Value(), 55);
    EXPECT_NEAR(double(form->NumSpinEdit7->Value()), 6.05, 1e-9);
    EXPECT_NEAR(double(form->NumSpinEdit11->Value()), 0.2, 1e-9);
    EXPECT_EQ(State().SettingsFields[SettingsField::Alarm], QStringLiteral("20"));
}

TEST_F(SettingsFileTest, AMissingFileGivesAClearMessage)
{
    pf.openAnswers = {path(QStringLiteral("gone.tarlo"))};
    form->NumSpinEdit9->SetValue(40);
    form->SpeedButton1->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_TRUE(pf.messages[0].text.contains(QStringLiteral("gone.tarlo")))
        << pf.messages[0].text.toStdString();
    EXPECT_TRUE(pf.messages[0].text.endsWith(QLatin1Char('.')));
    EXPECT_EQ(form->NumSpinEdit9->Value(), 40);
}

TEST_F(SettingsFileTest, ASaveThatCannotWriteLeavesTheOldFile)
{
    writeFile(QStringLiteral("keep.tarlo"), "1\r\n2\r\n");

    // A path through a regular file cannot be created.
    writeFile(QStringLiteral("plainfile"), "not a folder");
    pf.saveAnswers = {path(QStringLiteral("plainfile/keep.tarlo"))};
    form->SpeedButton2->click();
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_TRUE(pf.messages[0].text.contains(QStringLiteral("keep.tarlo")))
        << pf.messages[0].text.toStdString();
    EXPECT_EQ(readFile(QStringLiteral("plainfile")), QByteArray("not a folder"));

    // The disk takes no more than 8 bytes of a file (root ignores permission bits, not this).
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    pf.saveAnswers = {path(QStringLiteral("keep.tarlo"))};
    form->SpeedButton2->click();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldSignal);

    ASSERT_EQ(pf.messages.size(), 2u);
    EXPECT_TRUE(pf.messages[1].text.contains(QStringLiteral("keep.tarlo")))
        << pf.messages[1].text.toStdString();
    EXPECT_EQ(readFile(QStringLiteral("keep.tarlo")), QByteArray("1\r\n2\r\n"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"keep.tarlo", "plainfile", "tarlo02.ini"}));
}

TEST_F(SettingsFileTest, TheDialogsFilterFollowsTheLanguage)
{
    form->SpeedButton2->click(); // cancelled
    form->Image15Click(form.get());
    form->SpeedButton1->click();
    ASSERT_EQ(pf.saveAsked.size(), 1u);
    ASSERT_EQ(pf.openAsked.size(), 1u);
    EXPECT_EQ(pf.saveAsked[0].filter, QString::fromUtf8("Pliki ustawień Tarlo-01 (*.tarlo)"));
    EXPECT_EQ(pf.openAsked[0].filter, QStringLiteral("Tarlo-01 settings files (*.tarlo)"));
}
