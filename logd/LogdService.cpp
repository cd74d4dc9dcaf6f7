#include "LogdService.h"

#include "ControllerPort.h"
#include "MqttCommands.h"
#include "MqttLink.h"
#include "SerialPort.h"
#include "StatePayload.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopedValueRollback>

namespace {

// A port error in the service's own words.
QString plainPortError(const std::exception& e)
{
    if (const auto* c = dynamic_cast<const EComPort*>(&e))
        return portErrorText(c->PortCode, c->SystemCode);
    return QString::fromUtf8(e.what());
}

} // namespace

LogdService::LogdService(LogdOptions options, Clock clock, JournalLog journal)
    : options_(std::move(options)), clock_(std::move(clock)),
      journal_(journal), topics_{options_.prefix, options_.id}, port_(std::make_unique<TComPort>()),
      log_(options_.logDir, clock_), watch_(options_.port)
{
    configureControllerPort(*port_);
    port_->SetPort(options_.port.toStdString());
    port_->OnRxChar = [this](QObject*, int count) { onRxChar(count); };
    // The port tells a hang-up or an unplug as the carrier lost. Its own open and close
    // report the line too; those are not news.
    port_->OnRLSDChange = [this](QObject*, bool on) {
        if (!on && !switchingPort_ && !stopping_)
            checkPort();
    };
    // A read that fails (the device went away) ends the port's deliveries; the tick reopens it.
    port_->OnException = [this](QObject*, std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            portLost(plainPortError(ex));
        } catch (...) {
            portLost(QStringLiteral("its deliveries ended"));
        }
    };
    steady_.start();
    // Once a second: the midnight and the reopen rhythm are both told in seconds, and the
    // service's cost at rest is mostly its wake-ups.
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &LogdService::onTick);
}

LogdService::~LogdService()
{
    // The link and its socket notifiers go on the thread they live on.
    if (link_ && mqttThread_.isRunning())
        QMetaObject::invokeMethod(
            link_, [link = link_] { delete link; }, Qt::BlockingQueuedConnection);
    else
        delete link_;
    mqttThread_.quit();
    mqttThread_.wait();
}

QString LogdService::prepare()
{
    if (options_.brokerHost.isEmpty())
        return {};
    if (QString e = checkNamedFiles(options_); !e.isEmpty())
        return e;
    tell(credentialsWarning(options_.credentialsFile), JournalLog::Warning);
    MqttSettings s;
    s.host = options_.brokerHost;
    s.port = options_.effectiveBrokerPort();
    s.protocolVersion = options_.mqttVersion;
    s.clientId = topics_.clientId();
    s.caFile = options_.caFile;
    s.certFile = options_.certFile;
    s.keyFile = options_.keyFile;
    s.will = {topics_.availability(), kOffline, true, 1};
    s.maxPayloadBytes = int(kMaxCommandBytes);
    if (options_.allowCommands)
        s.subscriptions = {topics_.set(), topics_.command()};
    s.subscriptions.append(kHaStatusTopic);
    if (!options_.credentialsFile.isEmpty()) {
        QFile f(options_.credentialsFile);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot read the credentials file '%1': %2")
                .arg(f.fileName(), f.errorString());
        const auto c = parseCredentials(QString::fromUtf8(f.readAll()));
        if (!c)
            return QStringLiteral("the credentials file '%1' has no user name on its first line")
                .arg(f.fileName());
        s.user = c->user;
        s.password = c->password;
    }
    link_ = new MqttLink(s);
    if (QString e = link_->prepare(); !e.isEmpty())
        return e;
    link_->moveToThread(&mqttThread_);
    connect(link_, &MqttLink::logLine, this,
            [this](int level, const QString& line) { journal_.write(JournalLog::Level(level), line); });
    connect(link_, &MqttLink::messageReceived, this, &LogdService::onMessage);
    connect(link_, &MqttLink::stopped, this, [this] { emit finished(); });
    return {};
}

void LogdService::start()
{
    journal_.info(QStringLiteral("reading %1, logging to %2%3")
                      .arg(options_.port, options_.logDir,
                           options_.brokerHost.isEmpty() ? QStringLiteral(", no broker")
                                                         : QStringLiteral(", publishing to %1:%2 as %3")
                                                               .arg(options_.brokerHost)
                                                               .arg(options_.effectiveBrokerPort())
                                                               .arg(topics_.base())));
    if (link_) {
        mqttThread_.start();
        if (retired_) {
            journal_.info(QStringLiteral("clearing what was published as %1").arg(retired_->base()));
            for (const MqttMessage& m : clearingMessages(*retired_))
                publish(m);
        }
        publishDiscovery();
        haRounds_.ran(steady_.elapsed());
        QMetaObject::invokeMethod(link_, &MqttLink::start, Qt::QueuedConnection);
    }
    setAvailable(false);
    reopenPort();
    tick_.start();
}

void LogdService::removeDevice(int timeoutMs)
{
    stopping_ = true; // no commands, no Home Assistant rounds
    const std::vector<MqttMessage> clear = clearingMessages(topics_);
    // The availability's empty message goes last: once the broker has it, it has all before it.
    const MqttMessage last = clear.back();
    auto finish = [this, last](bool connected) {
        if (removed_ || !connected)
            return;
        removed_ = true;
        journal_.info(QStringLiteral("removed %1 from the broker: %2 retained topics cleared")
                          .arg(topics_.base())
                          .arg(qsizetype(clearingMessages(topics_).size())));
        QMetaObject::invokeMethod(
            link_, [link = link_, last] { link->stop(last, 3000); }, Qt::QueuedConnection);
    };
    connect(link_, &MqttLink::connectedChanged, this, finish);
    QTimer::singleShot(timeoutMs, this, [this, last, timeoutMs] {
        if (removed_)
            return;
        journal_.error(QStringLiteral("could not reach the broker %1:%2 within %3 s; nothing was removed")
                           .arg(options_.brokerHost)
                           .arg(options_.effectiveBrokerPort())
                           .arg(timeoutMs / 1000));
        QMetaObject::invokeMethod(
            link_, [link = link_, last] { link->stop(last, 0); }, Qt::QueuedConnection);
    });
    mqttThread_.start();
    for (std::size_t i = 0; i + 1 < clear.size(); ++i)
        publish(clear[i]);
    QMetaObject::invokeMethod(link_, &MqttLink::start, Qt::QueuedConnection);
}

void LogdService::reopenPort()
{
    const QDateTime now = clock_();
    const QScopedValueRollback switching(switchingPort_, true);
    port_->ClosePort();
    stream_ = RecordStream{};
    try {
        port_->OpenPort();
    } catch (const std::exception& e) {
        tell(watch_.openFailed(now, plainPortError(e)), JournalLog::Warning);
        setAvailable(false);
        return;
    }
    watch_.opened(now);
}

void LogdService::onTick()
{
    tell(log_.tick());
    if (const auto heldBack = refusals_.summary(steady_.elapsed()))
        journal_.warning(QStringLiteral("%1 more commands refused in the last minute, each answered on %2")
                             .arg(*heldBack)
                             .arg(topics_.result()));
    if (watch_.tick(clock_()) == PortWatch::Action::Reopen) {
        tell(watch_.takeLine(), JournalLog::Warning);
        if (watch_.inOutage())
            setAvailable(false);
        reopenPort();
    }
}

void LogdService::checkPort()
{
    // What it received before is read first, as a delivery would have; a device that is gone
    // then fails the count.
    try {
        for (int count; (count = port_->InputPending()) > 0;)
            onRxChar(count);
    } catch (const std::exception& e) {
        portLost(plainPortError(e));
    }
}

void LogdService::portLost(const QString& why)
{
    tell(watch_.lost(clock_(), why), JournalLog::Warning);
    setAvailable(false);
}

void LogdService::onRxChar(int count)
{
    std::string received;
    port_->ReadText(received, count);
    receiveRecords(stream_, QString::fromLatin1(received.data(), qsizetype(received.size())), record_,
                   fields_, [this](const ReceivedRecord& r) {
                       if (r.complete())
                           onRecord(r);
                   });
}

void LogdService::onRecord(const ReceivedRecord& r)
{
    ++records_;
    const QDateTime now = clock_();
    // The row first: a broker that is away never costs a row.
    tell(log_.record(record_));
    tell(watch_.recordArrived(now), JournalLog::Info);
    setAvailable(true);
    const RecordValues values = recordValues(r);
    refused_ += values.refused;
    // Why rows are not written, or "writing" once a file is open.
    const QString logState = !log_.failure().isEmpty() ? log_.failure()
                             : log_.fileOpen()         ? QStringLiteral("writing")
                                                       : QStringLiteral("no log file open");
    lastState_ = {topics_.state(), statePayload(values, now, {records_, refused_, logState}), true, 0};
    publish(lastState_);
    if (const qint64 ms = steady_.elapsed(); !diagnosticsMs_ || ms - *diagnosticsMs_ >= 60000) {
        diagnosticsMs_ = ms;
        lastDiagnostics_ = {topics_.diagnostics(), diagnosticsPayload(records_, now), true, 0};
        publish(lastDiagnostics_);
    }
}

void LogdService::publish(const MqttMessage& m)
{
    if (link_)
        QMetaObject::invokeMethod(
            link_, [link = link_, m] { link->publish(m); }, Qt::QueuedConnection);
}

void LogdService::publishDiscovery()
{
    for (const MqttMessage& m : discoveryMessages(
             topics_, {options_.linkType, options_.allowCommands, QCoreApplication::applicationVersion()}))
        publish(m);
}

void LogdService::onMessage(const QString& topic, const QByteArray& payload, bool retained)
{
    if (topic != kHaStatusTopic) {
        handleCommand(topic, payload, retained);
        return;
    }
    // A Home Assistant that starts again may have lost what it knew: discovery, then the
    // newest state. A retained "online" is an old start, and a connect sends all of it anyway.
    // However many births arrive, one round in a few seconds.
    if (retained || payload != kOnline || stopping_)
        return;
    if (const auto delay = haRounds_.ask(steady_.elapsed()))
        QTimer::singleShot(*delay, this, &LogdService::announceAgain);
}

void LogdService::announceAgain()
{
    if (stopping_)
        return;
    haRounds_.ran(steady_.elapsed());
    publishDiscovery();
    for (const MqttMessage* m : {&lastState_, &lastDiagnostics_})
        if (!m->topic.isEmpty())
            publish(*m);
}

void LogdService::setAvailable(bool available)
{
    if (availabilityKnown_ && available == available_)
        return;
    availabilityKnown_ = true;
    available_ = available;
    publish({topics_.availability(), available ? kOnline : kOffline, true, 1});
}

void LogdService::handleCommand(const QString& topic, const QByteArray& payload, bool retained)
{
    // An empty message is how a retained one is deleted, not a command.
    if (stopping_ || payload.isEmpty())
        return;
    CommandCheck check;
    if (retained)
        // A retained command would be obeyed again on every reconnect.
        check = {topic == topics_.set() ? QStringLiteral("set") : QStringLiteral("command"),
                 {},
                 QStringLiteral("retained commands are ignored; publish without the retain flag")};
    else if (topic == topics_.set())
        check = checkSettingsCommand(payload, settingsFromFields(fields_));
    else
        check = checkDeviceCommand(payload);
    QString sendError, journalNote;
    bool tooSoon = false;
    if (check.accepted()) {
        const long long refusedBefore = commandLimiter_.refusedInARow();
        if (!watch_.isOpen()) {
            sendError = QStringLiteral("the controller is not connected (%1 is away); nothing was sent")
                            .arg(options_.port);
        } else if (!commandLimiter_.admit(steady_.elapsed())) {
            tooSoon = true;
            sendError = QStringLiteral("too soon after the last command: one a second is sent to the "
                                       "controller; this one was not sent");
            journalNote = QStringLiteral("; more refused as too soon get no line until one is sent");
        } else {
            if (refusedBefore > 0)
                journalNote = QStringLiteral("; %1 refused as too soon before it").arg(refusedBefore);
            sendError = writeCommand(check.writes);
        }
    }
    const QByteArray result = commandResult(check, sendError);
    // A flood of commands sent too soon is told by its first refusal and by the count before the
    // next command sent; other refusals by the first in a minute and a sum once it is over.
    const bool sent = check.accepted() && sendError.isEmpty();
    if (!sent && !tooSoon && refusals_.refused(steady_.elapsed()))
        journalNote = QStringLiteral("; further refusals within a minute are summed up");
    if (sent || (tooSoon ? commandLimiter_.refusedInARow() == 1 : !journalNote.isEmpty()))
        journal_.write(
            sent ? JournalLog::Info : JournalLog::Warning,
            QStringLiteral("command on %1: %2%3").arg(topic, QString::fromUtf8(result), journalNote));
    publish({topics_.result(), result, false, 1});
}

QString LogdService::writeCommand(const std::vector<QString>& pieces)
{
    int sent = 0;
    try {
        // Piece by piece, each written before the next, as the window sends.
        for (const QString& piece : pieces) {
            port_->WriteText(piece.toStdString());
            sent += int(piece.size());
        }
    } catch (const std::exception& e) {
        const QString why = plainPortError(e);
        portLost(why);
        return QStringLiteral("could not write to the controller: %1; %2")
            .arg(why, sent ? QStringLiteral("only %1 characters were sent").arg(sent)
                           : QStringLiteral("nothing was sent"));
    }
    return {};
}

void LogdService::stop()
{
    if (stopping_)
        return;
    stopping_ = true;
    tick_.stop();
    port_->ClosePort();
    tell(log_.finish());
    journal_.info(QStringLiteral("%1 records read; log finished: %2")
                      .arg(records_)
                      .arg(log_.fileName().isEmpty() ? QStringLiteral("none") : log_.fileName()));
    if (!link_) {
        emit finished();
        return;
    }
    const MqttMessage offline{topics_.availability(), kOffline, true, 1};
    QMetaObject::invokeMethod(
        link_, [link = link_, offline] { link->stop(offline, 3000); }, Qt::QueuedConnection);
}

void LogdService::tell(const std::optional<QString>& line, JournalLog::Level level)
{
    if (line)
        journal_.write(level, *line);
}

void LogdService::tell(const std::optional<ServiceLog::Note>& note)
{
    if (note)
        journal_.write(note->failure ? JournalLog::Error : JournalLog::Info, note->text);
}
