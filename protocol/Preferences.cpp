#include "Preferences.h"

#include "Numbers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace Preferences {

QString pathIn(const QString& folder) { return folder + QLatin1Char('/') + FileName; }

QStringList textLines(const QByteArray& content)
{
    QStringList lines;
    QString current;
    const QString text = QString::fromUtf8(content);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            lines << current;
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!current.isEmpty())
        lines << current;
    return lines;
}

QByteArray format(const Values& v)
{
    const QStringList lines{v.port,
                            QString::number(v.left),
                            QString::number(v.top),
                            QString::number(v.width),
                            QString::number(v.height),
                            v.polish ? QStringLiteral("PL") : QStringLiteral("EN"),
                            v.wireless ? QStringLiteral("WIFI") : QStringLiteral("USB")};
    QByteArray out;
    for (const QString& l : lines)
        out += l.toUtf8() + "\r\n";
    return out;
}

QStringList read(const QString& p)
{
    QFile f(p);
    if (!f.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot read %1: %2").arg(p, f.errorString()));
    const QByteArray content = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw EInOutError(QStringLiteral("Cannot read %1: %2").arg(p, f.errorString()));
    return textLines(content);
}

void write(const QString& p, const QByteArray& content)
{
    // Written beside the old file and renamed over it, so a failed write keeps the old one.
    QSaveFile f(p);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size() || !f.commit())
        throw EInOutError(QStringLiteral("Cannot write %1: %2").arg(p, f.errorString()));
}

} // namespace Preferences
