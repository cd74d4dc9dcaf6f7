#pragma once

// The real parts of an end-to-end run: a Mosquitto broker with its own config on a free port,
// the controller simulator, the service, and subscribers (mosquitto_sub), each a child
// process the fixture stops. Waits are on conditions with generous limits, never on sleeps.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <ostream>

// Readable test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QJsonValue& v, std::ostream* os)
{
    *os << QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

// Runs the event loop until `done` holds or `ms` pass.
bool waitUntil(const std::function<bool()>& done, int ms);
// A port on 127.0.0.1 that nothing listens on at the moment.
int freePort();
bool canConnect(int port);
QString readText(const QString& path);
// The user the broker runs as: the current one (a broker started as root would drop to
// "mosquitto" and could not read the test's files).
QString currentUser();

// A child process that collects its standard output and error by lines.
class Child {
public:
    ~Child() { stop(); }
    void start(const QString& program, const QStringList& args);
    // SIGTERM, then waits; SIGKILL only if it does not end.
    int stop(int ms = 10000);
    bool running() const { return p_.state() != QProcess::NotRunning; }
    qint64 pid() const { return p_.processId(); }
    QStringList out();
    QStringList err();
    QProcess& process() { return p_; }

private:
    void collect();
    QProcess p_;
    QStringList out_, err_;
    QByteArray outRest_, errRest_;
};

class Broker {
public:
    // extraConfig: lines added to the config (listeners for TLS, a password file ...).
    bool start(const QString& dir, int port, const QString& extraConfig = {});
    void stop() { child_.stop(); }
    int port() const { return port_; }

private:
    Child child_;
    int port_ = 0;
};

// mosquitto_sub on one topic filter; each message is "<retained 0/1> <topic> <payload>".
class Subscriber {
public:
    void start(int port, const QString& filter, const QStringList& extra = {});
    QStringList messages() { return child_.out(); }
    // The payloads seen on one topic, in order.
    QStringList payloads(const QString& topic, bool retainedOnly = false);
    Child& child() { return child_; }

private:
    Child child_;
};

// One message, published with mosquitto_pub; true when it went out.
bool publishOnce(int port, const QString& topic, const QByteArray& payload, const QStringList& extra = {});
