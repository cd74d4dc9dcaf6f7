// The CSV measurement log over a scripted clock, fed by records on a pseudo-terminal.

#include "FlowFixture.h"

#include "ProgramState.h"

#include <QDirIterator>

namespace {
const QByteArray kHeader = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n";
const QStringList kSecond{"7,10", "6,80", "7,40", "11,0", "5", "20", "0", "1", "100", "14"};
const QStringList kThird{"7,12", "6,80", "7,40", "10,5", "5", "20", "0", "0", "100", "14"};
} // namespace

class MeasurementLogTest : public FlowTest {
protected:
    void SetUp() override
    {
        FlowTest::SetUp();
        openWindow();
        at(18, 30, 0);
        connectTo(pty.qPath());
        ASSERT_TRUE(form->ComPort->Connected());
    }
    // A record handled at the given time of 2016-10-01.
    void recordAt(int h, int m, int s, const QStringList& values = kRecord)
    {
        at(h, m, s);
        ASSERT_TRUE(feedRecord(pty, values));
    }
    void tickLogBox()
    {
        form->CheckBox1->click();
        at(18, 30, 0);
    }
    QStringList csvFiles() const
    {
        return QDir(work.path()).entryList({QStringLiteral("*.csv")}, QDir::Files);
    }

    PtyPeer pty;
};

TEST_F(MeasurementLogTest, RowsOncePerMinuteThenRenamedWhenUnticked)
{
    pf.pauses.clear();
    tickLogBox();
    EXPECT_EQ(pf.pauses, (std::vector<int>{300, 300}));
    EXPECT_TRUE(form->CheckBox1->isEnabled());
    EXPECT_TRUE(form->CheckBox1->Checked());
    EXPECT_TRUE(csvFiles().isEmpty()); // nothing before the first record

    recordAt(18, 30, 8);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183008}.csv")});
    EXPECT_EQ(readFile(QStringLiteral("2016-10-01 {183008}.csv")),
              kHeader + "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    EXPECT_EQ(State().LogFinished, 0);

    recordAt(18, 30, 40, kSecond); // same minute: no row
    recordAt(18, 31, 12, kThird);
    EXPECT_EQ(readFile(QStringLiteral("2016-10-01 {183008}.csv")),
              kHeader +
                  "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n18:31;7,12;6,80;7,40;10,5;5;20;off;off\r\n");

    form->CheckBox1->click();
    EXPECT_FALSE(form->CheckBox1->Checked());
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183008}.csv")}); // not before a record
    recordAt(19, 12, 10);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183008}    2016-10-01 {191210}.csv")});
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_EQ(State().LogFrameCount, 1);
    EXPECT_TRUE(pf.messages.empty());

    // Ticked again: a new file at the next record.
    form->CheckBox1->click();
    recordAt(19, 13, 1);
    EXPECT_EQ(csvFiles().size(), 2);
    EXPECT_TRUE(csvFiles().contains(QStringLiteral("2016-10-01 {191301}.csv")));
}

TEST_F(MeasurementLogTest, ClosingTheWindowWhileLoggingFinishesTheLog)
{
    tickLogBox();
    recordAt(18, 30, 8);
    pf.clock = QDateTime(QDate(2016, 10, 2), QTime(0, 5, 9));
    EXPECT_TRUE(form->close());
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183008}    2016-10-02 {000509}.csv")});
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(MeasurementLogTest, LoggingGoesOnThroughAVanishedLogAndFolder)
{
    tickLogBox();
    recordAt(18, 30, 8);
    const QString folder = work.path();

    // The log is deleted: the minute's row starts a new one, with nothing to tell.
    ASSERT_TRUE(QFile::remove(QDir(folder).filePath(QStringLiteral("2016-10-01 {183008}.csv"))));
    recordAt(18, 31, 8, kSecond);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183108}.csv")});

    // The whole folder goes: told once, from the event loop and not inside the received-data
    // handler, while reception goes on.
    bool insideHandler = false;
    form->ComPort->OnRxChar = [this, &insideHandler](QObject* s, int n) {
        insideHandler = true;
        form->ComPortRxChar(s, n);
        insideHandler = false;
    };
    bool shownInsideHandler = false;
    pf.onMessage = [&](const ScriptedPlatform::Message&) {
        shownInsideHandler = shownInsideHandler || insideHandler;
    };
    ASSERT_TRUE(QDir(folder).removeRecursively());
    recordAt(18, 32, 8, kThird);
    ASSERT_TRUE(waitFor([&] { return !pf.messages.empty(); }));
    EXPECT_FALSE(shownInsideHandler);
    EXPECT_TRUE(pf.messages[0].text.contains(QStringLiteral("2016-10-01 {183208}.csv")))
        << pf.messages[0].text.toStdString();
    recordAt(18, 33, 8, kSecond);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.10"));
    QTest::qWait(20);
    EXPECT_EQ(pf.messages.size(), 1u) << "once an outage";

    // The folder is made again at its path: the rows that waited start a log there, and the
    // user is told when logging stopped, since when it works again and how many rows waited.
    ASSERT_TRUE(QDir().mkpath(folder));
    recordAt(18, 34, 8);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183208}.csv")});
    EXPECT_EQ(readFile(QStringLiteral("2016-10-01 {183208}.csv")),
              kHeader +
                  "18:32:08;7,12;6,80;7,40;10,5;5;20;off;off\r\n18:33;7,10;6,80;7,40;11,0;5;20;off;on\r\n"
                  "18:34;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    ASSERT_TRUE(waitFor([&] { return pf.messages.size() == 2u; }));
    EXPECT_TRUE(pf.messages[1].text.endsWith(QStringLiteral("\r\n") + pf.messages[0].text));
    EXPECT_TRUE(pf.messages[1].text.startsWith(QStringLiteral("18:34:08")))
        << pf.messages[1].text.toStdString();
    EXPECT_TRUE(pf.messages[1].text.contains(QString::fromUtf8("czekały: 2.")))
        << pf.messages[1].text.toStdString();

    // A second outage is told again.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    recordAt(18, 35, 8, kSecond);
    ASSERT_TRUE(waitFor([&] { return pf.messages.size() == 3u; }));
    ASSERT_TRUE(QDir().mkpath(folder)); // for the fixture's clean-up
}

// One box about logging at a time: outages and recoveries while it is open are added to it,
// newest first.
TEST_F(MeasurementLogTest, OneBoxAboutLoggingListsOutagesAndRecoveriesNewestFirst)
{
    tickLogBox();
    const QString folder = work.path();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    // The box stays open while records come: the folder comes back, goes and comes back.
    pf.onMessage = [&](const ScriptedPlatform::Message&) {
        ASSERT_TRUE(QDir().mkpath(folder));
        recordAt(18, 31, 8);
        ASSERT_TRUE(QDir(folder).removeRecursively());
        recordAt(18, 32, 8);
        ASSERT_TRUE(QDir().mkpath(folder));
        recordAt(18, 33, 8);
    };
    recordAt(18, 30, 8);
    ASSERT_TRUE(waitFor([&] { return pf.updatedBoxes.size() == 3u; }));
    QTest::qWait(20);
    ASSERT_EQ(pf.messages.size(), 1u);
    const QStringList lines = pf.updatedBoxes.back().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[3], pf.messages[0].text);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("18:3%1:08").arg(3 - i))) << lines[i].toStdString();
}

TEST_F(MeasurementLogTest, EachDayHasItsOwnLog)
{
    tickLogBox();
    recordAt(23, 59, 8);
    // The tick after midnight finishes the day's log, also with no record coming.
    pf.clock = QDateTime(QDate(2016, 10, 2), QTime(0, 0, 0));
    tick();
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {235908}    2016-10-02 {000000}.csv")});
    pf.clock = QDateTime(QDate(2016, 10, 2), QTime(0, 0, 3));
    tick();
    ASSERT_TRUE(feedRecord(pty));
    EXPECT_TRUE(csvFiles().contains(QStringLiteral("2016-10-02 {000003}.csv")));
    EXPECT_TRUE(pf.messages.empty());
}

TEST_F(MeasurementLogTest, LogsGoToTheFolderOfTheStart)
{
    // Another current folder later (a file dialog, a library) does not move the logs.
    QTemporaryDir other;
    ASSERT_TRUE(QDir::setCurrent(other.path()));
    tickLogBox();
    recordAt(18, 30, 8);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183008}.csv")});
    QTest::mouseClick(form->Image6, Qt::LeftButton);
    EXPECT_EQ(pf.foldersOpened, std::vector<QString>{work.path()});
    ASSERT_TRUE(QDir::setCurrent(work.path()));
}

TEST_F(MeasurementLogTest, AFailedStartKeepsItsRowForTheLogMadeLater)
{
    // A link at the log's name takes the next second's name; a full folder then nothing.
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent"),
                            QDir(work.path()).filePath(QStringLiteral("2016-10-01 {183008}.csv"))));
    tickLogBox();
    recordAt(18, 30, 8);
    EXPECT_TRUE(QFile::exists(QDir(work.path()).filePath(QStringLiteral("2016-10-01 {183009}.csv"))));
    form->CheckBox1->click();
    recordAt(18, 31, 8);
    EXPECT_TRUE(pf.messages.empty());

    // A start in a folder that is gone: its row waits for the folder, and the log is made and
    // finished once it is back.
    ASSERT_TRUE(QDir(work.path()).removeRecursively());
    form->CheckBox1->click();
    recordAt(18, 32, 8);
    ASSERT_TRUE(waitFor([&] { return pf.messages.size() == 1u; }));
    ASSERT_TRUE(QDir().mkpath(work.path()));
    form->CheckBox1->click();
    recordAt(18, 33, 8);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183208}    2016-10-01 {183308}.csv")});
    EXPECT_TRUE(form->close());
    QTest::qWait(20);
    EXPECT_EQ(pf.messages.size(), 2u); // the outage, then its end
    EXPECT_EQ(State().LogFinished, 1);
}

TEST_F(MeasurementLogTest, TickingAndUntickingWithoutRecordsTouchesNoFile)
{
    form->CheckBox1->click();
    form->CheckBox1->click();
    recordAt(18, 30, 8);
    EXPECT_TRUE(csvFiles().isEmpty());
    EXPECT_EQ(State().LogFinished, 1);
    EXPECT_TRUE(pf.messages.empty());
}
