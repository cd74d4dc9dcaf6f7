// A year of logs (525,600 rows, one a minute, in 365 daily files) generated into a temporary
// folder: the reader's rows a second, the time to open the folder and draw the first frame,
// the memory held, and frames a second while panning and zooming offscreen.
//   bench_history [--days N]

#include "HistoryChart.h"
#include "HistoryModel.h"
#include "LogReader.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>

namespace {

constexpr char kHeader[] = "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n";

// One day's log: pH swinging with the light and CO2 cycle, outputs switching with it.
QByteArray day(int index)
{
    QByteArray out(kHeader);
    out.reserve(1440 * 48);
    char line[96];
    for (int m = 0; m < 1440; ++m) {
        const double ph =
            7.0 + 0.35 * std::sin((m + index * 7) / 1440.0 * 2 * M_PI) + 0.02 * std::sin(m * 0.7);
        const int hundredths = int(std::lround(ph * 100));
        const bool co2 = m >= 480 && m < 1080, o2 = !co2;
        const double ppm = 15 * std::pow(10.0, 7 - ph);
        const int n =
            m == 0 ? std::snprintf(line, sizeof line, "00:00:00;%d,%02d;6,80;7,20;%d,%d;5;20;%s;%s\r\n",
                                   hundredths / 100, hundredths % 100, int(ppm), int(ppm * 10) % 10,
                                   o2 ? "on" : "off", co2 ? "on" : "off")
                   : std::snprintf(line, sizeof line, "%02d:%02d;%d,%02d;6,80;7,20;%d,%d;5;20;%s;%s\r\n",
                                   m / 60, m % 60, hundredths / 100, hundredths % 100, int(ppm),
                                   int(ppm * 10) % 10, o2 ? "on" : "off", co2 ? "on" : "off");
        out.append(line, n);
    }
    return out;
}

// Wall time and the process's CPU time: on a machine shared with other work the CPU time
// is what the program itself needed.
struct Stopwatch {
    QElapsedTimer wall;
    double cpu0 = cpuSeconds();
    Stopwatch() { wall.start(); }
    static double cpuSeconds()
    {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
    double wallSeconds() const { return double(wall.nsecsElapsed()) / 1e9; }
    double cpu() const { return cpuSeconds() - cpu0; }
};

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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int days = 365;
    for (int i = 1; i + 1 < argc; ++i)
        if (QByteArray(argv[i]) == "--days")
            days = std::max(1, QByteArray(argv[i + 1]).toInt());

    QTemporaryDir dir;
    const QDate first(2016, 1, 1);
    std::vector<QByteArray> contents;
    qint64 bytes = 0;
    for (int d = 0; d < days; ++d) {
        const QDate date = first.addDays(d);
        const QString name = date.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" {000000}    ") +
                             date.addDays(1).toString(QStringLiteral("yyyy-MM-dd")) +
                             QStringLiteral(" {000000}.csv");
        contents.push_back(day(d));
        bytes += contents.back().size();
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(contents.back()) != contents.back().size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
            return 1;
        }
    }
    std::printf("generated: %d files, %lld rows, %.1f MB\n", days, qint64(days) * 1440, double(bytes) / 1e6);

    // The reader alone, on contents in memory: the best of five.
    double best = 1e9, bestCpu = 1e9;
    std::size_t parsed = 0;
    for (int run = 0; run < 5; ++run) {
        Stopwatch t;
        parsed = 0;
        for (int d = 0; d < days; ++d)
            parsed += parseLog(contents[std::size_t(d)], QDateTime(first.addDays(d), QTime(0, 0)), false)
                          .rows.size();
        best = std::min(best, t.wallSeconds());
        bestCpu = std::min(bestCpu, t.cpu());
    }
    std::printf("reader: %zu rows in %.1f ms = %.1f million rows/s (CPU %.1f ms = %.1f million rows/s)\n",
                parsed, best * 1e3, double(parsed) / best / 1e6, bestCpu * 1e3,
                double(parsed) / bestCpu / 1e6);
    contents.clear();
    contents.shrink_to_fit();
    const long rssBefore = statusKb("VmRSS:");

    // Opening the folder: reading, parsing, merging, and the first frame of the whole year.
    Stopwatch open;
    LogSet logs;
    logs.open({dir.path()});
    const double readMs = open.wallSeconds() * 1e3;
    HistoryChart chart;
    chart.resize(1200, 700);
    chart.show(); // as in the window: a hidden widget is laid out again at every render
    chart.setLogs(&logs);
    const QImage firstFrame = chart.image();
    const double openMs = open.wallSeconds() * 1e3;
    std::printf("open: %zu rows from %zu files read in %.0f ms, first frame drawn at %.0f ms (CPU %.0f ms)\n",
                logs.rows().size(), logs.files().size(), readMs, openMs, open.cpu() * 1e3);
    std::printf("memory: RSS %.1f MB after opening (%.1f MB before, peak %.1f MB)\n",
                statusKb("VmRSS:") / 1024.0, rssBefore / 1024.0, statusKb("VmHWM:") / 1024.0);

    // Panning and zooming: each frame a new view, decimated and drawn in full.
    const TimeRange all = chart.limits();
    const qint64 dayMs = 24LL * 3600 * 1000;
    struct Case {
        const char* what;
        qint64 span;
    } cases[] = {{"year", all.span()}, {"30 days", 30 * dayMs}, {"7 days", 7 * dayMs}, {"1 day", dayMs}};
    for (const Case& c : cases) {
        constexpr int kFrames = 40;
        TimeRange view{all.from + (all.span() - c.span) / 2, all.from + (all.span() - c.span) / 2 + c.span};
        Stopwatch t;
        for (int f = 0; f < kFrames; ++f) {
            // Alternately pan by a tenth and zoom in and out by a notch.
            if (f % 2 == 0)
                view = panned(view, (f % 4 == 0 ? 1 : -1) * view.span() / 10, all);
            else
                view = zoomed(view, view.from + view.span() / 2, f % 4 == 1 ? 0.8 : 1.25, all);
            chart.setView(view);
            chart.grab();
        }
        const double s = t.wallSeconds(), cpu = t.cpu();
        std::printf(
            "pan/zoom over %-8s %5.1f frames/s (%.1f ms a frame; CPU %.1f ms a frame = %.1f frames/s)\n",
            c.what, kFrames / s, s * 1e3 / kFrames, cpu * 1e3 / kFrames, kFrames / cpu);
    }
    return firstFrame.isNull() ? 1 : 0;
}
