#pragma once
// The recorder's options: the command line, and the same keys in an INI file (the command
// line wins).
#include <QString>
#include <QStringList>

struct RecorderOptions {
    QString m_DataDir;       // where the day files go
    int m_KeepDays = 0;      // day files older than this are removed; 0 keeps all
    int m_FlushInterval = 60; // seconds between durable writes

    // Publishing (none when m_MqttHost is empty).
    QString m_MqttHost;
    int m_MqttPort = 0; // 0: 1883, or 8883 with TLS
    QString m_MqttUser;
    QString m_MqttPasswordFile;
    QString m_MqttTlsCa;
    QString m_TopicPrefix = QStringLiteral("pm25monitor");
    QString m_DiscoveryPrefix = QStringLiteral("homeassistant"); // empty: no discovery
    int m_PublishInterval = 10;
    QString m_AqiStandard = QStringLiteral("china"); // or "us-epa"
};

enum class OptionsResult { Run, Exit, Error };

// Fills `options` from `args` (argv, the program's name first) and the config file: the one
// --config names, else `defaultConfig` when it exists. Exit: --help or --version was
// answered in `message`; Error: `message` names the option or key and why.
OptionsResult ParseRecorderOptions(const QStringList &args, const QString &defaultConfig,
                                   RecorderOptions *options, QString *message);

// The data folder when none is given: $STATE_DIRECTORY (systemd), else the user's data
// location's "recordings".
QString DefaultDataDir();
