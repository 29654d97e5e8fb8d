#include "recorderoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

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
};

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
        if (key == QLatin1String("data-dir")) {
            options->m_DataDir = value;
            continue;
        }
        bool known = false;
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
    const QCommandLineOption dataDir(QStringLiteral("data-dir"),
                                     QStringLiteral("Where the day files go."),
                                     QStringLiteral("DIR"));
    const QCommandLineOption keepDays(QStringLiteral("keep-days"),
                                      QStringLiteral("Remove day files older than N days "
                                                     "(0 keeps all)."),
                                      QStringLiteral("N"));
    const QCommandLineOption flush(QStringLiteral("flush-interval"),
                                   QStringLiteral("Seconds between durable writes, 1..3600."),
                                   QStringLiteral("S"));
    parser.addOptions({config, dataDir, keepDays, flush});
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
    if (parser.isSet(dataDir))
        options->m_DataDir = parser.value(dataDir);
    const QCommandLineOption *intOptions[] = {&keepDays, &flush};
    for (size_t i = 0; i < std::size(INT_OPTIONS); ++i) {
        const IntRange &r = INT_OPTIONS[i];
        if (parser.isSet(*intOptions[i])
            && !TakeInt(QStringLiteral("--") + r.key, parser.value(*intOptions[i]), r,
                        &(options->*r.field), message))
            return OptionsResult::Error;
    }
    if (options->m_DataDir.isEmpty())
        options->m_DataDir = DefaultDataDir();
    return OptionsResult::Run;
}
