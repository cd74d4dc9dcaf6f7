#include "LogReader.h"

#include "Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();
constexpr int kMaxSkippedLines = 10;

struct Field {
    const char* p = nullptr;
    int n = 0;
    bool is(const char* text) const
    {
        const auto len = std::strlen(text);
        return std::size_t(n) == len && std::memcmp(p, text, len) == 0;
    }
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
int twoDigits(const char* s) { return (s[0] - '0') * 10 + (s[1] - '0'); }

// Seconds of the day for "hh:mm:ss" or "hh:mm"; -1 for anything else.
int parseTime(Field f)
{
    const char* s = f.p;
    if ((f.n != 5 && f.n != 8) || !isDigit(s[0]) || !isDigit(s[1]) || s[2] != ':' || !isDigit(s[3]) ||
        !isDigit(s[4]))
        return -1;
    int sec = 0;
    if (f.n == 8) {
        if (s[5] != ':' || !isDigit(s[6]) || !isDigit(s[7]))
            return -1;
        sec = twoDigits(s + 6);
    }
    const int h = twoDigits(s), m = twoDigits(s + 3);
    if (h > 23 || m > 59 || sec > 59)
        return -1;
    return h * 3600 + m * 60 + sec;
}

// "yyyy-MM-dd"; an invalid date for anything else.
QDate parseDate(Field f)
{
    const char* s = f.p;
    if (f.n != 10 || s[4] != '-' || s[7] != '-')
        return {};
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isDigit(s[i]))
            return {};
    return QDate(twoDigits(s) * 100 + twoDigits(s + 2), twoDigits(s + 5), twoDigits(s + 8));
}

// Digits with an optional "," (or ".") and decimals, blanks around them; NaN for anything else.
float parseNumber(Field f)
{
    const char* s = f.p;
    const char* e = f.p + f.n;
    while (s < e && *s == ' ')
        ++s;
    while (e > s && e[-1] == ' ')
        --e;
    static constexpr double kScale[] = {1, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9};
    std::int64_t mantissa = 0;
    int digits = 0, decimals = -1;
    for (; s < e; ++s) {
        if (isDigit(*s)) {
            if (++digits > 15)
                return kGap;
            mantissa = mantissa * 10 + (*s - '0');
            if (decimals >= 0 && ++decimals > 9)
                return kGap;
        } else if ((*s == ',' || *s == '.') && decimals < 0 && digits > 0) {
            decimals = 0;
        } else {
            return kGap;
        }
    }
    if (digits == 0 || decimals == 0)
        return kGap;
    return float(double(mantissa) * kScale[std::max(decimals, 0)]);
}

OutputState parseOutput(Field f)
{
    if (f.is("on"))
        return OutputState::On;
    if (f.is("off"))
        return OutputState::Off;
    return OutputState::Unknown;
}

// Splits at ";" into at most max fields; returns the number of fields, max + 1 when there are more.
int split(const char* p, const char* end, Field* fields, int max)
{
    int count = 0;
    for (;;) {
        const char* sep = static_cast<const char*>(std::memchr(p, ';', std::size_t(end - p)));
        const char* fieldEnd = sep ? sep : end;
        if (count == max)
            return max + 1;
        fields[count++] = {p, int(fieldEnd - p)};
        if (!sep)
            return count;
        p = sep + 1;
    }
}

void fillValues(LogRow& row, const Field* v)
{
    row.ph = parseNumber(v[0]);
    row.phMin = parseNumber(v[1]);
    row.phMax = parseNumber(v[2]);
    row.ppm = parseNumber(v[3]);
    row.kh = parseNumber(v[4]);
    row.alarm = parseNumber(v[5]);
    row.o2 = parseOutput(v[6]);
    row.co2 = parseOutput(v[7]);
    row.bounds = 0;
    if (v[0].is(">10")) {
        row.ph = 10;
        row.bounds |= LogRow::kPhAbove;
    }
    if (v[3].is("100"))
        row.bounds |= LogRow::kPpmAbove;
    if (v[3].is("0") && v[4].is("0"))
        row.ppm = row.kh = kGap;
}

constexpr qint64 kDayMs = 24LL * 3600 * 1000;
constexpr int kHourS = 3600;

// A step back in the wall clock from one row to the next: the row it leads to and how far
// back it goes, s.
struct StepBack {
    std::size_t row;
    int seconds;
};

// Which steps back are midnights; the others are clock changes and corrections.
std::vector<bool> midnights(const std::vector<StepBack>& steps, const LogName& name, int lastSecond)
{
    std::vector<bool> out(steps.size(), false);
    qint64 days = -1; // unknown: by the length of each step
    if (name.start.isValid() && name.end.isValid()) {
        // The end stamp's day holds the last row unless that row is later in the day.
        QDate last = name.end.date();
        if (lastSecond / 60 * 60 > name.end.time().msecsSinceStartOfDay() / 1000)
            last = last.addDays(-1);
        days = name.start.date().daysTo(last);
    }
    if (days < 0) {
        for (std::size_t i = 0; i < steps.size(); ++i)
            out[i] = steps[i].seconds > kHourS;
        return out;
    }
    // The longest steps back are the midnights; a day with no step back (a day without
    // rows) is not guessed.
    std::vector<std::size_t> order(steps.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return steps[a].seconds > steps[b].seconds; });
    for (std::size_t i = 0; i < order.size() && qint64(i) < days; ++i)
        out[order[i]] = true;
    return out;
}

} // namespace

std::optional<LogName> parseLogName(const QString& fileName, bool strict)
{
    static const QRegularExpression exact(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d) \{(\d{6})\}(?:    (\d{4}-\d\d-\d\d) \{(\d{6})\})?\.csv$)"));
    static const QRegularExpression loose(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d)(?: \{(\d{6})\}(?:    (\d{4}-\d\d-\d\d) \{(\d{6})\})?)?)"));
    const auto m = (strict ? exact : loose).match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    // The groups hold digits alone: read them as such (a folder of thousands of logs is named
    // twice over when it is opened).
    const auto number = [&](int group, int at, int digits) {
        const QStringView s = m.capturedView(group);
        int n = 0;
        for (int i = at; i < at + digits; ++i)
            n = n * 10 + (s[i].unicode() - u'0');
        return n;
    };
    const auto stamp = [&](int date, int time) {
        const QDate d(number(date, 0, 4), number(date, 5, 2), number(date, 8, 2));
        const bool timed = m.hasCaptured(time);
        const int h = timed ? number(time, 0, 2) : 0, mi = timed ? number(time, 2, 2) : 0,
                  sec = timed ? number(time, 4, 2) : 0;
        return d.isValid() && QTime::isValid(h, mi, sec) ? QDateTime(d, QTime(h, mi, sec)) : QDateTime();
    };
    LogName name{stamp(1, 2), {}};
    if (!name.start.isValid())
        return std::nullopt;
    if (m.hasCaptured(3)) {
        name.end = stamp(3, 4);
        if (!name.end.isValid())
            return std::nullopt;
    }
    return name;
}

const QTimeZone& systemZone()
{
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    return zone;
}

qint64 WallClock::at(QDate day, int secondOfDay, qint64 notBefore)
{
    if (day != day_) {
        day_ = day;
        wallStart_ = qint64(QDate(1970, 1, 1).daysTo(day)) * kDayMs;
        // Offsets run from -12 h to +14 h: 14 h before the day's wall-clock start and 14 h
        // after its end are instants outside the day in any zone.
        constexpr qint64 kReach = 14 * 3600 * 1000LL;
        before_ = offsetAt(wallStart_ - kReach);
        after_ = offsetAt(wallStart_ + kDayMs + kReach);
    }
    const qint64 wall = wallStart_ + qint64(secondOfDay) * 1000;
    if (before_ == after_)
        return wall - qint64(before_) * 1000;
    // A day with a clock change: the instants at which the wall clock shows this time.
    const qint64 early = wall - qint64(std::max(before_, after_)) * 1000;
    const qint64 late = wall - qint64(std::min(before_, after_)) * 1000;
    const bool earlyShown = offsetAt(early) == std::max(before_, after_);
    const bool lateShown = offsetAt(late) == std::min(before_, after_);
    if (earlyShown && lateShown)
        return early >= notBefore ? early : late;
    if (earlyShown)
        return early;
    if (lateShown)
        return late;
    return wall - qint64(before_) * 1000; // skipped: read as before the change
}

int WallClock::offsetAt(qint64 ms) const
{
    return zone_.offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
}

ParsedLog parseLog(const QByteArray& content, const QDateTime& start, bool growing, std::uint16_t file)
{
    return parseLog(content, LogName{start, {}}, growing, file);
}

ParsedLog parseLog(const QByteArray& content, const LogName& name, bool growing, std::uint16_t file,
                   const QTimeZone& zone)
{
    ParsedLog out;
    out.rows.reserve(std::size_t(content.size() / 40 + 1));
    const char* const base = content.constData();
    const char* p = base;
    const char* const end = base + content.size();
    if (end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        p += 3;

    WallClock clock(zone);
    const QDateTime& start = name.start;
    // Rows of hours alone hold their second of the day in `time` until their days are known.
    // The name's time counts as the row before the first, so a first row after midnight
    // is on the next day.
    int previous = start.isValid() ? start.time().msecsSinceStartOfDay() / 1000 : 0;
    std::vector<StepBack> steps;
    qint64 lastTime = std::numeric_limits<qint64>::min();
    bool headerChecked = false;
    int lineNumber = 0;
    Field f[11];

    const auto skip = [&](int line) {
        if (out.skippedLines.size() < kMaxSkippedLines)
            out.skippedLines.append(line);
        ++out.skipped;
    };

    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        if (!nl && growing) {
            out.partialLastLine = true;
            break;
        }
        const char* lineEnd = nl ? nl : end;
        const char* next = nl ? nl + 1 : end;
        const char* const lineStart = p;
        if (lineEnd > p && lineEnd[-1] == '\r')
            --lineEnd;
        ++lineNumber;
        p = next;
        if (lineEnd == lineStart)
            continue;

        const int count = split(lineStart, lineEnd, f, 10);
        if (!headerChecked) {
            headerChecked = true;
            const QByteArray line = QByteArray::fromRawData(lineStart, lineEnd - lineStart);
            if (line == LogHeader)
                continue;
            if (line == MergedLogHeader) {
                out.dated = true;
                continue;
            }
        }

        LogRow row;
        row.file = file;
        row.offset = std::uint32_t(lineStart - base);
        if (out.dated) {
            const int second = count == 10 ? parseTime(f[1]) : -1;
            const QDate date = second >= 0 ? parseDate(f[0]) : QDate();
            if (!date.isValid()) {
                skip(lineNumber);
                continue;
            }
            row.time = clock.at(date, second, lastTime / 60000 * 60000);
            lastTime = row.time;
            fillValues(row, f + 2);
        } else {
            const int second = count == 9 && start.isValid() ? parseTime(f[0]) : -1;
            if (second < 0) {
                skip(lineNumber);
                continue;
            }
            // Compared by the minute: the first row has seconds, the later ones do not.
            if (second < previous / 60 * 60)
                steps.push_back({out.rows.size(), previous / 60 * 60 - second});
            previous = second;
            row.time = second;
            fillValues(row, f + 1);
        }
        out.rows.push_back(row);
    }

    if (!out.dated && !out.rows.empty()) {
        const std::vector<bool> midnight = midnights(steps, name, int(out.rows.back().time));
        QDate day = start.date();
        std::size_t step = 0;
        for (std::size_t i = 0; i < out.rows.size(); ++i) {
            LogRow& r = out.rows[i];
            if (step < steps.size() && steps[step].row == i)
                if (midnight[step++])
                    day = day.addDays(1);
            r.time = clock.at(day, int(r.time), lastTime / 60000 * 60000);
            lastTime = r.time;
        }
    }
    return out;
}

QByteArray mergedRow(const LogRow& row, const char* line, qsizetype length)
{
    const char* end = line + length;
    const char* nl = static_cast<const char*>(std::memchr(line, '\n', std::size_t(length)));
    if (nl)
        end = nl;
    if (end > line && end[-1] == '\r')
        --end;
    Field f[11];
    const int count = split(line, end, f, 10);
    const Field* v = count == 10 ? f + 2 : f + 1;

    QByteArray out =
        QDateTime::fromMSecsSinceEpoch(row.time).toString(QStringLiteral("yyyy-MM-dd;HH:mm:ss")).toLatin1();
    if (count != 9 && count != 10)
        return out + ";;;;;;;;";
    out.reserve(out.size() + length + 2);
    // What the reader takes as a value or a bound stays as the log has it; the rest is left empty.
    LogRow values;
    fillValues(values, v);
    const float numbers[] = {values.ph, values.phMin, values.phMax, values.ppm, values.kh, values.alarm};
    for (int i = 0; i < 8; ++i) {
        out += ';';
        const bool keep = i < 6 ? !std::isnan(numbers[i]) : parseOutput(v[i]) != OutputState::Unknown;
        if (keep)
            out.append(v[i].p, v[i].n);
    }
    return out;
}

namespace {
struct NamedLog {
    QString path;
    LogName name;
};

// The logs of a folder by their names, in time order; the paths in `known` left out before
// their names are read.
std::vector<NamedLog> namedLogs(const QString& folder, const QSet<QString>& known)
{
    const QDir dir(folder);
    std::vector<NamedLog> logs;
    for (const QString& file : dir.entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name)) {
        QString path = dir.absoluteFilePath(file);
        if (known.contains(path))
            continue;
        if (const auto name = parseLogName(file))
            logs.push_back({std::move(path), *name});
    }
    std::stable_sort(logs.begin(), logs.end(),
                     [](const NamedLog& a, const NamedLog& b) { return a.name.start < b.name.start; });
    return logs;
}
} // namespace

void LogSet::open(const QStringList& paths)
{
    const std::size_t firstNew = files_.size();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir()) {
            const QString folder = info.absoluteFilePath();
            if (!openedFolders_.contains(folder))
                openedFolders_.append(folder);
            if (!folders_.contains(folder))
                folders_.append(folder);
            for (NamedLog& log : namedLogs(folder, paths_))
                addFile(log.path, log.name);
        } else {
            const QString folder = info.absolutePath();
            if (!folders_.contains(folder))
                folders_.append(folder);
            addFile(info.absoluteFilePath(), std::nullopt);
        }
    }
    // All the files first, so the rows are given their room once.
    qsizetype bytes = 0;
    for (std::size_t i = firstNew; i < files_.size(); ++i) {
        loadFile(i);
        bytes += files_[i].content.size();
    }
    rows_.reserve(rows_.size() + std::size_t(bytes / 38)); // a row is some 40 bytes
    for (std::size_t i = firstNew; i < files_.size(); ++i)
        parseFile(i, false);
    // One sort for all the files: a folder's logs come in time order and are mostly in order
    // already. Stable, so rows of the same time keep the order of their files.
    const auto earlier = [](const LogRow& a, const LogRow& b) { return a.time < b.time; };
    if (!std::is_sorted(rows_.begin(), rows_.end(), earlier))
        std::stable_sort(rows_.begin(), rows_.end(), earlier);
}

bool LogSet::addFile(const QString& path, const std::optional<LogName>& name)
{
    if (paths_.contains(path) || files_.size() >= std::numeric_limits<std::uint16_t>::max())
        return false;
    LogFile f;
    f.path = path;
    f.name = name;
    paths_.insert(path);
    files_.push_back(std::move(f));
    return true;
}

void LogSet::readFile(std::size_t index, bool merge)
{
    loadFile(index);
    parseFile(index, merge);
}

void LogSet::loadFile(std::size_t index)
{
    LogFile& f = files_[index];
    if (!f.name)
        f.name = parseLogName(QFileInfo(f.path).fileName(), false);
    f.error.clear();
    QFile file(f.path);
    if (!file.open(QIODevice::ReadOnly)) {
        f.error = file.errorString();
        f.content.clear();
    } else if (file.size() > qint64(std::numeric_limits<std::uint32_t>::max())) {
        f.error = QStringLiteral("too large");
        f.content.clear();
    } else {
        f.content = file.readAll();
    }
}

void LogSet::parseFile(std::size_t index, bool merge)
{
    LogFile& f = files_[index];
    const bool growing = f.name && !f.name->finished();
    ParsedLog parsed = parseLog(f.content, f.name.value_or(LogName{}), growing, std::uint16_t(index));
    if (f.error.isEmpty() && !f.name && !parsed.dated && !f.content.isEmpty()) {
        f.error = QStringLiteral("no date in the file name");
        parsed = ParsedLog{};
    }
    f.rows = qint64(parsed.rows.size());
    f.skipped = parsed.skipped;
    f.skippedLines = parsed.skippedLines;
    f.partialLastLine = parsed.partialLastLine;
    if (merge)
        mergeRows(index, std::move(parsed.rows));
    else
        rows_.insert(rows_.end(), parsed.rows.begin(), parsed.rows.end());
}

void LogSet::mergeRows(std::size_t changedFile, std::vector<LogRow> rows)
{
    const auto file = std::uint16_t(changedFile);
    std::erase_if(rows_, [file](const LogRow& r) { return r.file == file; });
    const auto earlier = [](const LogRow& a, const LogRow& b) { return a.time < b.time; };
    if (!std::is_sorted(rows.begin(), rows.end(), earlier))
        std::stable_sort(rows.begin(), rows.end(), earlier);
    const auto middle = std::ptrdiff_t(rows_.size());
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    if (middle > 0 && !rows.empty() && rows.front().time < rows_[std::size_t(middle) - 1].time)
        std::inplace_merge(rows_.begin(), rows_.begin() + middle, rows_.end(), earlier);
}

bool LogSet::refreshFile(std::size_t index)
{
    LogFile& f = files_[index];
    QFileInfo info(f.path);
    if (!info.exists()) {
        // A finished log was renamed: "<start>    <end>.csv" beside it.
        if (!f.name || f.name->finished())
            return false;
        const QString prefix = info.completeBaseName() + QStringLiteral("    ");
        const QStringList successors =
            info.dir().entryList({prefix + QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
        if (successors.isEmpty())
            return false;
        f.path = info.dir().absoluteFilePath(successors.front());
        f.name = parseLogName(successors.front(), false);
        paths_.insert(f.path);
    } else if (info.size() == f.content.size() && f.error.isEmpty()) {
        return false;
    }
    const qint64 rows = f.rows;
    const QString error = f.error;
    const qsizetype size = f.content.size();
    readFile(index, true);
    // A file that stays unreadable changes nothing.
    return f.rows != rows || f.error != error || f.content.size() != size;
}

bool LogSet::refresh(Scope scope)
{
    bool changed = false;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        const LogFile& f = files_[i];
        if (scope == Scope::Growing && !(f.error.isEmpty() && f.name && !f.name->finished()))
            continue;
        changed = refreshFile(i) || changed;
    }
    if (scope == Scope::All)
        for (const QString& folder : openedFolders_)
            for (NamedLog& log : namedLogs(folder, paths_))
                if (addFile(log.path, log.name)) {
                    readFile(files_.size() - 1, true);
                    changed = true;
                }
    return changed;
}

int LogSet::skipped() const
{
    int n = 0;
    for (const LogFile& f : files_)
        n += f.skipped;
    return n;
}

bool LogSet::growing() const
{
    return std::any_of(files_.begin(), files_.end(),
                       [](const LogFile& f) { return f.error.isEmpty() && f.name && !f.name->finished(); });
}

bool LogSet::holds(const QString& path) const
{
    const QFileInfo target(path);
    if (paths_.contains(target.absoluteFilePath()))
        return true;
    // The same file by another path (a link, "..") has the same name at its end: only files of
    // that name are looked up.
    const QString canonical = target.canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    const QString name = QFileInfo(canonical).fileName();
    return std::any_of(files_.begin(), files_.end(), [&](const LogFile& f) {
        const QFileInfo file(f.path);
        return (file.fileName() == name || file.fileName() == target.fileName()) &&
               file.canonicalFilePath() == canonical;
    });
}

QByteArray LogSet::mergedRow(const LogRow& row) const
{
    const QByteArray& content = files_[row.file].content;
    return ::mergedRow(row, content.constData() + row.offset, content.size() - qsizetype(row.offset));
}

QStringList LogSet::logsInFolder(const QString& folder)
{
    QStringList logs;
    for (const NamedLog& log : namedLogs(folder, {}))
        logs.append(log.path);
    return logs;
}
