#include "Preferences.h"

#include "FileIo.h"
#include "Numbers.h"

#include <QDir>
#include <QStringDecoder>

namespace Preferences {

namespace {
constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
} // namespace

QString pathIn(const QString& folder) { return folder + QLatin1Char('/') + FileName; }

QList<QByteArray> byteLines(const QByteArray& content)
{
    QList<QByteArray> lines;
    QByteArray current;
    for (qsizetype i = content.startsWith(kUtf8Mark) ? 3 : 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\r' || c == '\n') {
            lines << current;
            current.clear();
            if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n')
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

QString encodingProblem(const QByteArray& content)
{
    if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF"))
        return QStringLiteral("UTF-16 text, not 8-bit text such as UTF-8");
    const qsizetype nul = content.indexOf('\0');
    if (nul < 0)
        return {};
    // The NUL byte's line: the lines before it and the one it starts or ends.
    const qsizetype line = byteLines(content.left(nul) + 'x').size();
    return QStringLiteral("a NUL byte on line %1, not 8-bit text such as UTF-8").arg(line);
}

QString decodeLine(const QByteArray& line)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(line);
    return utf8.hasError() ? QString::fromLatin1(line) : text;
}

QStringList textLines(const QByteArray& content)
{
    QStringList lines;
    for (const QByteArray& l : byteLines(content))
        lines << decodeLine(l);
    return lines;
}

QByteArray format(const Values& v, const QByteArray& portBytes)
{
    const QStringList lines{QString::number(v.left),
                            QString::number(v.top),
                            QString::number(v.width),
                            QString::number(v.height),
                            v.polish ? QStringLiteral("PL") : QStringLiteral("EN"),
                            v.wireless ? QStringLiteral("WIFI") : QStringLiteral("USB")};
    QByteArray out = (portBytes.isNull() ? v.port.toUtf8() : portBytes) + "\r\n";
    for (const QString& l : lines)
        out += l.toUtf8() + "\r\n";
    return out;
}

Stored parse(const QByteArray& content)
{
    Stored stored;
    const QList<QByteArray> lines = byteLines(content);
    for (const QByteArray& l : lines)
        stored.lines << decodeLine(l);
    if (!lines.isEmpty())
        stored.portBytes = lines.front();
    return stored;
}

Stored read(const QString& p)
{
    const QString what = QStringLiteral("Cannot read the preferences file");
    const SmallFile file = readSmallFile(p, MaxFileSize, what);
    if (!file.whole)
        throw EInOutError(QStringLiteral("%1 \"%2\": larger than %3 bytes")
                              .arg(what, QDir::toNativeSeparators(p))
                              .arg(MaxFileSize));
    if (const QString problem = encodingProblem(file.data); !problem.isEmpty())
        throw EInOutError(QStringLiteral("%1 \"%2\": %3").arg(what, QDir::toNativeSeparators(p), problem));
    return parse(file.data);
}

void write(const QString& p, const QByteArray& content)
{
    replaceFileAtomically(p, content, QStringLiteral("Cannot write the preferences file"));
}

} // namespace Preferences
