#pragma once

// Reading measurement logs back: the log's format as Log.h writes it, read the other way.
// Widget-free; Qt Core only.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

// The header of a merged export: the log's header with "Time" replaced by "Date;Time".
inline constexpr char MergedLogHeader[] = "Date;Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2";
// The same with each row's offset from UTC after its fields ("+02:00"), which tells the two
// passes of the hour repeated when the clocks go back apart.
inline constexpr char MergedLogHeaderWithOffset[] =
    "Date;Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2;UTC offset";

// Two rows further apart than this have no line between them.
inline constexpr qint64 kLogGapMs = 3 * 60 * 1000;

// What a log's file name tells: "2016-10-01 {183008}.csv" while it is written,
// "2016-10-01 {183008}    2016-10-01 {191210}.csv" once finished.
struct LogName {
    QDateTime start;
    QDateTime end; // invalid while the log is still being written
    bool finished() const { return end.isValid(); }
};

// The file name alone (no folder). strict: exactly one of the two forms above, as the
// program names its logs (for picking the logs out of a folder). Otherwise a name that
// starts with "yyyy-MM-dd" is enough, with the start time after it when it is there
// (a copy renamed by hand).
std::optional<LogName> parseLogName(const QString& fileName, bool strict = true);

enum class OutputState : std::int8_t { Unknown = -1, Off = 0, On = 1 };

// One row. Values that the log does not hold as a number ("--.-", "--", "?", empty, noise)
// are NaN: a gap, never a zero. The controller's "0" CO2 with "0" KH (its display shows
// "--.-" and "--") is no value either. A bound is kept at its bound with a flag: ">10" is a
// pH of 10 and kPhAbove, "100" PPM (shown ">100!") is 100 and kPpmAbove.
struct LogRow {
    static constexpr std::uint8_t kPhAbove = 1, kPpmAbove = 2;
    qint64 time = 0;                                                // ms since the epoch
    float ph = 0, phMin = 0, phMax = 0, ppm = 0, kh = 0, alarm = 0; // alarm in hundredths of pH
    OutputState o2 = OutputState::Unknown, co2 = OutputState::Unknown;
    std::uint8_t bounds = 0;  // kPhAbove, kPpmAbove
    std::uint32_t file = 0;   // index of its file in the set it was read into
    std::uint32_t offset = 0; // where the row's line starts in that file
    bool phAbove() const { return bounds & kPhAbove; }
    bool ppmAbove() const { return bounds & kPpmAbove; }
    // The same measurement: the same time and values (a gap equals a gap), whatever the file.
    bool sameAs(const LogRow& other) const;
};

// The system's time zone, looked up once: asking the system again reads its files each time.
const QTimeZone& systemZone();

// A wall-clock date and time of a time zone as ms since the epoch, each day's offsets looked
// up once. Where the clocks show a time twice (the hour repeated when they go back), the
// first instant not before notBefore, else the later one, so rows keep their order; where they
// skip a time (going forward), the time read with the offset from before the change.
class WallClock {
public:
    explicit WallClock(const QTimeZone& zone = systemZone()) : zone_(zone) {}
    qint64 at(QDate day, int secondOfDay, qint64 notBefore = std::numeric_limits<qint64>::min());

private:
    int offsetAt(qint64 ms) const;
    QTimeZone zone_;
    QDate day_;
    qint64 wallStart_ = 0;       // the day's midnight on the wall clock, as if it were UTC
    int before_ = 0, after_ = 0; // offsets from UTC before and after the day, s
};

struct ParsedLog {
    std::vector<LogRow> rows;
    int skipped = 0;              // malformed lines: wrong field count, no valid time
    QList<int> skippedLines;      // their 1-based line numbers, the first few
    bool partialLastLine = false; // a last line without its line end, left for the next read
    bool dated = false;           // a merged export: each row has its date
};

// Reads a log a piece at a time, so a large file is never whole in memory: its rows go
// straight into a vector of the caller's, after the rows already there.
class LogParser {
public:
    LogParser(std::vector<LogRow>& rows, const LogName& name, bool growing, std::uint32_t file = 0,
              const QTimeZone& zone = systemZone());
    // Reads the complete lines of data, which starts at byte `at` of the file. Returns the bytes
    // read: the rest, a line not complete yet, is to be given again with what follows it.
    // last: nothing follows.
    qsizetype feed(const char* data, qsizetype size, qint64 at, bool last);
    // The rows' dates, once all the lines are in; the rows are left in `out` (its rows empty).
    ParsedLog finish();

private:
    void line(const char* start, const char* end, qint64 at);
    void skip(int line);
    void placeRows();

    std::vector<LogRow>& rows_;
    std::size_t first_;
    LogName name_;
    bool growing_;
    std::uint32_t file_;
    WallClock clock_;
    ParsedLog out_;
    enum class Header { Unchecked, Log, Merged, MergedWithOffset } header_ = Header::Unchecked;
    int lineNumber_ = 0;
    int previous_ = 0; // second of the day of the row before
    qint64 lastTime_ = std::numeric_limits<qint64>::min();
    struct StepBack {
        std::size_t row;
        int seconds;
    };
    std::vector<StepBack> steps_;
};

// Parses a log's content. name: the stamps of its file name, whose start date is where the
// rows' dates begin; not needed for a merged export, whose rows carry their dates. A row
// earlier in the day than the one before it is on the next day only when it has to be: when
// the name has both stamps, the days between the start and the last row (the end stamp's day,
// or the day before when the last row is later in the day than the end) are put at that many
// of the longest steps back; otherwise at each step back of more than an hour. Shorter steps
// are clock changes and corrections. growing: the file may still be written, so a last line
// without its line end is left out; otherwise it is read like any other. zone: the time zone
// the log was written in.
// Where the start stamp falls in the hour that the clocks show twice, the pass under which the
// rows, in order, reach the end stamp (or their last row) without an hour that is not there;
// the earlier one where both fit alike. Lines end in CR LF, LF or CR alone.
ParsedLog parseLog(const QByteArray& content, const LogName& name, bool growing, std::uint32_t file = 0,
                   const QTimeZone& zone = systemZone());
// The same for a log whose name gives only its start.
ParsedLog parseLog(const QByteArray& content, const QDateTime& start, bool growing, std::uint32_t file = 0);

// The row's values as a merged export holds them: "yyyy-MM-dd;hh:mm:ss;" and then the eight
// fields after the time as the log has them, with the reader's gaps left empty; with utcOffset
// its offset from UTC after them (";+02:00"). line: the row's raw line (read up to its line
// end); a line that is not the row's gives the row's values as read.
QByteArray mergedRow(const LogRow& row, const char* line, qsizetype length, bool utcOffset = false);

// A file of a set.
struct LogFile {
    QString path;
    qint64 bytes = 0; // read of it
    std::optional<LogName> name;
    qint64 rows = 0;
    qint64 duplicates = 0; // rows left out: another file has the same ones
    int skipped = 0;
    QList<int> skippedLines;
    bool partialLastLine = false;
    QString error; // why nothing could be read, empty when it was read
};

// Logs read from files and folders, their rows merged in time order.
class LogSet {
public:
    // Each path is a log file or a folder (every log in it, by its name). Files are read
    // once each, however often they are named. Unreadable files are kept with their error.
    void open(const QStringList& paths);

    enum class Scope {
        Growing, // the logs still being written (no end stamp): grown, or renamed when finished
        All,     // and every file, and the opened folders for new logs
    };
    // Reads again what changed since the last read: files that grew or shrank, logs new in an
    // opened folder, a log renamed when it was finished, files gone. True when the rows changed.
    bool refresh(Scope scope = Scope::All);

    const std::vector<LogRow>& rows() const { return rows_; }
    const std::vector<LogFile>& files() const { return files_; }
    // Folders opened, and the folders of the files opened, in the order named.
    const QStringList& folders() const { return folders_; }
    // The folders opened as folders, where new logs are looked for.
    const QStringList& openedFolders() const { return openedFolders_; }
    // Lines skipped over all files.
    int skipped() const;
    // Rows left out over all files, as copies of rows of other files.
    qint64 duplicates() const;
    // True when a file has no end stamp in its name: logging may still go on.
    bool growing() const;
    // True when path is one of the files read (or was, before it was renamed).
    bool holds(const QString& path) const;

    // The merged export's line for a row, without its line end; its line is read again from
    // its file (the files are not kept in memory), a piece of the file at a time.
    QByteArray mergedRow(const LogRow& row, bool utcOffset = false) const;
    // The same appended to out, a row after another into a piece of an export.
    void appendMergedRow(QByteArray& out, const LogRow& row, bool utcOffset = false) const;

    // The logs of a folder by their names, in time order.
    static QStringList logsInFolder(const QString& folder);

private:
    // A file not known yet, to be read; name: when the folder's listing read it already.
    bool addFile(const QString& path, const std::optional<LogName>& name);
    // Reads a file: its content, then its rows, which are merged in, or only added at the end
    // when merge is false.
    void readFile(std::size_t index, bool merge);
    // Reads a file's rows into `into`, after the rows there.
    void parseFile(std::size_t index, std::vector<LogRow>& into);
    void mergeRows(std::size_t changedFile, std::vector<LogRow> rows);
    // Leaves out rows of the same time and values as a row before them from another file.
    void dropDuplicates();
    bool refreshFile(std::size_t index);

    std::vector<LogFile> files_;
    QSet<QString> paths_; // of files_, as named and as renamed
    std::vector<LogRow> rows_;
    QStringList folders_;
    QStringList openedFolders_;
    // The pieces of files last read for mergedRow(): exports go through rows in time order.
    struct Piece {
        std::uint32_t file = 0;
        qint64 at = 0;
        QByteArray data;
    };
    mutable std::vector<Piece> pieces_;
};
