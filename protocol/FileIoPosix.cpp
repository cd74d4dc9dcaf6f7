#include "FileIo.h"

#include "FileCalls.h"
#include "Numbers.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {
std::atomic<FileCalls*> overridden{nullptr};
} // namespace

ssize_t FileCalls::write(int fd, const void* data, size_t size) { return ::write(fd, data, size); }
int FileCalls::fsync(int fd) { return ::fsync(fd); }
int FileCalls::close(int fd) { return ::close(fd); }
int FileCalls::rename(const char* from, const char* to) { return ::rename(from, to); }

FileCalls& FileCalls::current()
{
    static FileCalls system;
    FileCalls* calls = overridden.load();
    return calls ? *calls : system;
}

FileCalls::Override::Override(FileCalls& calls) : previous_(overridden.exchange(&calls)) {}

FileCalls::Override::~Override() { overridden.store(previous_); }

namespace {

[[noreturn]] void fail(const QString& what, const QString& path, int err)
{
    throw EInOutError(QStringLiteral("%1 \"%2\": %3")
                          .arg(what, path, QString::fromStdString(std::generic_category().message(err))));
}

// Writes everything or returns the errno of the failure.
int writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = FileCalls::current().write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        p += n;
        left -= n;
    }
    return 0;
}

// Syncs the folder holding path, so a name made or changed in it is on the disk. A file system
// that cannot sync a folder has nothing more to give: not an error.
void syncFolderOf(const QString& path)
{
    const int dir = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return;
    [[maybe_unused]] const int rc = FileCalls::current().fsync(dir);
    ::close(dir);
}

} // namespace

WriteResult writeWholeFile(const QString& path, const QByteArray& data, WriteMode mode, const QString& what)
{
    const QByteArray name = QFile::encodeName(path);
    const bool created = mode == WriteMode::CreateNew;
    const int fd = created
                       ? ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666)
                       : ::open(name.constData(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && created && errno == EEXIST)
        return WriteResult::NameTaken;
    if (fd < 0 && !created && errno == ENOENT)
        return WriteResult::FileMissing;
    if (fd < 0)
        fail(what, path, errno);
    // On a failed append, cut the file back so no half row stays in it; a file created here
    // and not filled goes again, so failures on a full disk leave no empty files behind.
    const off_t before = created ? 0 : ::lseek(fd, 0, SEEK_END);
    auto undo = [&] {
        if (created)
            ::unlink(name.constData());
        else if (before >= 0 && ::ftruncate(fd, before) != 0) {
            // The write error is the one to report.
        }
    };
    // On the disk before the call returns, so a power cut loses no row that was written; a new
    // file's name too.
    int err = writeAll(fd, data);
    if (err == 0 && FileCalls::current().fsync(fd) != 0)
        err = errno;
    if (err != 0) {
        undo();
        ::close(fd);
        fail(what, path, err);
    }
    if (FileCalls::current().close(fd) != 0) {
        // Reported as failed, so nothing of it may stay: a caller that writes the row again
        // must not find it twice.
        err = errno;
        if (created)
            ::unlink(name.constData());
        else if (before >= 0 && ::truncate(name.constData(), before) != 0) {
            // The close error is the one to report.
        }
        fail(what, path, err);
    }
    if (created)
        syncFolderOf(path);
    return WriteResult::Written;
}

SmallFile readSmallFile(const QString& path, qint64 maxBytes, const QString& what)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        fail(what, path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EInOutError(QStringLiteral("%1 \"%2\": not a regular file").arg(what, path));
    }
    SmallFile f;
    f.data.resize(maxBytes + 1);
    qint64 got = 0;
    while (got < maxBytes + 1) {
        const ssize_t n = ::read(fd, f.data.data() + got, size_t(maxBytes + 1 - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            fail(what, path, err);
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    f.whole = got <= maxBytes;
    f.data.truncate(std::min(got, maxBytes));
    return f;
}

namespace {

// The file that saving to path replaces: through a chain of symbolic links, the one at its end
// when that is a regular file or nothing yet, so every link of the chain stays; when the chain
// ends at anything else, path itself. A loop of links throws ELOOP. Names stay bytes, and a
// relative target is joined to its link's folder as the system does, with no ".." folded away.
QByteArray replacedFile(const QByteArray& path, const QString& what, const QString& shown)
{
    // Linux follows at most 40 links in one path lookup.
    constexpr int kMaxLinks = 40;
    QByteArray current = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0) {
            if (errno == ENOENT)
                return current;
            fail(what, shown, errno);
        }
        if (!S_ISLNK(st.st_mode))
            return S_ISREG(st.st_mode) ? current : path;
        if (hops == kMaxLinks)
            fail(what, shown, ELOOP);
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(current.constData(), target.data(), size_t(target.size()));
        if (n < 0)
            fail(what, shown, errno);
        target.truncate(n);
        current = target.startsWith('/') ? target : current.left(current.lastIndexOf('/') + 1) + target;
    }
}

} // namespace

void replaceFileAtomically(const QString& path, const QByteArray& data, const QString& what)
{
    bool given = false;
    replaceFileAtomically(
        path, [&] { return std::exchange(given, true) ? QByteArray() : data; }, what);
}

void replaceFileAtomically(const QString& linkOrPath, const std::function<QByteArray()>& next,
                           const QString& what)
{
    const QByteArray name = replacedFile(QFile::encodeName(linkOrPath), what, linkOrPath);
    const QString path = QFile::decodeName(name);
    // The folder as given (empty: the working folder), so the temporary lands beside the file.
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = name.left(slash + 1);
    const QByteArray fileName = name.mid(slash + 1);

    // A fresh hidden name beside the target; 0666 lets the umask decide the rights.
    QByteArray tempName;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        tempName = folder + '.' + fileName + '.' +
                   QByteArray::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, '0') +
                   ".tmp";
        fd = ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            fail(what, path, errno);
    }
    auto discard = [&](int err) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tempName.constData());
        fail(what, path, err);
    };

    // Keep the rights of the file being replaced.
    struct stat old {};
    if (::stat(name.constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);

    // Each piece let go before the next is asked for, so its maker can fill the same memory.
    for (;;) {
        const QByteArray piece = next();
        if (piece.isEmpty())
            break;
        if (const int err = writeAll(fd, piece))
            discard(err);
    }
    if (FileCalls::current().fsync(fd) != 0)
        discard(errno);
    const int closed = FileCalls::current().close(fd);
    fd = -1;
    if (closed != 0)
        discard(errno);
    if (FileCalls::current().rename(tempName.constData(), name.constData()) != 0)
        discard(errno);
    syncFolderOf(path);
}
