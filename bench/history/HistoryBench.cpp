// Three generated years of logs side by side, each a minute a row in a temporary folder:
//   clean:    365 daily files;
//   gaps:     365 daily files with a 6-minute gap every two hours (4,380 gaps);
//   sessions: 4,000 session files, each run followed by a 5-minute pause.
// For each: tarlo02-history --png of everything and of the last 30 days, and the window's first
// frame, each in a process of its own (wall and CPU time, peak memory), and in the window one
// tick of following the logs and a frame of panning over the year and over a day. Then the reader
// alone on the clean year's contents. Then one large log of years (200 MB): read alone, exported
// to CSV, drawn as PNG and opened in the window, each with its peak memory beside the file's
// size. Times are the best of three runs.
//   bench_history [--runs N] [--large-mb N] [--large-only]

#include "HistoryChart.h"
#include "HistoryModel.h"
#include "HistoryWindow.h"
#include "LogReader.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr char kHeader[] = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n";
constexpr int kDays = 365;
constexpr int kMinutes = kDays * 1440;
const QDate kFirst(2016, 1, 1);

// The row of a minute of the year: pH swinging with the light and CO2 cycle, outputs with it.
void appendRow(QByteArray& out, int minute, bool first)
{
    const int m = minute % 1440, day = minute / 1440;
    const double ph = 7.0 + 0.35 * std::sin((m + day * 7) / 1440.0 * 2 * M_PI) + 0.02 * std::sin(m * 0.7);
    const int hundredths = int(std::lround(ph * 100));
    const bool co2 = m >= 480 && m < 1080, o2 = !co2;
    const double ppm = 15 * std::pow(10.0, 7 - ph);
    char line[96];
    const int n = std::snprintf(line, sizeof line, "%02d:%02d%s;%d,%02d;6,80;7,20;%d,%d;5;20;%s;%s\r\n",
                                m / 60, m % 60, first ? ":00" : "", hundredths / 100, hundredths % 100,
                                int(ppm), int(ppm * 10) % 10, o2 ? "on" : "off", co2 ? "on" : "off");
    out.append(line, n);
}

QString stamp(int minute, int second = 0)
{
    const QDateTime t(kFirst.addDays(minute / 1440), QTime(minute % 1440 / 60, minute % 60, second));
    return t.toString(QStringLiteral("yyyy-MM-dd {HHmmss}"));
}

// A log of the minutes [from, to) that `has`, named by its first row and its end.
template <typename Has>
qint64 writeLog(const QString& folder, int from, int to, int end, const Has& has)
{
    QByteArray content(kHeader);
    content.reserve((to - from) * 48);
    bool first = true;
    for (int minute = from; minute < to; ++minute)
        if (has(minute)) {
            appendRow(content, minute, first);
            first = false;
        }
    QFile f(QDir(folder).filePath(stamp(from) + QStringLiteral("    ") + stamp(end / 60, end % 60) +
                                  QStringLiteral(".csv")));
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
    return content.size();
}

struct Folder {
    const char* name;
    QString path;
    int files = 0;
    qint64 rows = 0, bytes = 0;
};

void generate(Folder& clean, Folder& gaps, Folder& sessions)
{
    for (int d = 0; d < kDays; ++d) {
        const int from = d * 1440, to = from + 1440;
        clean.bytes += writeLog(clean.path, from, to, to * 60, [](int) { return true; });
        gaps.bytes += writeLog(gaps.path, from, to, to * 60, [](int m) { return m % 120 < 114; });
    }
    clean.files = gaps.files = kDays;
    clean.rows = kMinutes;
    gaps.rows = kMinutes / 120 * 114;
    constexpr int kSessions = 4000;
    for (int s = 0; s < kSessions; ++s) {
        const int from = int(qint64(s) * kMinutes / kSessions),
                  next = int(qint64(s + 1) * kMinutes / kSessions);
        const int to = next - 5;
        sessions.bytes += writeLog(sessions.path, from, to, to * 60 - 30, [](int) { return true; });
        sessions.rows += to - from;
    }
    sessions.files = kSessions;
}

double cpuSeconds(const rusage& u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run {
    double wall = 0, cpu = 0;
    long peakKb = 0;
    std::string out; // the child's standard output
    bool ok = false;
};

// Runs a program to its end: wall and CPU time, its peak resident memory and what it printed.
Run runChild(const std::vector<std::string>& args)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return {};
    QElapsedTimer wall;
    wall.start();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    Run run;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        run.out.append(buffer, std::size_t(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return {};
    run.wall = double(wall.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds(usage);
    run.peakKb = usage.ru_maxrss;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

Run best(const std::vector<std::string>& args, int runs)
{
    Run b;
    for (int i = 0; i < runs; ++i) {
        const Run r = runChild(args);
        if (!r.ok) {
            std::fprintf(stderr, "failed: %s\n", args.back().c_str());
            std::exit(1);
        }
        if (!b.ok || r.wall < b.wall)
            b = r;
        b.peakKb = std::max(b.peakKb, r.peakKb);
        b.ok = true;
    }
    return b;
}

long statusKb(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key) {
            long kb = 0;
            status >> kb;
            return kb;
        }
    return -1;
}

double processCpu()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The child of the reader's figures: reads the logs and prints the rows.
int readChild(const QString& path)
{
    LogSet logs;
    logs.open({path});
    std::printf("%zu\n", logs.rows().size());
    return 0;
}

// One finished log of a row a minute from kFirst, of about `bytes`; returns its size.
qint64 writeLargeLog(const QString& folder, qint64 bytes)
{
    const int minutes = int(bytes / 39);
    return writeLog(folder, 0, minutes, minutes * 60 + 10, [](int) { return true; });
}

// One large log: what each use of it costs against reading it, and its peak memory against its
// size (the constant of an empty run beside it).
void largeLog(const QTemporaryDir& dir, const std::string& self, const std::string& history,
              const std::string& png, int runs, qint64 largeMb)
{
    const QString largeFolder = dir.filePath(QStringLiteral("large"));
    QDir().mkpath(largeFolder);
    const qint64 largeBytes = writeLargeLog(largeFolder, largeMb * 1000 * 1000);
    const std::string large = LogSet::logsInFolder(largeFolder).value(0).toStdString();
    const std::string csv = dir.filePath(QStringLiteral("large-export.csv")).toStdString();
    // The constant of each use: the same run on a log of one row.
    const QString smallFolder = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(smallFolder);
    writeLog(smallFolder, 0, 1, 70, [](int) { return true; });
    const std::string small = LogSet::logsInFolder(smallFolder).value(0).toStdString();
    const struct {
        const char* what;
        std::vector<std::string> args;
    } uses[] = {
        {"read alone", {self, "--read"}},
        {"--csv", {history, "--csv", csv}},
        {"--png", {history, "--png", png, "--size", "1200x700"}},
        {"window first frame", {self, "--window"}},
    };
    std::printf("\nlarge log: %.0f MB, %.1f million rows; memory: the peak, and the peak beyond that of the "
                "same run on a log of one row\n",
                double(largeBytes) / 1e6, double(largeBytes) / 39 / 1e6);
    Run read;
    for (const auto& use : uses) {
        std::vector<std::string> args = use.args;
        args.push_back(small);
        const Run base = best(args, 1);
        args.back() = large;
        const Run r = best(args, runs);
        if (!read.ok)
            read = r;
        std::printf("%-20s %6.2f s (CPU %5.2f s) = %4.2fx reading (CPU %4.2fx)   peak %4.0f MB = %.2fx the "
                    "file, beyond %3.0f MB: %.2fx\n",
                    use.what, r.wall, r.cpu, r.wall / read.wall, r.cpu / read.cpu, double(r.peakKb) / 1024,
                    double(r.peakKb) * 1024 / double(largeBytes), double(base.peakKb) / 1024,
                    double(r.peakKb - base.peakKb) * 1024 / double(largeBytes));
    }
}

// The child of the window's figures: opens the folder in the window, draws the first frame,
// then follows and pans. Prints "first-ms first-cpu-ms peak-kb follow-us year-ms day-ms
// year-2x-ms year-fps day-fps year-2x-fps" (ms: CPU a frame; frames a second: wall time).
int windowChild(int argc, char** argv, const QString& folder)
{
    QElapsedTimer start;
    start.start();
    QApplication app(argc, argv);
    HistoryWindow window;
    window.open({folder});
    window.show();
    const QImage first = window.grab().toImage();
    const double firstMs = double(start.nsecsElapsed()) / 1e6, firstCpu = processCpu() * 1e3;
    const long peakKb = statusKb("VmHWM:");

    // Idle: what the follow timer costs a tick when nothing changed.
    constexpr int kTicks = 50;
    const double followCpu0 = processCpu();
    for (int i = 0; i < kTicks; ++i)
        window.follow();
    const double followUs = (processCpu() - followCpu0) * 1e6 / kTicks;

    // Panning and zooming: each frame a new view, worked out and drawn in full (the window's
    // statistics of the view too), on a screen at 100 % and at 200 %: the year, then a day.
    HistoryChart* chart = window.chart();
    const TimeRange all = chart->limits();
    double frameMs[3] = {0, 0, 0}, fps[3] = {0, 0, 0};
    const qint64 spans[3] = {all.span(), all.span(), 24LL * 3600 * 1000};
    const qreal scales[3] = {1, 2, 1};
    for (int c = 0; c < 3; ++c) {
        constexpr int kFrames = 40;
        TimeRange view{all.from + (all.span() - spans[c]) / 2,
                       all.from + (all.span() - spans[c]) / 2 + spans[c]};
        // Drawn into one picture again and again, as a window's backing store is.
        QImage screen(chart->size() * scales[c], QImage::Format_RGB32);
        screen.setDevicePixelRatio(scales[c]);
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = processCpu();
        for (int f = 0; f < kFrames; ++f) {
            if (f % 2 == 0)
                view = panned(view, (f % 4 == 0 ? 1 : -1) * view.span() / 10, all);
            else
                view = zoomed(view, view.from + view.span() / 2, f % 4 == 1 ? 0.8 : 1.25, all);
            chart->setView(view);
            chart->render(&screen);
        }
        frameMs[c] = (processCpu() - cpu0) * 1e3 / kFrames;
        fps[c] = kFrames / (double(wall.nsecsElapsed()) / 1e9);
    }
    std::printf("%.1f %.1f %ld %.1f %.2f %.2f %.2f %.1f %.1f %.1f\n", firstMs, firstCpu, peakKb, followUs,
                frameMs[0], frameMs[2], frameMs[1], fps[0], fps[2], fps[1]);
    return first.isNull() ? 1 : 0;
}

struct Figures {
    Run png, png30, window;
    double firstMs = 0, firstCpuMs = 0, followUs = 0, yearFrameMs = 0, dayFrameMs = 0, year2xFrameMs = 0;
    double yearFps = 0, dayFps = 0, year2xFps = 0;
    long windowPeakKb = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && QByteArray(argv[1]) == "--window")
        return windowChild(argc, argv, QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && QByteArray(argv[1]) == "--read")
        return readChild(QString::fromLocal8Bit(argv[2]));
    int runs = 3;
    qint64 largeMb = 200;
    bool largeOnly = false; // --large-only: the large log's figures alone
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--large-only")
            largeOnly = true;
        else if (i + 1 >= argc)
            break;
        else if (QByteArray(argv[i]) == "--runs")
            runs = std::max(1, QByteArray(argv[i + 1]).toInt());
        else if (QByteArray(argv[i]) == "--large-mb")
            largeMb = std::max(1, QByteArray(argv[i + 1]).toInt());

    QTemporaryDir dir;
    const std::string self = QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toStdString();
    const std::string history = TARLO02_HISTORY;
    const std::string png = dir.filePath(QStringLiteral("chart.png")).toStdString();
    if (largeOnly) {
        largeLog(dir, self, history, png, runs, largeMb);
        return 0;
    }
    Folder folders[] = {{"clean year", dir.filePath("clean")},
                        {"gap every 2 h", dir.filePath("gaps")},
                        {"4,000 sessions", dir.filePath("sessions")}};
    for (Folder& f : folders)
        QDir().mkpath(f.path);
    generate(folders[0], folders[1], folders[2]);

    const QString lastMonth = kFirst.addDays(kDays - 30).toString(QStringLiteral("yyyy-MM-dd"));
    Figures figures[3];
    for (int i = 0; i < 3; ++i) {
        const std::string folder = folders[i].path.toStdString();
        Figures& f = figures[i];
        f.png = best({history, "--png", png, "--size", "1200x700", folder}, runs);
        f.png30 = best(
            {history, "--png", png, "--size", "1200x700", "--from", lastMonth.toStdString(), folder}, runs);
        f.window = best({self, "--window", folder}, runs);
        std::sscanf(f.window.out.c_str(), "%lf %lf %ld %lf %lf %lf %lf %lf %lf %lf", &f.firstMs,
                    &f.firstCpuMs, &f.windowPeakKb, &f.followUs, &f.yearFrameMs, &f.dayFrameMs,
                    &f.year2xFrameMs, &f.yearFps, &f.dayFps, &f.year2xFps);
    }

    std::printf("%-34s", "");
    for (const Folder& f : folders)
        std::printf("%22s", f.name);
    std::printf("\n%-34s", "files, rows, MB");
    for (const Folder& f : folders)
        std::printf("%8d %6.0fk %5.1f", f.files, double(f.rows) / 1e3, double(f.bytes) / 1e6);
    const auto line = [&](const char* what, const auto& value, const auto& ratio) {
        std::printf("\n%-34s", what);
        for (int i = 0; i < 3; ++i) {
            std::string cell = value(figures[i]);
            if (i > 0) {
                char r[16];
                std::snprintf(r, sizeof r, " %.2fx", ratio(i));
                cell += r;
            }
            std::printf("%22s", cell.c_str());
        }
    };
    const auto seconds = [](const Run& r) {
        char b[48];
        std::snprintf(b, sizeof b, "%.2f s (%.2f)", r.wall, r.cpu);
        return std::string(b);
    };
    const auto mb = [](long kb) {
        char b[32];
        std::snprintf(b, sizeof b, "%.0f MB", double(kb) / 1024);
        return std::string(b);
    };
    const auto number = [](double v, const char* unit) {
        char b[32];
        std::snprintf(b, sizeof b, v < 10 ? "%.2f %s" : "%.1f %s", v, unit);
        return std::string(b);
    };
    // Ratios to the clean year: wall time, and memory.
    line(
        "--png all: wall (CPU)", [&](const Figures& f) { return seconds(f.png); },
        [&](int i) { return figures[i].png.wall / figures[0].png.wall; });
    line(
        "--png all: peak memory", [&](const Figures& f) { return mb(f.png.peakKb); },
        [&](int i) { return double(figures[i].png.peakKb) / double(figures[0].png.peakKb); });
    line(
        "--png last 30 days: wall (CPU)", [&](const Figures& f) { return seconds(f.png30); },
        [&](int i) { return figures[i].png30.wall / figures[0].png30.wall; });
    line(
        "--png last 30 days: peak memory", [&](const Figures& f) { return mb(f.png30.peakKb); },
        [&](int i) { return double(figures[i].png30.peakKb) / double(figures[0].png30.peakKb); });
    line(
        "window first frame: wall", [&](const Figures& f) { return number(f.firstMs / 1e3, "s"); },
        [&](int i) { return figures[i].firstMs / figures[0].firstMs; });
    line(
        "window first frame: CPU", [&](const Figures& f) { return number(f.firstCpuMs / 1e3, "s"); },
        [&](int i) { return figures[i].firstCpuMs / figures[0].firstCpuMs; });
    line(
        "window first frame: peak memory", [&](const Figures& f) { return mb(f.windowPeakKb); },
        [&](int i) { return double(figures[i].windowPeakKb) / double(figures[0].windowPeakKb); });
    line(
        "window idle: CPU a follow tick", [&](const Figures& f) { return number(f.followUs, "us"); },
        [&](int i) { return figures[i].followUs / figures[0].followUs; });
    line(
        "pan/zoom, the year: CPU a frame", [&](const Figures& f) { return number(f.yearFrameMs, "ms"); },
        [&](int i) { return figures[i].yearFrameMs / figures[0].yearFrameMs; });
    line(
        "pan/zoom, the year: frames a second", [&](const Figures& f) { return number(f.yearFps, "/s"); },
        [&](int i) { return figures[i].yearFps / figures[0].yearFps; });
    line(
        "pan/zoom, the year at 2x: CPU a frame",
        [&](const Figures& f) { return number(f.year2xFrameMs, "ms"); },
        [&](int i) { return figures[i].year2xFrameMs / figures[0].year2xFrameMs; });
    line(
        "pan/zoom, the year at 2x: frames/s", [&](const Figures& f) { return number(f.year2xFps, "/s"); },
        [&](int i) { return figures[i].year2xFps / figures[0].year2xFps; });
    line(
        "pan/zoom, a day: CPU a frame", [&](const Figures& f) { return number(f.dayFrameMs, "ms"); },
        [&](int i) { return figures[i].dayFrameMs / figures[0].dayFrameMs; });
    line(
        "pan/zoom, a day: frames a second", [&](const Figures& f) { return number(f.dayFps, "/s"); },
        [&](int i) { return figures[i].dayFps / figures[0].dayFps; });
    std::printf("\n(best wall time of %d runs, CPU time in brackets; ratios to the clean year)\n", runs);

    // The reader alone, on the clean year's contents in memory: the best of five.
    std::vector<std::pair<QByteArray, LogName>> contents;
    for (const QString& path : LogSet::logsInFolder(folders[0].path)) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            contents.emplace_back(file.readAll(), *parseLogName(QFileInfo(path).fileName()));
    }
    double bestWall = 1e9;
    std::size_t parsed = 0;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        parsed = 0;
        for (const auto& [content, name] : contents)
            parsed += parseLog(content, name, false).rows.size();
        bestWall = std::min(bestWall, double(t.nsecsElapsed()) / 1e9);
    }
    std::printf("reader: %zu rows in %.1f ms = %.1f million rows/s\n", parsed, bestWall * 1e3,
                double(parsed) / bestWall / 1e6);
    contents.clear();
    largeLog(dir, self, history, png, runs, largeMb);
    return 0;
}
