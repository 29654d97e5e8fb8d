#include "recorderoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <vector>

namespace {

struct IntRange {
    const char *key;
    int low;
    int high;
    int RecorderOptions::*field;
};

const IntRange INT_OPTIONS[] = {
    {"keep-days", 0, 36500, &RecorderOptions::m_KeepDays},
    {"flush-interval", 1, 3600, &RecorderOptions::m_FlushInterval},
    {"publish-interval", 1, 3600, &RecorderOptions::m_PublishInterval},
};

struct TextOption {
    const char *key;
    const char *valueName;
    const char *help;
    QString RecorderOptions::*field;
};

const TextOption TEXT_OPTIONS[] = {
    {"data-dir", "DIR", "Where the day files go.", &RecorderOptions::m_DataDir},
    {"mqtt", "HOST[:PORT]", "Publish to this MQTT broker.", &RecorderOptions::m_MqttHost},
    {"mqtt-user", "U", "The broker's user name.", &RecorderOptions::m_MqttUser},
    {"mqtt-password-file", "F", "The broker's password, from this file.",
     &RecorderOptions::m_MqttPasswordFile},
    {"mqtt-tls-ca", "FILE", "TLS with this CA certificate (port 8883 unless given).",
     &RecorderOptions::m_MqttTlsCa},
    {"topic-prefix", "P", "The base of the topics (default pm25monitor).",
     &RecorderOptions::m_TopicPrefix},
    {"discovery-prefix", "P", "Home Assistant's discovery prefix (default homeassistant; "
                              "empty: no discovery).",
     &RecorderOptions::m_DiscoveryPrefix},
    {"aqi-standard", "china|us-epa", "The index published (default china).",
     &RecorderOptions::m_AqiStandard},
};

// Values that are checked beyond their type: the broker's port, readable files, the standard.
bool CheckText(RecorderOptions *o, QString *message)
{
    if (!o->m_MqttHost.isEmpty()) {
        const int colon = o->m_MqttHost.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0) {
            bool ok = false;
            const int port = o->m_MqttHost.mid(colon + 1).toInt(&ok);
            if (!ok || port < 1 || port > 65535 || colon == 0) {
                *message = QStringLiteral("--mqtt: \"%1\" is not HOST or HOST:PORT (port 1 to "
                                          "65535)")
                               .arg(o->m_MqttHost);
                return false;
            }
            o->m_MqttPort = port;
            o->m_MqttHost.truncate(colon);
        }
    }
    for (const auto &[key, file] : {std::pair{"--mqtt-password-file", o->m_MqttPasswordFile},
                                    std::pair{"--mqtt-tls-ca", o->m_MqttTlsCa}}) {
        if (!file.isEmpty() && !QFileInfo(file).isReadable()) {
            *message = QStringLiteral("%1: %2 cannot be read").arg(QLatin1String(key), file);
            return false;
        }
    }
    if (o->m_AqiStandard != QLatin1String("china") && o->m_AqiStandard != QLatin1String("us-epa")) {
        *message = QStringLiteral("--aqi-standard: \"%1\" is neither china nor us-epa")
                       .arg(o->m_AqiStandard);
        return false;
    }
    if (o->m_TopicPrefix.isEmpty() || o->m_TopicPrefix.contains(QRegularExpression("[#+]"))) {
        *message = QStringLiteral("--topic-prefix: \"%1\" is empty or holds a wildcard")
                       .arg(o->m_TopicPrefix);
        return false;
    }
    return true;
}

bool TakeInt(const QString &key, const QString &text, const IntRange &range, int *out,
             QString *message)
{
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < range.low || v > range.high) {
        *message = QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4")
                       .arg(key, text)
                       .arg(range.low)
                       .arg(range.high);
        return false;
    }
    *out = v;
    return true;
}

// The config file's keys, checked as the command line's are.
bool ReadConfig(const QString &path, RecorderOptions *options, QString *message)
{
    if (!QFileInfo(path).isReadable()) {
        *message = QStringLiteral("--config: %1 cannot be read").arg(path);
        return false;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        *message = QStringLiteral("%1: not an INI file").arg(path);
        return false;
    }
    for (const QString &key : ini.allKeys()) {
        const QString value = ini.value(key).toString();
        bool known = false;
        for (const TextOption &t : TEXT_OPTIONS) {
            if (key == QLatin1String(t.key)) {
                options->*t.field = value;
                known = true;
            }
        }
        for (const IntRange &r : INT_OPTIONS) {
            if (key != QLatin1String(r.key))
                continue;
            known = true;
            if (!TakeInt(path + QStringLiteral(": ") + key, value, r, &(options->*r.field),
                         message))
                return false;
        }
        if (!known) {
            *message = QStringLiteral("%1: unknown key \"%2\"").arg(path, key);
            return false;
        }
    }
    return true;
}

} // namespace

QString DefaultDataDir()
{
    // systemd may name several folders, separated by colons: the first is ours.
    const QString state = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!state.isEmpty())
        return state;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/pm25monitor/recordings");
}

OptionsResult ParseRecorderOptions(const QStringList &args, const QString &defaultConfig,
                                   RecorderOptions *options, QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Records every attached air-quality sensor to day files."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Options from this INI file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption keepDays(QStringLiteral("keep-days"),
                                      QStringLiteral("Remove day files older than N days "
                                                     "(0 keeps all)."),
                                      QStringLiteral("N"));
    const QCommandLineOption flush(QStringLiteral("flush-interval"),
                                   QStringLiteral("Seconds between durable writes, 1..3600."),
                                   QStringLiteral("S"));
    const QCommandLineOption publish(QStringLiteral("publish-interval"),
                                     QStringLiteral("Seconds per published mean, 1..3600."),
                                     QStringLiteral("S"));
    parser.addOptions({config, keepDays, flush, publish});
    std::vector<QCommandLineOption> texts;
    for (const TextOption &t : TEXT_OPTIONS)
        texts.emplace_back(QLatin1String(t.key), QLatin1String(t.help),
                           QLatin1String(t.valueName));
    for (const QCommandLineOption &o : texts)
        parser.addOption(o);
    if (!parser.parse(args)) {
        *message = parser.errorText();
        return OptionsResult::Error;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        *message = parser.isSet(help)
                       ? parser.helpText()
                       : QCoreApplication::applicationName() + QLatin1Char(' ')
                             + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return OptionsResult::Exit;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument \"%1\"")
                       .arg(parser.positionalArguments().first());
        return OptionsResult::Error;
    }
    *options = RecorderOptions();
    const QString configFile = parser.isSet(config) ? parser.value(config)
                               : QFileInfo::exists(defaultConfig) ? defaultConfig
                                                                  : QString();
    if (!configFile.isEmpty() && !ReadConfig(configFile, options, message))
        return OptionsResult::Error;
    for (size_t i = 0; i < texts.size(); ++i)
        if (parser.isSet(texts[i]))
            options->*TEXT_OPTIONS[i].field = parser.value(texts[i]);
    const QCommandLineOption *intOptions[] = {&keepDays, &flush, &publish};
    for (size_t i = 0; i < std::size(INT_OPTIONS); ++i) {
        const IntRange &r = INT_OPTIONS[i];
        if (parser.isSet(*intOptions[i])
            && !TakeInt(QStringLiteral("--") + r.key, parser.value(*intOptions[i]), r,
                        &(options->*r.field), message))
            return OptionsResult::Error;
    }
    if (!CheckText(options, message))
        return OptionsResult::Error;
    if (options->m_DataDir.isEmpty())
        options->m_DataDir = DefaultDataDir();
    return OptionsResult::Run;
}
