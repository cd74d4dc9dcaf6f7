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

// Which steps back in the wall clock (each the row it leads to and how far back it goes, s)
// are midnights; the others are clock changes and corrections.
template <typename Steps>
std::vector<bool> midnights(const Steps& steps, const LogName& name, int lastSecond)
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

bool LogRow::sameAs(const LogRow& o) const
{
    const auto same = [](float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    return time == o.time && same(ph, o.ph) && same(phMin, o.phMin) && same(phMax, o.phMax) &&
           same(ppm, o.ppm) && same(kh, o.kh) && same(alarm, o.alarm) && o2 == o.o2 && co2 == o.co2 &&
           bounds == o.bounds;
}

namespace {
// Where the line at p ends (its CR, LF or CR LF): {end of its text, start of the next line}, or
// {nullptr, nullptr} when its end is not in [p, end) yet. A CR as the last byte may be the first
// half of a CR LF: an end only when nothing follows (last).
std::pair<const char*, const char*> lineEnd(const char* p, const char* end, bool last)
{
    const char* nl = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
    const char* limit = nl ? nl : end;
    const char* cr = static_cast<const char*>(std::memchr(p, '\r', std::size_t(limit - p)));
    if (cr) {
        if (cr + 1 < end)
            return {cr, cr[1] == '\n' ? cr + 2 : cr + 1};
        if (last)
            return {cr, end};
        return {nullptr, nullptr};
    }
    if (nl)
        return {nl, nl + 1};
    return {nullptr, nullptr};
}

// "+hh:mm" or "-hh:mm" as seconds; nullopt for anything else.
std::optional<int> parseOffset(Field f)
{
    const char* s = f.p;
    if (f.n != 6 || (s[0] != '+' && s[0] != '-') || !isDigit(s[1]) || !isDigit(s[2]) || s[3] != ':' ||
        !isDigit(s[4]) || !isDigit(s[5]))
        return std::nullopt;
    const int h = twoDigits(s + 1), m = twoDigits(s + 4);
    if (h > 14 || m > 59)
        return std::nullopt;
    return (s[0] == '-' ? -1 : 1) * (h * 3600 + m * 60);
}
} // namespace

LogParser::LogParser(std::vector<LogRow>& rows, const LogName& name, bool growing, std::uint32_t file,
                     const QTimeZone& zone)
    : rows_(rows), first_(rows.size()), name_(name), growing_(growing), file_(file), clock_(zone)
{
    // The name's time counts as the row before the first, so a first row after midnight is on
    // the next day.
    previous_ = name.start.isValid() ? name.start.time().msecsSinceStartOfDay() / 1000 : 0;
}

qsizetype LogParser::feed(const char* data, qsizetype size, qint64 at, bool last)
{
    const char* p = data;
    const char* const end = data + size;
    if (at == 0 && end - p >= 3 && std::memcmp(p, "\xEF\xBB\xBF", 3) == 0)
        p += 3;
    while (p < end) {
        // A CR at the end of a file still written may be the first half of its CR LF.
        auto [textEnd, next] = lineEnd(p, end, last && !growing_);
        if (!textEnd) {
            if (!last)
                break;
            if (growing_) {
                // Left for the next read of a file still written.
                out_.partialLastLine = true;
                p = end;
                break;
            }
            textEnd = next = end;
        }
        line(p, textEnd, at + (p - data));
        p = next;
    }
    return p - data;
}

void LogParser::skip(int line)
{
    if (out_.skippedLines.size() < kMaxSkippedLines)
        out_.skippedLines.append(line);
    ++out_.skipped;
}

void LogParser::line(const char* start, const char* end, qint64 at)
{
    ++lineNumber_;
    if (end == start)
        return;
    Field f[12];
    const int count = split(start, end, f, 11);
    if (header_ == Header::Unchecked) {
        header_ = Header::Log;
        const QByteArray text = QByteArray::fromRawData(start, end - start);
        if (text == LogHeader)
            return;
        if (text == MergedLogHeader || text == MergedLogHeaderWithOffset) {
            header_ = text == MergedLogHeader ? Header::Merged : Header::MergedWithOffset;
            out_.dated = true;
            return;
        }
    }
    LogRow row;
    row.file = file_;
    row.offset = std::uint32_t(at);
    if (out_.dated) {
        const int fields = header_ == Header::MergedWithOffset ? 11 : 10;
        const int second = count == fields ? parseTime(f[1]) : -1;
        const QDate date = second >= 0 ? parseDate(f[0]) : QDate();
        const std::optional<int> offset = fields == 11 ? parseOffset(f[10]) : std::optional<int>(0);
        if (!date.isValid() || !offset) {
            skip(lineNumber_);
            return;
        }
        if (fields == 11)
            row.time = (qint64(QDate(1970, 1, 1).daysTo(date)) * 86400 + second - *offset) * 1000;
        else
            row.time = clock_.at(date, second, lastTime_ / 60000 * 60000);
        lastTime_ = row.time;
        fillValues(row, f + 2);
    } else {
        const int second = count == 9 && name_.start.isValid() ? parseTime(f[0]) : -1;
        if (second < 0) {
            skip(lineNumber_);
            return;
        }
        // Compared by the minute: the first row has seconds, the later ones do not.
        if (second < previous_ / 60 * 60)
            steps_.push_back({rows_.size() - first_, previous_ / 60 * 60 - second});
        previous_ = second;
        row.time = second; // its day is known at the end
        fillValues(row, f + 1);
    }
    rows_.push_back(row);
}

void LogParser::placeRows()
{
    const std::size_t count = rows_.size() - first_;
    const QDateTime& start = name_.start;
    const std::vector<bool> midnight = midnights(steps_, name_, int(rows_.back().time));
    const auto days = [&](const auto& each) {
        int day = 0;
        std::size_t step = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (step < steps_.size() && steps_[step].row == i)
                if (midnight[step++])
                    ++day;
            if (!each(rows_[first_ + i], day))
                return;
        }
    };
    // The rows' instants, each not before the one before it (to the minute) where the clocks
    // show its time twice, from a first row not before `from`.
    const auto place = [&](qint64 from, bool write, const auto& each) {
        qint64 last = from;
        days([&](LogRow& r, int day) {
            const qint64 t = clock_.at(start.date().addDays(day), int(r.time), last / 60000 * 60000);
            last = t;
            const qint64 wall = qint64(day) * 86400 + int(r.time);
            if (write)
                r.time = t;
            return each(t, wall);
        });
        return last;
    };
    const int startSecond = start.time().msecsSinceStartOfDay() / 1000;
    const qint64 early = clock_.at(start.date(), startSecond);
    const qint64 late = clock_.at(start.date(), startSecond, std::numeric_limits<qint64>::max());
    qint64 from = std::numeric_limits<qint64>::min();
    if (early != late) {
        // A start in the hour shown twice: how many steps each pass makes that rows written a
        // minute apart cannot: back in time, or on by an hour more than the clock showed.
        const auto misfits = [&](qint64 startTime) {
            int n = 0;
            qint64 time = startTime, wall = startSecond;
            const auto step = [&](qint64 t, qint64 w) {
                const qint64 real = t - time, shown = (w - wall) * 1000;
                n += real < 0 || (shown >= 0 && real > shown);
                time = t;
                wall = w;
                return true;
            };
            const qint64 last = place(startTime, false, step);
            if (name_.end.isValid()) {
                const int endSecond = name_.end.time().msecsSinceStartOfDay() / 1000;
                step(clock_.at(name_.end.date(), endSecond, last / 60000 * 60000),
                     start.date().daysTo(name_.end.date()) * 86400 + endSecond);
            }
            return n;
        };
        from = misfits(late) < misfits(early) ? late : early;
    }
    place(from, true, [](qint64, qint64) { return true; });
}

ParsedLog LogParser::finish()
{
    if (!out_.dated && rows_.size() > first_)
        placeRows();
    return std::move(out_);
}

ParsedLog parseLog(const QByteArray& content, const QDateTime& start, bool growing, std::uint32_t file)
{
    return parseLog(content, LogName{start, {}}, growing, file);
}

ParsedLog parseLog(const QByteArray& content, const LogName& name, bool growing, std::uint32_t file,
                   const QTimeZone& zone)
{
    std::vector<LogRow> rows;
    rows.reserve(std::size_t(content.size() / 40 + 1));
    LogParser parser(rows, name, growing, file, zone);
    parser.feed(content.constData(), content.size(), 0, true);
    ParsedLog out = parser.finish();
    out.rows = std::move(rows);
    return out;
}

namespace {
// "yyyy-MM-dd;hh:mm:ss" of an instant on the system's clock, and its offset from UTC as
// "+hh:mm": the offsets of an hour looked up once, as an export asks for millions of rows.
class StampFormatter {
public:
    // Appends "yyyy-MM-dd;hh:mm:ss"; with the offset, ";+hh:mm" goes to offset().
    void append(QByteArray& out, qint64 ms, bool withOffset)
    {
        char text[32];
        out.append(text, write(text, ms, withOffset));
    }
    // The same into text (32 bytes at least); returns its length.
    int write(char* text, qint64 ms, bool withOffset)
    {
        const qint64 hour = floorDiv(ms, 3600000);
        if (hour != hour_) {
            hour_ = hour;
            const int a = offsetAt(hour * 3600000), b = offsetAt(hour * 3600000 + 3599999);
            uniform_ = a == b;
            offset_ = a;
        }
        const int offset = uniform_ ? offset_ : offsetAt(ms);
        const qint64 wall = floorDiv(ms, 1000) + offset;
        const qint64 day = floorDiv(wall, 86400);
        if (day != day_) {
            day_ = day;
            date_ = QDate(1970, 1, 1).addDays(day).toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        }
        const int second = int(wall - day * 86400);
        const int parts[] = {second / 3600, second / 60 % 60, second % 60};
        const auto dateLength = std::min<qsizetype>(date_.size(), 20);
        std::memcpy(text, date_.constData(), std::size_t(dateLength));
        char* t = text + dateLength;
        for (int i = 0; i < 3; ++i) {
            t[i * 3] = i ? ':' : ';';
            t[i * 3 + 1] = char('0' + parts[i] / 10);
            t[i * 3 + 2] = char('0' + parts[i] % 10);
        }
        if (withOffset) {
            const int minutes = std::abs(offset) / 60;
            const int n = std::snprintf(offset_text_, sizeof offset_text_, ";%c%02d:%02d",
                                        offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
            offsetLength_ = std::max(0, n);
        }
        return int(dateLength) + 9;
    }
    void appendOffset(QByteArray& out) const { out.append(offset_text_, offsetLength_); }
    int writeOffset(char* text) const
    {
        std::memcpy(text, offset_text_, std::size_t(offsetLength_));
        return offsetLength_;
    }

private:
    static qint64 floorDiv(qint64 a, qint64 b) { return a / b - (a % b < 0 ? 1 : 0); }
    static int offsetAt(qint64 ms)
    {
        return systemZone().offsetFromUtc(QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()));
    }
    qint64 hour_ = std::numeric_limits<qint64>::min(), day_ = std::numeric_limits<qint64>::min();
    bool uniform_ = false;
    int offset_ = 0;
    QByteArray date_;
    char offset_text_[16] = {};
    int offsetLength_ = 0;
};

StampFormatter& stampFormatter()
{
    static StampFormatter formatter;
    return formatter;
}

// The row's fields of its line, as the reader took them: false when the line is not the row's
// (not a row's field count, or another time of day).
bool appendFields(QByteArray& out, const LogRow& row, const char* line, qsizetype length)
{
    const auto [textEnd, next] = lineEnd(line, line + length, true);
    const char* const end = textEnd ? textEnd : line + length;
    Field f[12];
    const int count = split(line, end, f, 11);
    if (count < 9 || count > 11)
        return false;
    const Field* v = count >= 10 ? f + 2 : f + 1;
    // A log's row begins with its time of day, which the stamp just written ends with.
    if (count == 9 && (f[0].n < 5 || std::memcmp(f[0].p, out.constData() + out.size() - 8, 5) != 0))
        return false;
    // What the reader took as a value or a bound stays as the log has it; the rest is left empty.
    const float numbers[] = {row.ph, row.phMin, row.phMax, row.ppm, row.kh, row.alarm};
    for (int i = 0; i < 8; ++i) {
        out += ';';
        const bool keep = i < 6    ? !std::isnan(numbers[i])
                          : i == 6 ? row.o2 != OutputState::Unknown
                                   : row.co2 != OutputState::Unknown;
        if (keep)
            out.append(v[i].p, v[i].n);
    }
    return true;
}

// The row's values as the reader took them, for a row whose line cannot be read again.
void appendValues(QByteArray& out, const LogRow& row)
{
    const auto number = [&](float v, int decimals) {
        out += ';';
        if (!std::isnan(v))
            out += QByteArray::number(double(v), 'f', decimals).replace('.', ',');
    };
    out += ';';
    if (row.phAbove())
        out += ">10";
    else if (!std::isnan(row.ph))
        out += QByteArray::number(double(row.ph), 'f', 2).replace('.', ',');
    number(row.phMin, 2);
    number(row.phMax, 2);
    number(row.ppm, row.ppmAbove() ? 0 : 1);
    number(row.kh, 0);
    number(row.alarm, 0);
    for (OutputState o : {row.o2, row.co2})
        out += o == OutputState::On ? ";on" : o == OutputState::Off ? ";off" : ";";
}

// Appends the merged line of a row; line: its line in the log, or nullptr when it is lost.
void appendMergedRow(QByteArray& out, const LogRow& row, const char* line, qsizetype length, bool utcOffset)
{
    StampFormatter& stamps = stampFormatter();
    // Most rows: a log's line of its time and eight fields, every one of them kept, copied
    // after its time as it stands, the whole merged line made in one go.
    constexpr qsizetype kShortLine = 256;
    const bool allKept = !std::isnan(row.ph) && !std::isnan(row.phMin) && !std::isnan(row.phMax) &&
                         !std::isnan(row.ppm) && !std::isnan(row.kh) && !std::isnan(row.alarm) &&
                         row.o2 != OutputState::Unknown && row.co2 != OutputState::Unknown;
    if (line && allKept) {
        char text[kShortLine + 64];
        int n = stamps.write(text, row.time, utcOffset);
        const char* const limit = line + std::min(length, kShortLine);
        const char* first = nullptr;
        int separators = 0;
        const char* p = line;
        for (; p < limit && *p != '\r' && *p != '\n'; ++p)
            if (*p == ';' && separators++ == 0)
                first = p;
        if (separators == 8 && (p < limit || limit == line + length) && first - line >= 5 &&
            std::memcmp(line, text + n - 8, 5) == 0) {
            std::memcpy(text + n, first, std::size_t(p - first));
            n += int(p - first);
            if (utcOffset)
                n += stamps.writeOffset(text + n);
            out.append(text, n);
            return;
        }
    }
    const qsizetype start = out.size();
    stamps.append(out, row.time, utcOffset);
    if (!line || !appendFields(out, row, line, length)) {
        out.truncate(start);
        stamps.append(out, row.time, utcOffset);
        appendValues(out, row);
    }
    if (utcOffset)
        stamps.appendOffset(out);
}
} // namespace

QByteArray mergedRow(const LogRow& row, const char* line, qsizetype length, bool utcOffset)
{
    QByteArray out;
    appendMergedRow(out, row, line, length, utcOffset);
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
    // The rows are given their room once, by the files' sizes: room not filled costs address
    // space, not memory, so it is generous (a row's line is 35 bytes or more).
    qint64 bytes = 0;
    for (std::size_t i = firstNew; i < files_.size(); ++i)
        bytes += std::max<qint64>(0, QFileInfo(files_[i].path).size());
    rows_.reserve(rows_.size() + std::size_t(bytes / 32) + 64);
    for (std::size_t i = firstNew; i < files_.size(); ++i)
        parseFile(i, rows_);
    // One sort for all the files: a folder's logs come in time order and are mostly in order
    // already. Rows of the same time keep the order of their files and lines, without the copy of the
    // rows that a stable sort would make.
    const auto earlier = [](const LogRow& a, const LogRow& b) {
        return a.time != b.time ? a.time < b.time : a.file != b.file ? a.file < b.file : a.offset < b.offset;
    };
    if (!std::is_sorted(rows_.begin(), rows_.end(), earlier))
        std::sort(rows_.begin(), rows_.end(), earlier);
    dropDuplicates();
}

void LogSet::dropDuplicates()
{
    // Equal rows have equal times, so they meet in the run of rows of one time; which is short.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const LogRow& r = rows_[i];
        bool copy = false;
        for (std::size_t j = kept; j-- > 0 && rows_[j].time == r.time;)
            if (rows_[j].file != r.file && rows_[j].sameAs(r)) {
                copy = true;
                break;
            }
        if (copy) {
            ++files_[r.file].duplicates;
        } else {
            rows_[kept++] = r;
        }
    }
    rows_.resize(kept);
}

bool LogSet::addFile(const QString& path, const std::optional<LogName>& name)
{
    if (paths_.contains(path))
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
    if (!merge) {
        parseFile(index, rows_);
        return;
    }
    std::vector<LogRow> rows;
    parseFile(index, rows);
    mergeRows(index, std::move(rows));
}

void LogSet::parseFile(std::size_t index, std::vector<LogRow>& into)
{
    LogFile& f = files_[index];
    if (!f.name)
        f.name = parseLogName(QFileInfo(f.path).fileName(), false);
    f.error.clear();
    f.bytes = 0;
    f.rows = f.duplicates = f.skipped = 0;
    f.skippedLines.clear();
    f.partialLastLine = false;
    for (Piece& p : pieces_)
        if (p.file == index)
            p.data.clear();
    const std::size_t first = into.size();
    const bool growing = f.name && !f.name->finished();
    LogParser parser(into, f.name.value_or(LogName{}), growing, std::uint32_t(index));
    QFile file(f.path);
    if (!file.open(QIODevice::ReadOnly)) {
        f.error = file.errorString();
        return;
    }
    // A piece at a time: the file is never whole in memory, only its rows.
    constexpr qint64 kPiece = 1 << 20;
    QByteArray buffer;
    qsizetype held = 0; // bytes of a line not complete yet, at the buffer's start
    for (;;) {
        if (f.bytes > qint64(std::numeric_limits<std::uint32_t>::max())) {
            f.error = QStringLiteral("too large");
            break;
        }
        buffer.resize(held + kPiece);
        const qint64 n = file.read(buffer.data() + held, kPiece);
        if (n < 0) {
            f.error = file.errorString();
            break;
        }
        const bool last = n == 0;
        const qsizetype size = held + qsizetype(n);
        const qsizetype used = parser.feed(buffer.constData(), size, f.bytes - held, last);
        f.bytes += n;
        if (last)
            break;
        held = size - used;
        std::memmove(buffer.data(), buffer.constData() + used, std::size_t(held));
    }
    ParsedLog parsed = parser.finish();
    if (f.error.isEmpty() && !f.name && !parsed.dated && f.bytes > 0)
        f.error = QStringLiteral("no date in the file name");
    if (!f.error.isEmpty()) {
        into.resize(first);
        return;
    }
    f.rows = qint64(into.size() - first);
    f.skipped = parsed.skipped;
    f.skippedLines = parsed.skippedLines;
    f.partialLastLine = parsed.partialLastLine;
}

void LogSet::mergeRows(std::size_t changedFile, std::vector<LogRow> rows)
{
    const auto file = std::uint32_t(changedFile);
    std::erase_if(rows_, [file](const LogRow& r) { return r.file == file; });
    const auto earlier = [](const LogRow& a, const LogRow& b) { return a.time < b.time; };
    if (!std::is_sorted(rows.begin(), rows.end(), earlier))
        std::stable_sort(rows.begin(), rows.end(), earlier);
    // The changed file's rows that other files hold already are left out.
    std::erase_if(rows, [&](const LogRow& r) {
        const auto it = std::lower_bound(rows_.begin(), rows_.end(), r.time,
                                         [](const LogRow& a, qint64 t) { return a.time < t; });
        for (auto j = it; j != rows_.end() && j->time == r.time; ++j)
            if (j->sameAs(r)) {
                ++files_[changedFile].duplicates;
                return true;
            }
        return false;
    });
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
    } else if (info.size() == f.bytes && f.error.isEmpty()) {
        return false;
    }
    const qint64 rows = f.rows;
    const QString error = f.error;
    const qint64 size = f.bytes;
    readFile(index, true);
    // A file that stays unreadable changes nothing.
    return f.rows != rows || f.error != error || f.bytes != size;
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

qint64 LogSet::duplicates() const
{
    qint64 n = 0;
    for (const LogFile& f : files_)
        n += f.duplicates;
    return n;
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

void LogSet::appendMergedRow(QByteArray& out, const LogRow& row, bool utcOffset) const
{
    // The piece of its file that holds the row's line, read when no piece read holds it.
    constexpr qint64 kPiece = 1 << 18, kLongestLine = 4096;
    const qint64 at = row.offset;
    const auto holds = [&](const Piece& p) {
        return p.file == row.file && at >= p.at && at < p.at + p.data.size() &&
               (p.data.size() < kPiece || at + kLongestLine <= p.at + p.data.size());
    };
    auto piece = std::find_if(pieces_.begin(), pieces_.end(), holds);
    if (piece == pieces_.end()) {
        // The oldest of a few pieces makes room: overlapping logs are read side by side.
        constexpr std::size_t kPieces = 8;
        if (pieces_.size() < kPieces)
            pieces_.emplace_back();
        else
            std::rotate(pieces_.begin(), pieces_.begin() + 1, pieces_.end());
        piece = pieces_.end() - 1;
        piece->file = row.file;
        piece->at = at;
        // Into the memory of the piece it replaces: fresh memory costs a page fault every 4 kB.
        piece->data.resize(kPiece);
        qint64 n = -1;
        QFile file(files_[row.file].path);
        if (file.open(QIODevice::ReadOnly) && file.seek(at))
            n = file.read(piece->data.data(), kPiece);
        piece->data.resize(std::max<qint64>(0, n));
    }
    const qsizetype from = qsizetype(at - piece->at);
    const qsizetype length = piece->data.size() - from;
    ::appendMergedRow(out, row, length > 0 ? piece->data.constData() + from : nullptr, length, utcOffset);
}

QByteArray LogSet::mergedRow(const LogRow& row, bool utcOffset) const
{
    QByteArray out;
    appendMergedRow(out, row, utcOffset);
    return out;
}

QStringList LogSet::logsInFolder(const QString& folder)
{
    QStringList logs;
    for (const NamedLog& log : namedLogs(folder, {}))
        logs.append(log.path);
    return logs;
}
