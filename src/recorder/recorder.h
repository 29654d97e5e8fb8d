#pragma once
// The recorder: every sensor present recorded at once (one on USB and one on the serial
// bridge), made durable every flush interval, reported to systemd.
#include "recorderoptions.h"
#include "sensorrecorder.h"

#include <QDate>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class Recorder : public QObject
{
public:
    static constexpr int TICK_MS = 200;

    explicit Recorder(const RecorderOptions &options);
    ~Recorder() override;

    // Opens the sensors attached now and starts the ticks; tells systemd it is ready.
    void Start();
    // The last samples made durable; tells systemd it is stopping.
    void Stop();

    // One tick of every link (the timer calls it; a test may too).
    void Tick();
    // Every sensor's new records made durable; old day files removed once a day.
    void FlushAll();

    std::vector<std::unique_ptr<SensorRecorder>> m_Sensors;

private:
    void RemoveOldFiles();
    void Notify(const QString &state);
    QString Status() const;

    RecorderOptions m_Options;
    QTimer m_TickTimer;
    QTimer m_FlushTimer;
    QDate m_CleanedOn;
    QString m_LastFlush = QStringLiteral("none yet");
    qint64 m_WatchdogMs = 0; // half the watchdog interval; 0 when systemd does not watch
    qint64 m_LastPetMs = 0;
};
