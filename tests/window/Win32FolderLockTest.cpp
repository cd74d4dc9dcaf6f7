// The folder lock on Windows: another program's open of the lock file (an indexer, a virus
// scanner, a sync client) is no second copy; a second lock is.

#include "FolderLock.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

TEST(FolderLockWin32, OnlyASecondLockIsRefused)
{
    QTemporaryDir dir;
    const std::wstring path =
        QDir::toNativeSeparators(QDir(dir.path()).filePath(FolderLock::FileName)).toStdWString();
    const HANDLE indexer =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(indexer, INVALID_HANDLE_VALUE);
    std::optional<FolderLock> first = FolderLock::take(dir.path());
    EXPECT_TRUE(first.has_value()) << "an indexer's open taken for a running copy";
    EXPECT_FALSE(FolderLock::take(dir.path()).has_value()) << "a second copy";
    first.reset();
    EXPECT_TRUE(FolderLock::take(dir.path()).has_value()) << "the lock goes with its holder";
    CloseHandle(indexer);
}
