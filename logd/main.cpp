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
        if (path.isEmpty())
            continue; // a QFile without a name would say so on standard error
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

    const Clock clock = [] { return QDateTime::currentDateTime(); };
    if (cl.removeDevice) {
        LogdService remover(cl.options, clock, journal);
        if (const QString e = remover.prepare(); !e.isEmpty()) {
            std::fprintf(stderr, "tarlo02-logd: %s\n", e.toUtf8().constData());
            return 2;
        }
        QObject::connect(&remover, &LogdService::finished, &app,
                         [&] { QCoreApplication::exit(remover.removed() ? 0 : 1); });
        remover.removeDevice(30000);
        return app.exec();
    }

    std::unique_ptr<LogdService> service;
    LogdOptions running = cl.options;
    QByteArray runningFiles = fingerprint(running);
    // Set while a reload waits for the running service to stop: the next one, set up already.
    std::unique_ptr<LogdService> next;
    LogdOptions nextOptions;
    bool stopping = false;

    // Sets a service up with these options: everything it reads (TLS files, credentials) is
    // read and checked here, before anything that runs is stopped. An error text when it cannot.
    auto prepare = [&](const LogdOptions& o, std::unique_ptr<LogdService>& out) -> QString {
        auto s = std::make_unique<LogdService>(o, clock, journal);
        if (QString e = s->prepare(); !e.isEmpty())
            return e;
        out = std::move(s);
        return {};
    };
    std::function<void(std::unique_ptr<LogdService>)> run;
    run = [&](std::unique_ptr<LogdService> s) {
        QObject::connect(s.get(), &LogdService::finished, &app, [&] {
            // The old service goes from the event loop, not from inside its own signal.
            QTimer::singleShot(0, &app, [&] {
                if (stopping || !next) {
                    QCoreApplication::exit(0);
                    return;
                }
                const MqttTopics old{running.prefix, running.id};
                service.reset();
                running = nextOptions;
                runningFiles = fingerprint(running);
                // Another prefix or id: what Home Assistant knew under the old one goes.
                if (old != MqttTopics{running.prefix, running.id})
                    next->retire(old);
                run(std::move(next));
            });
        });
        service = std::move(s);
        service->start();
    };
    {
        std::unique_ptr<LogdService> first;
        if (const QString e = prepare(running, first); !e.isEmpty()) {
            std::fprintf(stderr, "tarlo02-logd: %s\n", e.toUtf8().constData());
            return 2;
        }
        run(std::move(first));
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
        if (const QString e = prepare(again.options, next); !e.isEmpty()) {
            journal.warning(QStringLiteral("reload: %1; going on with the settings it has").arg(e));
            return;
        }
        journal.info(QStringLiteral("reload: new settings; the log is finished and reading starts again"));
        nextOptions = again.options;
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
                service->stop();
            }
        }
    });
    const int rc = app.exec();
    service.reset();
    journal.info(QStringLiteral("stopped"));
    return rc;
}
