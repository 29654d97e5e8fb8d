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
#include <map>

class SensorRecorder
{
public:
    static constexpr qint64 JUMP_SEC = 60; // wall clock against the steady clock
    static constexpr int BUSY_RETRY_TICKS = 25; // a busy USB sensor is looked at every 5 s

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
    // Where its USB sensor is (bus << 8 | address); 0 when none is open on USB.
    uint32_t UsbLocation() const;
    bool ToldBusy() const { return m_bBusyTold; }
    QString LinkName() const;
    QString Where() const; // the link, and on USB the bus and address

    // The steady clock in milliseconds; a test drives it with its wall clock.
    std::function<qint64()> m_SteadyMs;
    // Whether a link of this process holds (or held) the USB sensor at this location: then it
    // is not busy.
    std::function<bool(uint32_t)> m_HeldHere;
    // Whether this link is the one to tell that the sensor at this location (0: one this user
    // may not open, or the serial bridge) is busy; false once another link told it.
    std::function<bool(uint32_t)> m_TellBusyOnce;
    // Each sample stored: its reply code (the measurement kind), UTC seconds, the record.
    std::function<void(unsigned char, qint64, const TAG_T_SPM25Data &)> m_OnSample;
    // The sensor named itself (again, or another sensor on this link); it went away.
    std::function<void()> m_OnIdentified;
    std::function<void()> m_OnGone;

    QString Model() const { return QString::fromLatin1(m_Link.GetModelName()); }
    bool MeasuresPM10() const;

private:
    void Store(int channel, unsigned char code, const TAG_T_SPM25Data &record);
    bool ClockJumped(qint64 now);
    bool OpenDayFile(int channel, qint64 now, bool jumped);
    void ReportBusy();
    void Announce(); // m_OnIdentified once per appearance

    SCodeUsb m_Link;
    SensorWatch m_Watch;
    SensorWatch::Links m_Links;
    QString m_DataDir;
    bool m_bOpen = false;
    bool m_bBusyTold = false;
    bool m_bAnnounced = false;
    int m_BusyTicks = 0;
    int m_BusyScan = 0;                      // the scan m_BusyScans last counted
    std::map<uint32_t, int> m_BusyScans;     // busy USB sensors: in how many scans in a row
    QString m_Name;
    DayFile m_Files[2];
    int64_t m_FileDay[2] = {INT64_MIN, INT64_MIN};
    qint64 m_LastWall = 0;
    qint64 m_LastSteady = 0;
    QElapsedTimer m_Steady;
};
