// Whole-file writes on a full disk and through symbolic links.

#include "FileIo.h"
#include "FileCalls.h"
#include "FileSizeLimit.h"
#include "Files.h"
#include "Log.h"
#include "Numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {
const QDateTime kStart(QDate(2016, 10, 1), QTime(18, 30, 8));
}

// A write that fails half way leaves what was there before, and no file of its own.
TEST(FileIo, AFullDiskLeavesNoHalfWrittenOrEmptyFiles)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("2016-10-01 {183008}.csv");
    const QString old = dir.filePath("old.csv");
    const QString settings = dir.filePath("s.tarlo");
    putFile(old, "Time;PH\r\n18:30:08;7,05\r\n");
    putFile(settings, "100\r\n14\r\n");
    const QByteArray longRow(200, '7');

    const struct {
        const char* what;
        std::function<void()> write;
        QString path;
        QByteArray expected; // the file's content after the failure
    } cases[] = {
        {"new log", [&] { startLogFile(dir.path(), kStart, QString::fromLatin1(longRow)); }, log,
         "(missing)"},
        {"append", [&] { appendLogRow(old, QString::fromLatin1(longRow)); }, old, fileBytes(old)},
        {"settings", [&] { replaceFileAtomically(settings, longRow, "Cannot save"); }, settings,
         fileBytes(settings)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        {
            FileSizeLimit full(64);
            EXPECT_THROW(c.write(), EInOutError);
        }
        EXPECT_EQ(fileBytes(c.path), c.expected);
    }
    // Nothing else was left behind: no temporary, no empty log.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

namespace {

// The system's calls, recorded, with one of them failing when asked.
struct RecordedCalls : FileCalls {
    std::vector<std::string> calls;
    std::string failing;
    bool step(const char* name)
    {
        calls.push_back(name);
        return failing != name;
    }
    int failed()
    {
        errno = EIO;
        return -1;
    }
    ssize_t write(int fd, const void* data, size_t size) override
    {
        return step("write") ? FileCalls::write(fd, data, size) : failed();
    }
    int fsync(int fd) override { return step("fsync") ? FileCalls::fsync(fd) : failed(); }
    int close(int fd) override
    {
        const bool ok = step("close");
        const int rc = FileCalls::close(fd); // the descriptor goes either way, as on Linux
        return ok ? rc : failed();
    }
    int rename(const char* from, const char* to) override
    {
        return step("rename") ? FileCalls::rename(from, to) : failed();
    }
};

} // namespace

// Data is synced before its name is made or changed (and the folder after), and a failure at
// any step leaves the file as it was, with nothing of the write behind.
TEST(FileIo, WritesSyncBeforeTheNameAndAFailedStepLeavesNothing)
{
    QTemporaryDir dir;
    const QString log = dir.filePath("new.csv");
    const QString old = dir.filePath("old.csv");
    const QString settings = dir.filePath("s.tarlo");
    const QByteArray before = "Time;PH\r\n";
    const struct {
        const char* what;
        std::function<void()> write;
        QString path;
        std::vector<std::string> steps;
        QByteArray after; // the file's content once written
    } cases[] = {
        {"new log",
         [&] { writeWholeFile(log, "row\r\n", WriteMode::CreateNew, "Cannot write"); },
         log,
         {"write", "fsync", "close", "fsync"},
         "row\r\n"},
        {"append",
         [&] { writeWholeFile(old, "row\r\n", WriteMode::AppendExisting, "Cannot write"); },
         old,
         {"write", "fsync", "close"},
         before + "row\r\n"},
        {"replace",
         [&] { replaceFileAtomically(settings, "new\r\n", "Cannot save"); },
         settings,
         {"write", "fsync", "close", "rename", "fsync"},
         "new\r\n"},
    };
    for (const auto& c : cases) {
        // No failure, then each call failing in turn (a failing "fsync" fails the file's).
        for (const std::string failing : {"", "write", "fsync", "close", "rename"}) {
            const auto stop = std::find(c.steps.begin(), c.steps.end(), failing);
            if (!failing.empty() && stop == c.steps.end())
                continue;
            putFile(old, before);
            putFile(settings, before);
            QFile::remove(log);
            const QByteArray start = fileBytes(c.path);
            RecordedCalls calls;
            calls.failing = failing;
            SCOPED_TRACE(std::string(c.what) + ", failing: " + failing);
            {
                FileCalls::Override use(calls);
                if (failing.empty())
                    c.write();
                else
                    EXPECT_THROW(c.write(), EInOutError);
            }
            EXPECT_EQ(calls.calls,
                      failing.empty() ? c.steps : std::vector<std::string>(c.steps.begin(), stop + 1));
            EXPECT_EQ(fileBytes(c.path), failing.empty() ? c.after : start);
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(),
                      fileBytes(log) == "(missing)" ? 2 : 3);
        }
    }
}

TEST(FileIo, LogsNeverFollowALinkAndSavesKeepEveryLink)
{
    QTemporaryDir dir, elsewhere;
    const QString target = elsewhere.filePath("target");
    putFile(target, "outside\r\n");
    const QString log = dir.filePath("2016-10-01 {183008}.csv");
    ASSERT_TRUE(QFile::link(target, log));
    EXPECT_NE(startLogFile(dir.path(), kStart, "18:30:08;7,05"), log) << "a link takes no log";
    EXPECT_THROW(appendLogRow(log, "18:31;7,05"), EInOutError);
    EXPECT_EQ(fileBytes(target), "outside\r\n");

    // A save through links replaces (or makes) the file at the end of the chain; every link,
    // relative ones too, stays a link. A loop of links is an error.
    const QString a = elsewhere.filePath("a"), b = elsewhere.filePath("b"), loop = dir.filePath("loop");
    const struct {
        const char* what;
        std::vector<std::pair<QString, QString>> links; // name, target
        QString end;                                    // the file that gets the content
    } cases[] = {
        {"one link", {{dir.filePath("s1"), target}}, target},
        {"chain", {{dir.filePath("s2"), a}, {a, "target"}}, target},
        {"chain to a new file", {{dir.filePath("s3"), b}, {b, "fresh"}}, elsewhere.filePath("fresh")},
        {"loop", {{loop, dir.filePath("s4")}, {dir.filePath("s4"), loop}}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& [name, to] : c.links)
            ASSERT_EQ(::symlink(QFile::encodeName(to).constData(), QFile::encodeName(name).constData()), 0);
        const QByteArray data = QByteArray(c.what) + "\r\n";
        if (c.end.isEmpty()) {
            EXPECT_THROW(replaceFileAtomically(c.links.front().first, data, "Cannot save"), EInOutError);
        } else {
            replaceFileAtomically(c.links.front().first, data, "Cannot save");
            EXPECT_EQ(fileBytes(c.end), data);
        }
        for (const auto& link : c.links)
            EXPECT_TRUE(QFileInfo(link.first).isSymLink()) << link.first.toStdString();
    }
    for (const QDir& d : {QDir(dir.path()), QDir(elsewhere.path())})
        EXPECT_TRUE(d.entryList({"*.tmp"}, QDir::AllEntries | QDir::Hidden | QDir::System).isEmpty());
}

TEST(FileIo, SmallFileReadsRefuseWhatIsNoPlainFile)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero"), dir.path()})
        EXPECT_THROW(readSmallFile(path, 100, "Cannot read"), EInOutError) << path.toStdString();

    const QString big = dir.filePath("big");
    putFile(big, QByteArray(101, 'x'));
    const SmallFile f = readSmallFile(big, 100, "Cannot read");
    EXPECT_FALSE(f.whole);
    EXPECT_EQ(f.data.size(), 100);
}
