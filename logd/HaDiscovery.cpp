#include "MqttTopics.h"

#include "Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Measurements keep long-term statistics; settings and the service's own figures are
// diagnostics, listed apart on the device page and kept out of the statistics.
enum class Kind { Measurement, Diagnostic };

struct Sensor {
    const char* component; // sensor or binary_sensor
    const char* key;       // the entity's: unique id, entity id, discovery topic
    const char* field;     // the state's JSON key
    const char* name;
    const char* deviceClass; // "" for none
    const char* unit;        // "" for none
    const char* icon;        // "" for none
    Kind kind;
    const char* above = ""; // the state's key saying the value is above what can be shown
    bool perMinute = false; // read from the diagnostics topic, published once a minute
};

// Units: pH has none; dissolved CO2 in ppm (mg/l); KH in German degrees.
constexpr Sensor kSensors[] = {
    {"sensor", "ph", "ph", "pH", "ph", "", "", Kind::Measurement, "ph_above"},
    // Dissolved CO2: a plain ppm sensor. Home Assistant's carbon_dioxide class is the room's air
    // (its triggers, its voice answers), which this is not.
    {"sensor", "co2_ppm", "co2_ppm", "CO2", "", "ppm", "mdi:molecule-co2", Kind::Measurement,
     "co2_ppm_above"},
    {"binary_sensor", "o2_out", "o2_out", "O2 output", "running", "", "mdi:air-filter", Kind::Measurement},
    {"binary_sensor", "co2_out", "co2_out", "CO2 output", "running", "", "mdi:valve", Kind::Measurement},
    {"binary_sensor", "in_alarm", "in_alarm", "Alarm", "problem", "", "", Kind::Measurement},
    {"sensor", "ph_min", "ph_min", "pH minimum", "ph", "", "mdi:arrow-collapse-down", Kind::Diagnostic},
    {"sensor", "ph_max", "ph_max", "pH maximum", "ph", "", "mdi:arrow-collapse-up", Kind::Diagnostic},
    {"sensor", "alarm_low", "alarm_low", "Alarm low limit", "ph", "", "mdi:alert-circle-outline",
     Kind::Diagnostic},
    {"sensor", "alarm_high", "alarm_high", "Alarm high limit", "ph", "", "mdi:alert-circle-outline",
     Kind::Diagnostic},
    {"sensor", "kh", "kh", "KH", "", "\u00b0dH", "mdi:water-opacity", Kind::Diagnostic},
    {"sensor", "last_record", "time", "Last record", "timestamp", "", "", Kind::Diagnostic, "", true},
    {"sensor", "records", "records", "Records read", "", "", "mdi:counter", Kind::Diagnostic, "", true},
    {"sensor", "refused", "refused", "Values refused", "", "", "mdi:filter-remove-outline", Kind::Diagnostic},
    {"sensor", "log", "log", "Log", "", "", "mdi:file-document-outline", Kind::Diagnostic},
};

// The six settings, under the keys the set topic takes and the state gives, within the
// window's spin edits' limits and steps.
struct Setting {
    const char* key;
    const char* name;
    const SpinLimit& limit;
    const char* deviceClass;
    const char* unit;
};

const Setting kSettings[] = {
    {"ph_min", "pH range minimum", kSpinLimits.phMin, "ph", ""},
    {"ph_max", "pH range maximum", kSpinLimits.phMax, "ph", ""},
    {"alarm", "Alarm threshold", kSpinLimits.threshold, "", ""},
    {"kh", "KH of the water", kSpinLimits.kh, "", "\u00b0dH"},
    {"brightness", "LCD brightness", kSpinLimits.brightness, "", ""},
    {"contrast", "LCD contrast", kSpinLimits.contrast, "", ""},
};

struct Button {
    const char* key; // also the command topic's payload
    const char* name;
    const char* deviceClass;
    const char* icon;
};

constexpr Button kButtons[] = {
    {"restart", "Restart", "restart", ""},
    {"factory_reset", "Factory reset", "", "mdi:factory"},
};

// An entity id's object part: lower case, "_" for anything but letters and digits.
QString slug(const QString& s)
{
    QString out = s.toLower();
    for (QChar& c : out)
        if (!((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9')))
            c = u'_';
    return out;
}

// Eight hex digits that tell the exact prefix and id apart (FNV-1a).
QString pairHash(const MqttTopics& topics)
{
    quint32 h = 2166136261u;
    for (const char c : (topics.prefix + u'/' + topics.id).toUtf8()) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return QStringLiteral("%1").arg(h, 8, 16, QLatin1Char('0'));
}

// The device's id, the start of every unique_id. "prefix_id" alone is unambiguous only for a
// prefix of one level without "_" (the default): "a_b" with "c" and "a" with "b_c" would meet,
// as would "a/b" and "a_b". Other prefixes get the pair's hash, so two services never share an
// entity; the default keeps the ids Home Assistant has already registered.
QString nodeId(const MqttTopics& topics)
{
    const QString joined = topics.prefix.split(u'/').join(u'_') + u'_' + topics.id;
    const bool plain = !topics.prefix.contains(u'_') && !topics.prefix.contains(u'/');
    return plain ? joined : joined + u'_' + pairHash(topics);
}

// The start of the entity ids: lower case, so ids that differ only there or in "-" get the hash.
QString entityBase(const MqttTopics& topics, const QString& node)
{
    const QString s = slug(node);
    return s == node ? s : s + u'_' + pairHash(topics);
}

} // namespace

std::vector<MqttMessage> discoveryMessages(const MqttTopics& topics, const DiscoveryOptions& options)
{
    const QString node = nodeId(topics);
    const QString entity = entityBase(topics, node);
    QJsonObject device;
    device.insert(QStringLiteral("identifiers"), QJsonArray{node});
    device.insert(QStringLiteral("name"), QStringLiteral("Tarlo-02 ") + topics.id);
    device.insert(QStringLiteral("manufacturer"), QStringLiteral("Tarlo"));
    device.insert(QStringLiteral("model"), options.linkType == 1 ? QStringLiteral("Tarlo-02 (WIFI)")
                                                                 : QStringLiteral("Tarlo-02 (USB)"));
    QJsonObject origin;
    origin.insert(QStringLiteral("name"), QStringLiteral("tarlo02-logd"));
    // The device's software is the service that speaks for it.
    if (!options.version.isEmpty()) {
        device.insert(QStringLiteral("sw_version"), options.version);
        origin.insert(QStringLiteral("sw_version"), options.version);
    }

    std::vector<MqttMessage> out;
    auto topic = [&](const char* component, const QString& key) {
        return QStringLiteral("homeassistant/%1/%2/%3/config").arg(QLatin1String(component), node, key);
    };
    // What every entity has: its ids, the device, the availability.
    auto common = [&](const char* component, const QString& key, const char* name) {
        QJsonObject c;
        c.insert(QStringLiteral("name"), QString::fromUtf8(name));
        c.insert(QStringLiteral("unique_id"), node + u'_' + key);
        c.insert(QStringLiteral("default_entity_id"),
                 QLatin1String(component) + u'.' + entity + u'_' + slug(key));
        // Home Assistant before 2025.10 knows only this; later ones take default_entity_id.
        c.insert(QStringLiteral("object_id"), entity + u'_' + slug(key));
        c.insert(QStringLiteral("availability_topic"), topics.availability());
        c.insert(QStringLiteral("payload_available"), QString::fromLatin1(kOnline));
        c.insert(QStringLiteral("payload_not_available"), QString::fromLatin1(kOffline));
        c.insert(QStringLiteral("device"), device);
        c.insert(QStringLiteral("origin"), origin);
        return c;
    };
    auto add = [&](const char* component, const QString& key, const QJsonObject& c) {
        out.push_back({topic(component, key), QJsonDocument(c).toJson(QJsonDocument::Compact), true, 1});
    };

    for (const Sensor& e : kSensors) {
        const QString key = QString::fromLatin1(e.key);
        const QString field = QString::fromLatin1(e.field);
        const bool binary = QLatin1String(e.component) == QLatin1String("binary_sensor");
        QJsonObject c = common(e.component, key, e.name);
        c.insert(QStringLiteral("state_topic"), e.perMinute ? topics.diagnostics() : topics.state());
        // A null value renders "None", which Home Assistant shows as unknown.
        if (binary)
            c.insert(
                QStringLiteral("value_template"),
                QStringLiteral(
                    "{% if value_json.%1 is none %}None{% elif value_json.%1 %}ON{% else %}OFF{% endif %}")
                    .arg(field));
        else
            c.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(field));
        if (e.kind == Kind::Diagnostic)
            c.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
        else if (!binary)
            c.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        // "above": 10 while the controller shows ">10", so a card can say so instead of unknown.
        if (*e.above) {
            c.insert(QStringLiteral("json_attributes_topic"), topics.state());
            c.insert(QStringLiteral("json_attributes_template"),
                     QStringLiteral("{{ {'above': value_json.%1} | tojson }}").arg(QLatin1String(e.above)));
        }
        if (*e.deviceClass)
            c.insert(QStringLiteral("device_class"), QString::fromLatin1(e.deviceClass));
        if (*e.unit)
            c.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(e.unit));
        if (*e.icon)
            c.insert(QStringLiteral("icon"), QString::fromLatin1(e.icon));
        add(e.component, key, c);
    }

    for (const Setting& s : kSettings) {
        const QString key = QString::fromLatin1(s.key);
        if (!options.commands) {
            out.push_back({topic("number", key), {}, true, 1});
            continue;
        }
        QJsonObject c = common("number", key, s.name);
        c.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
        c.insert(QStringLiteral("state_topic"), topics.state());
        c.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.%1 }}").arg(key));
        c.insert(QStringLiteral("command_topic"), topics.set());
        // Its own setting only: the service takes the others from the controller's last record,
        // so one entity that is unknown or renamed never blocks another.
        c.insert(QStringLiteral("command_template"), QStringLiteral("{\"%1\":{{ value }}}").arg(key));
        c.insert(QStringLiteral("min"), double(s.limit.min));
        c.insert(QStringLiteral("max"), double(s.limit.max));
        c.insert(QStringLiteral("step"), double(s.limit.step));
        c.insert(QStringLiteral("mode"), QStringLiteral("box"));
        if (*s.deviceClass)
            c.insert(QStringLiteral("device_class"), QString::fromLatin1(s.deviceClass));
        if (*s.unit)
            c.insert(QStringLiteral("unit_of_measurement"), QString::fromUtf8(s.unit));
        add("number", key, c);
    }

    for (const Button& b : kButtons) {
        const QString key = QString::fromLatin1(b.key);
        if (!options.commands) {
            out.push_back({topic("button", key), {}, true, 1});
            continue;
        }
        QJsonObject c = common("button", key, b.name);
        c.insert(QStringLiteral("entity_category"), QStringLiteral("config"));
        c.insert(QStringLiteral("command_topic"), topics.command());
        c.insert(QStringLiteral("payload_press"), key);
        if (*b.deviceClass)
            c.insert(QStringLiteral("device_class"), QString::fromLatin1(b.deviceClass));
        if (*b.icon)
            c.insert(QStringLiteral("icon"), QString::fromLatin1(b.icon));
        add("button", key, c);
    }
    return out;
}

std::vector<MqttMessage> clearingMessages(const MqttTopics& topics)
{
    std::vector<MqttMessage> out;
    for (const MqttMessage& m : discoveryMessages(topics, {}))
        out.push_back({m.topic, {}, true, 1});
    for (const QString& t : {topics.state(), topics.diagnostics(), topics.availability()})
        out.push_back({t, {}, true, 1});
    return out;
}
