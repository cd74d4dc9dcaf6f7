#include "FolderLock.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::optional<FolderLock> FolderLock::take(const QString& folder)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(FileName));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        return FolderLock(-1);
    // flock belongs to the open file, not the process: a second open in this process is
    // refused as well, and the lock goes when the descriptor closes at exit.
    int rc = 0;
    do
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return std::nullopt;
    }
    // A file system without locks cannot tell: the copy runs.
    return FolderLock(fd);
}

FolderLock::~FolderLock()
{
    if (handle_ >= 0)
        ::close(int(handle_));
}
