// How many CSV rows per second the log can write when every row is appended,
// flushed and closed on its own, against the most records the serial line can
// bring in a second. Usage: bench_log [folder] [seconds]; the folder defaults to
// the current one, so the figure is for the disk it lies on.

#include "Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;

    QTemporaryDir dir(folder + QStringLiteral("/bench-log-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder in %s\n", qPrintable(folder));
        return 1;
    }
    const FrameLines record{"7.05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"};
    const QDateTime start(QDate(2016, 10, 1), QTime(18, 30, 8));
    const QString path = startLogFile(dir.path(), start, formatLogRow(record, QStringLiteral("18:30:08")));

    QElapsedTimer timer;
    timer.start();
    long rows = 0;
    while (timer.nsecsElapsed() < static_cast<qint64>(seconds * 1e9)) {
        appendLogRow(path, formatLogRow(record, QStringLiteral("18:31")));
        ++rows;
    }
    const double elapsed = timer.nsecsElapsed() / 1e9;
    const double rowsPerSecond = rows / elapsed;

    // 19200 bit/s, 10 bits a byte; a record is 12 lines of at most 6 bytes with CR LF.
    const double recordsPerSecond = 19200.0 / 10 / (12 * 6);
    std::printf("folder: %s\n", qPrintable(dir.path()));
    std::printf("rows written: %ld in %.2f s (append, sync, close each row)\n", rows, elapsed);
    std::printf("rows per second: %.0f\n", rowsPerSecond);
    std::printf("most records per second the line can bring: %.1f\n", recordsPerSecond);
    std::printf("ratio: %.0f x\n", rowsPerSecond / recordsPerSecond);
    return 0;
}
