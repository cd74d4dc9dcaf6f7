#include "Cli.h"
#include "HistoryWindow.h"
#include "Platform.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char** argv)
{
    // The command line is checked before anything needs a display: a wrong one is told in the
    // program's words wherever it runs, a cron job's shell included.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CliOptions options = parseCli(arguments, workingDirectory());
    if (options.help) {
        std::fputs(qPrintable(usage()), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tarlo02-history %s\n", TARLO_VERSION);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarlo02-history: %s\n%s", qPrintable(options.error), qPrintable(usage()));
        return 2;
    }
    // The exports need no display (a cron job has none), and say what went wrong in one line:
    // the toolkit's notes about the environment stay out of it.
    if (options.headless()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(text));
        });
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
             qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs("tarlo02-history: no display to show the window on; --png, --csv and --window-png "
                   "work without one\n",
                   stderr);
        return 1;
    }
#endif
    // The file dialogs are Qt's own, which speak the window's language.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarlo02-history"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/history/tarlo02-history.svg")));

    if (options.headless()) {
        QStringList err;
        const int code = runHeadless(options, err);
        for (const QString& line : err)
            std::fprintf(stderr, "tarlo02-history: %s\n", qPrintable(line));
        return code;
    }
    HistoryWindow window;
    window.open(options.inputs);
    window.show();
    return app.exec();
}
