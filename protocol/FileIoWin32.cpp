// FileIo.h on Windows: the same promises as on Linux, on the Win32 file calls. A row is on the
// disk when the call returns (FlushFileBuffers); a new name is never followed through a
// symbolic link or junction, and an existing one is refused; a save goes to a fresh file
// beside the old one and replaces it by a rename. NTFS journals its names, so there is no
// folder to sync. A file that another program has open for a moment (a sync client, a virus
// scanner) is waited for up to a second; paths of 260 characters and more are given to the
// system in their \\?\ form (WinFileRules.h).

#include "FileIo.h"

#include "Numbers.h"
#include "WinFileRules.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <utility>

#include <windows.h>

namespace {

// The system's text for an error number, without its final full stop and line end.
QString systemText(DWORD err)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString s = n ? QString::fromWCharArray(text, int(n)).trimmed() : QStringLiteral("Error %1").arg(err);
    if (text)
        LocalFree(text);
    while (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

[[noreturn]] void fail(const QString& what, const QString& path, DWORD err)
{
    throw EInOutError(
        QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(path), systemText(err)));
}

// The name the system is given: as it is while it is short, so device names such as NUL keep
// their meaning; the \\?\ form of the whole path once it nears the 260-character limit (a
// folder's own limit is 248).
std::wstring nativeName(const QString& path)
{
    const QString absolute = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.size() < 248)
        return QDir::toNativeSeparators(path).toStdWString();
    return extendedLengthPath(absolute).toStdWString();
}

bool isSharingRefusal(int err) { return err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION; }

// CreateFileW, waiting out another program's open of the file.
HANDLE openFile(const std::wstring& name, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    HANDLE file = INVALID_HANDLE_VALUE;
    const int err = retryWhileBusy(
        [&] {
            file = CreateFileW(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
            return file == INVALID_HANDLE_VALUE ? int(GetLastError()) : 0;
        },
        isSharingRefusal);
    SetLastError(DWORD(err));
    return file;
}

// Writes everything or returns the error number of the failure.
DWORD writeAll(HANDLE file, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(left, 1 << 20));
        if (!WriteFile(file, p, chunk, &n, nullptr))
            return GetLastError();
        if (n == 0)
            return ERROR_WRITE_FAULT;
        p += n;
        left -= n;
    }
    return 0;
}

bool isLink(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

WriteResult writeWholeFile(const QString& path, const QByteArray& data, WriteMode mode, const QString& what)
{
    const std::wstring name = nativeName(path);
    const bool created = mode == WriteMode::CreateNew;
    // The link itself is opened, never what it points at; readers may read along.
    const HANDLE file =
        openFile(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                 created ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        if (created && (err == ERROR_FILE_EXISTS || err == ERROR_ALREADY_EXISTS))
            return WriteResult::NameTaken;
        if (!created && (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND))
            return WriteResult::FileMissing;
        fail(what, path, err);
    }
    if (!created && isLink(file)) {
        CloseHandle(file);
        fail(what, path, ERROR_CANT_ACCESS_FILE);
    }
    LARGE_INTEGER before{};
    if (!created && !SetFilePointerEx(file, LARGE_INTEGER{}, &before, FILE_END)) {
        const DWORD err = GetLastError();
        CloseHandle(file);
        fail(what, path, err);
    }
    // On a failed append, cut the file back so no half row stays in it; a file created here
    // and not filled goes again, so failures on a full disk leave no empty files behind.
    DWORD err = writeAll(file, data);
    if (err == 0 && !FlushFileBuffers(file))
        err = GetLastError();
    if (err != 0) {
        if (!created && SetFilePointerEx(file, before, nullptr, FILE_BEGIN))
            SetEndOfFile(file);
        CloseHandle(file);
        if (created)
            DeleteFileW(name.c_str());
        fail(what, path, err);
    }
    if (!CloseHandle(file)) {
        err = GetLastError();
        if (created)
            DeleteFileW(name.c_str());
        fail(what, path, err);
    }
    return WriteResult::Written;
}

SmallFile readSmallFile(const QString& path, qint64 maxBytes, const QString& what)
{
    const std::wstring name = nativeName(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw EInOutError(
            QStringLiteral("%1 \"%2\": not a regular file").arg(what, QDir::toNativeSeparators(path)));
    const HANDLE file = openFile(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (file == INVALID_HANDLE_VALUE)
        fail(what, path, GetLastError());
    // Devices (NUL, COM1) and pipes are no files on a disk.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw EInOutError(
            QStringLiteral("%1 \"%2\": not a regular file").arg(what, QDir::toNativeSeparators(path)));
    }
    SmallFile f;
    f.data.resize(maxBytes + 1);
    qint64 got = 0;
    while (got < maxBytes + 1) {
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qint64>(maxBytes + 1 - got, 1 << 20));
        if (!ReadFile(file, f.data.data() + got, chunk, &n, nullptr)) {
            const DWORD err = GetLastError();
            CloseHandle(file);
            fail(what, path, err);
        }
        if (n == 0)
            break;
        got += n;
    }
    CloseHandle(file);
    f.whole = got <= maxBytes;
    f.data.truncate(std::min(got, maxBytes));
    return f;
}

void replaceFileAtomically(const QString& path, const QByteArray& data, const QString& what)
{
    bool given = false;
    replaceFileAtomically(
        path, [&] { return std::exchange(given, true) ? QByteArray() : data; }, what);
}

void replaceFileAtomically(const QString& path, const std::function<QByteArray()>& next, const QString& what)
{
    // A fresh hidden name beside the target, so the rename stays on one volume.
    const QFileInfo info(path);
    const QString folder = info.path();
    QString tempPath;
    std::wstring tempName;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; file == INVALID_HANDLE_VALUE; ++attempt) {
        tempPath = QDir(folder).filePath(
            QStringLiteral(".%1.%2.tmp")
                .arg(info.fileName(), QString::number(QRandomGenerator::global()->generate(), 16)
                                          .rightJustified(8, QLatin1Char('0'))));
        tempName = nativeName(tempPath);
        file = CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100))
            fail(what, path, GetLastError());
    }
    auto discard = [&](DWORD err) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        DeleteFileW(tempName.c_str());
        fail(what, path, err);
    };
    // Each piece let go before the next is asked for, so its maker can fill the same memory.
    for (;;) {
        const QByteArray piece = next();
        if (piece.isEmpty())
            break;
        if (const DWORD err = writeAll(file, piece))
            discard(err);
    }
    if (!FlushFileBuffers(file))
        discard(GetLastError());
    const BOOL closed = CloseHandle(file);
    file = INVALID_HANDLE_VALUE;
    if (!closed)
        discard(GetLastError());
    // The new file keeps no hidden mark once it carries the name.
    SetFileAttributesW(tempName.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A target that another program has open refuses to be replaced (access denied, or a
    // sharing violation): waited out like an open.
    const std::wstring target = nativeName(path);
    if (const int err = retryWhileBusy(
            [&] {
                return MoveFileExW(tempName.c_str(), target.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                           ? 0
                           : int(GetLastError());
            },
            [](int e) { return isSharingRefusal(e) || e == ERROR_ACCESS_DENIED; }))
        discard(DWORD(err));
}
