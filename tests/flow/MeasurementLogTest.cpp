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

TEST_F(MeasurementLogTest, UnwritableFolderKeepsReceptionAndTellsOnce)
{
    tickLogBox();
    // The working folder goes away: nothing can be created in it.
    const QString gone = QDir(work.path()).filePath(QStringLiteral("gone"));
    ASSERT_TRUE(QDir().mkdir(gone));
    ASSERT_TRUE(QDir::setCurrent(gone));
    ASSERT_TRUE(QDir().rmdir(gone));

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

    recordAt(18, 30, 8);
    ASSERT_TRUE(waitFor([&] { return !pf.messages.empty(); }));
    EXPECT_EQ(pf.messages.size(), 1u);
    EXPECT_FALSE(shownInsideHandler);
    EXPECT_EQ(State().LogFrameCount, 1);

    // Reception goes on: the next records are still shown, without another box.
    recordAt(18, 31, 8, kSecond);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.10"));
    recordAt(18, 32, 8, kThird);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.12"));
    QTest::qWait(50);
    EXPECT_EQ(pf.messages.size(), 1u);

    // Logging works again in a writable folder, then fails again: a second box.
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    recordAt(18, 33, 8);
    EXPECT_EQ(csvFiles(), QStringList{QStringLiteral("2016-10-01 {183308}.csv")});
    QTest::qWait(50);
    EXPECT_EQ(pf.messages.size(), 1u);
    ASSERT_TRUE(QFile::remove(QDir(work.path()).filePath(QStringLiteral("2016-10-01 {183308}.csv"))));
    recordAt(18, 34, 8, kSecond); // appending to a deleted log fails
    ASSERT_TRUE(waitFor([&] { return pf.messages.size() == 2u; }));
    EXPECT_FALSE(shownInsideHandler);
    EXPECT_EQ(form->Label7->Caption(), QStringLiteral("7.10"));
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

TEST_F(MeasurementLogTest, LogFolderButtonOpensTheWorkingFolder)
{
    QTest::mouseClick(form->Image6, Qt::LeftButton);
    EXPECT_EQ(pf.foldersOpened, std::vector<QString>{QDir::currentPath()});
}
