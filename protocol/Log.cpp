#include "Log.h"

#include "FileIo.h"
#include "Numbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>

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

namespace {
// Makes a new log holding text after its header; when the name is taken, the next second's.
QString createLog(const QString& folder, const QDateTime& start, const QString& rows)
{
    const QByteArray text = (withCrLf(QString::fromLatin1(LogHeader)) + rows).toLatin1();
    constexpr int kTries = 60;
    for (int i = 0; i < kTries; ++i) {
        const QString path = logFileName(folder, start.addSecs(i));
        if (writeWholeFile(path, text, WriteMode::CreateNew, QStringLiteral("Cannot write the log file")) ==
            WriteResult::Written)
            return path;
    }
    throw EInOutError(
        QStringLiteral("Cannot write the log file \"%1\": the names of the next %2 seconds are taken")
            .arg(QDir::toNativeSeparators(logFileName(folder, start)))
            .arg(kTries));
}
} // namespace

QString startLogFile(const QString& folder, const QDateTime& start, const QString& firstRow)
{
    return createLog(folder, start, withCrLf(firstRow));
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
                              .arg(QDir::toNativeSeparators(oldPath), QDir::toNativeSeparators(newPath),
                                   file.errorString()));
}

namespace {

QString rowText(const LogBacklog::Row& row, bool first)
{
    return row.at.toString(first ? QStringLiteral("HH:mm:ss") : QStringLiteral("HH:mm")) + row.fields;
}

// Writes the rows waiting in one piece: appended to the log, or as a new log's first rows when
// its file is still to be made or has gone. False, with the reason in failure, when they must
// wait on; nothing of them is written then.
bool writeWaiting(const LogState& state, const Clock& now)
{
    LogBacklog& b = state.Backlog;
    if (b.rows.empty())
        return true;
    try {
        if (!b.create) {
            QString text;
            for (const LogBacklog::Row& row : b.rows)
                text += withCrLf(rowText(row, false));
            if (!appendLogRow(state.LogFileName, text.chopped(2))) {
                // Deleted or moved meanwhile: these rows start a new log.
                b.create = true;
                b.start = now();
            }
        }
        if (b.create) {
            QString text;
            for (const LogBacklog::Row& row : b.rows)
                text += withCrLf(rowText(row, &row == &b.rows.front()));
            state.LogFileName = createLog(b.folder, b.start, text);
            b.create = false;
        }
    } catch (const EInOutError& e) {
        b.failure = e.message();
        return false;
    }
    b.rows.clear();
    b.failure.clear();
    b.dropped = 0;
    return true;
}

// What the clock may step back on the day of t without a log being split: the change between
// summer and winter time that day, nothing on other days.
qint64 dayClockChange(const QDateTime& t)
{
    const QTimeZone zone = t.timeZone();
    const int from = t.date().startOfDay(zone).offsetFromUtc();
    const int to = t.date().addDays(1).startOfDay(zone).offsetFromUtc();
    return std::abs(to - from);
}

} // namespace

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
    LogBacklog& b = state.Backlog;
    // A row of a new day goes to that day's own file, also when the past day's log cannot be
    // renamed: it keeps its start name, and its rows are all there.
    std::optional<QString> told;
    if (state.LogFrameCount != 1) {
        try {
            finishLogOnClockChange(state, now);
        } catch (const EInOutError& e) {
            told = e.message();
            state.LogFinished = 1;
            state.LogFrameCount = 1;
        }
    }
    const bool rowDue = state.LogFrameCount == 1 || clockMinute != lastFrameMinute;
    if (state.LogFrameCount == 1) {
        // A new log, made with its first row.
        const QDateTime named = now();
        b.create = true;
        b.folder = folder;
        b.start = named;
        b.seen = named;
        state.LogFileName = logFileName(folder, named);
        state.LogFinished = 0;
        state.LogDay = named.date();
    }
    if (rowDue) {
        const QDateTime at = now();
        restorePhComma(lines);
        b.rows.push_back({at, formatLogRow(lines, QString())});
        if (qsizetype(b.rows.size()) > b.limit) {
            b.rows.pop_front();
            if (b.dropped++ == 0)
                told = QStringLiteral("The log \"%1\" could not be written for too long: of the %2 rows "
                                      "waiting in memory, the oldest are dropped")
                           .arg(QDir::toNativeSeparators(state.LogFileName))
                           .arg(b.limit);
        }
        b.seen = std::max(b.seen, at);
    }
    // Rows waiting are tried at every step, so they are written as soon as the file can be.
    writeWaiting(state, now);
    ++state.LogFrameCount;
    return told;
}

void finishLog(const LogState& state, const Clock& now)
{
    if (!writeWaiting(state, now))
        throw EInOutError(state.Backlog.failure);
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

bool finishLogOnClockChange(const LogState& state, const Clock& now)
{
    if (state.LogFinished != 0)
        return false;
    LogBacklog& b = state.Backlog;
    const QDateTime t = now();
    const bool setBack = b.seen.isValid() && t < b.seen.addSecs(-dayClockChange(b.seen));
    const bool pastDay = state.LogDay.isValid() && t.date() != state.LogDay;
    if (!setBack)
        b.seen = std::max(b.seen, t);
    if (!setBack && !pastDay)
        return false;
    if (!writeWaiting(state, now))
        return false;
    const QDateTime end = setBack ? b.seen : t;
    finishLog(state, [end] { return end; });
    state.LogFrameCount = 1;
    b.seen = QDateTime();
    return true;
}
