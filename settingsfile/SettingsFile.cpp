#include "SettingsFile.h"

#include "FileIo.h"
#include "Numbers.h"
#include "Settings.h"

void fieldsForSaving(const SpinValues& values, SettingsFields& fields)
{
    for (std::size_t i = 0; i < kSettingsFileFields; ++i)
        fields[kFrameFields[i]] = QStringLiteral("0");
    computeSettingsFields(values, fields);
}

QByteArray formatSettingsFile(const SettingsFields& fields)
{
    QByteArray out;
    for (std::size_t i = 0; i < kSettingsFileFields; ++i)
        out += fields[kFrameFields[i]].toLatin1() + "\r\n";
    return out;
}

void saveSettingsFile(const QString& path, const QByteArray& data)
{
    replaceFileAtomically(path, data, QStringLiteral("Cannot save the settings file"));
}

std::vector<QString> readSettingsFileLines(const QString& path)
{
    // A settings file is a few dozen bytes. It is read without blocking (a FIFO or a device is
    // refused) and no further than fifteen lines of at most MaxSettingsLineLength characters.
    const SmallFile file = readSmallFile(path, qint64(MaxSettingsFileLines) * (MaxSettingsLineLength + 2),
                                         QStringLiteral("Cannot read the settings file"));
    return settingsFileLines(file.data, file.whole);
}

std::vector<QString> settingsFileLines(const QByteArray& data, bool whole)
{
    std::vector<QString> lines;
    qsizetype start = 0;
    while (static_cast<int>(lines.size()) < MaxSettingsFileLines && start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        const bool cut = end < 0 && !whole; // the read stopped inside this line
        if (end < 0)
            end = data.size();
        QByteArray line = data.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        start = end + 1;
        if (cut || line.size() > MaxSettingsLineLength) {
            // Too long for any value: kept as a text that never converts, so loading reports it
            // as a bad value instead of reading a cut-off number.
            lines.push_back(QString::fromLatin1(line.left(16)) + QChar(0x2026));
            if (cut)
                break;
            continue;
        }
        lines.push_back(QString::fromLatin1(line));
    }
    return lines;
}

void fieldsFromFileLines(const std::vector<QString>& lines, SettingsFields& fields)
{
    // Line N holds field N; lines beyond the fields are ignored.
    for (std::size_t i = 0; i < lines.size() && i + 1 < SettingsFields::Count; ++i)
        fields[settingsFieldOfFileLine(i)] = lines[i];
}

LoadedSettings settingsFromFields(const SettingsFields& f)
{
    using F = SettingsField;
    auto integer = [&f](F field) { return static_cast<long double>(toInt(f[field])); };
    // The whole part is converted before the hundredths, so an error names the first.
    auto ph = [&integer](F whole, F hundredths) {
        const long double w = integer(whole);
        return w + integer(hundredths) / 100;
    };
    return convertSettings({
        [&] { return ph(F::PhMinWhole, F::PhMinHundredths); },
        [&] { return ph(F::PhMaxWhole, F::PhMaxHundredths); },
        [&] { return integer(F::Alarm) / 100; },
        [&] { return integer(F::Kh); },
        [&] { return integer(F::Brightness); },
        [&] { return integer(F::Contrast); },
    });
}
