#include "Log.h"
#include "Numbers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
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
    const QString path = logFileName(dir.path(), started);
    startLogFile(path, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off");
    EXPECT_EQ(contents(path), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
                              "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    appendLogRow(path, "18:31;7,05;6,80;7,40;12,3;5;20;on;off");
    EXPECT_TRUE(contents(path).endsWith("off\r\n18:31;7,05;6,80;7,40;12,3;5;20;on;off\r\n"));

    // Starting again overwrites.
    startLogFile(path, "x");
    EXPECT_EQ(contents(path), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\nx\r\n");

    const QString finished = finishedLogName(path, started.addSecs(60));
    renameLog(path, finished);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(contents(finished), "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\nx\r\n");
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
    const QString unwritable = logFileName(notAFolder, started);
    const QString missing = logFileName(dir.filePath("gone"), started);
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
    expectNamed([&] { startLogFile(unwritable, "row"); }, unwritable);
    expectNamed([&] { startLogFile(missing, "row"); }, missing);
    expectNamed([&] { appendLogRow(deleted, "row"); }, deleted);
    EXPECT_FALSE(QFile::exists(deleted)) << "appending never creates a log";
    expectNamed([&] { renameLog(deleted, deleted + ".x"); }, deleted);

    // Renaming onto an existing file fails and keeps both.
    const QString a = dir.filePath("a.csv"), b = dir.filePath("b.csv");
    startLogFile(a, "a");
    startLogFile(b, "b");
    expectNamed([&] { renameLog(a, b); }, a);
    EXPECT_TRUE(contents(b).endsWith("b\r\n"));
    EXPECT_TRUE(QFile::exists(a));
}

TEST(LogFile, ShortWriteIsAnErrorAndLeavesNoHalfRow)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = logFileName(dir.path(), started);
    startLogFile(path, "18:30:08;7,05;6,80;7,40;12,3;5;20;on;off");
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

TEST(LogStep, OneRowPerMinuteThenFinished)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDateTime clock(QDate(2016, 10, 1), QTime(18, 30, 8));
    const Clock now = [&] { return clock; };
    int frameCount = 1, finishedFlag = 1;
    QString fileName;
    const LogState s{frameCount, finishedFlag, fileName};
    QString lastFrameMinute;
    auto frame = [&](bool logging, QTime at) {
        clock.setTime(at);
        FrameLines l = record("7.05");
        const QString minute = at.toString(QStringLiteral("mm"));
        runLogStep(s, logging, l, minute, lastFrameMinute, dir.path(), now);
        lastFrameMinute = minute;
        return l;
    };

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
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QFile::exists(finished));

    // Logging off with nothing to finish touches no file.
    frame(false, QTime(19, 13, 0));
    EXPECT_EQ(s.LogFileName, finished);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(LogStep, FailuresKeepTheStateForAnotherTry)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDateTime at(QDate(2016, 10, 1), QTime(18, 30, 8));
    const Clock now = [&] { return at; };
    int frameCount = 1, finishedFlag = 1;
    QString fileName;
    const LogState s{frameCount, finishedFlag, fileName};
    FrameLines l = record("7.05");
    EXPECT_THROW(runLogStep(s, true, l, "30", "", dir.filePath("missing"), now), EInOutError);
    EXPECT_EQ(s.LogFinished, 0);
    EXPECT_EQ(s.LogFrameCount, 1) << "the next good frame tries to start a file again";

    runLogStep(s, true, l, "30", "", dir.path(), now);
    ASSERT_TRUE(QFile::remove(s.LogFileName)); // deleted while logging
    const QString lost = s.LogFileName;
    EXPECT_THROW(runLogStep(s, false, l, "31", "30", dir.path(), now), EInOutError);
    EXPECT_EQ(s.LogFinished, 0) << "finishing is tried again";
    EXPECT_EQ(s.LogFileName, lost);
    EXPECT_THROW(finishLog(s, now), EInOutError);
}
