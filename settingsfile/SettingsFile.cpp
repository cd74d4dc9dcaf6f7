#include "SettingsFile.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Settings.h"

#include <QFile>

void fieldsForSaving(const SpinValues& values, SettingsFields& fields)
{
    for (int n = 1; n <= 10; ++n)
        fields[n] = QStringLiteral("0");
    computeSettingsFields(values, fields);
}

QByteArray formatSettingsFile(const SettingsFields& fields)
{
    QByteArray out;
    for (int n = 1; n <= 10; ++n)
        out += fields[n].toLatin1() + "\r\n";
    return out;
}

void saveSettingsFile(const QString& path, const QByteArray& data)
{
    replaceFileAtomically(path, data, QStringLiteral("Cannot save the settings file"));
}

std::vector<QString> readSettingsFileLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("Cannot read the settings file \"%1\": %2").arg(path, file.errorString()));
    // A settings file is a few dozen bytes; a large file is read no further than
    // its fifteenth line, and no line is read beyond 64 KiB.
    constexpr qint64 maxLine = 64 * 1024;
    std::vector<QString> lines;
    while (static_cast<int>(lines.size()) < MaxSettingsFileLines && !file.atEnd()) {
        QByteArray line = file.readLine(maxLine);
        if (line.isEmpty() && file.error() != QFileDevice::NoError)
            throw EInOutError(
                QStringLiteral("Cannot read the settings file \"%1\": %2").arg(path, file.errorString()));
        const bool complete = line.endsWith('\n');
        if (complete)
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        // Skip what is left of an overlong line.
        if (!complete)
            while (!file.atEnd() && !file.readLine(maxLine).endsWith('\n')) {
            }
        lines.push_back(QString::fromLatin1(line));
    }
    return lines;
}

void fieldsFromFileLines(const std::vector<QString>& lines, SettingsFields& fields)
{
    for (std::size_t i = 0; i < lines.size() && i + 1 < fields.size(); ++i)
        fields[i + 1] = lines[i];
}

LoadedSettings settingsFromFields(const SettingsFields& f)
{
    LoadedSettings s;
    try {
        const long double minWhole = toInt(f[5]);
        s.phMin = minWhole + static_cast<long double>(toInt(f[6])) / 100;
        const long double maxWhole = toInt(f[3]);
        s.phMax = maxWhole + static_cast<long double>(toInt(f[4])) / 100;
        s.threshold = static_cast<long double>(toInt(f[7])) / 100;
        s.kh = toInt(f[8]);
        s.brightness = toInt(f[1]);
        s.contrast = toInt(f[2]);
    } catch (const EConvertError& e) {
        s.error = e.message();
    }
    return s;
}
