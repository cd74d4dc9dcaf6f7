#pragma once

#include "Frame.h"
#include "JournalLog.h"
#include "LogdOptions.h"
#include "MqttCommands.h"
#include "MqttOutbox.h"
#include "MqttTopics.h"
#include "PortWatch.h"
#include "ServiceLog.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <memory>

class TComPort;
class MqttLink;

// The service's main loop: the controller's port, the reception of its records, the CSV log
// and, with a broker, the MQTT link on a thread of its own. Everything here runs on the main
// thread; publishing never waits for the broker.
class LogdService : public QObject {
    Q_OBJECT
public:
    LogdService(LogdOptions options, Clock clock, JournalLog journal);
    ~LogdService() override;

    // Sets up the broker link; an error text (a bad TLS file, credentials file) or empty.
    QString prepare();
    void start();
    // Finishes the log, publishes "offline" and disconnects; emits finished() when done.
    void stop();
    // Before start(): the topics of the controller's earlier prefix and id, cleared on the broker
    // before anything new is published, so Home Assistant keeps no orphan device.
    void retire(const MqttTopics& old) { retired_ = old; }
    // Instead of start(): clears this controller's retained topics from the broker, then
    // disconnects and emits finished(); gives up after timeoutMs without a broker.
    void removeDevice(int timeoutMs);
    bool removed() const { return removed_; }

signals:
    void finished();

private:
    void onRxChar(int count);
    // A good record: its row, its state.
    void onRecord(const ReceivedRecord& r);
    void onTick();
    // The carrier dropped: asks the open port whether its device is still there.
    void checkPort();
    // The open port's device went away: offline, and the watch reopens it.
    void portLost(const QString& why);
    void reopenPort();
    void publish(const MqttMessage& m);
    void publishDiscovery();
    // Home Assistant started: the discovery and the newest state and diagnostics again.
    void announceAgain();
    // A message from the broker: Home Assistant's status, or a command.
    void onMessage(const QString& topic, const QByteArray& payload, bool retained);
    void setAvailable(bool available);
    void handleCommand(const QString& topic, const QByteArray& payload, bool retained);
    // Writes a checked command; the reason in plain words when it failed.
    QString writeCommand(const std::vector<QString>& pieces);
    void tell(const std::optional<QString>& line, JournalLog::Level level);
    void tell(const std::optional<ServiceLog::Note>& note);

    LogdOptions options_;
    Clock clock_;
    JournalLog journal_;
    MqttTopics topics_;
    std::unique_ptr<TComPort> port_;
    RecordStream stream_;
    FrameLines record_;
    SettingsFields fields_;
    ServiceLog log_;
    PortWatch watch_;
    CommandRateLimiter commandLimiter_;
    QElapsedTimer steady_; // the rate limiter's clock
    QTimer tick_;
    bool available_ = false;
    bool availabilityKnown_ = false;
    bool stopping_ = false;
    // Closing and opening the port (reopenPort), whose own line reports are not news.
    bool switchingPort_ = false;
    long long records_ = 0; // good records read
    long long refused_ = 0; // values refused in them
    MqttMessage lastState_; // sent again when Home Assistant starts
    MqttMessage lastDiagnostics_;
    std::optional<qint64> diagnosticsMs_; // when they were last published (steady_)
    RoundThrottle haRounds_;
    RefusalDigest refusals_;
    std::optional<MqttTopics> retired_;
    bool removed_ = false;
    QThread mqttThread_;
    MqttLink* link_ = nullptr; // lives on mqttThread_
};
