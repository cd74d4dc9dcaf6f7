#include "Log.h"
#include "Numbers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <csignal>
#include <functional>
#include <optional>
#include <sys/resource.h>

namespace {

const QDateTime started(QDate(2016, 10, 1), QTime(18, 30, 8));

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

FrameLines record(const char* ph, const char* o2 = "1", const char* co2 = "0")
{
    return {ph, "6,80", "7,40", "12,3", "5", "20", o2, co2, "100", "14", " ", "-"};
}

} // namespace

TEST(LogNames, StartAndFinish)
{
    const QString path = logFileName("/logs", started);
    EXPECT_EQ(path, "/logs/2016-10-01 {183008}.csv");
    EXPECT_EQ(finishedLogName(path, QDateTime(QDate(2016, 10, 1), QTime(19, 12, 10))),
              "/logs/2016-10-01 {183008}    2016-10-01 {191210}.csv");
    EXPECT_EQ(finishedLogName("/a.b/log", started), "/a.b/log    2016-10-01 {183008}.csv")
        << "a dot in a folder name is no extension";
    EXPECT_EQ(logFileName(".", QDateTime(QDate(2017, 1, 2), QTime(3, 4, 5))), "./2017-01-02 {030405}.csv");
}

TEST(LogRow, Fields)
{
    const std::tuple<FrameLines, const char*, const char*> cases[] = {
        {record("7.05"), "18:30:08", "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off"},
        {record("7,05"), "18:31", "18:31;7,05;6,80;7,40;12,3;5;20;on;off"},
        {record(">10", "0", "1"), "18:31", "18:31;>10;6,80;7,40;12,3;5;20;off;on"},
        {record("7.05", "2", ""), "18:31", "18:31;7,05;6,80;7,40;12,3;5;20;;"},
    };
    for (const auto& [lines, time, row] : cases)
        EXPECT_EQ(formatLogRow(lines, time), row);

    // Noise in lines the record checks let through keeps the nine columns and the one line.
    FrameLines noisy = record(";,9-");
    noisy[RecordLine::Ppm] = "1;2";
    noisy[RecordLine::Alarm] = "2\n0";
    EXPECT_EQ(formatLogRow(noisy, "18:31"), "18:31;?,9-;6,80;7,40;1?2;5;2?0;on;off");

    FrameLines l = record("7.05");
    restorePhComma(l);
    EXPECT_EQ(l[RecordLine::Ph], "7,05");
    l = record(">10");
    restorePhComma(l);
    EXPECT_EQ(l[RecordLine::Ph], ">10");
}

TEST(LogFile, StartAppendRename)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = startLogFile(dir.path(), started, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off");
    EXPECT_EQ(path, logFileName(dir.path(), started));
    EXPECT_EQ(contents(path), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                              "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    EXPECT_TRUE(appendLogRow(path, "18:31;7,05;6,80;7,40;12,3;5;20;on;off"));
    EXPECT_TRUE(contents(path).endsWith("off\r\n18:31;7,05;6,80;7,40;12,3;5;20;on;off\r\n"));

    const QString finished = finishedLogName(path, started.addSecs(60));
    renameLog(path, finished);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(contents(finished).endsWith("18:31;7,05;6,80;7,40;12,3;5;20;on;off\r\n"));
    EXPECT_FALSE(appendLogRow(path, "x")) << "a log that is gone is told, not made again";
    EXPECT_FALSE(QFile::exists(path));
}

TEST(LogFile, ATakenNameIsNeverOverwritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Another copy's log, and a link, at the names of the first two seconds.
    const QString other = logFileName(dir.path(), started);
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("theirs\r\n");
    }
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), logFileName(dir.path(), started.addSecs(1))));
    const QString path = startLogFile(dir.path(), started, "mine");
    EXPECT_EQ(path, logFileName(dir.path(), started.addSecs(2)));
    EXPECT_EQ(contents(other), "theirs\r\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("elsewhere")));
    EXPECT_TRUE(contents(path).endsWith("mine\r\n"));

    // A minute of taken names is an error naming the file.
    for (int i = 3; i < 62; ++i)
        startLogFile(dir.path(), started.addSecs(i), "x");
    try {
        startLogFile(dir.path(), started, "lost?");
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(e.message().contains(other)) << e.what();
    }
}

TEST(LogFile, FailuresNameTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A regular file in place of the folder: the log cannot be created even as root.
    const QString notAFolder = dir.filePath("plain");
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const QString missing = dir.filePath("gone");
    const QString deleted = logFileName(dir.path(), started); // never created

    auto expectNamed = [](const std::function<void()>& op, const QString& path) {
        try {
            op();
            ADD_FAILURE() << "no error for " << path.toStdString();
        } catch (const EInOutError& e) {
            EXPECT_TRUE(e.message().contains(path)) << e.what();
            EXPECT_GT(e.message().size(), path.size() + 20) << "gives a reason: " << e.what();
        }
    };
    expectNamed([&] { startLogFile(notAFolder, started, "row"); }, logFileName(notAFolder, started));
    expectNamed([&] { startLogFile(missing, started, "row"); }, logFileName(missing, started));
    expectNamed([&] { renameLog(deleted, deleted + ".x"); }, deleted);

    // Renaming onto an existing file fails and keeps both.
    const QString a = startLogFile(dir.path(), started, "a");
    const QString b = startLogFile(dir.path(), started.addSecs(5), "b");
    expectNamed([&] { renameLog(a, b); }, a);
    EXPECT_TRUE(contents(b).endsWith("b\r\n"));
    EXPECT_TRUE(QFile::exists(a));
}

TEST(LogFile, ShortWriteIsAnErrorAndLeavesNoHalfRow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = startLogFile(dir.path(), started, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off");
    const QByteArray before = contents(path);

    // A file size limit just past the current size fails the next row half way, as a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = static_cast<rlim_t>(before.size() + 10);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        appendLogRow(path, "18:31;7,05;6,80;7,40;12,3;5;20;on;off");
    } catch (const EInOutError& e) {
        threw = e.message().contains(path);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(contents(path), before);
}

// The log step over a scripted clock, as the window and the service run it.
class LogStepTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // A good frame at `at` (of the clock's day, or the given one).
    FrameLines frame(bool logging, QTime at, QDate day = QDate(2016, 10, 1), const QString& folder = {})
    {
        clock = QDateTime(day, at);
        FrameLines l = record("7.05");
        const QString minute = at.toString(QStringLiteral("mm"));
        told =
            runLogStep(s, logging, l, minute, lastFrameMinute, folder.isEmpty() ? dir.path() : folder, now);
        lastFrameMinute = minute;
        return l;
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
    QDateTime clock;
    const Clock now = [this] { return clock; };
    int frameCount = 1, finishedFlag = 1;
    QString fileName;
    QDate logDay;
    LogBacklog backlog;
    const LogState s{frameCount, finishedFlag, fileName, logDay, backlog};
    QString lastFrameMinute;
    std::optional<QString> told;
};

TEST_F(LogStepTest, OneRowPerMinuteThenFinished)
{
    const FrameLines first = frame(true, QTime(18, 30, 8));
    EXPECT_EQ(first[RecordLine::Ph], "7,05") << "the pH line gets its comma back";
    const QString path = dir.path() + "/2016-10-01 {183008}.csv";
    EXPECT_EQ(s.LogFileName, path);
    EXPECT_EQ(s.LogFinished, 0);
    frame(true, QTime(18, 30, 40));
    frame(true, QTime(18, 31, 12));
    EXPECT_EQ(s.LogFrameCount, 4);
    EXPECT_EQ(contents(path), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                              "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n"
                              "18:31;7,05;6,80;7,40;12,3;5;20;on;off\r\n");

    frame(false, QTime(19, 12, 10));
    const QString finished = dir.path() + "/2016-10-01 {183008}    2016-10-01 {191210}.csv";
    EXPECT_EQ(s.LogFileName, finished);
    EXPECT_EQ(s.LogFinished, 1);
    EXPECT_EQ(s.LogFrameCount, 1);
    EXPECT_EQ(files(), QStringList{QFileInfo(finished).fileName()});

    // Logging off with nothing to finish touches no file.
    frame(false, QTime(19, 13, 0));
    EXPECT_EQ(s.LogFileName, finished);
    EXPECT_EQ(files().size(), 1);
}

// Rows that cannot be written wait in memory, in order, and go into the log before the next
// row once it can be written: a folder that is not there yet, one that goes, a log that goes.
TEST_F(LogStepTest, RowsWaitInOrderUntilTheLogCanBeWritten)
{
    const QString folder = dir.filePath("later");
    const QString header = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n";
    const QString row = ";7,05;6,80;7,40;12,3;5;20;on;off\r\n";
    frame(true, QTime(18, 30, 8), QDate(2016, 10, 1), folder);
    EXPECT_TRUE(backlog.failure.contains(folder)) << backlog.failure.toStdString();
    frame(true, QTime(18, 30, 40), QDate(2016, 10, 1), folder); // the same minute: no row
    frame(true, QTime(18, 31, 5), QDate(2016, 10, 1), folder);
    EXPECT_EQ(backlog.rows.size(), 2u);
    EXPECT_EQ(s.LogFinished, 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    frame(true, QTime(18, 31, 30), QDate(2016, 10, 1), folder); // no row due: the waiting ones go
    EXPECT_TRUE(backlog.failure.isEmpty());
    EXPECT_TRUE(backlog.rows.empty());
    EXPECT_EQ(s.LogFileName, folder + "/2016-10-01 {183008}.csv");
    EXPECT_EQ(contents(s.LogFileName), header + "18:30:08" + row + "18:31" + row);

    // The folder goes: the minute's rows wait and start a new log, named when its file was
    // found gone.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    frame(true, QTime(18, 32, 5), QDate(2016, 10, 1), folder);
    frame(true, QTime(18, 33, 5), QDate(2016, 10, 1), folder);
    EXPECT_EQ(backlog.rows.size(), 2u);
    ASSERT_TRUE(QDir().mkpath(folder));
    frame(true, QTime(18, 34, 5), QDate(2016, 10, 1), folder);
    EXPECT_EQ(s.LogFileName, folder + "/2016-10-01 {183205}.csv");
    EXPECT_EQ(contents(s.LogFileName), header + "18:32:05" + row + "18:33" + row + "18:34" + row);

    // Finishing waits for the rows too: unticked while they cannot be written, the log stays.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    frame(true, QTime(18, 35, 5), QDate(2016, 10, 1), folder);
    EXPECT_THROW(frame(false, QTime(18, 35, 30), QDate(2016, 10, 1), folder), EInOutError);
    EXPECT_EQ(s.LogFinished, 0);
    ASSERT_TRUE(QDir().mkpath(folder));
    frame(false, QTime(18, 36, 0), QDate(2016, 10, 1), folder);
    EXPECT_EQ(s.LogFinished, 1);
    EXPECT_EQ(s.LogFileName, folder + "/2016-10-01 {183505}    2016-10-01 {183600}.csv");
    EXPECT_EQ(contents(s.LogFileName), header + "18:35:05" + row);
}

// Past the limit (a week of rows by default) the oldest rows go; told once an outage.
TEST_F(LogStepTest, TheOldestWaitingRowsGoPastTheLimit)
{
    EXPECT_EQ(backlog.limit, 10080);
    backlog.limit = 3;
    const QString folder = dir.filePath("later");
    std::vector<bool> toldAt;
    for (int m = 0; m < 6; ++m) {
        frame(true, QTime(18, m, 0), QDate(2016, 10, 1), folder);
        toldAt.push_back(told.has_value());
    }
    EXPECT_EQ(toldAt, (std::vector<bool>{false, false, false, true, false, false}));
    ASSERT_TRUE(QDir().mkpath(folder));
    frame(true, QTime(18, 5, 30), QDate(2016, 10, 1), folder); // no row due: the waiting ones go
    EXPECT_FALSE(told);
    const QString row = ";7,05;6,80;7,40;12,3;5;20;on;off\r\n";
    EXPECT_EQ(contents(s.LogFileName), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n18:03:00" + row +
                                           "18:04" + row + "18:05" + row);
}

TEST_F(LogStepTest, ALogThatWentAwayIsFollowedByANewOne)
{
    frame(true, QTime(18, 30, 8));
    const QString first = s.LogFileName;
    ASSERT_TRUE(QFile::rename(first, dir.filePath("moved.csv")));
    frame(true, QTime(18, 31, 5)); // the minute's row starts a new log with the header
    EXPECT_EQ(s.LogFileName, dir.path() + "/2016-10-01 {183105}.csv");
    EXPECT_EQ(contents(s.LogFileName), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                                       "18:31:05;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    EXPECT_EQ(s.LogFinished, 0);

    // Unticked after the log went: nothing to rename, nothing to tell.
    ASSERT_TRUE(QFile::remove(s.LogFileName));
    frame(false, QTime(18, 35, 0));
    EXPECT_EQ(s.LogFinished, 1);
}

TEST_F(LogStepTest, EachDayHasItsOwnFile)
{
    frame(true, QTime(23, 59, 30));
    frame(true, QTime(0, 0, 2), QDate(2016, 10, 2));
    EXPECT_FALSE(told);
    EXPECT_EQ(files(),
              (QStringList{"2016-10-01 {235930}    2016-10-02 {000002}.csv", "2016-10-02 {000002}.csv"}));
    EXPECT_TRUE(contents(dir.filePath("2016-10-02 {000002}.csv"))
                    .endsWith("\r\n00:00:02;7,05;6,80;7,40;12,3;5;20;on;off\r\n"));

    // The clock tick finishes a past day's log with no record coming; the next row starts anew.
    clock = QDateTime(QDate(2016, 10, 3), QTime(0, 0, 0));
    EXPECT_TRUE(finishLogOnClockChange(s, now));
    EXPECT_FALSE(finishLogOnClockChange(s, now)) << "once";
    EXPECT_TRUE(files().contains("2016-10-02 {000002}    2016-10-03 {000000}.csv"));

    // A past day's log that cannot be renamed keeps its name and rows; the new day starts all
    // the same, and the failure is told.
    frame(true, QTime(23, 0, 0), QDate(2016, 10, 3));
    const QString third = s.LogFileName;
    ASSERT_TRUE(QFile::copy(third, finishedLogName(third, QDateTime(QDate(2016, 10, 4), QTime(0, 0, 1)))));
    frame(true, QTime(0, 0, 1), QDate(2016, 10, 4));
    EXPECT_TRUE(told);
    EXPECT_TRUE(QFile::exists(third));
    EXPECT_EQ(s.LogFileName, dir.path() + "/2016-10-04 {000001}.csv");
    EXPECT_EQ(s.LogFinished, 0);
}

// The clock set back while logging: the log ends at the latest time it saw and a new one starts,
// so no log's name ends before it starts. A day's own clock change does not split a log.
TEST_F(LogStepTest, AClockSetBackFinishesTheLogAtTheOldTime)
{
    frame(true, QTime(18, 30, 8), QDate(2016, 10, 2));
    frame(true, QTime(18, 31, 5), QDate(2016, 10, 2));
    frame(true, QTime(18, 32, 0), QDate(2016, 10, 1)); // a day back
    EXPECT_TRUE(files().contains("2016-10-02 {183008}    2016-10-02 {183105}.csv"))
        << files().join(" | ").toStdString();
    EXPECT_EQ(s.LogFileName, dir.path() + "/2016-10-01 {183200}.csv");
    // The tick sees it too, with no record coming: an hour back on the same day.
    frame(true, QTime(18, 33, 0), QDate(2016, 10, 1));
    clock = QDateTime(QDate(2016, 10, 1), QTime(17, 40, 0));
    EXPECT_TRUE(finishLogOnClockChange(s, now));
    EXPECT_TRUE(files().contains("2016-10-01 {183200}    2016-10-01 {183300}.csv"))
        << files().join(" | ").toStdString();
    EXPECT_EQ(s.LogFinished, 1);

    // On the day summer time ends the clock may go back by its hour, not more.
    const QTimeZone warsaw("Europe/Warsaw");
    if (!warsaw.isValid())
        return; // no time zone data on this system
    for (const auto& [day, kept] :
         {std::pair{QDate(2016, 10, 30), true}, std::pair{QDate(2016, 10, 29), false}}) {
        clock = QDateTime(day, QTime(12, 0, 0), warsaw);
        FrameLines l = record("7.05");
        s.LogFrameCount = 1;
        runLogStep(s, true, l, "00", "59", dir.path(), now);
        clock = QDateTime(day, QTime(11, 30, 0), warsaw);
        EXPECT_EQ(finishLogOnClockChange(s, now), !kept) << day.toString().toStdString();
        finishLog(s, now);
    }
}
