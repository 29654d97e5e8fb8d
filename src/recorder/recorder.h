#pragma once
// The recorder: every sensor present recorded at once (up to USB_LINKS on USB and one behind
// the serial bridge), made durable every flush interval, reported to systemd.
#include "publisher.h"
#include "recorderoptions.h"
#include "sensorrecorder.h"

#include <QDate>
#include <QSet>
#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class Recorder : public QObject
{
public:
    static constexpr int TICK_MS = 200;
    static constexpr int USB_LINKS = 4; // one sensor each

    explicit Recorder(const RecorderOptions &options, const QString &version = QString());
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
    std::unique_ptr<Publisher> m_Publisher; // with --mqtt

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
    QSet<quint64> m_ToldBusy;        // the sensors told busy: link kind << 32 | USB location
    QSet<uint32_t> m_HeldLocations; // USB locations our links have held
};
