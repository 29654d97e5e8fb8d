#pragma once
// The recorder's options: the command line, and the same keys in an INI file (the command
// line wins).
#include <QString>
#include <QStringList>

struct RecorderOptions {
    QString m_DataDir;       // where the day files go
    int m_KeepDays = 0;      // day files older than this are removed; 0 keeps all
    int m_FlushInterval = 60; // seconds between durable writes
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
