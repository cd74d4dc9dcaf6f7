// tarlo02-logd: the headless logging service for a Tarlo-02 controller.

#include "JournalLog.h"
#include "LogdOptions.h"
#include "LogdService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalFd = -1;

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = write(gSignalFd, &c, 1);
}

std::optional<QString> readTextFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(f.readAll());
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarlo02-logd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARLO_VERSION));
    const JournalLog journal;

    const CommandLine cl = parseCommandLine(app.arguments().mid(1), readTextFile);
    switch (cl.kind) {
    case CommandLine::Help:
        std::fputs(usageText().toUtf8().constData(), stdout);
        return 0;
    case CommandLine::Version:
        std::printf("tarlo02-logd %s\n", TARLO_VERSION);
        return 0;
    case CommandLine::Error:
        std::fprintf(stderr, "tarlo02-logd: %s\n", cl.error.toUtf8().constData());
        return 2;
    case CommandLine::Run:
        break;
    }
    if (!QDir(cl.options.logDir).exists()) {
        std::fprintf(stderr, "tarlo02-logd: the log folder '%s' does not exist\n",
                     cl.options.logDir.toUtf8().constData());
        return 2;
    }

    // SIGTERM and SIGINT become a byte on a socket, read by the event loop.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        std::perror("tarlo02-logd: socketpair");
        return 1;
    }
    gSignalFd = fds[0];
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    LogdService service(
        cl.options, [] { return QDateTime::currentDateTime(); }, journal);
    if (const QString e = service.prepare(); !e.isEmpty()) {
        std::fprintf(stderr, "tarlo02-logd: %s\n", e.toUtf8().constData());
        return 2;
    }
    QSocketNotifier signalNotifier(fds[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &service, [&] {
        char buf[16];
        [[maybe_unused]] const ssize_t n = read(fds[1], buf, sizeof buf);
        journal.info(QStringLiteral("stopping"));
        service.stop();
    });
    QObject::connect(&service, &LogdService::finished, &app, [] { QCoreApplication::exit(0); });
    service.start();
    const int rc = app.exec();
    journal.info(QStringLiteral("stopped"));
    return rc;
}
