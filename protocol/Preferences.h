#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The preferences file "tarlo02.ini": seven lines, no sections, no keys.
namespace Preferences {

inline constexpr int LineCount = 7;
inline const QString FileName = QStringLiteral("tarlo02.ini");

// Path of the preferences file in a folder (the program's working folder).
QString pathIn(const QString& folder);

// The lines of a text file as a line-by-line reader sees them: a line ends at CR LF, LF or
// CR; text after the last line end is one more line; an empty file has none.
QStringList textLines(const QByteArray& content);

struct Values {
    QString port;
    int left = 0, top = 0, width = 0, height = 0;
    bool polish = true;
    bool wireless = false;
};

// The seven lines, each ended by CR LF.
QByteArray format(const Values& v);

// Reads the file's lines; throws EInOutError when it exists but cannot be read.
QStringList read(const QString& path);
// Creates the file anew with the given content; throws EInOutError on failure.
void write(const QString& path, const QByteArray& content);

} // namespace Preferences
