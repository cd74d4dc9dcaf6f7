// tarlo02-logd: the headless logging service for a Tarlo-02 controller.

#include "JournalLog.h"
#include "LogdOptions.h"
#include "LogdService.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int gSignalFd = -1;

// SIGHUP asks for the config to be read again; the others to stop.
void onSignal(int sig)
{
    const char c = sig == SIGHUP ? 'h' : 't';
    [[maybe_unused]] const ssize_t n = write(gSignalFd, &c, 1);
}

std::optional<QString> readTextFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(f.readAll());
}

// What a reload compares: the options and the files they name, so a new password or
// certificate under the same name counts as a change.
QByteArray fingerprint(const LogdOptions& o)
{
    QByteArray f;
    for (const QString& path : {o.caFile, o.certFile, o.keyFile, o.credentialsFile}) {
        QFile file(path);
        f += path.toUtf8() + '\0' + (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray()) + '\0';
    }
    return f;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarlo02-logd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARLO_VERSION));
    const JournalLog journal;

    const QStringList args = app.arguments().mid(1);
    const CommandLine cl = parseCommandLine(args, readTextFile);
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

    // SIGTERM, SIGINT and SIGHUP become a byte on a socket, read by the event loop.
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
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<LogdService> service;
    LogdOptions running = cl.options;
    QByteArray runningFiles = fingerprint(running);
    std::optional<LogdOptions> next; // set while a reload waits for the running service to stop
    bool stopping = false;

    // Starts the service with these options; an error text when it cannot be set up.
    std::function<QString(const LogdOptions&)> launch;
    launch = [&](const LogdOptions& o) -> QString {
        auto s = std::make_unique<LogdService>(
            o, [] { return QDateTime::currentDateTime(); }, journal);
        if (QString e = s->prepare(); !e.isEmpty())
            return e;
        QObject::connect(s.get(), &LogdService::finished, &app, [&] {
            // The old service goes from the event loop, not from inside its own signal.
            QTimer::singleShot(0, &app, [&] {
                if (stopping || !next) {
                    QCoreApplication::exit(0);
                    return;
                }
                service.reset();
                const LogdOptions wanted = *next;
                next.reset();
                if (const QString e = launch(wanted); !e.isEmpty()) {
                    journal.error(QStringLiteral("reload: %1; going on with the settings it had").arg(e));
                    if (const QString again = launch(running); !again.isEmpty()) {
                        journal.error(again);
                        QCoreApplication::exit(1);
                    }
                    return;
                }
                running = wanted;
                runningFiles = fingerprint(running);
            });
        });
        service = std::move(s);
        service->start();
        return {};
    };
    if (const QString e = launch(running); !e.isEmpty()) {
        std::fprintf(stderr, "tarlo02-logd: %s\n", e.toUtf8().constData());
        return 2;
    }

    auto reload = [&] {
        const CommandLine again = parseCommandLine(args, readTextFile);
        if (again.kind != CommandLine::Run || !QDir(again.options.logDir).exists()) {
            const QString why =
                again.kind == CommandLine::Run
                    ? QStringLiteral("the log folder '%1' does not exist").arg(again.options.logDir)
                    : again.error;
            journal.warning(QStringLiteral("reload: %1; going on with the settings it has").arg(why));
            return;
        }
        if (again.options == running && fingerprint(again.options) == runningFiles) {
            journal.info(QStringLiteral("reload: the settings are unchanged"));
            return;
        }
        journal.info(QStringLiteral("reload: new settings; the log is finished and reading starts again"));
        next = again.options;
        service->stop();
    };

    QSocketNotifier signalNotifier(fds[1], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char buf[16];
        const ssize_t n = read(fds[1], buf, sizeof buf);
        for (ssize_t i = 0; i < n && !stopping; ++i) {
            if (buf[i] == 'h' && !next) {
                reload();
            } else if (buf[i] != 'h') {
                journal.info(QStringLiteral("stopping"));
                stopping = true;
                next.reset();
                service->stop();
            }
        }
    });
    const int rc = app.exec();
    service.reset();
    journal.info(QStringLiteral("stopped"));
    return rc;
}
