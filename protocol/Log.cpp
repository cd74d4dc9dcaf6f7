#include "Log.h"

#include "FileIo.h"
#include "Numbers.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString stamp(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" {") +
           t.toString(QStringLiteral("HHmmss")) + QStringLiteral("}");
}

QString onOff(const QString& line)
{
    if (line == QStringLiteral("1"))
        return QStringLiteral("on");
    if (line == QStringLiteral("0"))
        return QStringLiteral("off");
    return {};
}

QString withCrLf(const QString& line) { return line + QStringLiteral("\r\n"); }

} // namespace

QString logFileName(const QString& dir, const QDateTime& start)
{
    return dir + u'/' + stamp(start) + QStringLiteral(".csv");
}

QString finishedLogName(const QString& path, const QDateTime& end)
{
    // Drop the extension of the file name (not a dot in a folder name).
    QString base = path;
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = path.lastIndexOf(u'/');
    if (dot > slash)
        base.truncate(dot);
    return base + QStringLiteral("    ") + stamp(end) + QStringLiteral(".csv");
}

void restorePhComma(FrameLines& lines)
{
    QString& ph = lines[RecordLine::Ph];
    if (ph.size() >= 2 && ph[1] == u'.')
        ph[1] = u',';
}

namespace {
// Noise in a value line that the record checks do not look at must not shift the columns
// or split the row: the separator and control characters become "?".
QString csvField(QString f)
{
    for (QChar& c : f)
        if (c == u';' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u'?';
    return f;
}
} // namespace

QString formatLogRow(const FrameLines& l, const QString& time)
{
    QString ph = l[RecordLine::Ph];
    if (ph.size() >= 2 && ph[1] == u'.')
        ph[1] = u',';
    QStringList fields{time,
                       ph,
                       l[RecordLine::PhMin],
                       l[RecordLine::PhMax],
                       l[RecordLine::Ppm],
                       l[RecordLine::Kh],
                       l[RecordLine::Alarm],
                       onOff(l[RecordLine::O2]),
                       onOff(l[RecordLine::Co2])};
    for (QString& f : fields)
        f = csvField(f);
    return fields.join(u';');
}

QString startLogFile(const QString& folder, const QDateTime& start, const QString& firstRow)
{
    const QByteArray text = (withCrLf(QString::fromLatin1(LogHeader)) + withCrLf(firstRow)).toLatin1();
    constexpr int kTries = 60;
    for (int i = 0; i < kTries; ++i) {
        const QString path = logFileName(folder, start.addSecs(i));
        if (writeWholeFile(path, text, WriteMode::CreateNew, QStringLiteral("Cannot write the log file")) ==
            WriteResult::Written)
            return path;
    }
    throw EInOutError(
        QStringLiteral("Cannot write the log file \"%1\": the names of the next %2 seconds are taken")
            .arg(logFileName(folder, start))
            .arg(kTries));
}

bool appendLogRow(const QString& path, const QString& row)
{
    // Appends to an existing log only: a log deleted meanwhile is never made again here.
    return writeWholeFile(path, withCrLf(row).toLatin1(), WriteMode::AppendExisting,
                          QStringLiteral("Cannot append to the log file")) == WriteResult::Written;
}

void renameLog(const QString& oldPath, const QString& newPath)
{
    QFile file(oldPath);
    if (!file.rename(newPath))
        throw EInOutError(QStringLiteral("Cannot rename the log file \"%1\" to \"%2\": %3")
                              .arg(oldPath, newPath, file.errorString()));
}

std::optional<QString> runLogStep(const LogState& state, bool logging, FrameLines& lines,
                                  const QString& clockMinute, const QString& lastFrameMinute,
                                  const QString& folder, const Clock& now)
{
    if (!logging) {
        if (state.LogFinished == 0)
            finishLog(state, now);
        state.LogFrameCount = 1;
        return std::nullopt;
    }
    // A row of a new day goes to that day's own file, also when the past day's log cannot be
    // renamed: it keeps its start name, and its rows are all there.
    std::optional<QString> told;
    if (state.LogFrameCount != 1) {
        try {
            finishLogOfPastDay(state, now);
        } catch (const EInOutError& e) {
            told = e.message();
            state.LogFinished = 1;
            state.LogFrameCount = 1;
        }
    }
    auto start = [&] {
        const QDateTime named = now();
        const QString time = now().toString(QStringLiteral("HH:mm:ss"));
        restorePhComma(lines);
        state.LogFileName = startLogFile(folder, named, formatLogRow(lines, time));
        state.LogFinished = 0;
        state.LogDay = named.date();
    };
    if (state.LogFrameCount == 1) {
        start();
    } else if (clockMinute != lastFrameMinute) {
        const QString time = now().toString(QStringLiteral("HH:mm"));
        restorePhComma(lines);
        if (!appendLogRow(state.LogFileName, formatLogRow(lines, time))) {
            // Deleted or moved meanwhile: this row starts a new log.
            state.LogFinished = 1;
            state.LogFrameCount = 1;
            start();
        }
    }
    ++state.LogFrameCount;
    return told;
}

void finishLog(const LogState& state, const Clock& now)
{
    const QFileInfo current(state.LogFileName);
    if (!current.exists() && !current.isSymLink()) {
        state.LogFinished = 1;
        return;
    }
    const QString finished = finishedLogName(state.LogFileName, now());
    renameLog(state.LogFileName, finished);
    state.LogFileName = finished;
    state.LogFinished = 1;
}

bool finishLogOfPastDay(const LogState& state, const Clock& now)
{
    if (state.LogFinished != 0 || !state.LogDay.isValid() || now().date() == state.LogDay)
        return false;
    finishLog(state, now);
    state.LogFrameCount = 1;
    return true;
}
