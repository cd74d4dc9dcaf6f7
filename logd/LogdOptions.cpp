#include "LogdOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QRegularExpression>

#include <map>

namespace {

using Values = std::map<QString, QString>;

// Keys the command line takes with a value; the config file takes these and kFileOnlyKeys.
const QStringList kArgKeys{QStringLiteral("port"),        QStringLiteral("log-dir"), QStringLiteral("broker"),
                           QStringLiteral("id"),          QStringLiteral("prefix"),  QStringLiteral("config"),
                           QStringLiteral("mqtt-version")};
const QStringList kFileOnlyKeys{
    QStringLiteral("link"),     QStringLiteral("ca-file"),          QStringLiteral("cert-file"),
    QStringLiteral("key-file"), QStringLiteral("credentials-file"), QStringLiteral("allow-commands")};

// Why a file cannot be read, in plain words.
QString whyUnreadable(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("it is a folder");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return f.errorString();
    return QStringLiteral("it cannot be read");
}

bool isTopicSafe(const QString& s)
{
    static const QRegularExpression ok(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return ok.match(s).hasMatch();
}

std::optional<bool> parseBool(const QString& v)
{
    const QString l = v.toLower();
    if (l == QLatin1String("true") || l == QLatin1String("yes") || l == QLatin1String("1") ||
        l == QLatin1String("on"))
        return true;
    if (l == QLatin1String("false") || l == QLatin1String("no") || l == QLatin1String("0") ||
        l == QLatin1String("off"))
        return false;
    return std::nullopt;
}

// key = value lines; "#" and ";" start comments; a [section] line is allowed and ignored.
std::optional<QString> parseConfig(const QString& text, const QString& path, Values& out)
{
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r?\n")));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';') ||
            (line.startsWith(u'[') && line.endsWith(u']')))
            continue;
        const QString where = QStringLiteral("%1:%2: ").arg(path).arg(i + 1);
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            return where + QStringLiteral("expected key = value");
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("config") || (!kArgKeys.contains(key) && !kFileOnlyKeys.contains(key)))
            return where + QStringLiteral("unknown key '%1'").arg(key);
        out[key] = value;
    }
    return std::nullopt;
}

std::optional<QString> applyValues(const Values& v, LogdOptions& o)
{
    auto get = [&v](const char* key) -> std::optional<QString> {
        const auto it = v.find(QString::fromLatin1(key));
        if (it == v.end())
            return std::nullopt;
        return it->second;
    };
    if (auto s = get("port"))
        o.port = *s;
    if (o.port.isEmpty())
        return QStringLiteral("no port: give --port PATH or port = PATH in the config file");
    if (auto s = get("log-dir")) {
        if (s->isEmpty())
            return QStringLiteral("--log-dir is empty");
        o.logDir = *s;
    }
    if (auto s = get("broker"); s && !s->isEmpty()) {
        static const QRegularExpression hostPort(
            QStringLiteral("^(\\[[^\\]]+\\]|[^:\\[\\]]+)(?::(\\d{1,5}))?$"));
        const auto m = hostPort.match(*s);
        if (!m.hasMatch())
            return QStringLiteral("bad --broker '%1': expected HOST or HOST:PORT").arg(*s);
        o.brokerHost = m.captured(1);
        if (o.brokerHost.startsWith(u'['))
            o.brokerHost = o.brokerHost.mid(1, o.brokerHost.size() - 2);
        if (m.hasCaptured(2)) {
            o.brokerPort = m.captured(2).toInt();
            if (o.brokerPort < 1 || o.brokerPort > 65535)
                return QStringLiteral("bad --broker '%1': port out of 1..65535").arg(*s);
        }
    }
    if (auto s = get("prefix")) {
        const QStringList levels = s->split(u'/');
        for (const QString& level : levels)
            if (!isTopicSafe(level))
                return QStringLiteral("bad --prefix '%1': topic levels of letters, digits, '_' and '-'")
                    .arg(*s);
        o.prefix = *s;
    }
    o.id = get("id").value_or(idFromPort(o.port));
    if (!isTopicSafe(o.id))
        return QStringLiteral("bad --id '%1': letters, digits, '_' and '-' only").arg(o.id);
    if (auto s = get("link")) {
        const QString l = s->toUpper();
        if (l == QLatin1String("USB"))
            o.linkType = 0;
        else if (l == QLatin1String("WIFI"))
            o.linkType = 1;
        else
            return QStringLiteral("bad link '%1': USB or WIFI").arg(*s);
    }
    if (auto s = get("mqtt-version")) {
        if (*s == QLatin1String("3.1.1") || *s == QLatin1String("311"))
            o.mqttVersion = 4;
        else if (*s == QLatin1String("5"))
            o.mqttVersion = 5;
        else
            return QStringLiteral("bad --mqtt-version '%1': 3.1.1 or 5").arg(*s);
    }
    if (auto s = get("allow-commands")) {
        const auto b = s->isEmpty() ? std::optional<bool>(true) : parseBool(*s);
        if (!b)
            return QStringLiteral("bad allow-commands '%1': true or false").arg(*s);
        o.allowCommands = *b;
    }
    // Only MQTT 5 shows the retain flag of a message that arrives while connected, so a
    // retained command can be refused: the default where commands are obeyed.
    if (o.allowCommands && !get("mqtt-version"))
        o.mqttVersion = 5;
    o.caFile = get("ca-file").value_or(QString());
    o.certFile = get("cert-file").value_or(QString());
    o.keyFile = get("key-file").value_or(QString());
    o.credentialsFile = get("credentials-file").value_or(QString());
    if (o.certFile.isEmpty() != o.keyFile.isEmpty())
        return QStringLiteral("cert-file and key-file go together");
    if (!o.certFile.isEmpty() && !o.tls())
        return QStringLiteral("a client certificate needs ca-file (TLS)");
    if (o.brokerHost.isEmpty() && (o.tls() || !o.credentialsFile.isEmpty() || o.allowCommands))
        return QStringLiteral("TLS, credentials and commands need a broker (--broker HOST[:PORT])");
    return std::nullopt;
}

} // namespace

std::optional<QStringList> listIniFiles(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringList();
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return std::nullopt;
    QStringList paths;
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

QString configAdditionsFolder(const QString& configFile)
{
    QString base = configFile;
    if (base.endsWith(QLatin1String(".ini")))
        base.chop(4);
    return base + QStringLiteral(".d");
}

CommandLine parseCommandLine(const QStringList& args, const FileReader& readFile,
                             const FolderLister& listFolder)
{
    CommandLine r;
    auto fail = [&r](const QString& e) {
        r.kind = CommandLine::Error;
        r.error = e;
        return r;
    };
    Values given;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            r.kind = CommandLine::Help;
            return r;
        }
        if (a == QLatin1String("--version")) {
            r.kind = CommandLine::Version;
            return r;
        }
        if (a == QLatin1String("--remove-device")) {
            r.removeDevice = true;
            continue;
        }
        if (a == QLatin1String("--allow-commands")) {
            given[QStringLiteral("allow-commands")] = QStringLiteral("true");
            continue;
        }
        if (!a.startsWith(QLatin1String("--")))
            return fail(QStringLiteral("unexpected argument '%1' (see --help)").arg(a));
        QString key = a.mid(2), value;
        const qsizetype eq = key.indexOf(u'=');
        if (eq >= 0) {
            value = key.mid(eq + 1);
            key.truncate(eq);
        }
        if (!kArgKeys.contains(key))
            return fail(kFileOnlyKeys.contains(key)
                            ? QStringLiteral("--%1 is read from the config file only").arg(key)
                            : QStringLiteral("unknown option --%1 (see --help)").arg(key));
        if (eq < 0) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--%1 needs a value").arg(key));
            value = args[++i];
        }
        given[key] = value;
    }
    Values merged;
    if (const auto it = given.find(QStringLiteral("config")); it != given.end()) {
        const std::optional<QString> text = readFile(it->second);
        if (!text)
            return fail(QStringLiteral("cannot read the config file '%1': %2")
                            .arg(it->second, whyUnreadable(it->second)));
        if (auto e = parseConfig(*text, it->second, merged))
            return fail(*e);
        // Settings of the system's own in files beside the packaged one, so an upgrade that
        // changes the packaged file never meets an edited one.
        const QString folder = configAdditionsFolder(it->second);
        const std::optional<QStringList> additions = listFolder(folder);
        if (!additions)
            return fail(QStringLiteral("cannot read the config folder '%1'").arg(folder));
        for (const QString& path : *additions) {
            const std::optional<QString> more = readFile(path);
            if (!more)
                return fail(QStringLiteral("cannot read the config file '%1'").arg(path));
            if (auto e = parseConfig(*more, path, merged))
                return fail(*e);
        }
        given.erase(it);
    }
    for (const auto& [k, v] : given)
        merged[k] = v;
    if (auto e = applyValues(merged, r.options))
        return fail(*e);
    if (r.removeDevice && r.options.brokerHost.isEmpty())
        return fail(QStringLiteral("--remove-device needs a broker (--broker HOST[:PORT])"));
    return r;
}

QString idFromPort(const QString& port)
{
    QString name = port.section(u'/', -1);
    for (QChar& c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_' && c != u'-')
            c = u'_';
    return name.isEmpty() ? QStringLiteral("tarlo") : name;
}

std::optional<Credentials> parseCredentials(const QString& text)
{
    QStringList lines = text.split(QRegularExpression(QStringLiteral("\r?\n")));
    if (lines.isEmpty() || lines[0].isEmpty())
        return std::nullopt;
    return Credentials{lines[0], lines.size() > 1 ? lines[1] : QString()};
}

QString usageText()
{
    return QStringLiteral(
        "Usage: tarlo02-logd --port PATH [options]\n"
        "Reads a Tarlo-02 pH controller on a serial port, keeps its CSV logs and publishes\n"
        "each record to an MQTT broker, with Home Assistant discovery.\n"
        "\n"
        "  --port PATH           the controller's serial device (e.g. /dev/ttyUSB0)\n"
        "  --log-dir DIR         where the CSV logs go (default: the working directory)\n"
        "  --broker HOST[:PORT]  MQTT broker (default port 1883, 8883 with TLS);\n"
        "                        without it the service only logs\n"
        "  --id NAME             topic level of this controller (default: the port's name)\n"
        "  --prefix TOPIC        topic prefix (default tarlo02)\n"
        "  --mqtt-version V      3.1.1 or 5 (default 3.1.1; 5 with --allow-commands)\n"
        "  --allow-commands      obey settings, restart and factory reset from MQTT\n"
        "  --remove-device       remove this controller from the broker and Home Assistant\n"
        "                        (clear its retained topics), then exit\n"
        "  --config FILE         INI file with the keys above (port, log-dir, broker, id,\n"
        "                        prefix, mqtt-version, allow-commands) and link (USB or\n"
        "                        WIFI), ca-file, cert-file, key-file, credentials-file\n"
        "                        (user name on line 1, password on line 2); then the\n"
        "                        .ini files of FILE's folder .d (logd.ini: logd.d/) in name\n"
        "                        order, a later file winning; the command line wins over all\n"
        "  --version             print the version\n"
        "  --help                this text\n"
        "\n"
        "Topics: <prefix>/<id>/state (retained JSON), <prefix>/<id>/availability\n"
        "(online/offline), with --allow-commands <prefix>/<id>/set (JSON settings) and\n"
        "<prefix>/<id>/command (restart, factory_reset), answered on <prefix>/<id>/result.\n");
}

QString checkNamedFiles(const LogdOptions& o)
{
    const std::pair<const char*, const QString&> files[] = {{"ca-file", o.caFile},
                                                            {"cert-file", o.certFile},
                                                            {"key-file", o.keyFile},
                                                            {"credentials-file", o.credentialsFile}};
    for (const auto& [key, path] : files) {
        if (path.isEmpty())
            continue;
        QFile f(path);
        if (QFileInfo(path).isDir())
            return QStringLiteral("%1 '%2' is a folder, not a file").arg(QLatin1String(key), path);
        if (!f.open(QIODevice::ReadOnly))
            return QStringLiteral("%1 '%2' cannot be read: %3")
                .arg(QLatin1String(key), path, f.errorString());
    }
    return {};
}

std::optional<QString> credentialsWarning(const QString& path)
{
    if (path.isEmpty() || !(QFileInfo(path).permissions() & QFileDevice::ReadOther))
        return std::nullopt;
    return QStringLiteral("the credentials file '%1' can be read by every user; make it readable by the "
                          "service only (chmod 640)")
        .arg(path);
}
