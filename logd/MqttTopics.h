#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// One message to the broker.
struct MqttMessage {
    QString topic;
    QByteArray payload;
    bool retain = false;
    int qos = 0;

    bool operator==(const MqttMessage&) const = default;
};

// The topics of one controller: <prefix>/<id>/...
struct MqttTopics {
    QString prefix, id;

    bool operator==(const MqttTopics&) const = default;

    QString base() const { return prefix + u'/' + id; }
    QString state() const { return base() + QStringLiteral("/state"); }
    QString availability() const { return base() + QStringLiteral("/availability"); }
    QString set() const { return base() + QStringLiteral("/set"); }
    QString command() const { return base() + QStringLiteral("/command"); }
    QString result() const { return base() + QStringLiteral("/result"); }
    // The figures that change with every record but matter once a minute (records read, the last
    // record's time), retained, at most once a minute: Home Assistant stores every change.
    QString diagnostics() const { return base() + QStringLiteral("/diagnostics"); }
    // The MQTT client id: one per prefix and id, so two services under different prefixes never
    // take each other's connection. Prefix levels hold no ".", and the id neither, so "a/b" with
    // "c" ("a.b.c") and "a_b" with "c" ("a_b.c") stay apart.
    QString clientId() const
    {
        return QStringLiteral("tarlo02-logd-") + QString(prefix).replace(u'/', u'.') + u'.' + id;
    }
};

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// Home Assistant announces itself here: "online" when it starts, the moment to publish the
// discovery and the state again.
inline const QString kHaStatusTopic = QStringLiteral("homeassistant/status");

// What the discovery announces besides the values.
struct DiscoveryOptions {
    int linkType = 0;      // 1: the wireless link
    bool commands = false; // --allow-commands: the six settings as numbers, restart and reset buttons
    QString version;       // the service's, for the device and the origin
};

// The retained Home Assistant discovery configs, one device: sensors for the values and the
// service's diagnostics, binary sensors for the two outputs and the alarm, and with commands
// the numbers and buttons. Without commands the configs of those are empty, which removes
// them from a broker and from Home Assistant that still had them from an earlier run.
std::vector<MqttMessage> discoveryMessages(const MqttTopics& topics, const DiscoveryOptions& options);

// Every retained topic of one controller (its discovery configs, state, diagnostics, availability) with an
// empty payload, which deletes a retained message: what a controller retired or renamed leaves.
std::vector<MqttMessage> clearingMessages(const MqttTopics& topics);
