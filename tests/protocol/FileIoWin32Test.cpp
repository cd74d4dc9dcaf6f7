// Whole-file writes on Windows: what the log writer and the saves promise on Linux, on the
// Win32 file calls.

#include "FileIo.h"
#include "Log.h"
#include "Numbers.h"
#include "WinFileRules.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

TEST(FileIoWin32, LogWritesCreateOnlyNewNamesAndAppendOnlyToExistingFiles)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("2016-10-01 {183008}.csv");
    const struct {
        const char* what;
        WriteMode mode;
        QByteArray data;
        WriteResult result;
        QByteArray content; // the file's afterwards
    } steps[] = {
        {"append to no file", WriteMode::AppendExisting, "x", WriteResult::FileMissing, "(missing)"},
        {"create", WriteMode::CreateNew, "Time;PH\r\n", WriteResult::Written, "Time;PH\r\n"},
        {"create again", WriteMode::CreateNew, "lost", WriteResult::NameTaken, "Time;PH\r\n"},
        {"append", WriteMode::AppendExisting, "18:30;7,05\r\n", WriteResult::Written,
         "Time;PH\r\n18:30;7,05\r\n"},
    };
    for (const auto& s : steps) {
        EXPECT_EQ(writeWholeFile(log, s.data, s.mode, "Cannot write"), s.result) << s.what;
        EXPECT_EQ(fileBytes(log), s.content) << s.what;
    }
    // A folder that is gone is no file to append to; one that cannot hold the file is an error
    // naming it.
    EXPECT_EQ(writeWholeFile(dir.filePath("gone/x.csv"), "x", WriteMode::AppendExisting, "Cannot write"),
              WriteResult::FileMissing);
    try {
        writeWholeFile(dir.filePath("gone/x.csv"), "x", WriteMode::CreateNew, "Cannot write the log file");
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).startsWith("Cannot write the log file \"")) << e.what();
        EXPECT_FALSE(QString::fromUtf8(e.what()).endsWith(".")) << e.what();
    }
}

TEST(FileIoWin32, SavesReplaceTheWholeFileAndLeaveNoTemporary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.tarlo");
    replaceFileAtomically(path, "100\r\n", "Cannot save");
    replaceFileAtomically(path, "14\r\n", "Cannot save");
    EXPECT_EQ(fileBytes(path), "14\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"s.tarlo"});
    // Nothing can be made in a folder that is not there; the old file stays untouched.
    EXPECT_THROW(replaceFileAtomically(dir.filePath("gone/s.tarlo"), "x", "Cannot save"), EInOutError);
}

TEST(FileIoWin32, SmallFileReadsRefuseWhatIsNoPlainFile)
{
    QTemporaryDir dir;
    for (const QString& path : {dir.path(), QStringLiteral("NUL")})
        EXPECT_THROW(readSmallFile(path, 100, "Cannot read"), EInOutError) << path.toStdString();
    const QString big = dir.filePath("big");
    ASSERT_EQ(writeWholeFile(big, QByteArray(101, 'x'), WriteMode::CreateNew, "Cannot write"),
              WriteResult::Written);
    SmallFile f = readSmallFile(big, 100, "Cannot read");
    EXPECT_FALSE(f.whole);
    EXPECT_EQ(f.data.size(), 100);
    f = readSmallFile(big, 101, "Cannot read");
    EXPECT_TRUE(f.whole);
}

// Another program holds the file without sharing it (a sync client, a virus scanner): the
// write waits for it, here on a clock that lets it go at the third pause.
struct HolderLetsGo : RetryClock {
    HANDLE holder = INVALID_HANDLE_VALUE;
    uint64_t now = 0;
    int pauses = 0;
    int letGoAt = 3;
    void hold(const QString& path)
    {
        holder = CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), GENERIC_READ, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        pauses = 0;
    }
    uint64_t nowMs() override { return now; }
    void pause(unsigned ms) override
    {
        now += ms;
        if (++pauses == letGoAt && holder != INVALID_HANDLE_VALUE) {
            CloseHandle(holder);
            holder = INVALID_HANDLE_VALUE;
        }
    }
    ~HolderLetsGo() override
    {
        if (holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
    }
};

TEST(FileIoWin32, AFileHeldForAMomentIsWaitedForThenWritten)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("2016-10-01 {183008}.csv");
    const QString settings = dir.filePath("s.tarlo");
    ASSERT_EQ(writeWholeFile(log, "Time\r\n", WriteMode::CreateNew, "Cannot write"), WriteResult::Written);
    replaceFileAtomically(settings, "100\r\n", "Cannot save");
    HolderLetsGo clock;
    RetryClock::Override use(clock);

    clock.hold(log);
    EXPECT_EQ(writeWholeFile(log, "18:30\r\n", WriteMode::AppendExisting, "Cannot write"),
              WriteResult::Written);
    EXPECT_EQ(clock.pauses, 3);
    EXPECT_EQ(fileBytes(log), "Time\r\n18:30\r\n");
    clock.hold(settings);
    replaceFileAtomically(settings, "14\r\n", "Cannot save");
    EXPECT_EQ(clock.pauses, 3);
    EXPECT_EQ(fileBytes(settings), "14\r\n");

    // Held for good: the write gives up after a second, with the system's reason.
    clock.letGoAt = 0;
    clock.hold(log);
    clock.now = 0;
    EXPECT_THROW(writeWholeFile(log, "18:31\r\n", WriteMode::AppendExisting, "Cannot write"), EInOutError);
    EXPECT_EQ(clock.now, kBusyFileWaitMs);
}

TEST(FileIoWin32, PathsOf260CharactersAndMoreWork)
{
    QTemporaryDir dir;
    QString folder = dir.path();
    while (folder.size() < 300)
        folder += QStringLiteral("/") + QString(40, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString log = folder + QStringLiteral("/2016-10-01 {183008}.csv");
    EXPECT_EQ(writeWholeFile(log, "Time\r\n", WriteMode::CreateNew, "Cannot write"), WriteResult::Written);
    EXPECT_EQ(writeWholeFile(log, "18:30\r\n", WriteMode::AppendExisting, "Cannot write"),
              WriteResult::Written);
    EXPECT_EQ(readSmallFile(log, 100, "Cannot read").data, "Time\r\n18:30\r\n");
    const QString settings = folder + QStringLiteral("/s.tarlo");
    replaceFileAtomically(settings, "100\r\n", "Cannot save");
    replaceFileAtomically(settings, "14\r\n", "Cannot save");
    EXPECT_EQ(readSmallFile(settings, 100, "Cannot read").data, "14\r\n");
}

} // namespace
