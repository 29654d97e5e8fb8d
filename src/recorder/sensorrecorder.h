#pragma once
// One device link's sensor recorded to day files, <data-dir>/<serial>/<YYYY-MM-DD>-ch<N>.str
// (the local date; one channel a file). Pauses and unplugs are gap records in the same file;
// local midnight starts the next file; a clock that jumps starts a new file
// (<YYYY-MM-DD>-ch<N>-2.str, ...) instead of filling the jump with gap records.
#include "dayfile.h"
#include "scodeusb.h"
#include "sensorwatch.h"

#include <QElapsedTimer>
#include <QString>
#include <functional>

class SensorRecorder
{
public:
    static constexpr qint64 JUMP_SEC = 60; // wall clock against the steady clock

    SensorRecorder(SensorWatch::Links links, const QString &dataDir);
    ~SensorRecorder();
    SensorRecorder(const SensorRecorder &) = delete;
    SensorRecorder &operator=(const SensorRecorder &) = delete;

    // Opens a sensor attached at start.
    void Start();
    // One tick: the sensor watched, one reply read and acted on.
    void Tick();
    // Makes what was recorded durable; false (and a log line) when a write failed.
    bool Flush();

    bool IsOpen() const { return m_bOpen; }
    // Its serial number as 12 lower-case hex digits, once it identified itself.
    QString Name() const { return m_Name; }
    QString LinkName() const;

    // The steady clock in milliseconds; a test drives it with its wall clock.
    std::function<qint64()> m_SteadyMs;
    // Each sample stored: channel, UTC seconds, the decoded record.
    std::function<void(int, qint64, const TAG_T_SPM25Data &)> m_OnSample;

private:
    void Store(int channel, const TAG_T_SPM25Data &record);
    bool ClockJumped(qint64 now);
    bool OpenDayFile(int channel, qint64 now, bool jumped);
    void ReportBusy();

    SCodeUsb m_Link;
    SensorWatch m_Watch;
    SensorWatch::Links m_Links;
    QString m_DataDir;
    bool m_bOpen = false;
    bool m_bBusyTold = false;
    QString m_Name;
    DayFile m_Files[2];
    int64_t m_FileDay[2] = {INT64_MIN, INT64_MIN};
    qint64 m_LastWall = 0;
    qint64 m_LastSteady = 0;
    QElapsedTimer m_Steady;
};
