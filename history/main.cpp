#include "Cli.h"
#include "HistoryWindow.h"
#include "Platform.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>

int main(int argc, char** argv)
{
    bool headless = false;
    for (int i = 1; i < argc; ++i)
        headless = headless || qstrcmp(argv[i], "--png") == 0 || qstrcmp(argv[i], "--csv") == 0 ||
                   qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0;
    // The exports need no display (a cron job has none), and say what went wrong in one line:
    // the toolkit's notes about the environment stay out of it.
    if (headless) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s\n", qPrintable(text));
        });
    }
    // The file dialogs are Qt's own, which speak the window's language.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tarlo02-history"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/history/tarlo02-history.svg")));

    const CliOptions options = parseCli(QApplication::arguments().mid(1), workingDirectory());
    if (options.help) {
        std::fputs(qPrintable(usage()), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "tarlo02-history: %s\n%s", qPrintable(options.error), qPrintable(usage()));
        return 2;
    }
    if (options.headless()) {
        QString err;
        const int code = runHeadless(options, err);
        if (code != 0)
            std::fprintf(stderr, "tarlo02-history: %s\n", qPrintable(err));
        return code;
    }
    HistoryWindow window;
    window.open(options.inputs);
    window.show();
    return app.exec();
}
