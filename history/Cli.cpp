#include "Cli.h"

#include "FileIo.h"
#include "HistoryChart.h"
#include "HistoryModel.h"
#include "HistoryWindow.h"
#include "Numbers.h"
#include "Texts.h"

#include <QBuffer>
#include <QImage>

namespace {

std::optional<QDateTime> parseWhen(QString text, bool endOfDay)
{
    text.replace(u' ', u'T');
    const QDate date = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    if (date.isValid())
        return endOfDay ? QDateTime(date, QTime(23, 59, 59, 999)) : QDateTime(date, QTime(0, 0));
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    if (t.isValid())
        return t;
    return std::nullopt;
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "Usage: tarlo02-history [FILE|FOLDER]...\n"
        "       tarlo02-history --png OUT.png [--size WxH] [--scale F] [--from T] [--to T] [FILE|FOLDER]...\n"
        "       tarlo02-history --csv OUT.csv [--daily | --utc-offset] [--from T] [--to T] [FILE|FOLDER]...\n"
        "       tarlo02-history --window-png OUT.png [--size WxH] [--scale F] [--from T] [--to T]\n"
        "                       [FILE|FOLDER]...\n"
        "Shows (or, with --png, --csv or --window-png, exports without a display) the measurement\n"
        "logs of the files and folders named; the current folder when none is named.\n"
        "--png: the chart; --csv: the rows merged, or with --daily a line a day (pH min, mean and\n"
        "max, hours in range, in alarm and with the CO2 output on); --window-png: the whole window\n"
        "with the daily table. --utc-offset: each row of --csv with its offset from UTC (+02:00),\n"
        "which tells the hour that the clocks show twice in autumn apart. --scale: device pixels a pixel of "
        "the PNG, 1 to 4 (2 gives twice the\n"
        "pixels each way, drawn at them, as a screen at 200 % shows it); by default the screen's.\n"
        "T: yyyy-MM-dd, \"yyyy-MM-dd hh:mm\" or yyyy-MM-ddThh:mm:ss; a date alone for --to is its\n"
        "end.\n"
        "--version prints the version, --help this text.\n");
}

CliOptions parseCli(const QStringList& arguments, const QString& workingFolder)
{
    CliOptions o;
    for (qsizetype i = 0; i < arguments.size() && o.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size()) {
                o.error = a + QStringLiteral(" needs a value");
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (a == QStringLiteral("--help") || a == QStringLiteral("-h")) {
            o.help = true;
        } else if (a == QStringLiteral("--version")) {
            o.version = true;
        } else if (a == QStringLiteral("--png") || a == QStringLiteral("--csv") ||
                   a == QStringLiteral("--window-png")) {
            if (const auto v = value())
                (a == QStringLiteral("--png")   ? o.png
                 : a == QStringLiteral("--csv") ? o.csv
                                                : o.windowPng) = *v;
        } else if (a == QStringLiteral("--daily")) {
            o.daily = true;
        } else if (a == QStringLiteral("--utc-offset")) {
            o.utcOffset = true;
        } else if (a == QStringLiteral("--size")) {
            if (const auto v = value()) {
                const QStringList wh = v->split(u'x');
                const int w = wh.value(0).toInt(), h = wh.value(1).toInt();
                if (wh.size() != 2 || w < 320 || h < 240 || w > 10000 || h > 10000)
                    o.error = QStringLiteral("--size wants WIDTHxHEIGHT, from 320x240 to 10000x10000");
                else
                    o.size = QSize(w, h);
            }
        } else if (a == QStringLiteral("--scale")) {
            if (const auto v = value()) {
                bool ok = false;
                const double f = v->toDouble(&ok);
                if (!ok || f < 1 || f > 4)
                    o.error = QStringLiteral("--scale wants a number from 1 to 4");
                else
                    o.scale = f;
            }
        } else if (a == QStringLiteral("--from") || a == QStringLiteral("--to")) {
            if (const auto v = value()) {
                const bool to = a == QStringLiteral("--to");
                const auto when = parseWhen(*v, to);
                if (!when)
                    o.error = QStringLiteral("%1: not a date and time: %2").arg(a, *v);
                else
                    (to ? o.to : o.from) = when;
            }
        } else if (a.startsWith(QStringLiteral("--"))) {
            o.error = QStringLiteral("unknown option ") + a;
        } else {
            o.inputs.append(a);
        }
    }
    if (o.error.isEmpty() && o.from && o.to && *o.to < *o.from)
        o.error = QStringLiteral("--to is before --from");
    if (o.error.isEmpty() && o.daily && o.csv.isEmpty())
        o.error = QStringLiteral("--daily goes with --csv");
    if (o.error.isEmpty() && o.utcOffset && (o.csv.isEmpty() || o.daily))
        o.error = QStringLiteral("--utc-offset goes with --csv, without --daily");
    if (o.error.isEmpty() && o.scale && o.png.isEmpty() && o.windowPng.isEmpty())
        o.error = QStringLiteral("--scale goes with --png or --window-png");
    if (o.error.isEmpty() && o.scale) {
        const QSize pixels = o.size.value_or(QSize(1200, 860)) * *o.scale;
        if (pixels.width() > 10000 || pixels.height() > 10000)
            o.error = QStringLiteral("--size and --scale give more than 10000 pixels a side");
    }
    if (o.inputs.isEmpty())
        o.inputs.append(workingFolder);
    return o;
}

int runHeadless(const CliOptions& options, QStringList& err)
{
    LogSet logs;
    logs.open(options.inputs);
    if (logs.rows().empty()) {
        const QString problems = problemsText(logs, Language::English).replace(u'\n', QStringLiteral("; "));
        err << QStringLiteral("no measurements could be read from %1%2")
                   .arg(options.inputs.join(QStringLiteral(", ")),
                        problems.isEmpty() ? QString() : QStringLiteral(" (") + problems + u')');
        return 1;
    }
    const TimeRange all = allRows(logs.rows());
    // Exactly the rows asked for; the chart widens a view narrower than it draws.
    const TimeRange view{options.from ? options.from->toMSecsSinceEpoch() : all.from,
                         options.to ? options.to->toMSecsSinceEpoch() : all.to};

    // A picture of a range without rows would show rows of another time.
    const bool pictures = !options.png.isEmpty() || !options.windowPng.isEmpty();
    if (pictures && [&] {
            const auto [first, last] = rowsIn(logs.rows(), view);
            return first == last;
        }()) {
        err << noRowsText(view, Language::English).replace(0, 1, u'n');
        return 1;
    }

    // Written beside the file and renamed over it: a web page never reads half an export, and
    // a failed one leaves the old file. Never over a log.
    const auto writeWith = [&](const QString& path, const auto& replace) {
        if (isLogPath(logs, path)) {
            err << QStringLiteral("%1 is a measurement log: an export never replaces one").arg(path);
            return false;
        }
        try {
            replace();
            return true;
        } catch (const EInOutError& e) {
            err << e.message();
            return false;
        }
    };
    const auto write = [&](const QString& path, const std::optional<QByteArray>& data) {
        return writeWith(path, [&] {
            if (!data)
                throw EInOutError(QStringLiteral("cannot draw the chart for %1").arg(path));
            replaceFileAtomically(path, *data, QStringLiteral("cannot write"));
        });
    };
    // The merged rows a piece at a time: a large export is never whole in memory.
    const auto writeMerged = [&](const QString& path) {
        return writeWith(path, [&] {
            MergedCsvPieces pieces(logs, view, options.utcOffset);
            replaceFileAtomically(
                path, [&] { return pieces.next(); }, QStringLiteral("cannot write"));
        });
    };
    const auto png = [](const QImage& image) -> std::optional<QByteArray> {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
            return std::nullopt;
        return bytes;
    };
    if (!options.csv.isEmpty() &&
        !(options.daily ? write(options.csv, dailyCsv(dailySummaries(logs.rows(), view)))
                        : writeMerged(options.csv)))
        return 1;
    if (!options.png.isEmpty()) {
        HistoryChart chart;
        chart.setLanguage(folderLanguage(logs.folders().value(0)));
        chart.setLogs(&logs);
        chart.resize(options.size.value_or(QSize(1200, 700)));
        chart.setView(view);
        if (!write(options.png, png(chart.image(options.scale.value_or(0)))))
            return 1;
    }
    if (!options.windowPng.isEmpty()) {
        HistoryWindow window;
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.open(options.inputs);
        window.resize(options.size.value_or(QSize(1200, 860)));
        window.show();
        window.chart()->setView(view);
        window.chart()->layOut();
        const QImage shot = options.scale ? renderAt(&window, *options.scale) : window.grab().toImage();
        if (!write(options.windowPng, png(shot)))
            return 1;
    }
    // Done, and what was drawn may lack something: say what.
    const QString summary = problemsSummary(logs, Language::English);
    if (!summary.isEmpty()) {
        err << QStringLiteral("note: ") + summary;
        constexpr qsizetype kMostFiles = 10;
        const QStringList files = problemsText(logs, Language::English).split(u'\n');
        for (qsizetype i = 0; i < files.size() && i < kMostFiles; ++i)
            err << QStringLiteral("  ") + files[i];
        if (files.size() > kMostFiles)
            err << QStringLiteral("  … and %1 more").arg(files.size() - kMostFiles);
    }
    return 0;
}
