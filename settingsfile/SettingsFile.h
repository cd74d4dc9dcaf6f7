#pragma once

#include "Records.h"
#include "Settings.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

struct SpinValues;

// Saving step 4: fields 1 to 10 become "0", then fields 5, 6, 3, 4, 7, 8, 1 and 2
// are computed from the spin edits.
void fieldsForSaving(const SpinValues& values, SettingsFields& fields);

// A settings file: settings fields 1 to 10, one per line, each ended by CR LF.
QByteArray formatSettingsFile(const SettingsFields& fields);

// Replaces the file at path with data atomically: the data goes to a temporary
// file beside it, which is then renamed over it. On failure the old file is left
// as it was, no temporary stays behind, and EInOutError names the file.
void saveSettingsFile(const QString& path, const QByteArray& data);

// Most lines a settings file can fill: fields 1 to 15.
inline constexpr int MaxSettingsFileLines = 15;
// The longest line read as a value; a longer one is a bad value.
inline constexpr int MaxSettingsLineLength = 1024;

// The first lines of a settings file (at most fifteen; the rest is ignored), without their
// line ends (CR LF, LF or CR) and without a UTF-8 byte-order mark. EInOutError when the file
// cannot be read, is not a regular file or is not text (UTF-16, NUL bytes). A line longer
// than MaxSettingsLineLength comes back as a text that does not convert.
std::vector<QString> readSettingsFileLines(const QString& path);
// The same from bytes already read; `whole` is false when the read stopped before the end.
std::vector<QString> settingsFileLines(const QByteArray& data, bool whole);

// Puts line N of a file into settings field N; the fields after the last line keep
// their contents.
void fieldsFromFileLines(const std::vector<QString>& lines, SettingsFields& fields);

// The spin edit values of a loaded file, in the order they are set. The first
// field that is not an integer stops the loading with its conversion error; the
// values before it are kept and the settings record must not be updated.
using LoadedSettings = SpinSettings;

LoadedSettings settingsFromFields(const SettingsFields& fields);

// Loading the lines of the file at path: fieldsFromFileLines, then settingsFromFields. The
// error names the file and the line: a bad value shows at most its first 16 characters, those
// that do not print as "?". A file of fewer than ten lines is refused before any field
// changes, naming the first line missing.
LoadedSettings loadSettingsLines(const QString& path, const std::vector<QString>& lines,
                                 SettingsFields& fields);
