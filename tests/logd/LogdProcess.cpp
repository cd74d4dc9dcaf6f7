#include "LogdProcess.h"

#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

bool waitUntil(const std::function<bool()>& done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

namespace {
sockaddr_in loopback(int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}
} // namespace

int freePort()
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

bool canConnect(int port)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(port);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString currentUser()
{
    const passwd* pw = getpwuid(geteuid());
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QStringLiteral("root");
}

void Child::start(const QString& program, const QStringList& args)
{
    p_.start(program, args);
    p_.waitForStarted(10000);
}

int Child::stop(int ms)
{
    if (p_.state() == QProcess::NotRunning)
        return p_.exitCode();
    p_.terminate();
    if (!waitUntil([&] { return p_.state() == QProcess::NotRunning; }, ms)) {
        p_.kill();
        p_.waitForFinished(5000);
        return -1;
    }
    collect();
    return p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
}

void Child::collect()
{
    auto take = [](QByteArray&& data, QByteArray& rest, QStringList& lines) {
        rest += data;
        qsizetype nl;
        while ((nl = rest.indexOf('\n')) >= 0) {
            lines << QString::fromUtf8(rest.left(nl));
            rest.remove(0, nl + 1);
        }
    };
    take(p_.readAllStandardOutput(), outRest_, out_);
    take(p_.readAllStandardError(), errRest_, err_);
}

QStringList Child::out()
{
    collect();
    return out_;
}

QStringList Child::err()
{
    collect();
    return err_;
}

bool Broker::start(const QString& dir, int port, const QString& extraConfig)
{
    port_ = port;
    const QString conf = QDir(dir).filePath(QStringLiteral("mosquitto-%1.conf").arg(port));
    QFile f(conf);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral("user %1\npersistence false\nlistener %2 127.0.0.1\n%3\n")
                .arg(currentUser())
                .arg(port)
                .arg(extraConfig.isEmpty() ? QStringLiteral("allow_anonymous true") : extraConfig)
                .toUtf8());
    f.close();
    child_.start(QStringLiteral("/usr/sbin/mosquitto"), {QStringLiteral("-c"), conf});
    return waitUntil([&] { return canConnect(port); }, 10000);
}

void Subscriber::start(int port, const QString& filter, const QStringList& extra)
{
    child_.start(QStringLiteral("mosquitto_sub"),
                 QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-t", filter, "-F", "%r %t %p"} +
                     extra);
}

QStringList Subscriber::payloads(const QString& topic, bool retainedOnly)
{
    QStringList out;
    for (const QString& m : messages()) {
        const QString head = m.section(u' ', 0, 1);
        if (m.section(u' ', 1, 1) == topic && (!retainedOnly || head.startsWith(u'1')))
            out << m.section(u' ', 2);
    }
    return out;
}

bool publishOnce(int port, const QString& topic, const QByteArray& payload, const QStringList& extra)
{
    QProcess p;
    p.start(QStringLiteral("mosquitto_pub"), QStringList{"-h", "127.0.0.1", "-p", QString::number(port), "-t",
                                                         topic, "-q", "1", "-m", QString::fromUtf8(payload)} +
                                                 extra);
    return p.waitForFinished(10000) && p.exitCode() == 0;
}
