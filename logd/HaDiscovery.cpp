#include "MqttTopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct Entity {
    const char* component; // sensor or binary_sensor
    const char* key;       // the state's JSON key
    const char* name;
    const char* deviceClass; // "" for none
    const char* unit;        // "" for none
    const char* icon;        // "" for none
};

// Units: pH has none; dissolved CO2 in ppm (mg/l); KH in German degrees.
constexpr Entity kEntities[] = {
    {"sensor", "ph", "pH", "ph", "", ""},
    {"sensor", "ph_min", "pH minimum", "ph", "", "mdi:arrow-collapse-down"},
    {"sensor", "ph_max", "pH maximum", "ph", "", "mdi:arrow-collapse-up"},
    {"sensor", "alarm_low", "Alarm low limit", "ph", "", "mdi:alert-circle-outline"},
    {"sensor", "alarm_high", "Alarm high limit", "ph", "", "mdi:alert-circle-outline"},
    {"sensor", "co2_ppm", "CO2", "carbon_dioxide", "ppm", ""},
    {"sensor", "kh", "KH", "", "\u00b0dH", "mdi:water-opacity"},
    {"binary_sensor", "o2_out", "O2 output", "running", "", "mdi:air-filter"},
    {"binary_sensor", "co2_out", "CO2 output", "running", "", "mdi:molecule-co2"},
    {"binary_sensor", "in_alarm", "Alarm", "problem", "", ""},
};

} // namespace

std::vector<MqttMessage> discoveryMessages(const MqttTopics& topics, int linkType)
{
    const QString node = topics.prefix.split(u'/').join(u'_') + u'_' + topics.id;
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"), QStringLiteral("Tarlo-02 ") + topics.id);
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("Tarlo"));
    device.insert(QStringLiteral("model"),
                  linkType == 1 ? QStringLiteral("Tarlo-02 (WIFI)") : QStringLiteral("Tarlo-02 (USB)"));

    std::vector<MqttMessage> out;
    for (const Entity& e : kEntities) {
        const QString key = QString::fromLatin1(e.key);
        const bool binary = QLatin1String(e.component) == QLatin1String("binary_sensor");
        QJsonObject c;
        c.insert(QStringLiteral("name"), QString::fromUtf8(e.name));
        c.insert(QStringLiteral("unique_id"), node + u'_' + key);
        c.insert(QStringLiteral("object_id"), node + u'_' + key);
        c.insert(QStringLiteral("state_topic"), topics.state());
        c.insert(QStringLiteral("availability_topic"), topics.availability());
        c.insert(QStringLiteral("payload_available"), QString::fromLatin1(kOnline));
        c.insert(QStringLiteral("payload_not_available"), QString::fromLatin1(kOffline));
        // A null value renders "None", which Home Assistant shows as unknown.
        if (binary)
            c.insert(
                QStringLiteral("value_template"),
                QStringLiteral(
                    "{% if value_json.%1 is none %}None{% elif value_json.%1 %}ON{% else %}OFF{% endif %}")
                    .arg(key));
        else {
            c.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(key));
            c.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        }
        if (*e.deviceClass)
            c.insert(QStringLiteral("device_class"), QString::fromLatin1(e.deviceClass));
        if (*e.unit)
            c.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(e.unit));
        if (*e.icon)
            c.insert(QStringLiteral("icon"), QString::fromLatin1(e.icon));
        c.insert(QStringLiteral("device"), device);
        out.push_back(
            {QStringLiteral("homeassistant/%1/%2/%3/config").arg(QLatin1String(e.component), node, key),
             QJsonDocument(c).toJson(QJsonDocument::Compact), true, 1});
    }
    return out;
}
