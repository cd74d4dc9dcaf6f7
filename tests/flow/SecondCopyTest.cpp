// Two copies of the program: one folder, one copy; copies in two folders keep apart.

#include "FlowFixture.h"

#include <QProcess>

#include <csignal>

namespace {
// Whether process `pid` holds the lock of `folder`: one of its descriptors is the folder's lock
// file, with a flock on it (/proc/PID/fdinfo). The test never takes the lock to find out: a
// probe that held it for a moment could make a copy starting just then end as a second copy.
bool holdsFolderLock(qint64 pid, const QString& folder)
{
    const QString lockFile = QDir(QDir(folder).canonicalPath()).filePath(FolderLock::FileName);
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QDir fds(proc + QStringLiteral("fd"));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (QFile::symLinkTarget(fds.filePath(fd)) != lockFile)
            continue;
        QFile info(proc + QStringLiteral("fdinfo/") + fd);
        if (info.open(QIODevice::ReadOnly) && info.readAll().contains(" FLOCK "))
            return true;
    }
    return false;
}
} // namespace

TEST_F(FlowTest, ASecondCopyInTheSameFolderIsToldAndEnds)
{
    writeFile("tarlo02.ini", "COM1\r\n100\r\n50\r\n361\r\n662\r\nEN\r\nUSB\r\n");
    // The first copy: the program itself, offscreen, in the test's folder.
    QProcess first;
    first.setWorkingDirectory(work.path());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(TARLO01_PATH), {});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(waitFor([&] { return holdsFolderLock(first.processId(), work.path()); }, 60000))
        << "the first copy holds its folder";
    const QByteArray prefs = readFile("tarlo02.ini");

    // The second copy's start: told in the folder's language, and nothing of the first touched.
    EXPECT_FALSE(LockWorkingFolder());
    ASSERT_EQ(pf.messages.size(), 1u);
    EXPECT_TRUE(pf.messages[0].text.startsWith(
        QStringLiteral("PH Controller Tarlo-01 is already running in this folder")))
        << pf.messages[0].text.toStdString();
    EXPECT_TRUE(pf.messages[0].text.contains(work.path()));
    EXPECT_EQ(readFile("tarlo02.ini"), prefs);

    // A copy in another folder starts and logs there meanwhile.
    QTemporaryDir other;
    ASSERT_TRUE(QDir::setCurrent(other.path()));
    {
        const std::optional<FolderLock> lock = LockWorkingFolder();
        EXPECT_TRUE(lock);
        PtyPeer pty;
        openWindow();
        at(18, 30, 0);
        connectTo(pty.qPath());
        form->CheckBox1->click();
        at(18, 30, 8);
        ASSERT_TRUE(feedRecord(pty));
        EXPECT_EQ(QDir(other.path()).entryList({QStringLiteral("*.csv")}),
                  QStringList{"2016-10-01 {183008}.csv"});
        EXPECT_TRUE(QDir(work.path()).entryList({QStringLiteral("*.csv")}).isEmpty());
    }
    ASSERT_TRUE(QDir::setCurrent(work.path()));

    // The first copy ends without a word (a crash): its folder is free at once.
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished());
    EXPECT_TRUE(LockWorkingFolder());
    EXPECT_EQ(pf.messages.size(), 1u);
}
