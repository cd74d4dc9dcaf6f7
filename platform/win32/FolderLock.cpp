#include "FolderLock.h"

#include <QDir>

#include <windows.h>

std::optional<FolderLock> FolderLock::take(const QString& folder)
{
    const std::wstring path = QDir::toNativeSeparators(QDir(folder).filePath(FileName)).toStdWString();
    // Opened shared, so an indexer, a virus scanner or a sync client that opens the file as well
    // is no second copy; the lock is a byte range, which the system drops when the process ends
    // in any way, and which another open of the file in this process cannot take either.
    const HANDLE file = CreateFileW(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    // No lock file can be made here (read-only, gone): the copy runs.
    if (file == INVALID_HANDLE_VALUE)
        return FolderLock(-1);
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return FolderLock(reinterpret_cast<intptr_t>(file));
    const DWORD err = GetLastError();
    CloseHandle(file);
    if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
        return std::nullopt;
    // A file system without locks cannot tell: the copy runs.
    return FolderLock(-1);
}

FolderLock::~FolderLock()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}
