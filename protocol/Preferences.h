#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The preferences file "tarlo02.ini": seven lines, no sections, no keys.
namespace Preferences {

inline constexpr int LineCount = 7;

// What each line holds, in file order.
enum Line { PortLine, LeftLine, TopLine, WidthLine, HeightLine, LanguageLine, LinkLine };
inline const QString FileName = QStringLiteral("tarlo02.ini");

// Path of the preferences file in a folder (the program's working folder).
QString pathIn(const QString& folder);

// The largest preferences file read: seven short lines; anything larger is refused.
inline constexpr qint64 MaxFileSize = 4096;

// The lines of a text file as a line-by-line reader sees them: a line ends at CR LF, LF or
// CR; text after the last line end is one more line; an empty file has none. A UTF-8
// byte-order mark at the start is no part of the first line.
QList<QByteArray> byteLines(const QByteArray& content);
QStringList textLines(const QByteArray& content);
// Why a file's content cannot be read as lines of text, for the end of an error message: it
// starts with a UTF-16 byte-order mark, or holds a NUL byte (as UTF-16 and UTF-32 text and
// binary files do). Empty for text, 8-bit or UTF-8, with or without a UTF-8 mark.
QString encodingProblem(const QByteArray& content);
// A line's text: UTF-8 when it is valid UTF-8, otherwise its bytes one by one (Latin-1),
// so that no byte is lost.
QString decodeLine(const QByteArray& line);

struct Values {
    QString port;
    int left = 0, top = 0, width = 0, height = 0;
    bool polish = true;
    bool wireless = false;
};

// The seven lines, each ended by CR LF. Line 1 is portBytes when given (the port name's bytes
// as they were read), else the port name in UTF-8.
QByteArray format(const Values& v, const QByteArray& portBytes = {});

// What a preferences file holds: its lines, and line 1 as the bytes it was stored as.
struct Stored {
    QStringList lines;
    QByteArray portBytes;
};

// The lines of a preferences file's content.
Stored parse(const QByteArray& content);
// Reads the file without blocking; throws EInOutError when it cannot be read, is not a
// regular file, is larger than a preferences file can be or is not text (encodingProblem).
Stored read(const QString& path);
// Replaces the file atomically (synced temporary renamed over it); on failure the old file
// stays whole and EInOutError is thrown.
void write(const QString& path, const QByteArray& content);

} // namespace Preferences
