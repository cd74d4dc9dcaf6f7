// The service's widget-free core: options, payloads, commands, back-off, outbox, port watch,
// log keeping and the journal's lines.

#include "Backoff.h"
#include "JournalLog.h"
#include "LogdOptions.h"
#include "LogdProcess.h" // readable failures
#include "MqttCommands.h"
#include "MqttOutbox.h"
#include "MqttTopics.h"
#include "PortWatch.h"
#include "ServiceLog.h"
#include "StatePayload.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace {

// One decoded record from its ten value lines, as the port would deliver it.
ReceivedRecord decoded(const QStringList& values)
{
    QString text =
        QStringLiteral("-\r\n") + values.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n \r\n-\r\n");
    for (int i = 0; i < 10; ++i)
        text += QStringLiteral("x\r\n");
    ReceiveBuffer buffer;
    FrameLines record;
    SettingsFields fields;
    const auto r = receiveRecord(buffer, text, record, fields);
    EXPECT_TRUE(r && r->complete());
    return r.value_or(ReceivedRecord{});
}

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone(7200));
}

// A settings object that is accepted, padded with spaces to `size` bytes.
QByteArray paddedSettings(qsizetype size)
{
    QByteArray json = R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})";
    return json + QByteArray(size - json.size(), ' ');
}

// Files by path; a folder lists the files whose paths begin with it, or is unreadable when
// named in `unreadable`.
CommandLine parse(const QStringList& args, const std::map<QString, QString>& files = {},
                  const QStringList& unreadable = {})
{
    return parseCommandLine(
        args,
        [&](const QString& path) -> std::optional<QString> {
            const auto it = files.find(path);
            return it == files.end() ? std::nullopt : std::optional<QString>(it->second);
        },
        [&](const QString& folder) -> std::optional<QStringList> {
            if (unreadable.contains(folder))
                return std::nullopt;
            QStringList in;
            for (const auto& [path, text] : files)
                if (path.startsWith(folder + u'/'))
                    in << path;
            return in;
        });
}

} // namespace

TEST(LogdOptions, CommandLineAndConfigFile)
{
    const CommandLine a =
        parse({"--port", "/dev/ttyUSB0", "--broker", "pi.local:1884", "--log-dir=/var/log/t"});
    ASSERT_EQ(a.kind, CommandLine::Run) << a.error.toStdString();
    EXPECT_EQ(a.options.id, "ttyUSB0");
    EXPECT_EQ(a.options.prefix, "tarlo02");
    EXPECT_EQ(a.options.brokerHost, "pi.local");
    EXPECT_EQ(a.options.effectiveBrokerPort(), 1884);
    EXPECT_EQ(a.options.logDir, "/var/log/t");
    EXPECT_FALSE(a.options.allowCommands);

    // The file gives the TLS and credential files; the command line wins over it.
    const CommandLine b =
        parse({"--config", "c.ini", "--id", "tank2"},
              {{"c.ini", "# tank\n[logd]\nport = /dev/ttyACM0\nbroker=[::1]\nid = x\n"
                         "link = wifi\nca-file = /etc/ca.pem\ncredentials-file = /etc/cred\n"
                         "allow-commands = yes\nmqtt-version = 5\n"}});
    ASSERT_EQ(b.kind, CommandLine::Run) << b.error.toStdString();
    EXPECT_EQ(b.options.port, "/dev/ttyACM0");
    EXPECT_EQ(b.options.brokerHost, "::1");
    EXPECT_EQ(b.options.effectiveBrokerPort(), 8883);
    EXPECT_EQ(b.options.id, "tank2");
    EXPECT_EQ(b.options.linkType, 1);
    EXPECT_EQ(b.options.credentialsFile, "/etc/cred");
    EXPECT_TRUE(b.options.allowCommands);
    EXPECT_EQ(b.options.mqttVersion, 5);
    // Commands need MQTT 5 to see a retained one; an explicit 3.1.1 is kept.
    EXPECT_EQ(parse({"--port", "p", "--broker", "h", "--allow-commands"}).options.mqttVersion, 5);
    EXPECT_EQ(parse({"--port", "p", "--broker", "h", "--allow-commands", "--mqtt-version", "3.1.1"})
                  .options.mqttVersion,
              4);
    EXPECT_EQ(parse({"--port", "p", "--broker", "h"}).options.mqttVersion, 4);

    EXPECT_EQ(parse({"--version"}).kind, CommandLine::Version);
    EXPECT_EQ(parse({"--port", "x", "--help"}).kind, CommandLine::Help);
}

TEST(LogdOptions, BadOptionsAndConfigsAreOneLineErrors)
{
    const std::map<QString, QString> files{{"bad.ini", "port = /dev/x\nbrokr = h\n"},
                                           {"nokey.ini", "port /dev/x\n"}};
    const std::pair<QStringList, const char*> cases[] = {
        {{}, "no port"},
        {{"--port"}, "--port needs a value"},
        {{"--port", "p", "--colour"}, "unknown option --colour"},
        {{"--port", "p", "--ca-file", "ca.pem"}, "config file only"},
        {{"--port", "p", "stray"}, "unexpected argument"},
        {{"--port", "p", "--broker", "h:0"}, "port out of"},
        {{"--port", "p", "--broker", "h:99999"}, "port out of"},
        {{"--port", "p", "--broker", "a:b:c"}, "bad --broker"},
        {{"--port", "p", "--id", "a/b"}, "bad --id"},
        {{"--port", "p", "--id", "#"}, "bad --id"},
        {{"--port", "p", "--prefix", "a/+/b"}, "bad --prefix"},
        {{"--port", "p", "--mqtt-version", "4"}, "bad --mqtt-version"},
        {{"--port", "p", "--allow-commands"}, "need a broker"},
        {{"--config", "missing.ini"}, "cannot read the config file 'missing.ini': no such file"},
        {{"--port", "p", "--remove-device"}, "--remove-device needs a broker"},
        {{"--config", "bad.ini"}, "bad.ini:2: unknown key 'brokr'"},
        {{"--config", "nokey.ini"}, "nokey.ini:1: expected key = value"},
    };
    for (const auto& [args, error] : cases) {
        const CommandLine r = parse(args, files);
        EXPECT_EQ(r.kind, CommandLine::Error) << args.join(' ').toStdString();
        EXPECT_TRUE(r.error.contains(QString::fromUtf8(error)) && !r.error.contains(u'\n'))
            << args.join(' ').toStdString() << " -> " << r.error.toStdString();
    }
}

TEST(LogdOptions, TheConfigFoldersFilesFollowTheConfigFile)
{
    // logd.ini, then logd.d/ in name order, a later file winning; the command line wins over all.
    const std::map<QString, QString> files{{"/etc/t/logd.ini", "port = /dev/a\nbroker = h\nid = main\n"},
                                           {"/etc/t/logd.d/10-port.ini", "port = /dev/b\nid = ten\n"},
                                           {"/etc/t/logd.d/20-id.ini", "id = twenty\n"}};
    const CommandLine a = parse({"--config", "/etc/t/logd.ini"}, files);
    ASSERT_EQ(a.kind, CommandLine::Run) << a.error.toStdString();
    EXPECT_EQ(a.options.port, "/dev/b");
    EXPECT_EQ(a.options.id, "twenty");
    EXPECT_EQ(a.options.brokerHost, "h");
    EXPECT_EQ(parse({"--config", "/etc/t/logd.ini", "--id", "cli"}, files).options.id, "cli");

    // What cannot be read or parsed stops the start as the main file does.
    auto errorOf = [](const std::map<QString, QString>& f, const QStringList& unreadable = {}) {
        return parse({"--config", "c.ini"}, f, unreadable).error.toStdString();
    };
    EXPECT_EQ(errorOf({{"c.ini", "port = p\n"}}, {"c.d"}), "cannot read the config folder 'c.d'");
    EXPECT_EQ(errorOf({{"c.ini", "port = p\n"}, {"c.d/x.ini", "port = q\nbrokr = h\n"}}),
              "c.d/x.ini:2: unknown key 'brokr'");

    // The real folder: its .ini files in name order, nothing else; none when it is missing.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* name : {"20.ini", "10.ini", "x.ini.dpkg-old", "notes"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.ini")));
    EXPECT_EQ(listIniFiles(dir.path()), QStringList({dir.filePath("10.ini"), dir.filePath("20.ini")}));
    EXPECT_EQ(listIniFiles(dir.filePath("missing")), QStringList());
    EXPECT_EQ(configAdditionsFolder("/etc/tarlo02/logd.ini"), "/etc/tarlo02/logd.d");
}

TEST(LogdOptions, IdFromPortAndCredentials)
{
    EXPECT_EQ(idFromPort("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(idFromPort("/dev/serial/by-id/usb-FTDI_FT232R+x.1"), "usb-FTDI_FT232R_x_1");
    EXPECT_EQ(idFromPort("COM3"), "COM3");
    const auto c = parseCredentials("tank\nse cret\n");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->user, "tank");
    EXPECT_EQ(c->password, "se cret");
    EXPECT_FALSE(parseCredentials("\npassword\n"));
}

TEST(LogdOptions, NamedFilesAreCheckedAtStartInPlainWords)
{
    QTemporaryDir dir;
    const QString ca = dir.filePath("ca.crt"), secret = dir.filePath("credentials");
    for (const QString& path : {ca, secret}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x\n");
    }
    LogdOptions ok;
    ok.caFile = ca;
    ok.credentialsFile = secret;
    EXPECT_EQ(checkNamedFiles(ok), "");
    const struct {
        QString LogdOptions::*file;
        QString path, expected;
    } cases[] = {
        {&LogdOptions::caFile, dir.filePath("missing.crt"), "ca-file '%1' cannot be read: No such file"},
        {&LogdOptions::keyFile, dir.path(), "key-file '%1' is a folder"},
        {&LogdOptions::credentialsFile, dir.filePath("none"), "credentials-file '%1' cannot be read"},
    };
    for (const auto& c : cases) {
        LogdOptions o = ok;
        o.*c.file = c.path;
        EXPECT_TRUE(checkNamedFiles(o).startsWith(c.expected.arg(c.path)))
            << checkNamedFiles(o).toStdString();
    }
    ASSERT_TRUE(QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ReadGroup));
    EXPECT_FALSE(credentialsWarning(secret));
    ASSERT_TRUE(QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::ReadOther));
    EXPECT_TRUE(credentialsWarning(secret) && credentialsWarning(secret)->contains(secret));
}

TEST(StatePayload, ValuesAndNulls)
{
    // pH, PHmin, PHmax, PPM, KH, alarm, O2, CO2, brightness, contrast; the values checked; refused.
    const std::tuple<QStringList, const char*, int> cases[] = {
        {{"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"},
         R"({"ph":7.05,"in_alarm":false})",
         0},
        // >10 (first digit 9, CO2 off) and "--.-" (PPM and KH 0) are unknown, not 0; above 10 says
        // so. KH 0, the controller's factory value, is 0.
        {{"9,50", "6,80", "7,40", "0", "0", "20", "0", "0", "100", "14"},
         R"({"ph":null,"ph_above":10,"co2_ppm":null,"kh":0,"in_alarm":true})",
         0},
        {{"9,50", "6,80", "7,40", "0", "3", "20", "0", "1", "100", "14"}, R"({"ph":9.5,"ph_above":null})", 0},
        // ">100!" is a bound; an output line other than 0/1 is refused; below the low limit.
        {{"6,10", "6,80", "7,40", "100", "12", "50", "X", "1", "100", "14"},
         R"({"co2_ppm":null,"co2_ppm_above":100,"o2_out":null,"ph":6.1,"alarm_low":6.3,"in_alarm":true})",
         1},
        // PPM "0" with KH set shows 00.0: a real zero.
        {{"7,00", "6,90", "7,10", "0", "4", "20", "0", "1", "100", "14"},
         R"({"co2_ppm":0,"kh":4,"ph":7})",
         0},
        // A limit on a whole pH is a number like any other.
        {{"7,50", "7,20", "7,80", "12,3", "5", "20", "1", "0", "100", "14"},
         R"({"alarm_low":7,"alarm_high":8,"in_alarm":false})",
         0},
        // The alarm limits themselves (6,80 - 0,20 and 7,40 + 0,20) are inside.
        {{"6,60", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"}, R"({"in_alarm":false})", 0},
        {{"6,59", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"}, R"({"in_alarm":true})", 0},
        {{"7,60", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"}, R"({"in_alarm":false})", 0},
        {{"7,61", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14"}, R"({"in_alarm":true})", 0},
        // What the controller cannot show is refused, however well it converts.
        {{"1,E9", "6,80", "7,40", "5,E9", "-5", "20", "1", "0", "100", "14"},
         R"({"ph":null,"ph_above":null,"co2_ppm":null,"kh":null,"in_alarm":null,"alarm_low":6.6})",
         3},
        {{"7,05", "5,E9", "7,40", "12,3", "5", "-20", "1", "0", "1000", "+14"},
         R"({"ph_min":null,"alarm":null,"alarm_low":null,"alarm_high":null,"in_alarm":null,)"
         R"("brightness":null,"contrast":null})",
         4},
    };
    for (const auto& [lines, expected, refused] : cases) {
        const RecordValues v = recordValues(decoded(lines));
        const QJsonObject want = QJsonDocument::fromJson(expected).object();
        ASSERT_FALSE(want.isEmpty()) << expected;
        for (auto it = want.begin(); it != want.end(); ++it)
            EXPECT_EQ(v.json.value(it.key()), it.value())
                << lines.join(' ').toStdString() << ": " << it.key().toStdString();
        EXPECT_EQ(v.refused, refused) << lines.join(' ').toStdString();
    }

    const RecordValues first = recordValues(decoded(std::get<0>(cases[0])));
    EXPECT_EQ(
        statePayload(first, at(2016, 10, 1, 18, 30, 8), {7, 3, "writing"}),
        R"({"alarm":0.2,"alarm_high":7.6,"alarm_low":6.6,"brightness":100,"co2_out":false,"co2_ppm":12.3,)"
        R"("co2_ppm_above":null,"contrast":14,"in_alarm":false,"kh":5,"log":"writing","o2_out":true,)"
        R"("ph":7.05,"ph_above":null,"ph_max":7.4,"ph_min":6.8,"records":7,"refused":3,)"
        R"("time":"2016-10-01T18:30:08+02:00"})");
    EXPECT_EQ(isoTimeWithOffset(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), QTimeZone(-34200))),
              "2024-01-02T03:04:05-09:30");
    EXPECT_EQ(isoTimeWithOffset(QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5), QTimeZone(0))),
              "2024-01-02T03:04:05+00:00");
}

TEST(HaDiscovery, TwoServicesNeverShareAnId)
{
    // The first pH config of each prefix and id: its unique id and entity id.
    auto ids = [](const char* prefix, const char* id) {
        for (const MqttMessage& m : discoveryMessages({prefix, id}, {0, false, "1.0"})) {
            const QJsonObject c = QJsonDocument::fromJson(m.payload).object();
            if (c.value("unique_id").toString().endsWith("_ph"))
                return std::pair{c.value("unique_id").toString(), c.value("default_entity_id").toString()};
        }
        return std::pair{QString(), QString()};
    };
    // The default prefix keeps the ids Home Assistant has registered, and so does any other: an
    // upgrade that changed them would leave orphan entities.
    EXPECT_EQ(ids("tarlo02", "tank1"),
              std::pair(QString("tarlo02_tank1_ph"), QString("sensor.tarlo02_tank1_ph")));
    EXPECT_EQ(ids("home/tarlo", "tank1"), std::pair(QString("home_tarlo_tank1_b63f607b_ph"),
                                                    QString("sensor.home_tarlo_tank1_b63f607b_ph")));
    EXPECT_EQ(ids("tarlo02", "Tank-1"),
              std::pair(QString("tarlo02_Tank-1_ph"), QString("sensor.tarlo02_tank_1_0e7e8212_ph")));
    const std::pair<const char*, const char*> pairs[] = {
        {"tarlo02", "a_b"},    {"tarlo02_a", "b"},    {"tarlo02/a", "b"},
        {"tarlo02", "Tank-1"}, {"tarlo02", "tank_1"}, {"a/b", "c"},
        {"a_b", "c"},          {"tarlo02", "Tank1"},  {"tarlo02", "TANK1"}};
    std::set<QString> unique, entity, client;
    for (const auto& [prefix, id] : pairs) {
        const auto [u, e] = ids(prefix, id);
        EXPECT_TRUE(unique.insert(u).second) << prefix << " " << id << ": " << u.toStdString();
        EXPECT_TRUE(entity.insert(e).second) << prefix << " " << id << ": " << e.toStdString();
        // Nor a connection to the broker.
        const QString c = MqttTopics{prefix, id}.clientId();
        EXPECT_TRUE(client.insert(c).second) << prefix << " " << id << ": " << c.toStdString();
    }
    EXPECT_NE(MqttTopics({"home", "tank1"}).clientId(), MqttTopics({"tarlo02", "tank1"}).clientId());
}

TEST(HaDiscovery, SensorsAlwaysControlsOnlyWithCommands)
{
    const auto plain = discoveryMessages({"tarlo02", "Tank-1"}, {0, false, "1.0"});
    const auto commands = discoveryMessages({"tarlo02", "Tank-1"}, {1, true, "1.0"});
    // The same topics either way: a run without commands empties the controls' configs, which
    // removes them where an earlier run with commands left them.
    ASSERT_EQ(plain.size(), commands.size());
    std::map<QString, QStringList> byCategory;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(plain[i].topic, commands[i].topic);
        EXPECT_TRUE(plain[i].retain && commands[i].retain);
        const QString component = plain[i].topic.section(u'/', 1, 1);
        EXPECT_EQ(plain[i].payload.isEmpty(), component == "number" || component == "button");
        const QJsonObject c = QJsonDocument::fromJson(commands[i].payload).object();
        byCategory[c.value("entity_category").toString(c.contains("state_class") ? "statistics" : "")]
            << plain[i].topic.section(u'/', 3, 3);
        EXPECT_TRUE(c.value("default_entity_id").toString().startsWith(component + ".tarlo02_tank_1_"));
        // Dissolved CO2 is no room-air CO2; the figures that change with every record come once a minute.
        const QString key = plain[i].topic.section(u'/', 3, 3);
        if (key == "co2_ppm") {
            EXPECT_TRUE(!c.contains("device_class") && c.value("unit_of_measurement") == "ppm" &&
                        c.contains("icon"));
        }
        EXPECT_EQ(c.value("state_topic").toString().endsWith("/diagnostics"),
                  key == "records" || key == "last_record")
            << key.toStdString();
        // A button presses with a command the service takes.
        if (component == "button") {
            EXPECT_TRUE(checkDeviceCommand(c.value("payload_press").toString().toUtf8()).accepted());
        }
    }
    // Only the measurements keep statistics; the settings and the service's own figures are
    // diagnostics; the six settings and the two buttons are configuration.
    EXPECT_EQ(byCategory["statistics"], (QStringList{"ph", "co2_ppm"}));
    EXPECT_EQ(byCategory[""], (QStringList{"o2_out", "co2_out", "in_alarm"}));
    EXPECT_EQ(byCategory["diagnostic"], (QStringList{"ph_min", "ph_max", "alarm_low", "alarm_high", "kh",
                                                     "last_record", "records", "refused", "log"}));
    EXPECT_EQ(byCategory["config"], (QStringList{"ph_min", "ph_max", "alarm", "kh", "brightness", "contrast",
                                                 "restart", "factory_reset"}));
}

TEST(MqttCommands, SettingsWithinTheSpinEditsLimitsMakeTheWindowsFrame)
{
    const std::pair<const char*, const char*> accepted[] = {
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "10001400701000609002000000000011"},
        {R"({"contrast":0,"brightness":5,"kh":20,"alarm":2.5,"ph_max":8.8,"ph_min":4.0})",
         "00500000808000400025002000000011"},
        // 0,53 is held as 0.5299...: still 53 hundredths.
        {R"({"ph_min":4.1,"ph_max":6.05,"alarm":0.53,"kh":7,"brightness":0,"contrast":25})",
         "00002500600500401005300700000011"},
    };
    for (const auto& [json, frame] : accepted) {
        const CommandCheck c = checkSettingsCommand(json);
        ASSERT_TRUE(c.accepted()) << json << ": " << c.error.toStdString();
        ASSERT_EQ(c.writes.size(), 11u);
        QString all;
        for (const QString& w : c.writes)
            all += w;
        EXPECT_EQ(all, frame) << json;
    }
    EXPECT_TRUE(checkSettingsCommand(paddedSettings(kMaxCommandBytes)).accepted());
}

TEST(MqttCommands, ASettingLeftOutKeepsTheLastRecordsValue)
{
    // The record's settings fields: brightness 100, contrast 14, PHmax 7,40, PHmin 6,80, threshold
    // 20, KH 5; a brightness the spin edit would not take is put within its limit.
    SettingsFields fields;
    fieldsFromRecord({"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"}, fields);
    const auto current = settingsFromFields(fields);
    ASSERT_TRUE(current);
    fields[SettingsField::Brightness] = "120";
    EXPECT_EQ(double(settingsFromFields(fields)->brightness), 100.0);
    fields[SettingsField::Kh] = "x";
    EXPECT_FALSE(settingsFromFields(fields));
    EXPECT_FALSE(settingsFromFields(SettingsFields{}));

    const std::tuple<const char*, const char*, const char*> cases[] = {
        // Home Assistant's numbers send one setting each, KH 0 among them.
        {R"({"kh":0})", "10001400704000608002000000000011", ""},
        {R"({"alarm":0.9,"contrast":3})", "10000300704000608009000500000011", ""},
        {R"({"ph_min":7.4})", "", "ph_min 7.40 must be below ph_max 7.40"},
        {R"({})", "", "no settings"},
        {R"({"kh":21})", "", "kh 21 is out of range"},
    };
    for (const auto& [json, frame, error] : cases) {
        const CommandCheck c = checkSettingsCommand(json, current);
        QString sent;
        for (const QString& w : c.writes)
            sent += w;
        EXPECT_EQ(sent, frame) << json;
        EXPECT_TRUE(c.error.contains(error)) << json << " -> " << c.error.toStdString();
    }
    // Before any record every setting must be given.
    EXPECT_TRUE(checkSettingsCommand(R"({"kh":0})").error.contains("missing ph_min, and no record"));
}

TEST(MqttCommands, AnythingMalformedOrOutOfRangeSendsNothing)
{
    const std::pair<QByteArray, const char*> refused[] = {
        {"not json", "not JSON"},
        {"[1,2]", "expected a JSON object"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100})", "missing contrast"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14,"x":1})",
         "unknown key 'x'"},
        {R"({"ph_min":"6.9","ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_min is not a number"},
        {R"({"ph_min":3.99,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_min 3.99 is out of range 4.00 to 8.70"},
        {R"({"ph_min":6.9,"ph_max":8.81,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_max 8.81 is out of range"},
        // A number is repeated in part too.
        {R"({"ph_min":1e300,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_min 1000000000000000052504760255204420248704... is out of range"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":2.51,"kh":0,"brightness":100,"contrast":14})",
         "alarm 2.51 is out of range"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":-0.01,"kh":0,"brightness":100,"contrast":14})",
         "alarm -0.01 is out of range"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":21,"brightness":100,"contrast":14})",
         "kh 21 is out of range 0 to 20"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":101,"contrast":14})",
         "brightness 101"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":26})", "contrast 26"},
        {R"({"ph_min":6.905,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_min has more than 2 decimals"},
        {R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":1.5,"brightness":100,"contrast":14})",
         "kh is not a whole number"},
        {R"({"ph_min":7.2,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
         "ph_min 7.20 must be below ph_max 7.10"},
        {R"({"ph_min":7.1,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})", "must be below"},
        // Too large to be read at all, however good; a long key is repeated only in part.
        {paddedSettings(kMaxCommandBytes + 1), "the payload is larger than 4096 bytes; refused unread"},
        {"{\"" + QByteArray(4000, 'k') + "\":1}", "unknown key 'kkkkkkkkkk"},
    };
    for (const auto& [json, error] : refused) {
        const CommandCheck c = checkSettingsCommand(json);
        const std::string shown = json.left(80).toStdString();
        EXPECT_FALSE(c.accepted()) << shown;
        EXPECT_TRUE(c.writes.empty()) << shown;
        EXPECT_TRUE(c.error.contains(QString::fromUtf8(error))) << shown << " -> " << c.error.toStdString();
        const QByteArray result = commandResult(c);
        EXPECT_EQ(QJsonDocument::fromJson(result).object().value("ok"), QJsonValue(false));
        EXPECT_LE(result.size(), 160) << result.toStdString();
    }
}

TEST(MqttCommands, RestartFactoryResetAndResults)
{
    EXPECT_EQ(checkDeviceCommand("restart").writes, std::vector<QString>{QString(32, u'3')});
    EXPECT_EQ(checkDeviceCommand(R"({"command":"factory_reset"})").writes,
              std::vector<QString>{QString(32, u'2')});
    const CommandCheck bad = checkDeviceCommand("reboot");
    EXPECT_FALSE(bad.accepted());
    EXPECT_TRUE(bad.writes.empty());
    EXPECT_EQ(commandResult(checkDeviceCommand("restart")),
              R"({"command":"restart","ok":true,"sent":"33333333333333333333333333333333"})");
    EXPECT_EQ(commandResult(checkDeviceCommand("restart"), "Write failed"),
              R"({"command":"restart","error":"Write failed","ok":false})");
    // Refused unread above the limit, even what would trim to "restart"; a long name in part.
    EXPECT_EQ(
        commandResult(checkDeviceCommand("restart" + QByteArray(kMaxCommandBytes - 6, ' '))),
        R"({"command":"command","error":"the payload is larger than 4096 bytes; refused unread","ok":false})");
    EXPECT_EQ(checkDeviceCommand(QByteArray(kMaxCommandBytes, 'x')).command, QString(40, u'x') + "...");
}

TEST(MqttCommands, OneCommandASecondTheRestRefusedAndCounted)
{
    CommandRateLimiter limiter;
    // Milliseconds of the steady clock; admitted; refused in a row after it.
    const std::tuple<qint64, bool, long long> steps[] = {
        {0, true, 0},     {1, false, 1},   {999, false, 2},  {1000, true, 0},
        {1500, false, 1}, {2500, true, 0}, {2600, false, 1}, {60000, true, 0},
    };
    for (const auto& [ms, admitted, refused] : steps) {
        EXPECT_EQ(limiter.admit(ms), admitted) << ms;
        EXPECT_EQ(limiter.refusedInARow(), refused) << ms;
    }
}

TEST(MqttCommands, RefusalsOneLineAMinuteAndASum)
{
    RefusalDigest d;
    // Milliseconds of the steady clock: a refusal then (true: its own line), or a tick (the sum).
    const std::tuple<qint64, bool, std::optional<bool>, std::optional<long long>> steps[] = {
        {0, true, true, {}},      {10, true, false, {}},   {20, true, false, {}},    {59999, false, {}, {}},
        {60000, false, {}, 2},    {60001, false, {}, {}},  {60002, true, false, {}}, {200000, false, {}, 1},
        {300000, true, true, {}}, {400000, false, {}, {}},
    };
    for (const auto& [ms, refusal, ownLine, sum] : steps) {
        if (refusal)
            EXPECT_EQ(d.refused(ms), *ownLine) << ms;
        else
            EXPECT_EQ(d.summary(ms), sum) << ms;
    }
}

TEST(MqttOutbox, HomeAssistantBirthsMakeOneRoundInFiveSeconds)
{
    RoundThrottle t;
    t.ran(0); // the round at start
    // A birth at ms: the delay asked for (-1: none, a round is due already); then whether it ran.
    const std::tuple<qint64, qint64, bool> births[] = {
        {1000, 4000, false}, {1001, -1, false},    {4999, -1, true}, // the round runs at 5000
        {5001, 4999, false}, {9000, -1, true},                       // at 10000
        {16000, 0, true},    {16001, 4999, false},
    };
    qint64 dueAt = 0;
    for (const auto& [ms, delay, runs] : births) {
        const std::optional<qint64> d = t.ask(ms);
        EXPECT_EQ(d.value_or(-1), delay) << ms;
        if (d)
            dueAt = ms + *d;
        if (runs)
            t.ran(dueAt);
    }
}

TEST(Backoff, DoublesToTheCapWithSpreadAndResets)
{
    double unit = 0.5; // no spread
    Backoff b(1000, 30000, [&] { return unit; });
    std::vector<int> delays;
    for (int i = 0; i < 7; ++i)
        delays.push_back(b.nextDelayMs());
    EXPECT_EQ(delays, (std::vector<int>{1000, 2000, 4000, 8000, 16000, 30000, 30000}));
    b.reset();
    unit = 0.0;
    EXPECT_EQ(b.nextDelayMs(), 800);
    unit = 0.999999;
    EXPECT_NEAR(b.nextDelayMs(), 2400, 1);
    for (int i = 0; i < 100; ++i)
        EXPECT_LE(b.nextDelayMs(), 30000);
}

TEST(MqttOutbox, KeepsTheNewestRetainedAndABoundedQueueWhileAway)
{
    MqttOutbox box;
    const MqttMessage online{"t/a/availability", "online", true, 1};
    EXPECT_TRUE(box.post(online).empty());
    for (int i = 0; i < 1000; ++i)
        EXPECT_TRUE(box.post({"t/a/state", QByteArray::number(i), true, 0}).empty());
    for (int i = 0; i < 100; ++i)
        box.post({"t/a/result", QByteArray::number(i), false, 1});
    EXPECT_EQ(box.retainedCount(), 2u);
    EXPECT_EQ(box.queuedCount(), MqttOutbox::kResultBound);
    EXPECT_EQ(box.dropped(), 100 - MqttOutbox::kResultBound);

    const auto sent = box.connected();
    ASSERT_EQ(sent.size(), 2 + MqttOutbox::kResultBound);
    EXPECT_EQ(sent[0], online);
    EXPECT_EQ(sent[1].payload, "999");                                              // only the newest state
    EXPECT_EQ(sent[2].payload, QByteArray::number(100 - MqttOutbox::kResultBound)); // oldest results dropped
    EXPECT_EQ(box.queuedCount(), 0u);

    // Connected: straight through, and the retained ones are sent again on the next connect.
    EXPECT_EQ(box.post({"t/a/state", "new", true, 0}).size(), 1u);
    box.disconnected();
    const auto again = box.connected();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].payload, "new");
}

TEST(PortWatch, ReopensOnTheRhythmAndTellsOneOutageOnce)
{
    PortWatch w("/dev/x");
    auto t = [](int m, int s, int ms = 0) { return at(2016, 10, 1, 18, m, s).addMSecs(ms); };
    w.opened(t(30, 1));
    w.recordArrived(t(30, 2));
    // A healthy port is never restarted.
    for (int s = 3; s < 60; ++s)
        for (int ms : {0, 250, 500}) {
            if (s % 5 == 0)
                w.recordArrived(t(30, s, ms));
            EXPECT_EQ(w.tick(t(30, s, ms)), PortWatch::Action::None) << s;
        }
    // The device goes away: one line, a try at once, then one every five seconds, each once.
    const auto first = w.lost(t(31, 1), "it has gone away");
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, "device /dev/x lost: it has gone away; reopening every 5 to 15 s until it is back");
    std::vector<int> tries;
    for (int s = 1; s < 31; ++s)
        for (int ms : {0, 250, 500, 750})
            if (w.tick(t(31, s, ms)) == PortWatch::Action::Reopen) {
                tries.push_back(s);
                EXPECT_FALSE(w.openFailed(t(31, s, ms), "cannot open it")); // no second line
            }
    EXPECT_EQ(tries, (std::vector<int>{1, 5, 10, 15, 20, 25, 30}));
    // It opens and goes again at once: within the outage, the rhythm alone tries it.
    EXPECT_EQ(w.tick(t(31, 35)), PortWatch::Action::Reopen);
    w.opened(t(31, 35));
    EXPECT_FALSE(w.lost(t(31, 35, 500), "it has gone away"));
    for (int s = 36; s < 40; ++s)
        EXPECT_EQ(w.tick(t(31, s)), PortWatch::Action::None) << s;
    EXPECT_EQ(w.tick(t(31, 40)), PortWatch::Action::Reopen);
    // Back: the port opens, but the outage ends only with a record.
    w.opened(t(31, 40));
    EXPECT_TRUE(w.inOutage());
    const auto back = w.recordArrived(t(31, 41));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, "device /dev/x back after 40 s (7 failed open attempts)");
    EXPECT_FALSE(w.inOutage());
    // The next outage counts its own attempts.
    ASSERT_TRUE(w.lost(t(33, 0), "it has gone away"));
    ASSERT_EQ(w.tick(t(33, 0)), PortWatch::Action::Reopen);
    w.openFailed(t(33, 0), "cannot open it");
    ASSERT_EQ(w.tick(t(33, 5)), PortWatch::Action::Reopen);
    w.opened(t(33, 5));
    const auto again = w.recordArrived(t(33, 6));
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, "device /dev/x back after 6 s (1 failed open attempts)");
}

TEST(PortWatch, PortErrorsInPlainWords)
{
    const std::tuple<int, int, QString> cases[] = {
        {1, ENOENT, "cannot open it: " + QString::fromLocal8Bit(std::strerror(ENOENT))},
        {1, -1, "cannot open it"},
        {3, EIO, "it has gone away (unplugged or hung up)"},
        {10, ENXIO, "it has gone away (unplugged or hung up)"},
        {2, ENODEV, "it has gone away (unplugged or hung up)"},
        {2, EAGAIN, "writing to it failed: " + QString::fromLocal8Bit(std::strerror(EAGAIN))},
        {24, -1, "it is not open"},
    };
    for (const auto& [code, error, text] : cases)
        EXPECT_EQ(portErrorText(code, error), text) << code << " " << error;
}

TEST(PortWatch, ASilentPortIsRestartedAfterAWholePeriod)
{
    PortWatch w("/dev/x");
    auto t = [](int m, int s) { return at(2016, 10, 1, 18, m, s); };
    w.opened(t(30, 1));
    EXPECT_EQ(w.tick(t(30, 5)), PortWatch::Action::None); // the first restart second only arms
    EXPECT_EQ(w.tick(t(30, 19)), PortWatch::Action::None);
    EXPECT_EQ(w.tick(t(30, 20)), PortWatch::Action::Reopen);
    ASSERT_TRUE(w.takeLine());
    EXPECT_FALSE(w.takeLine());
    w.opened(t(30, 20));
    EXPECT_EQ(w.tick(t(30, 35)), PortWatch::Action::None);
    EXPECT_EQ(w.tick(t(30, 50)), PortWatch::Action::Reopen);
    EXPECT_FALSE(w.takeLine()); // the same outage
}

TEST(ServiceLog, OneRowAMinuteAFileADayFinishedAtStop)
{
    QTemporaryDir dir;
    QDateTime now = at(2016, 10, 1, 23, 58, 8);
    ServiceLog log(dir.path(), [&] { return now; });
    const FrameLines lines{"7.05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"};
    auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QStringLiteral("<missing>");
    };
    EXPECT_FALSE(log.record(lines));
    now = now.addSecs(30);
    EXPECT_FALSE(log.record(lines)); // the same minute: no row
    now = now.addSecs(30);
    EXPECT_FALSE(log.record(lines));
    EXPECT_FALSE(log.tick());
    const QString first = dir.filePath("2016-10-01 {235808}.csv");
    EXPECT_EQ(read(first),
              "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2\r\n"
              "23:58:08;7,05;6,80;7,40;12,3;5;20;on;off\r\n23:59;7,05;6,80;7,40;12,3;5;20;on;off\r\n");
    // Midnight finishes the day's file even with no record; the next record starts a new one.
    now = at(2016, 10, 2, 0, 0, 1);
    EXPECT_FALSE(log.tick());
    EXPECT_FALSE(log.fileOpen());
    EXPECT_TRUE(QFile::exists(dir.filePath("2016-10-01 {235808}    2016-10-02 {000001}.csv")));
    now = at(2016, 10, 2, 0, 0, 30);
    EXPECT_FALSE(log.record(lines));
    now = at(2016, 10, 2, 8, 0, 0);
    EXPECT_FALSE(log.finish());
    EXPECT_TRUE(QFile::exists(dir.filePath("2016-10-02 {000030}    2016-10-02 {080000}.csv")));
    EXPECT_FALSE(log.finish()); // nothing open

    // A midnight whose rename fails is told, and the new day's rows still go to a new file.
    now = at(2016, 10, 2, 23, 59, 0);
    EXPECT_FALSE(log.record(lines));
    ASSERT_TRUE(QDir(dir.path()).mkdir("2016-10-02 {235900}    2016-10-03 {000001}.csv"));
    now = at(2016, 10, 3, 0, 0, 1);
    const auto told = log.tick();
    EXPECT_TRUE(told && told->failure);
    now = at(2016, 10, 3, 0, 0, 30);
    log.record(lines);
    EXPECT_EQ(read(dir.filePath("2016-10-02 {235900}.csv")).count("\r\n"), 2);
    EXPECT_TRUE(QFile::exists(dir.filePath("2016-10-03 {000030}.csv")));
}

TEST(ServiceLog, AnOutageAndItsEndAreOneLineEach)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("gone");
    QDateTime now = at(2016, 10, 1, 18, 0, 0);
    ServiceLog log(folder, [&] { return now; });
    const FrameLines lines{"7,05", "6,80", "7,40", "12,3", "5", "20", "1", "0", "100", "14", " ", "-"};
    auto next = [&] {
        now = now.addSecs(60);
        return log.record(lines);
    };
    const auto outage = log.record(lines);
    EXPECT_TRUE(outage && outage->failure);
    EXPECT_FALSE(log.failure().isEmpty());
    EXPECT_FALSE(next());
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto back = next();
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->failure);
    // The rows that waited are in the log, which carries the first one's time.
    EXPECT_TRUE(back->text.contains("2016-10-01 {180000}.csv")) << back->text.toStdString();
    QFile written(log.fileName());
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll().count("\r\n"), 4); // the header and the three rows
    EXPECT_TRUE(log.failure().isEmpty());
    EXPECT_FALSE(next());

    // The log deleted: the next row starts another, told in one line.
    const QString deleted = log.fileName();
    ASSERT_TRUE(QFile::remove(deleted));
    const auto moved = next();
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->text, "the log " + deleted + " was deleted or moved while open; rows go on in " +
                               QDir(folder).filePath("2016-10-01 {180400}.csv"));
    EXPECT_TRUE(QFile::exists(QDir(folder).filePath("2016-10-01 {180400}.csv")));
    EXPECT_FALSE(next());

    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_TRUE(next()); // told again after it had worked
}

TEST(JournalLog, OneLineWithItsLevel)
{
    EXPECT_EQ(JournalLog::format(JournalLog::Warning, "device lost:\r\nEIO", false), "<4>device lost:  EIO");
    EXPECT_EQ(JournalLog::format(JournalLog::Info, "started", false), "<6>started");
    EXPECT_EQ(JournalLog::format(JournalLog::Error, "x", true), "\x1b[31merror:\x1b[0m x");
}
