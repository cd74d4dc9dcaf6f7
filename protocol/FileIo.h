#pragma once

#include <QByteArray>
#include <QString>

// Whole-file writes that either complete or throw EInOutError naming the file and
// the system's reason. Short writes (a full disk, a file size limit) are errors,
// never silently accepted.

enum class WriteMode { CreateOrTruncate, AppendExisting };

// Opens, writes all of data, and closes before returning.
// what: the start of the error message, such as "Cannot write the log file".
void writeWholeFile(const QString& path, const QByteArray& data, WriteMode mode, const QString& what);

// Replaces path with data through a temporary file in the same folder that is
// synced and then renamed over it: readers see the old or the new content, never
// a part. On any failure the temporary is removed and the old file stays.
void replaceFileAtomically(const QString& path, const QByteArray& data, const QString& what);
