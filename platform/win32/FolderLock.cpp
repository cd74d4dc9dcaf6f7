#include "FolderLock.h"

#include <QDir>

#include <windows.h>

std::optional<FolderLock> FolderLock::take(const QString& folder)
{
    const std::wstring path = QDir::toNativeSeparators(QDir(folder).filePath(FileName)).toStdWString();
    // Opened without sharing: while this handle lives, every other open of the file is refused,
    // in this process too; the system closes it when the process ends in any way.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        return FolderLock(reinterpret_cast<intptr_t>(file));
    const DWORD err = GetLastError();
    if (err == ERROR_SHARING_VIOLATION || err == ERROR_LOCK_VIOLATION)
        return std::nullopt;
    // No lock file can be made here (read-only, gone): the copy runs.
    return FolderLock(-1);
}

FolderLock::~FolderLock()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}
