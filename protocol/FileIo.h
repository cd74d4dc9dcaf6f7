#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>

// Whole-file writes that either complete or throw EInOutError naming the file and
// the system's reason. Short writes (a full disk, a file size limit) are errors,
// never silently accepted.

// CreateNew: the file must not exist yet, so nothing another program wrote is ever truncated.
// AppendExisting: the file must exist; a file deleted meanwhile is never made again here.
enum class WriteMode { CreateNew, AppendExisting };
// What was found instead of writing: the name taken (CreateNew), or no file (AppendExisting).
enum class WriteResult { Written, NameTaken, FileMissing };

// Opens, writes all of data, and closes before returning. A final symbolic link is never
// followed (ELOOP, or a taken name), so rows cannot be sent out of the folder by replacing the
// file with a link. A file that this call created and could not fill is removed again.
// what: the start of the error message, such as "Cannot write the log file".
WriteResult writeWholeFile(const QString& path, const QByteArray& data, WriteMode mode, const QString& what);

// Replaces path with data through a temporary file in the same folder that is
// synced and then renamed over it: readers see the old or the new content, never
// a part. On any failure the temporary is removed and the old file stays.
// On Linux, when path is a symbolic link, or a chain of them, that ends at a regular file (or
// at nothing yet), the file at the end is replaced, beside itself, and every link stays; on
// Windows, where links are rare and need rights to make, path itself is replaced.
// FileIoPosix.cpp and FileIoWin32.cpp implement this file, one picked per system.
void replaceFileAtomically(const QString& path, const QByteArray& data, const QString& what);
// The same for data made a piece at a time (an export larger than one would hold in memory):
// next() gives each piece in turn, and an empty one after the last.
void replaceFileAtomically(const QString& path, const std::function<QByteArray()>& next, const QString& what);

// What a bounded read of a small file gave.
struct SmallFile {
    QByteArray data;    // at most the bytes asked for
    bool whole = false; // false when the file holds more than that
};

// Reads at most maxBytes of a regular file, without ever blocking: a FIFO, a device or a
// folder is refused with EInOutError ("not a regular file"), as is a file that cannot be
// opened or read. what: the start of the error message.
SmallFile readSmallFile(const QString& path, qint64 maxBytes, const QString& what);
