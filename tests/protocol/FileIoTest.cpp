// Whole-file writes on a full disk and through symbolic links.

#include "FileIo.h"
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

#include <functional>
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
