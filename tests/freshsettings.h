#pragma once
// Every window a test makes starts from the defaults: nothing an earlier test chose (language,
// index standard) is remembered. CTest gives each test a config folder of its own, so a
// person's settings are never read either.
#include <QSettings>

inline void ForgetSettings()
{
    QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("pm25monitor"),
              QStringLiteral("pm25monitor"))
        .clear();
}
