#include "sensorrecorder.h"

#include "log.h"
#include "recordclock.h"
#include "sensortypes.h"

#include <QDir>
#include <QFileInfo>

namespace {

bool IsSerialName(const QString &name)
{
    if (name.size() != 12)
        return false;
    for (const QChar c : name)
        if (!c.isDigit() && (c < QLatin1Char('a') || c > QLatin1Char('f')))
            return false;
    return true;
}

} // namespace

SensorRecorder::SensorRecorder(SensorWatch::Links links, const QString &dataDir)
    : m_Watch(m_Link, links), m_Links(links), m_DataDir(dataDir)
{
    m_Link.m_MaxSensors = 1; // one sensor a link: several USB links share the bus
    m_Steady.start();
}

QString SensorRecorder::Where() const
{
    const uint32_t location = UsbLocation();
    return location == 0 ? LinkName()
                         : QStringLiteral("USB %1-%2").arg(location >> 8).arg(location & 0xFF);
}

void SensorRecorder::Announce()
{
    if (m_bAnnounced)
        return;
    m_bAnnounced = true;
    if (m_OnIdentified)
        m_OnIdentified();
}

bool SensorRecorder::MeasuresPM10() const
{
    return SendsPM10(m_Link.m_DevType);
}

uint32_t SensorRecorder::UsbLocation() const
{
    if (!m_bOpen || m_Links == SensorWatch::Links::Serial || m_Link.m_DevList.empty())
        return 0;
    return m_Link.m_DevList.front().m_Location;
}

SensorRecorder::~SensorRecorder()
{
    Flush();
}

QString SensorRecorder::LinkName() const
{
    return m_Links == SensorWatch::Links::Serial ? QStringLiteral("serial") : QStringLiteral("USB");
}

void SensorRecorder::Start()
{
    m_bOpen = m_Watch.OpenAtStart() != 0;
    if (m_Links != SensorWatch::Links::Serial)
        m_Link.WatchHotplug();
    if (m_bOpen)
        Log(LogLevel::Info, QStringLiteral("sensor found on %1").arg(Where()));
    ReportBusy();
}

void SensorRecorder::ReportBusy()
{
    const bool serial = m_Links == SensorWatch::Links::Serial;
    // A sensor claimed in one scan may be one that just went (its claim not yet let go): busy
    // is what two scans in a row find claimed.
    if (m_BusyScan != m_Link.m_Scans) {
        m_BusyScan = m_Link.m_Scans;
        std::map<uint32_t, int> seen;
        for (const uint32_t location : m_Link.m_BusyLocations)
            seen[location] = m_BusyScans.count(location) ? m_BusyScans[location] + 1 : 1;
        m_BusyScans.swap(seen);
    }
    if (m_bOpen)
        return;
    std::vector<uint32_t> busy; // claimed, and not by one of our links
    bool retry = false;
    for (const auto &[location, scans] : m_BusyScans) {
        if (m_HeldHere && m_HeldHere(location))
            continue;
        retry = true;
        if (scans >= 2)
            busy.push_back(location);
    }
    if (serial ? m_Link.m_SerialPort.m_bPortDenied : m_Link.m_bUsbDenied)
        busy.push_back(0);
    // Held by someone else: looked at again now and then, since no event says it is free.
    if (!serial && retry && ++m_BusyTicks % BUSY_RETRY_TICKS == 0)
        m_Link.m_bUsbArrived = true;
    for (const uint32_t location : busy) {
        if (m_bBusyTold || (m_TellBusyOnce && !m_TellBusyOnce(location)))
            continue;
        m_bBusyTold = true;
        Log(LogLevel::Warning,
            QStringLiteral("sensor busy: a sensor on %1 cannot be opened (another program, such "
                           "as the window, holds it, or this user may not use it); trying again")
                .arg(location == 0 ? LinkName()
                                   : QStringLiteral("USB %1-%2")
                                         .arg(location >> 8)
                                         .arg(location & 0xFF)));
    }
}

void SensorRecorder::Tick()
{
    switch (m_Watch.Step(m_bOpen)) {
    case SensorWatch::Event::Gone:
        m_bOpen = false;
        Flush();
        Log(LogLevel::Notice, QStringLiteral("sensor %1 gone from %2").arg(m_Name, LinkName()));
        if (m_OnGone && m_bAnnounced)
            m_OnGone();
        m_bAnnounced = false;
        break;
    case SensorWatch::Event::PluggedUsb:
    case SensorWatch::Event::PluggedSerial:
        m_bOpen = true;
        m_bBusyTold = false;
        Log(LogLevel::Info, QStringLiteral("sensor found on %1").arg(Where()));
        m_Link.AskDeviceInfo(); // it may be another sensor: it names itself again
        break;
    case SensorWatch::Event::None:
        break;
    }
    if (!m_bOpen) {
        ReportBusy();
        return;
    }
    TAG_T_SPM25Data record{};
    const unsigned char code = m_Link.ReadPM25Data(0, &record);
    switch (code) {
    case DATA_PM_1:
    case DATA_PM_3:
        if (m_Name.isEmpty())
            m_Link.AskDeviceInfo(); // its samples wait until it is known
        else
            Store(0, code, record);
        break;
    case DATA_GAS_17:
    case DATA_GAS_33:
        if (!m_Name.isEmpty() && !IgnoresSecondChannel(m_Link.m_DevType))
            Store(1, code, record);
        break;
    case REPLY_DEVICE_INFO: {
        const QString name = QString::fromLatin1(m_Link.GetDevSerial(0)).toLower().left(12);
        if (!IsSerialName(name))
            break;
        if (name == m_Name) { // the same sensor, back on this link or asked again
            Announce();
            break;
        }
        Flush();
        for (int c = 0; c < 2; ++c) {
            m_Files[c].Close();
            m_FileDay[c] = INT64_MIN;
        }
        m_Name = name;
        Log(LogLevel::Info, QStringLiteral("sensor %1: model %2 on %3")
                                .arg(m_Name, QString::fromLatin1(m_Link.GetModelName()),
                                     Where()));
        m_bAnnounced = false;
        Announce();
        break;
    }
    default:
        break;
    }
}

bool SensorRecorder::ClockJumped(qint64 now)
{
    const qint64 steady = m_SteadyMs ? m_SteadyMs() : m_Steady.elapsed();
    const bool first = m_LastWall == 0;
    const qint64 expected = m_LastWall + (steady - m_LastSteady) / 1000;
    m_LastWall = now;
    m_LastSteady = steady;
    return !first && std::abs(now - expected) > JUMP_SEC;
}

void SensorRecorder::Store(int channel, unsigned char code, const TAG_T_SPM25Data &record)
{
    const qint64 now = RecordClockNow().toSecsSinceEpoch();
    const bool jumped = ClockJumped(now);
    const int64_t day = QDateTime::fromSecsSinceEpoch(now).date().toJulianDay();
    DayFile &file = m_Files[channel];
    if (jumped || day != m_FileDay[channel] || !file.IsOpen()) {
        if (jumped)
            Log(LogLevel::Notice, QStringLiteral("clock jumped: sensor %1 goes on in new files")
                                      .arg(m_Name));
        for (int c = 0; c < 2; ++c) {
            if (c != channel && !jumped)
                continue;
            QString error;
            if (m_Files[c].IsOpen() && !m_Files[c].Flush(&error))
                Log(LogLevel::Error, QStringLiteral("%1: %2").arg(m_Files[c].Path(), error));
            m_Files[c].Close();
            m_FileDay[c] = INT64_MIN;
        }
        if (!OpenDayFile(channel, now, jumped))
            return;
        m_FileDay[channel] = day;
    }
    const _SRecordItem item{record.m_Diff, record.m_Base, record.m_PM25, record.m_PM10};
    // Two samples within one second: the later takes the next second, never one ahead.
    if (!file.Add(uint32_t(now), item) && file.EndTime() <= now + 1)
        file.Add(uint32_t(file.EndTime()), item);
    if (m_OnSample)
        m_OnSample(code, now, record);
}

bool SensorRecorder::OpenDayFile(int channel, qint64 now, bool jumped)
{
    const QDir dir(m_DataDir + QLatin1Char('/') + m_Name);
    const QString base = QDateTime::fromSecsSinceEpoch(now).date().toString(Qt::ISODate)
                         + QStringLiteral("-ch") + QString::number(channel);
    auto pathOf = [&](int k) {
        return dir.filePath(base + (k == 1 ? QString() : QLatin1Char('-') + QString::number(k))
                            + QStringLiteral(".str"));
    };
    int last = 0; // the last file of the day so far
    while (QFileInfo::exists(pathOf(last + 1)))
        ++last;
    QString error;
    if (!QDir().mkpath(dir.path())) {
        Log(LogLevel::Error, QStringLiteral("%1: cannot be made").arg(dir.path()));
        return false;
    }
    // Continued unless the clock jumped or went back before its end.
    DayFile &file = m_Files[channel];
    if (last > 0 && !jumped) {
        if (!file.Open(pathOf(last), channel, uint32_t(now), 1, &error))
            Log(LogLevel::Error, QStringLiteral("%1: %2").arg(pathOf(last), error));
        else if (file.EndTime() <= now + 1)
            return true;
        file.Close();
    }
    const QString path = pathOf(last + 1);
    if (file.Open(path, channel, uint32_t(now), 1, &error))
        return true;
    Log(LogLevel::Error, QStringLiteral("%1: %2").arg(path, error));
    return false;
}

bool SensorRecorder::Flush()
{
    bool ok = true;
    for (DayFile &file : m_Files) {
        QString error;
        if (file.IsOpen() && !file.Flush(&error)) {
            Log(LogLevel::Error, QStringLiteral("%1: %2").arg(file.Path(), error));
            ok = false;
        }
    }
    return ok;
}
