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

    QString base() const { return prefix + u'/' + id; }
    QString state() const { return base() + QStringLiteral("/state"); }
    QString availability() const { return base() + QStringLiteral("/availability"); }
    QString set() const { return base() + QStringLiteral("/set"); }
    QString command() const { return base() + QStringLiteral("/command"); }
    QString result() const { return base() + QStringLiteral("/result"); }
};

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// The retained Home Assistant discovery configs: a sensor for each value, binary sensors for
// the two outputs and the alarm, one device. linkType 1 is the wireless link.
std::vector<MqttMessage> discoveryMessages(const MqttTopics& topics, int linkType);
