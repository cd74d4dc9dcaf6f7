#include "MqttLink.h"

#include "JournalLog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
// A connection that lasted this long was not taken over by a twin: the back-off starts afresh.
constexpr qint64 kSteadyConnectionMs = 60000;
// The largest packet taken under MQTT 5: far above any command (4096 bytes are answered as too
// large), far below what would hurt a small board.
constexpr uint32_t kMaxPacketBytes = 1024 * 1024;
} // namespace

MqttLink::MqttLink(MqttSettings settings) : settings_(std::move(settings)) { mosquitto_lib_init(); }

MqttLink::~MqttLink()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    if (mosq_)
        mosquitto_destroy(mosq_);
    mosquitto_lib_cleanup();
}

QString MqttLink::prepare()
{
    mosq_ = mosquitto_new(settings_.clientId.toUtf8().constData(), true, this);
    if (!mosq_)
        return QStringLiteral("cannot create the MQTT client");
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION,
                         settings_.protocolVersion == 5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311);
    const MqttMessage& w = settings_.will;
    int rc = mosquitto_will_set(mosq_, w.topic.toUtf8().constData(), int(w.payload.size()),
                                w.payload.constData(), w.qos, w.retain);
    if (rc != MOSQ_ERR_SUCCESS)
        return QStringLiteral("last will: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
    if (!settings_.user.isEmpty()) {
        rc = mosquitto_username_pw_set(mosq_, settings_.user.toUtf8().constData(),
                                       settings_.password.toUtf8().constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("credentials: %1").arg(QString::fromUtf8(mosquitto_strerror(rc)));
    }
    if (!settings_.caFile.isEmpty()) {
        const QByteArray ca = settings_.caFile.toUtf8(), cert = settings_.certFile.toUtf8(),
                         key = settings_.keyFile.toUtf8();
        rc = mosquitto_tls_set(mosq_, ca.constData(), nullptr, cert.isEmpty() ? nullptr : cert.constData(),
                               key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return QStringLiteral("TLS files (ca-file, cert-file, key-file): %1")
                .arg(QString::fromUtf8(mosquitto_strerror(rc)));
    }
    mosquitto_connect_callback_set(mosq_, &MqttLink::onConnect);
    mosquitto_disconnect_callback_set(mosq_, &MqttLink::onDisconnect);
    mosquitto_publish_callback_set(mosq_, &MqttLink::onPublish);
    mosquitto_message_callback_set(mosq_, &MqttLink::onMessage);
    mosquitto_log_callback_set(mosq_, &MqttLink::onLog);
    return {};
}

void MqttLink::start()
{
    reconnectTimer_ = new QTimer(this);
    reconnectTimer_->setSingleShot(true);
    connect(reconnectTimer_, &QTimer::timeout, this, &MqttLink::connectNow);
    // Keep-alive pings (every 30 s) and a broker that stopped answering: looked after every 5 s,
    // which the keep-alive's slack allows, so the link does not wake the service each second.
    miscTimer_ = new QTimer(this);
    miscTimer_->setInterval(5000);
    connect(miscTimer_, &QTimer::timeout, this, [this] {
        if (socket_ >= 0) {
            mosquitto_loop_misc(mosq_);
            syncSocket();
        }
    });
    miscTimer_->start();
    // A connect that neither succeeds nor fails (packets to an unreachable host) is given up.
    connectTimeout_ = new QTimer(this);
    connectTimeout_->setSingleShot(true);
    connectTimeout_->setInterval(15000);
    connect(connectTimeout_, &QTimer::timeout, this, [this] {
        if (!outbox_.isConnected())
            lostConnection(QStringLiteral("no answer within 15 s"));
    });
    connectNow();
}

void MqttLink::connectNow()
{
    if (stopping_)
        return;
    const QByteArray host = settings_.host.toUtf8();
    libraryError_.clear();
    int rc = MOSQ_ERR_SUCCESS;
    if (connectStarted_) {
        rc = mosquitto_reconnect_async(mosq_);
    } else if (settings_.protocolVersion == 5) {
        // MQTT 5 lets the service say how large a packet it takes: the broker drops a larger one
        // (a huge publish to a subscribed topic) instead of sending it, so it never sits whole in
        // memory here. libmosquitto takes CONNECT properties only in its blocking connect; its
        // reconnects send them again.
        mosquitto_property* props = nullptr;
        mosquitto_property_add_int32(&props, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
        rc = mosquitto_connect_bind_v5(mosq_, host.constData(), settings_.port, settings_.keepAliveSeconds,
                                       nullptr, props);
        mosquitto_property_free_all(&props);
    } else {
        rc = mosquitto_connect_async(mosq_, host.constData(), settings_.port, settings_.keepAliveSeconds);
    }
    // Even a failed first attempt leaves the broker's address behind for the reconnects.
    connectStarted_ = true;
    if (rc != MOSQ_ERR_SUCCESS) {
        lostConnection(failureReason(
            QString::fromUtf8(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc))));
        return;
    }
    connectTimeout_->start();
    syncSocket();
}

void MqttLink::scheduleReconnect()
{
    if (stopping_ || reconnectTimer_->isActive())
        return;
    reconnectTimer_->start(backoff_.nextDelayMs());
}

void MqttLink::syncSocket()
{
    const int s = mosquitto_socket(mosq_);
    if (s != socket_) {
        dropNotifiers();
        socket_ = s;
        if (s >= 0) {
            readNotifier_ = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Read);
            connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] {
                if (const int rc = mosquitto_loop_read(mosq_, 1);
                    rc != MOSQ_ERR_SUCCESS && libraryError_.isEmpty())
                    libraryError_ = QString::fromUtf8(mosquitto_strerror(rc));
                syncSocket();
            });
            writeNotifier_ = std::make_unique<QSocketNotifier>(s, QSocketNotifier::Write);
            connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] {
                if (const int rc = mosquitto_loop_write(mosq_, 1);
                    rc != MOSQ_ERR_SUCCESS && libraryError_.isEmpty())
                    libraryError_ = QString::fromUtf8(mosquitto_strerror(rc));
                syncSocket();
            });
        }
    }
    if (socket_ < 0) {
        if (outbox_.isConnected() || connectTimeout_->isActive())
            lostConnection(failureReason(QStringLiteral("connection closed")));
        return;
    }
    writeNotifier_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttLink::dropNotifiers()
{
    // This may run inside a notifier's own signal: it goes once control is back in the loop.
    for (auto* n : {&readNotifier_, &writeNotifier_})
        if (*n) {
            (*n)->setEnabled(false);
            n->release()->deleteLater();
        }
}

void MqttLink::lostConnection(const QString& why)
{
    connectTimeout_->stop();
    const bool wasConnected = outbox_.isConnected();
    outbox_.disconnected();
    if (wasConnected)
        emit connectedChanged(false);
    if (stopping_) {
        finishStop();
        return;
    }
    if (wasConnected) {
        // A connection that held for a while was no fight over the client id: the next try
        // comes soon. One that did not continues the back-off's row.
        if (connectedFor_.elapsed() >= kSteadyConnectionMs) {
            backoff_.reset();
            quickReturns_ = 0; // blips days apart are no takeover
        }
        // Closed by the broker: told when the next try fails. Taken back at once, it was no outage
        // but (told when it repeats) another client with our id.
        if (disconnectRc_ == MQTT_RC_SESSION_TAKEN_OVER)
            tellTakeover();
        else
            untoldLoss_ = why;
        scheduleReconnect();
        return;
    }
    // One line an outage, however many attempts it takes.
    if (!outageTold_) {
        outageTold_ = true;
        const bool lost = !untoldLoss_.isEmpty();
        emit logLine(JournalLog::Warning,
                     QStringLiteral("MQTT broker %1:%2 %3 (%4); reconnecting with back-off")
                         .arg(settings_.host)
                         .arg(settings_.port)
                         .arg(lost ? QStringLiteral("lost") : QStringLiteral("unreachable"),
                              lost ? untoldLoss_ : why));
    }
    untoldLoss_.clear();
    scheduleReconnect();
}

void MqttLink::onConnect(mosquitto*, void* obj, int rc)
{
    auto* self = static_cast<MqttLink*>(obj);
    if (rc != 0) {
        // Refused (credentials, protocol): the broker closes the connection, we try again later.
        if (self->outageTold_)
            return;
        self->outageTold_ = true;
        self->emit logLine(JournalLog::Error, QStringLiteral("MQTT broker %1:%2 refused the connection: %3")
                                                  .arg(self->settings_.host)
                                                  .arg(self->settings_.port)
                                                  .arg(QString::fromUtf8(mosquitto_connack_string(rc))));
        return;
    }
    self->connectTimeout_->stop();
    self->connectedFor_.start();
    self->disconnectRc_ = 0;
    // Closed by a broker that took us back at the first try, twice: someone else holds the id.
    if (!self->untoldLoss_.isEmpty() && ++self->quickReturns_ >= 2)
        self->tellTakeover();
    self->untoldLoss_.clear();
    const bool tell = !self->everConnected_ || self->outageTold_;
    self->everConnected_ = true;
    self->outageTold_ = false;
    if (tell)
        self->emit logLine(
            JournalLog::Info,
            QStringLiteral("MQTT connected to %1:%2").arg(self->settings_.host).arg(self->settings_.port));
    for (const QString& topic : self->settings_.subscriptions)
        self->subscribe(topic);
    for (const MqttMessage& m : self->outbox_.connected())
        self->sendNow(m);
    self->emit connectedChanged(true);
}

void MqttLink::subscribe(const QString& topic)
{
    const QByteArray t = topic.toUtf8();
    // MQTT 3.1.1 clears the retain flag of every message forwarded to a live subscription;
    // MQTT 5 keeps it when asked, so a command published with it is seen as retained at once.
    if (settings_.protocolVersion == 5)
        mosquitto_subscribe_v5(mosq_, nullptr, t.constData(), 1, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr);
    else
        mosquitto_subscribe(mosq_, nullptr, t.constData(), 1);
}

void MqttLink::tellTakeover()
{
    if (takeoverTold_)
        return;
    takeoverTold_ = true;
    emit logLine(JournalLog::Error,
                 QStringLiteral("MQTT broker %1:%2: another client connected with this service's client id "
                                "'%3' and took its connection over; another tarlo02-logd with the same "
                                "--prefix and --id? Give each controller its own --id (or --prefix)")
                     .arg(settings_.host)
                     .arg(settings_.port)
                     .arg(settings_.clientId));
}

void MqttLink::onDisconnect(mosquitto*, void* obj, int rc)
{
    auto* self = static_cast<MqttLink*>(obj);
    self->disconnectRc_ = rc;
    // Called from inside a libmosquitto call; the socket is followed once it returns.
    QMetaObject::invokeMethod(
        self,
        [self, rc] {
            self->syncSocket();
            if (self->outbox_.isConnected() || self->stopping_)
                self->lostConnection(rc == 0
                                         ? QStringLiteral("disconnected")
                                         : self->failureReason(QString::fromUtf8(mosquitto_strerror(rc))));
        },
        Qt::QueuedConnection);
}

void MqttLink::onLog(mosquitto*, void* obj, int level, const char* text)
{
    if (level & MOSQ_LOG_ERR)
        static_cast<MqttLink*>(obj)->libraryError_ = QString::fromUtf8(text);
}

QString MqttLink::failureReason(const QString& fallback) const
{
    if (libraryError_.isEmpty())
        return fallback;
    // A TLS failure before the broker answered: the handshake, with the library's reason.
    if (!settings_.caFile.isEmpty() && !outbox_.isConnected())
        return QStringLiteral("TLS handshake failed: %1; check ca-file '%2' and the broker's certificate")
            .arg(libraryError_, settings_.caFile);
    return QStringLiteral("%1: %2").arg(fallback, libraryError_);
}

void MqttLink::onPublish(mosquitto*, void* obj, int mid)
{
    auto* self = static_cast<MqttLink*>(obj);
    if (self->stopping_ && mid == self->stopMid_)
        mosquitto_disconnect(self->mosq_);
}

void MqttLink::onMessage(mosquitto*, void* obj, const mosquitto_message* m)
{
    auto* self = static_cast<MqttLink*>(obj);
    // libmosquitto holds the whole message already; a copy of it would double that.
    const int limit = self->settings_.maxPayloadBytes;
    const int length = limit > 0 ? std::min(m->payloadlen, limit + 1) : m->payloadlen;
    self->emit messageReceived(QString::fromUtf8(m->topic),
                               QByteArray(static_cast<const char*>(m->payload), length), m->retain);
}

void MqttLink::publish(const MqttMessage& message)
{
    for (const MqttMessage& m : outbox_.post(message))
        sendNow(m);
}

void MqttLink::sendNow(const MqttMessage& m)
{
    const QByteArray topic = m.topic.toUtf8();
    int mid = 0;
    const int rc = mosquitto_publish(mosq_, &mid, topic.constData(), int(m.payload.size()),
                                     m.payload.constData(), m.qos, m.retain);
    if (stopping_ && m.topic == settings_.will.topic)
        stopMid_ = rc == MOSQ_ERR_SUCCESS ? mid : -1;
    if (rc == MOSQ_ERR_SUCCESS)
        ++published_;
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        emit logLine(JournalLog::Warning, QStringLiteral("MQTT publish to %1 failed: %2")
                                              .arg(m.topic, QString::fromUtf8(mosquitto_strerror(rc))));
    syncSocket();
}

void MqttLink::stop(const MqttMessage& last, int timeoutMs)
{
    stopping_ = true;
    if (reconnectTimer_)
        reconnectTimer_->stop();
    stopTimeout_ = new QTimer(this);
    stopTimeout_->setSingleShot(true);
    connect(stopTimeout_, &QTimer::timeout, this, &MqttLink::finishStop);
    stopTimeout_->start(timeoutMs);
    if (!outbox_.isConnected()) {
        finishStop();
        return;
    }
    publish(last);
    if (stopMid_ < 0)
        mosquitto_disconnect(mosq_);
    syncSocket();
}

void MqttLink::finishStop()
{
    if (stopDone_)
        return;
    stopDone_ = true;
    if (stopTimeout_)
        stopTimeout_->stop();
    if (miscTimer_)
        miscTimer_->stop();
    dropNotifiers();
    emit logLine(JournalLog::Info,
                 QStringLiteral("MQTT: %1 messages published, %2 command results dropped while away")
                     .arg(published_)
                     .arg(outbox_.dropped()));
    emit stopped();
}
