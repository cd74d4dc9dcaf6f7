#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A lock on a folder, held for as long as the object lives: one copy of the program a folder,
// so two copies never share the preferences and the logs. The system drops the lock when the
// process ends in any way, so a crash never locks the folder for good.
class FolderLock {
public:
    // The lock file inside the folder.
    static inline const QString FileName = QStringLiteral(".tarlo02.lock");

    // Takes the lock of `folder`; nothing when another process holds it. A folder where no lock
    // file can be made (read-only, gone) is not refused: a copy there could write nothing the
    // other one writes.
    static std::optional<FolderLock> take(const QString& folder);

    FolderLock(FolderLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
    FolderLock& operator=(FolderLock&&) = delete;
    FolderLock(const FolderLock&) = delete;
    ~FolderLock();

private:
    explicit FolderLock(intptr_t handle) : handle_(handle) {}
    // The open lock file (a descriptor, or a Windows handle), or -1 when none could be made.
    // platform/posix/ and platform/win32/ hold the two ways, one picked per system.
    intptr_t handle_ = -1;
};
