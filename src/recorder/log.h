#pragma once
// The recorder's log: one line per event on stderr, with the journal's <N> priority prefix
// when stderr goes to the journal.
#include <QString>

enum class LogLevel { Error = 3, Warning = 4, Notice = 5, Info = 6 };

void Log(LogLevel level, const QString &line);
