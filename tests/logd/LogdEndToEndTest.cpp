// The service end to end: a real Mosquitto broker on a free port with its own config, the
// controller simulator on a pseudo-terminal behind a link, and the service as a process.

#include "LogdProcess.h"
#include "MqttTopics.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTime>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <map>
#include <pty.h>
#include <unistd.h>

namespace {

const QString kState = QStringLiteral("tarlo02/tank/state");
const QString kAvailability = QStringLiteral("tarlo02/tank/availability");
const QString kResult = QStringLiteral("tarlo02/tank/result");

int countLines(const QStringList& lines, const QString& part)
{
    return int(std::count_if(lines.begin(), lines.end(), [&](const QString& l) { return l.contains(part); }));
}

class LogdEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        logDir = work.filePath(QStringLiteral("logs"));
        ASSERT_TRUE(QDir().mkpath(logDir));
        link = work.filePath(QStringLiteral("tarlo-link"));
        commandLog = work.filePath(QStringLiteral("commands.log"));
    }

    void startSim(const QStringList& extra)
    {
        sim.start(QStringLiteral(TARLO02_SIM_PATH),
                  QStringList{"--link", link, "--command-log", commandLog, "--seed", "7", "--kh", "5"} +
                      extra);
        ASSERT_TRUE(waitUntil([&] { return !sim.out().isEmpty() && QFile::exists(link); }, 10000))
            << sim.err().join('\n').toStdString();
    }
    void startService(const QStringList& extra)
    {
        service.start(QStringLiteral(TARLO02_LOGD_PATH),
                      QStringList{"--port", link, "--log-dir", logDir, "--id", "tank"} + extra);
    }
    QStringList brokerArgs(int port) { return {"--broker", QStringLiteral("127.0.0.1:%1").arg(port)}; }
    // Subscribes to everything and returns once the subscription is live.
    void subscribeAll(Subscriber& s, int port, const QStringList& extra = {})
    {
        s.start(port, QStringLiteral("#"), extra);
        // Retained, so it arrives however late the subscription is made.
        ASSERT_TRUE(publishOnce(port, QStringLiteral("test/ready"), "1", QStringList{"-r"} + extra));
        ASSERT_TRUE(waitUntil([&] { return !s.payloads(QStringLiteral("test/ready")).isEmpty(); }, 10000));
    }
    QStringList logFiles()
    {
        return QDir(logDir).entryList({QStringLiteral("*.csv")}, QDir::Files, QDir::Name);
    }
    QStringList commandLines() { return readText(commandLog).split(u'\n', Qt::SkipEmptyParts); }
    // Publishes a command and waits for its result.
    QString resultOf(Subscriber& s, int port, const QString& topic, const QByteArray& payload,
                     const QStringList& extra = {})
    {
        const qsizetype before = s.payloads(kResult).size();
        if (!publishOnce(port, topic, payload, extra) ||
            !waitUntil([&] { return s.payloads(kResult).size() > before; }, 10000))
            return {};
        return s.payloads(kResult).value(before);
    }

    QTemporaryDir work;
    QString logDir, link, commandLog;
    Child sim, service;
};

QJsonObject json(const QString& payload) { return QJsonDocument::fromJson(payload.toUtf8()).object(); }

} // namespace

TEST_F(LogdEndToEnd, DiscoveryStateAndACleanStop)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    startSim({"--interval", "200"});
    QElapsedTimer running;
    running.start();
    startService(brokerArgs(broker.port()));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kState).size() >= 10; }, 20000))
        << service.err().join('\n').toStdString();
    // The records read and the last record's time, which change with every record, at most once a
    // minute: Home Assistant stores a row for every change.
    const QStringList diagnostics = all.payloads(QStringLiteral("tarlo02/tank/diagnostics"));
    EXPECT_LE(diagnostics.size(), 1 + running.elapsed() / 60000);
    ASSERT_FALSE(diagnostics.isEmpty());
    EXPECT_EQ(json(diagnostics[0]).value("records"), QJsonValue(1));

    // Without --allow-commands the numbers' and buttons' configs are empty: none of them.
    for (const MqttMessage& m : discoveryMessages({"tarlo02", "tank"}, {0, false, TARLO_VERSION}))
        EXPECT_EQ(all.payloads(m.topic), QStringList{QString::fromUtf8(m.payload)}) << m.topic.toStdString();
    const QString phConfig =
        R"j({"availability_topic":"tarlo02/tank/availability","default_entity_id":"sensor.tarlo02_tank_ph",)j"
        R"j("device":{"identifiers":["tarlo02_tank"],"manufacturer":"Tarlo","model":"Tarlo-02 (USB)",)j"
        R"j("name":"Tarlo-02 tank","sw_version":")j" TARLO_VERSION R"j("},"device_class":"ph",)j"
        R"j("json_attributes_template":"{{ {'above': value_json.ph_above} | tojson }}",)j"
        R"j("json_attributes_topic":"tarlo02/tank/state","name":"pH","object_id":"tarlo02_tank_ph",)j"
        R"j("origin":{"name":"tarlo02-logd","sw_version":")j" TARLO_VERSION
        R"j("},"payload_available":"online",)j"
        R"j("payload_not_available":"offline","state_class":"measurement","state_topic":"tarlo02/tank/state",)j"
        R"j("unique_id":"tarlo02_tank_ph","value_template":"{{ value_json.ph }}"})j";
    EXPECT_EQ(all.payloads(QStringLiteral("homeassistant/sensor/tarlo02_tank/ph/config")),
              QStringList{phConfig});
    EXPECT_EQ(all.payloads(kAvailability).value(all.payloads(kAvailability).size() - 1), "online");

    const QJsonObject state = json(all.payloads(kState).last());
    EXPECT_EQ(state.keys(),
              (QStringList{"alarm", "alarm_high", "alarm_low", "brightness", "co2_out", "co2_ppm",
                           "co2_ppm_above", "contrast", "in_alarm", "kh", "log", "o2_out", "ph", "ph_above",
                           "ph_max", "ph_min", "records", "refused", "time"}));
    EXPECT_EQ(state.value("log").toString(), "writing");
    EXPECT_EQ(state.value("refused").toInt(), 0);
    EXPECT_GE(state.value("records").toInt(), 3);
    // The simulator's factory settings with KH 5.
    EXPECT_EQ(state.value("ph_min").toDouble(), 6.9);
    EXPECT_EQ(state.value("ph_max").toDouble(), 7.1);
    EXPECT_EQ(state.value("alarm_low").toDouble(), 6.7);
    EXPECT_EQ(state.value("alarm_high").toDouble(), 7.3);
    EXPECT_EQ(state.value("kh").toInt(), 5);
    EXPECT_TRUE(state.value("ph").isDouble());
    EXPECT_TRUE(state.value("co2_out").isBool());
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)")
                    .match(state.value("time").toString())
                    .hasMatch());

    // SIGTERM: exit 0, the log finished under its end stamp, "offline" retained.
    EXPECT_EQ(service.stop(), 0) << service.err().join('\n').toStdString();
    EXPECT_EQ(countLines(service.err(), "QFSFileEngine"), 0) << "stray lines from Qt";
    const QStringList files = logFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \{\d{6}\}    \d{4}-\d\d-\d\d \{\d{6}\}\.csv$)")
                    .match(files[0])
                    .hasMatch())
        << files[0].toStdString();
    const QStringList rows =
        readText(QDir(logDir).filePath(files[0])).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_GE(rows.size(), 2);
    EXPECT_EQ(rows[0], "Time;PH;PHmin;PHmax;PPM;KH;Alarm;OUT O2;OUT CO2");
    EXPECT_EQ(rows[1].section(u';', 2, 3), "6,90;7,10");
    EXPECT_EQ(rows[1].section(u';', 5, 6), "5;20");
    Subscriber late;
    late.start(broker.port(), kAvailability);
    ASSERT_TRUE(waitUntil([&] { return !late.payloads(kAvailability).isEmpty(); }, 10000));
    EXPECT_EQ(late.payloads(kAvailability, true), QStringList{"offline"});
}

TEST_F(LogdEndToEnd, TwoTanksOfOneNameInTwoRoomsKeepTheirConnections)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    startSim({"--interval", "200"});
    // The same --id under another prefix, on its own simulator; then a twin of the first, same
    // prefix and id, whose broker (MQTT 5) tells of each takeover.
    Child sim2, other, twin;
    const QString link2 = work.filePath(QStringLiteral("tarlo-link2"));
    sim2.start(QStringLiteral(TARLO02_SIM_PATH), {"--link", link2, "--interval", "200"});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(link2); }, 10000));
    const QString logDir2 = work.filePath(QStringLiteral("logs2"));
    ASSERT_TRUE(QDir().mkpath(logDir2));
    startService(brokerArgs(broker.port()));
    other.start(QStringLiteral(TARLO02_LOGD_PATH), QStringList{"--port", link2, "--log-dir", logDir2, "--id",
                                                               "tank", "--prefix", "room2/tarlo02"} +
                                                       brokerArgs(broker.port()));
    const QString state2 = QStringLiteral("room2/tarlo02/tank/state");
    ASSERT_TRUE(waitUntil(
        [&] { return all.payloads(kState).size() >= 10 && all.payloads(state2).size() >= 10; }, 30000))
        << service.err().join('\n').toStdString() << other.err().join('\n').toStdString();
    for (Child* c : {&service, &other}) {
        EXPECT_EQ(countLines(c->err(), "MQTT connected"), 1) << c->err().join('\n').toStdString();
        EXPECT_EQ(countLines(c->err(), "MQTT broker"), 0) << c->err().join('\n').toStdString();
    }
    EXPECT_EQ(all.payloads(kAvailability), QStringList({"offline", "online"}));
    EXPECT_EQ(all.payloads(QStringLiteral("room2/tarlo02/tank/availability")),
              QStringList({"offline", "online"}));

    twin.start(QStringLiteral(TARLO02_LOGD_PATH),
               QStringList{"--port", link2, "--log-dir", logDir2, "--id", "tank", "--mqtt-version", "5"} +
                   brokerArgs(broker.port()));
    // The twin and the first take the connection from each other a few times: one line each.
    ASSERT_TRUE(waitUntil([&] { return countLines(twin.err(), "took its connection over") == 1; }, 60000))
        << twin.err().join('\n').toStdString();
    ASSERT_TRUE(waitUntil([&] { return countLines(service.err(), "took its connection over") == 1; }, 60000))
        << service.err().join('\n').toStdString();
    const auto takeovers = [&] { return countLines(all.messages(), "tarlo02/tank/availability"); };
    const int seen = takeovers();
    ASSERT_TRUE(waitUntil([&] { return takeovers() >= seen + 2; }, 60000));
    for (Child* c : {&service, &twin}) {
        const QStringList err = c->err();
        EXPECT_EQ(countLines(err, "took its connection over"), 1) << err.join('\n').toStdString();
        EXPECT_TRUE(err.filter("took its connection over").value(0).contains("--id"));
        EXPECT_LE(countLines(err, "MQTT broker"), 1) << err.join('\n').toStdString();
    }
    EXPECT_EQ(countLines(other.err(), "MQTT connected"), 1);
}

TEST_F(LogdEndToEnd, EveryRecordIsHandledAsItArrives)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    // The test is the controller, on a pseudo-terminal of its own.
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const QString device = QString::fromLocal8Bit(ttyname(slave));
    ::close(slave);
    service.start(QStringLiteral(TARLO02_LOGD_PATH),
                  QStringList{"--port", device, "--log-dir", logDir, "--id", "tank"} +
                      brokerArgs(broker.port()));
    const QString fds = QStringLiteral("/proc/%1/fd").arg(service.pid());
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const QFileInfo& fd : QDir(fds).entryInfoList(QDir::Files | QDir::System))
                if (fd.symLinkTarget() == device)
                    return true;
            return false;
        },
        10000));
    auto send = [&](const QByteArray& text) {
        return ::write(master, text.data(), size_t(text.size())) == text.size();
    };
    // Each record is complete once the next one's "-" follows it, as a controller sends them.
    ASSERT_TRUE(send("-\r\n"));
    for (int k = 1; k <= 4; ++k) {
        ASSERT_TRUE(send(
            QStringLiteral("7,%1\r\n6,80\r\n7,40\r\n12,3\r\n5\r\n20\r\n1\r\n0\r\n100\r\n14\r\n \r\n-\r\n")
                .arg(k, 2, 10, QChar(u'0'))
                .toLatin1()));
        ASSERT_TRUE(waitUntil(
            [&] {
                return !all.payloads(kState).isEmpty() &&
                       json(all.payloads(kState).last()).value("records").toInt() == k;
            },
            10000))
            << "record " << k << ": " << all.payloads(kState).join('\n').toStdString();
        EXPECT_EQ(json(all.payloads(kState).last()).value("ph").toDouble(), 7 + k / 100.0);
    }
    EXPECT_EQ(all.payloads(kState).size(), 4);
    ::close(master);
}

TEST_F(LogdEndToEnd, BrokerAwayAndBackGetsTheNewestStateAndTheLogHasNoGap)
{
    const int port = freePort();
    auto broker = std::make_unique<Broker>();
    ASSERT_TRUE(broker->start(work.path(), port));
    startSim({"--interval", "200"});
    startService(brokerArgs(port));
    {
        Subscriber s;
        subscribeAll(s, port);
        ASSERT_TRUE(waitUntil([&] { return !s.payloads(kState).isEmpty(); }, 20000));
    }
    broker.reset();
    ASSERT_TRUE(waitUntil([&] { return countLines(service.err(), "MQTT broker 127.0.0.1") >= 1; }, 20000));
    // Away for 8 s rather than 20: the back-off has made several attempts by then (1, 2, 4 s),
    // which is what a longer outage adds; the log must go on meanwhile.
    waitUntil([] { return false; }, 8000);
    const QTime back = QTime::currentTime();
    broker = std::make_unique<Broker>();
    ASSERT_TRUE(broker->start(work.path(), port));
    ASSERT_TRUE(waitUntil([&] { return countLines(service.err(), "MQTT connected") == 2; }, 60000))
        << service.err().join('\n').toStdString();
    // A restarted broker keeps nothing: a retained state there was published after reconnecting.
    Subscriber s;
    s.start(port, QStringLiteral("#"));
    ASSERT_TRUE(waitUntil([&] { return !s.payloads(kState, true).isEmpty(); }, 20000))
        << service.err().join('\n').toStdString();
    const QTime stateTime = QTime::fromString(
        json(s.payloads(kState, true).first()).value("time").toString().mid(11, 8), "HH:mm:ss");
    // Records arrive every 200 ms: the newest state is from after the broker came back.
    EXPECT_LE(stateTime.secsTo(back), 1) << "the state is older than the reconnect";
    // The reconnect sends availability and discovery again, perhaps after the state this
    // subscriber waited for: retained or live to it, each once.
    const QString config = QStringLiteral("homeassistant/sensor/tarlo02_tank/ph/config");
    ASSERT_TRUE(waitUntil(
        [&] { return !s.payloads(kAvailability).isEmpty() && !s.payloads(config).isEmpty(); }, 20000));
    EXPECT_EQ(s.payloads(kAvailability), QStringList{"online"});
    EXPECT_EQ(s.payloads(config).size(), 1);

    ASSERT_EQ(service.stop(), 0);
    const QStringList err = service.err();
    EXPECT_EQ(countLines(err, "MQTT broker 127.0.0.1"), 1) << err.join('\n').toStdString(); // not one per try
    EXPECT_EQ(countLines(err, "MQTT connected"), 2);
    // One row for every clock minute from the first record to the stop.
    const QStringList rows =
        readText(QDir(logDir).filePath(logFiles().value(0))).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_GE(rows.size(), 2);
    for (int i = 2; i < rows.size(); ++i) {
        const QTime prev = QTime::fromString(rows[i - 1].left(5), "HH:mm");
        const QTime cur = QTime::fromString(rows[i].left(5), "HH:mm");
        EXPECT_EQ(prev.addSecs(60), cur) << rows[i - 1].toStdString() << " / " << rows[i].toStdString();
    }
}

TEST_F(LogdEndToEnd, DeviceUnpluggedIsOfflineAtOnceAndBackIsOneOutage)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    // Away for 10 s: long enough for a command to find it away, whatever the machine's pace.
    startSim({"--interval", "200", "--unplug-after", "2", "--replug-after", "10"});
    startService(brokerArgs(broker.port()) + QStringList{"--allow-commands"});
    ASSERT_TRUE(waitUntil([&] { return countLines(service.err(), "lost:") == 1; }, 30000))
        << service.err().join('\n').toStdString();
    // Seen as the hang-up it is, not after 15 s of silence; offline is told with it.
    EXPECT_EQ(countLines(service.err(), "gone away (unplugged or hung up)"), 1)
        << service.err().join('\n').toStdString();
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kAvailability).last() == "offline"; }, 10000));
    // A command while it is away: refused in plain words.
    const QJsonObject away =
        json(resultOf(all, broker.port(), QStringLiteral("tarlo02/tank/command"), "restart"));
    EXPECT_EQ(away.value("ok"), QJsonValue(false));
    const QString error = away.value("error").toString();
    EXPECT_TRUE(error.contains("not connected") && !error.contains("Error:") && !error.contains("function"))
        << error.toStdString();

    ASSERT_TRUE(waitUntil([&] { return countLines(service.err(), "back after") == 1; }, 90000))
        << service.err().join('\n').toStdString();
    EXPECT_TRUE(waitUntil([&] { return all.payloads(kAvailability).last() == "online"; }, 10000));
    ASSERT_EQ(service.stop(), 0);
    const QStringList err = service.err();
    EXPECT_EQ(countLines(err, "lost:"), 1) << err.join('\n').toStdString();
    EXPECT_EQ(countLines(err, "back after"), 1);
    EXPECT_TRUE(commandLines().isEmpty());
    ASSERT_EQ(logFiles().size(), 1);
}

TEST_F(LogdEndToEnd, CommandsSendTheWindowsFrameAndRefuseBadObjects)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    const QString command = QStringLiteral("tarlo02/tank/command");
    // A retained command reaches the service on subscribing, and would again on every reconnect:
    // it is refused.
    ASSERT_TRUE(publishOnce(broker.port(), command, "restart", {"-r"}));
    startSim({"--interval", "200"});
    startService(brokerArgs(broker.port()) + QStringList{"--allow-commands", "--mqtt-version", "5"});
    // The service subscribes before it publishes anything on a connect.
    ASSERT_TRUE(waitUntil(
        [&] { return !all.payloads(kState).isEmpty() && all.payloads(kResult).size() == 1; }, 20000))
        << service.err().join('\n').toStdString();
    EXPECT_TRUE(all.payloads(kResult)[0].contains("retained commands are ignored"));
    ASSERT_TRUE(publishOnce(broker.port(), command, "", {"-r"}));
    // So is one published with the flag while the service is connected (MQTT 5 tells it).
    EXPECT_TRUE(
        resultOf(all, broker.port(), command, "restart", {"-r"}).contains("retained commands are ignored"));
    ASSERT_TRUE(publishOnce(broker.port(), command, "", {"-r"}));

    const QString set = QStringLiteral("tarlo02/tank/set");
    ASSERT_TRUE(
        publishOnce(broker.port(), set,
                    R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})"));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kResult).size() == 3; }, 10000));
    EXPECT_EQ(all.payloads(kResult)[2],
              R"({"command":"set","ok":true,"sent":"10001400701000609002000000000011"})");
    ASSERT_TRUE(waitUntil([&] { return commandLines().size() == 1; }, 10000));
    EXPECT_EQ(commandLines(), QStringList{"10001400701000609002000000000011"});

    const QByteArray bad[] = {
        "{",
        "[6.9]",
        R"({"ph_min":6.9})",
        R"({"ph_min":9.0,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14})",
        R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":"5","brightness":100,"contrast":14})",
        R"({"ph_min":6.9,"ph_max":7.1,"alarm":0.2,"kh":0,"brightness":100,"contrast":14,"mode":1})",
        // A key of 100 kB: refused unread, and not repeated anywhere.
        "{\"" + QByteArray(100000, 'k') + "\":1}",
    };
    for (const QByteArray& b : bad)
        ASSERT_TRUE(publishOnce(broker.port(), set, b));
    ASSERT_TRUE(publishOnce(broker.port(), command, "reboot"));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kResult).size() == 11; }, 10000))
        << all.payloads(kResult).join('\n').toStdString();
    const QStringList results = all.payloads(kResult);
    for (int i = 3; i < 11; ++i)
        EXPECT_EQ(json(results[i]).value("ok"), QJsonValue(false)) << results[i].toStdString();
    EXPECT_TRUE(results[9].contains("larger than 4096 bytes")) << results[9].left(200).toStdString();
    for (const QString& line : all.payloads(kResult) + service.err())
        EXPECT_LT(line.size(), 300) << line.left(200).toStdString();
    // The last command goes through once a second has passed since the settings were sent.
    QString sent;
    ASSERT_TRUE(waitUntil(
        [&] { return json(sent = resultOf(all, broker.port(), command, "restart")).value("ok").toBool(); },
        20000))
        << sent.toStdString();
    ASSERT_TRUE(waitUntil([&] { return commandLines().size() == 2; }, 10000));
    EXPECT_EQ(commandLines(), (QStringList{"10001400701000609002000000000011", QString(32, u'3')}));
}

TEST_F(LogdEndToEnd, ACommandFloodReachesTheControllerOnceASecondAndReadingGoesOn)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    startSim({"--interval", "200"});
    startService(brokerArgs(broker.port()) + QStringList{"--allow-commands"});
    ASSERT_TRUE(waitUntil([&] { return !all.payloads(kState).isEmpty(); }, 20000))
        << service.err().join('\n').toStdString();

    // 300 restarts as fast as one client can publish them, each answered.
    constexpr int kFlood = 300;
    QElapsedTimer span;
    span.start();
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                                "tarlo02/tank/command", "-q", "1", "-l"});
    ASSERT_TRUE(pub.waitForStarted(10000));
    // And 100 commands the service does not know.
    constexpr int kBad = 100;
    pub.write(QByteArray("restart\n").repeated(kFlood) + QByteArray("reboot\n").repeated(kBad));
    pub.closeWriteChannel();
    ASSERT_TRUE(pub.waitForFinished(30000));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kResult).size() == kFlood + kBad; }, 60000))
        << all.payloads(kResult).size();
    const qint64 seconds = span.elapsed() / 1000;
    const int statesAfter = int(all.payloads(kState).size());

    int sent = 0;
    for (const QString& r : all.payloads(kResult).mid(0, kFlood))
        if (json(r).value("ok").toBool())
            ++sent;
        else
            EXPECT_TRUE(r.contains("too soon")) << r.toStdString();
    for (const QString& r : all.payloads(kResult).mid(kFlood))
        EXPECT_TRUE(r.contains("unknown command")) << r.toStdString();
    // Each is answered; the journal tells the first and sums the rest up after a minute.
    EXPECT_EQ(countLines(service.err(), "unknown command"), 1) << service.err().join('\n').toStdString();
    EXPECT_GE(sent, 1);
    EXPECT_LE(sent, seconds + 1) << "in " << seconds << " s";
    ASSERT_TRUE(waitUntil([&] { return commandLines().size() >= sent; }, 10000));
    EXPECT_EQ(commandLines().size(), sent);
    // The journal tells a burst, not each command in it.
    EXPECT_LE(countLines(service.err(), "command on"), 2 * sent + 1)
        << service.err().join('\n').toStdString();
    // Records are read and published on: the controller pauses two seconds after a restart.
    EXPECT_TRUE(waitUntil([&] { return all.payloads(kState).size() >= statesAfter + 5; }, 20000));
}

namespace {

// Why Home Assistant would refuse a discovered config of this component, or nothing: the
// fields it requires, and the values it accepts where it restricts them.
QStringList haRefusals(const QString& component, const QJsonObject& c)
{
    const std::map<QString, QString> required = {{"sensor", "state_topic"},
                                                 {"binary_sensor", "state_topic"},
                                                 {"number", "command_topic"},
                                                 {"button", "command_topic"}};
    if (!required.count(component))
        return {"component " + component};
    QStringList why;
    // An entity of a device needs a unique id; the entity id it asks for is <component>.<id>.
    for (const QString& key : {required.at(component), QStringLiteral("unique_id")})
        if (c.value(key).toString().isEmpty())
            why << "no " + key;
    if (!QRegularExpression("^" + component + R"(\.[a-z0-9_]+$)")
             .match(c.value("default_entity_id").toString())
             .hasMatch())
        why << "default_entity_id";
    if (c.value("device").toObject().value("identifiers").toArray().isEmpty() ||
        c.value("origin").toObject().value("name").toString().isEmpty())
        why << "device identifiers or origin name";
    // Sensors cannot be configuration; only sensors keep statistics, timestamps none.
    const QString category = c.value("entity_category").toString("diagnostic");
    if (category != "diagnostic" && (category != "config" || component.endsWith("sensor")))
        why << "entity_category " + category;
    if (c.contains("state_class") && (component != "sensor" || c.value("device_class") == "timestamp" ||
                                      !QStringList{"measurement", "total", "total_increasing"}.contains(
                                          c.value("state_class").toString())))
        why << "state_class";
    if (component == "number" &&
        !(c.value("min").toDouble(1) < c.value("max").toDouble(100) && c.value("step").toDouble(1) > 0))
        why << "min, max or step";
    return why;
}

} // namespace

TEST_F(LogdEndToEnd, HomeAssistantFindsWhatItRequiresAndItsControlsWork)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    // A retained "online" is an earlier start of Home Assistant: it asks for nothing again.
    ASSERT_TRUE(publishOnce(broker.port(), kHaStatusTopic, "online", {"-r"}));
    Subscriber all;
    subscribeAll(all, broker.port());
    // KH 0, the controller's factory value.
    startSim({"--interval", "200", "--kh", "0"});
    startService(brokerArgs(broker.port()) + QStringList{"--allow-commands"});
    ASSERT_TRUE(waitUntil([&] { return !all.payloads(kState).isEmpty(); }, 20000))
        << service.err().join('\n').toStdString();
    EXPECT_EQ(all.payloads(QStringLiteral("homeassistant/sensor/tarlo02_tank/ph/config")).size(), 1);
    ASSERT_TRUE(publishOnce(broker.port(), kHaStatusTopic, "", {"-r"}));

    // The retained configs, as Home Assistant finds them when it subscribes.
    Subscriber ha;
    ha.start(broker.port(), QStringLiteral("homeassistant/#"));
    ASSERT_TRUE(waitUntil([&] { return ha.messages().size() >= 22; }, 10000)) << ha.messages().size();
    const QJsonObject state = json(all.payloads(kState).last());
    static const QRegularExpression field(R"(value_json\.([a-z0-9_]+))");
    std::map<QString, int> components;
    std::map<QString, QString> numberStates; // a number's entity id: its state, as Home Assistant shows it
    QJsonObject alarm, kh;
    for (const QString& m : ha.messages()) {
        const QString topic = m.section(u' ', 1, 1);
        const QString component = topic.section(u'/', 1, 1);
        const QJsonObject c = json(m.section(u' ', 2));
        EXPECT_EQ(haRefusals(component, c), QStringList{}) << topic.toStdString();
        ++components[component];
        // Whatever a template reads is in the state.
        for (const char* t : {"value_template", "json_attributes_template"})
            for (auto it = field.globalMatch(c.value(t).toString()); it.hasNext();)
                EXPECT_TRUE(state.contains(it.next().captured(1))) << topic.toStdString();
        // A null state is unknown to Home Assistant.
        const QJsonValue v = state.value(field.match(c.value("value_template").toString()).captured(1));
        if (component == "number")
            numberStates[c.value("default_entity_id").toString()] =
                v.isDouble() ? QString::number(v.toDouble()) : QStringLiteral("unknown");
        if (topic.endsWith("/number/tarlo02_tank/alarm/config"))
            alarm = c;
        if (topic.endsWith("/number/tarlo02_tank/kh/config"))
            kh = c;
    }
    EXPECT_EQ(numberStates["number.tarlo02_tank_kh"], "0");
    EXPECT_EQ(components,
              (std::map<QString, int>{{"binary_sensor", 3}, {"button", 2}, {"number", 6}, {"sensor", 11}}));

    // Home Assistant sets a number: its command template rendered with the new value (a whole
    // number as an int, as Home Assistant passes it) and any other entity's state as it stands.
    auto render = [&](const QJsonObject& config, double value) {
        QString t = config.value("command_template")
                        .toString()
                        .replace("{{ value }}", value == std::floor(value) ? QString::number(qint64(value))
                                                                           : QString::number(value));
        static const QRegularExpression states(R"(\{\{ states\('([a-z0-9_.]+)'\) \}\})");
        for (QRegularExpressionMatch m; (m = states.match(t)).hasMatch();)
            t.replace(m.capturedStart(), m.capturedLength(), numberStates[m.captured(1)]);
        EXPECT_FALSE(t.contains("{{")) << t.toStdString();
        return t.toUtf8();
    };
    // KH 0 set from its number, and a threshold of 0,90, which puts both limits on a whole pH:
    // 6,90 - 0,90, 7,10 + 0,90.
    ASSERT_TRUE(publishOnce(broker.port(), kh.value("command_topic").toString(), render(kh, 0)));
    ASSERT_TRUE(waitUntil([&] { return !all.payloads(kResult).isEmpty(); }, 10000));
    EXPECT_EQ(json(all.payloads(kResult)[0]).value("sent").toString().mid(21, 3), "000")
        << all.payloads(kResult)[0].toStdString();
    ASSERT_TRUE(waitUntil([&] { return commandLines().size() == 1; }, 10000));
    // One command a second reaches the controller.
    ASSERT_TRUE(waitUntil(
        [&] {
            const qsizetype before = all.payloads(kResult).size();
            if (!publishOnce(broker.port(), alarm.value("command_topic").toString(), render(alarm, 0.9)) ||
                !waitUntil([&] { return all.payloads(kResult).size() > before; }, 10000))
                return false;
            return json(all.payloads(kResult).last()).value("ok").toBool();
        },
        20000))
        << all.payloads(kResult).join('\n').toStdString();
    ASSERT_TRUE(
        waitUntil([&] { return json(all.payloads(kState).last()).value("alarm").toDouble() == 0.9; }, 20000));
    const QJsonObject limits = json(all.payloads(kState).last());
    EXPECT_EQ(limits.value("alarm_low"), QJsonValue(6.0));
    EXPECT_EQ(limits.value("alarm_high"), QJsonValue(8.0));
    EXPECT_EQ(limits.value("in_alarm"), QJsonValue(false));

    // Home Assistant starting again gets the discovery and the newest state once more: every
    // other state is new (the records read count up).
    const QString phConfig = QStringLiteral("homeassistant/sensor/tarlo02_tank/ph/config");
    ASSERT_EQ(all.payloads(kState).removeDuplicates(), 0);
    ASSERT_TRUE(publishOnce(broker.port(), kHaStatusTopic, "online"));
    EXPECT_TRUE(waitUntil(
        [&] {
            QStringList states = all.payloads(kState);
            return all.payloads(phConfig).size() == 2 && states.removeDuplicates() == 1;
        },
        20000));

    // However many births arrive, one round in five seconds, and one after the last of them.
    QElapsedTimer flood;
    flood.start();
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                                kHaStatusTopic, "-q", "1", "-l"});
    ASSERT_TRUE(pub.waitForStarted(10000));
    pub.write(QByteArray("online\n").repeated(300));
    pub.closeWriteChannel();
    ASSERT_TRUE(pub.waitForFinished(30000));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(phConfig).size() >= 3; }, 20000));
    EXPECT_LE(all.payloads(phConfig).size(), 3 + flood.elapsed() / 5000);
}

TEST_F(LogdEndToEnd, AHugePublishNeverReachesTheServiceUnderMqtt5)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    startSim({"--interval", "200"});
    startService(brokerArgs(broker.port()) + QStringList{"--mqtt-version", "5"});
    ASSERT_TRUE(waitUntil([&] { return !all.payloads(kState).isEmpty(); }, 20000))
        << service.err().join('\n').toStdString();
    // 100 MB to a topic the service takes: the broker drops it for the service, which said how
    // large a packet it takes when it connected.
    const QString big = work.filePath(QStringLiteral("big"));
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray mb(1024 * 1024, 'x');
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(f.write(mb), mb.size());
    }
    QProcess pub;
    pub.start(QStringLiteral("mosquitto_pub"), {"-h", "127.0.0.1", "-p", QString::number(broker.port()), "-t",
                                                kHaStatusTopic, "-q", "1", "-f", big});
    ASSERT_TRUE(pub.waitForFinished(60000));
    ASSERT_EQ(pub.exitCode(), 0) << pub.readAllStandardError().toStdString();
    QFile::remove(big);
    // A birth after it: once it is answered, the huge one has come or gone before it.
    const QString phConfig = QStringLiteral("homeassistant/sensor/tarlo02_tank/ph/config");
    ASSERT_TRUE(publishOnce(broker.port(), kHaStatusTopic, "online"));
    ASSERT_TRUE(waitUntil([&] { return all.payloads(phConfig).size() == 2; }, 20000));
    const QString status = readText(QStringLiteral("/proc/%1/status").arg(service.pid()));
    const qint64 peakKiB = QRegularExpression(R"(VmHWM:\s+(\d+) kB)").match(status).captured(1).toLongLong();
    EXPECT_GT(peakKiB, 0);
    EXPECT_LT(peakKiB, 64 * 1024);
    EXPECT_TRUE(service.running());
}

namespace {
bool run(const QString& dir, const QString& program, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A certificate for `name` signed by the test's CA, with the given subjectAltName.
bool makeCertificate(const QString& dir, const QString& name, const QString& altName)
{
    QFile ext(QDir(dir).filePath(name + ".ext"));
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write(("subjectAltName=" + altName + "\n").toUtf8());
    ext.close();
    return run(dir, "openssl",
               {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                name + ".key", "-out", name + ".csr", "-subj", "/CN=" + name}) &&
           run(dir, "openssl",
               {"x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial",
                "-out", name + ".crt", "-days", "2", "-extfile", name + ".ext"});
}
} // namespace

TEST_F(LogdEndToEnd, TlsWithClientCertificateAndCredentialsFile)
{
    const QString d = work.path();
    ASSERT_TRUE(run(d, "openssl",
                    {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=Tarlo test CA"}));
    ASSERT_TRUE(makeCertificate(d, "server", "IP:127.0.0.1"));
    ASSERT_TRUE(makeCertificate(d, "client", "DNS:tank"));
    ASSERT_TRUE(run(d, "mosquitto_passwd", {"-c", "-b", "passwords", "tank", "s3cret pass"}));
    QFile cred(QDir(d).filePath("credentials"));
    ASSERT_TRUE(cred.open(QIODevice::WriteOnly));
    cred.write("tank\ns3cret pass\n");
    cred.close();

    const int port = freePort();
    Broker broker;
    ASSERT_TRUE(broker.start(
        d, port,
        QStringLiteral("cafile %1/ca.crt\ncertfile %1/server.crt\nkeyfile %1/server.key\n"
                       "require_certificate true\nallow_anonymous false\npassword_file %1/passwords\n")
            .arg(d)));
    const QStringList tls{"--cafile", d + "/ca.crt", "--cert", d + "/client.crt", "--key", d + "/client.key",
                          "-u",       "tank",        "-P",     "s3cret pass"};
    Subscriber all;
    subscribeAll(all, port, tls);

    QFile ini(QDir(d).filePath("logd.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral(
                  "broker = 127.0.0.1:%1\nmqtt-version = 5\nca-file = %2/ca.crt\ncert-file = %2/client.crt\n"
                  "key-file = %2/client.key\ncredentials-file = %2/credentials\n")
                  .arg(port)
                  .arg(d)
                  .toUtf8());
    ini.close();
    startSim({"--interval", "200"});
    startService({"--config", ini.fileName()});
    ASSERT_TRUE(waitUntil([&] { return !all.payloads(kState).isEmpty(); }, 20000))
        << service.err().join('\n').toStdString();
    EXPECT_EQ(json(all.payloads(kState).last()).value("kh").toInt(), 5);
    EXPECT_EQ(service.stop(), 0) << service.err().join('\n').toStdString();

    // A CA that did not sign the broker's certificate: told at once, naming the broker and why.
    ASSERT_TRUE(run(d, "openssl",
                    {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                     "-keyout", "other.key", "-out", "other.crt", "-days", "2", "-subj", "/CN=Another CA"}));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(QStringLiteral("ca-file = %1/other.crt\n").arg(d).toUtf8());
    ini.close();
    Child wrong;
    wrong.start(QStringLiteral(TARLO02_LOGD_PATH),
                {"--port", link, "--log-dir", logDir, "--id", "tank", "--broker",
                 QStringLiteral("127.0.0.1:%1").arg(port), "--config", ini.fileName()});
    const QString told =
        QStringLiteral("MQTT broker 127.0.0.1:%1 unreachable (TLS handshake failed").arg(port);
    EXPECT_TRUE(waitUntil([&] { return countLines(wrong.err(), told) == 1; }, 10000))
        << wrong.err().join('\n').toStdString();
    EXPECT_EQ(countLines(wrong.err(), QStringLiteral("certificate verify failed")), 1)
        << wrong.err().join('\n').toStdString();
    wrong.stop();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {
// The topics holding a retained message on the broker now, of the controllers' own.
QStringList retainedNow(int port)
{
    Subscriber s;
    s.start(port, QStringLiteral("#"));
    // A message published once the subscription is live comes after every retained one.
    if (!waitUntil(
            [&] { return publishOnce(port, "test/marker", "1") && !s.payloads("test/marker").isEmpty(); },
            20000))
        return {"no subscription"};
    QStringList topics;
    for (const QString& m : s.messages())
        if (m.startsWith("1 tarlo02/") || m.startsWith("1 homeassistant/"))
            topics << m.section(u' ', 1, 1);
    return topics;
}
} // namespace

TEST_F(LogdEndToEnd, HangUpReadsTheConfigAgainAndLosesNothing)
{
    Broker broker;
    ASSERT_TRUE(broker.start(work.path(), freePort()));
    Subscriber all;
    subscribeAll(all, broker.port());
    startSim({"--interval", "200"});
    const QString config = work.filePath(QStringLiteral("logd.ini"));
    auto writeConfig = [&](const QByteArray& text) {
        QFile f(config);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    writeConfig("link = USB\nid = tank\n");
    service.start(QStringLiteral(TARLO02_LOGD_PATH),
                  QStringList{"--config", config, "--port", link, "--log-dir", logDir} +
                      brokerArgs(broker.port()));
    ASSERT_TRUE(waitUntil([&] { return logFiles().size() == 1 && !all.payloads(kState).isEmpty(); }, 10000))
        << service.err().join('\n').toStdString();
    // Sends SIGHUP and waits for the answer's `times`th line.
    auto hangUp = [&](const QString& answer, int times = 1) {
        ::kill(pid_t(service.pid()), SIGHUP);
        return waitUntil([&] { return countLines(service.err(), answer) == times; }, 10000);
    };

    // Unchanged, unreadable, or naming a file that cannot be read: the service goes on, its log
    // unfinished and its availability online throughout.
    EXPECT_TRUE(hangUp(QStringLiteral("reload: the settings are unchanged")));
    writeConfig("link = CAN\nid = tank\n");
    EXPECT_TRUE(hangUp(QStringLiteral("reload: bad link 'CAN'")));
    writeConfig("link = WIFI\nid = tank\nca-file = " + work.filePath("missing.crt").toUtf8() + "\n");
    EXPECT_TRUE(
        hangUp(QStringLiteral("reload: ca-file '%1' cannot be read").arg(work.filePath("missing.crt"))))
        << service.err().join('\n').toStdString();
    const qsizetype states = all.payloads(kState).size();
    ASSERT_TRUE(waitUntil([&] { return all.payloads(kState).size() > states; }, 10000)) << "reading goes on";
    ASSERT_TRUE(service.running());
    ASSERT_EQ(logFiles().size(), 1);
    EXPECT_FALSE(logFiles()[0].contains(QStringLiteral("    "))) << "the log goes on";
    const QStringList availability = all.payloads(kAvailability);
    EXPECT_EQ(availability.mid(availability.indexOf("online")), QStringList{"online"});

    // Changed, to another id: the log is finished with its end stamp, reading starts again, and
    // what was published under the old id is cleared.
    writeConfig("link = WIFI\nid = tank2\n");
    EXPECT_TRUE(hangUp(QStringLiteral("reload: new settings")));
    ASSERT_TRUE(waitUntil([&] { return logFiles().size() == 2; }, 10000))
        << service.err().join('\n').toStdString();
    EXPECT_TRUE(logFiles()[0].contains(QStringLiteral("    ")));
    ASSERT_TRUE(waitUntil([&] { return !all.payloads("tarlo02/tank2/state").isEmpty(); }, 10000));
    const QStringList renamed = retainedNow(broker.port());
    EXPECT_EQ(renamed.filter(QRegularExpression("tarlo02/tank/|tarlo02_tank/")), QStringList{})
        << renamed.join(' ').toStdString();
    // The 14 sensors (no controls without commands).
    EXPECT_EQ(renamed.filter("tarlo02_tank2/").size(), 14) << renamed.join(' ').toStdString();

    // The same settings naming a file whose contents changed (a new password under the same
    // name) are a change; the file as it is, none.
    const QString credentials = work.filePath(QStringLiteral("credentials"));
    auto writeCredentials = [&](const QByteArray& text) {
        QFile f(credentials);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    };
    writeCredentials("tank\nfirst\n");
    writeConfig("link = WIFI\nid = tank2\ncredentials-file = " + credentials.toUtf8() + "\n");
    // Each reload waits until the service it started reads (a hang-up while the last one still
    // stops the old service is not taken).
    const auto restarted = [&](int times) {
        return waitUntil(
            [&] { return countLines(service.err(), QStringLiteral("reading ") + link) == times; }, 10000);
    };
    EXPECT_TRUE(hangUp(QStringLiteral("reload: new settings"), 2));
    ASSERT_TRUE(restarted(3));
    writeCredentials("tank\nsecond\n");
    EXPECT_TRUE(hangUp(QStringLiteral("reload: new settings"), 3)) << service.err().join('\n').toStdString();
    ASSERT_TRUE(restarted(4));
    EXPECT_TRUE(hangUp(QStringLiteral("reload: the settings are unchanged"), 2));
    EXPECT_TRUE(service.running());
    EXPECT_EQ(service.stop(), 0);

    // The board retired: its device goes from the broker, and so from Home Assistant.
    QProcess remove;
    remove.start(QStringLiteral(TARLO02_LOGD_PATH),
                 QStringList{"--config", config, "--port", link, "--remove-device"} +
                     brokerArgs(broker.port()));
    ASSERT_TRUE(remove.waitForFinished(30000));
    EXPECT_EQ(remove.exitCode(), 0) << remove.readAllStandardError().toStdString();
    EXPECT_EQ(retainedNow(broker.port()), QStringList{});
}
