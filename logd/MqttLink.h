#pragma once

#include "Backoff.h"
#include "MqttOutbox.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;
class QTimer;
struct mosquitto;
struct mosquitto_message;

struct MqttSettings {
    QString host;
    int port = 1883;
    int protocolVersion = 4; // 4: MQTT 3.1.1, 5: MQTT 5
    QString clientId;
    QString user, password; // user empty: none
    QString caFile, certFile, keyFile;
    MqttMessage will;
    QStringList subscriptions;
    int keepAliveSeconds = 30;
    // A message received with a larger payload is passed on cut to maxPayloadBytes + 1 bytes:
    // the receiver sees it is too large, and it is never copied whole. 0: no limit.
    int maxPayloadBytes = 0;
};

// The connection to the broker, through libmosquitto without its own thread: the socket is
// watched by this object's event loop, which runs on a thread of its own, so a slow name
// lookup or TLS handshake never holds up the port or the log. Everything the service sends
// goes through an MqttOutbox: kept within its bound while the broker is away and sent again
// on every connect. Reconnects follow a Backoff.
class MqttLink : public QObject {
    Q_OBJECT
public:
    explicit MqttLink(MqttSettings settings);
    ~MqttLink() override;

    // Checks the settings with libmosquitto (TLS files, options); an error text or empty.
    QString prepare();

public slots:
    void start();
    void publish(const MqttMessage& message);
    // Publishes `last` (the offline availability), disconnects, then emits stopped(); gives
    // up waiting after timeoutMs.
    void stop(const MqttMessage& last, int timeoutMs);

signals:
    void connectedChanged(bool connected);
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);
    void logLine(int level, const QString& line);
    void stopped();

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onLog(mosquitto*, void* self, int level, const char* text);
    // Why the connection failed or closed, in the library's words where it has some (a TLS
    // handshake's certificate error, say).
    QString failureReason(const QString& fallback) const;

    void connectNow();
    void subscribe(const QString& topic);
    void scheduleReconnect();
    void sendNow(const MqttMessage& m);
    // After every libmosquitto call: follow its socket with the notifiers, or notice it closed.
    void syncSocket();
    void dropNotifiers();
    void lostConnection(const QString& why);
    // Another client took the connection over: one line a run.
    void tellTakeover();
    void finishStop();

    MqttSettings settings_;
    mosquitto* mosq_ = nullptr;
    MqttOutbox outbox_;
    Backoff backoff_;
    QTimer* reconnectTimer_ = nullptr;
    QTimer* miscTimer_ = nullptr;
    QTimer* connectTimeout_ = nullptr;
    QTimer* stopTimeout_ = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier_, writeNotifier_;
    int socket_ = -1;
    bool connectStarted_ = false;
    bool stopping_ = false;
    bool stopDone_ = false;
    bool outageTold_ = false; // the broker's outage has had its line
    QString libraryError_;    // the library's last error line (TLS errors come only this way)
    int stopMid_ = -1;
    long long published_ = 0; // handed to libmosquitto while connected
    // Another client with the same client id takes the connection over: MQTT 5 brokers say so
    // (reason 142); under MQTT 3.1.1 the broker just closes it and takes the service back at
    // once. Told once a run; meanwhile the back-off grows, so two services that fight over one
    // id do so every 30 s, not every second.
    QElapsedTimer connectedFor_; // since the last connect
    int disconnectRc_ = 0;       // the reason libmosquitto gave for the last disconnect
    QString untoldLoss_;         // why the broker closed the connection, until the next try fails
    bool everConnected_ = false;
    int quickReturns_ = 0; // closed by the broker and accepted again at the first try
    bool takeoverTold_ = false;
};
