#include "recorder.h"

#include "log.h"
#include "recordclock.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <systemd/sd-daemon.h>

namespace {

qint64 SteadyMs()
{
    static QElapsedTimer steady = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return steady.elapsed();
}

} // namespace

Recorder::Recorder(const RecorderOptions &options, const QString &version) : m_Options(options)
{
    if (!options.m_MqttHost.isEmpty())
        m_Publisher = std::make_unique<Publisher>(options, version);
    for (int i = 0; i < USB_LINKS; ++i)
        m_Sensors.push_back(std::make_unique<SensorRecorder>(SensorWatch::Links::Usb,
                                                             options.m_DataDir));
    m_Sensors.push_back(std::make_unique<SensorRecorder>(SensorWatch::Links::Serial,
                                                         options.m_DataDir));
    for (auto &sensor : m_Sensors) {
        const bool serial = sensor->LinkName() == QLatin1String("serial");
        // A sensor one of our links holds, or held until it went (its claim may linger a
        // moment), is not someone else's.
        sensor->m_HeldHere = [this](uint32_t location) {
            return location != 0 && m_HeldLocations.contains(location);
        };
        // Once per sensor (and link) for as long as the recorder runs.
        sensor->m_TellBusyOnce = [this, serial](uint32_t location) {
            const quint64 key = quint64(serial) << 32 | location;
            if (m_ToldBusy.contains(key))
                return false;
            m_ToldBusy.insert(key);
            return true;
        };
        if (!m_Publisher)
            continue;
        SensorRecorder *link = sensor.get();
        sensor->m_OnIdentified = [this, link] {
            m_Publisher->SensorOnline(link->Name(), link->Model(), link->MeasuresPM10());
        };
        sensor->m_OnGone = [this, link] { m_Publisher->SensorOffline(link->Name()); };
        sensor->m_OnSample = [this, link](unsigned char code, qint64 t,
                                          const TAG_T_SPM25Data &record) {
            m_Publisher->Sample(link->Name(), code, t, record);
        };
    }
    connect(&m_TickTimer, &QTimer::timeout, this, &Recorder::Tick);
    connect(&m_FlushTimer, &QTimer::timeout, this, &Recorder::FlushAll);
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        m_WatchdogMs = qint64(usec / 2000);
}

Recorder::~Recorder()
{
    Stop();
}

void Recorder::Start()
{
    if (!QDir().mkpath(m_Options.m_DataDir))
        Log(LogLevel::Error, QStringLiteral("%1: cannot be made").arg(m_Options.m_DataDir));
    Log(LogLevel::Info, QStringLiteral("recording to %1, durable every %2 s")
                            .arg(m_Options.m_DataDir)
                            .arg(m_Options.m_FlushInterval));
    RemoveOldFiles();
    if (m_Publisher && !m_Publisher->Start())
        m_Publisher.reset(); // recording goes on
    for (auto &sensor : m_Sensors)
        sensor->Start();
    m_TickTimer.start(TICK_MS);
    m_FlushTimer.start(m_Options.m_FlushInterval * 1000);
    Notify(QStringLiteral("READY=1\nSTATUS=") + Status());
}

void Recorder::Stop()
{
    if (!m_TickTimer.isActive())
        return;
    m_TickTimer.stop();
    m_FlushTimer.stop();
    Notify(QStringLiteral("STOPPING=1"));
    FlushAll();
    if (m_Publisher)
        m_Publisher->Stop();
    Log(LogLevel::Info, QStringLiteral("stopped; the last samples are written"));
}

void Recorder::Tick()
{
    for (auto &sensor : m_Sensors) {
        sensor->Tick();
        if (const uint32_t location = sensor->UsbLocation())
            m_HeldLocations.insert(location);
    }
    if (m_Publisher)
        m_Publisher->Tick(RecordClockNow().toSecsSinceEpoch());
    const qint64 now = SteadyMs();
    if (m_WatchdogMs > 0 && now - m_LastPetMs >= std::min<qint64>(m_WatchdogMs, 1000)) {
        m_LastPetMs = now;
        Notify(QStringLiteral("WATCHDOG=1"));
    }
}

void Recorder::FlushAll()
{
    for (auto &sensor : m_Sensors)
        sensor->Flush();
    m_LastFlush = RecordClockNow().toString(Qt::ISODate);
    if (RecordClockNow().date() != m_CleanedOn)
        RemoveOldFiles();
    Notify(QStringLiteral("STATUS=") + Status());
}

QString Recorder::Status() const
{
    QStringList names;
    for (const auto &sensor : m_Sensors)
        if (sensor->IsOpen())
            names << (sensor->Name().isEmpty() ? QStringLiteral("(unnamed)") : sensor->Name())
                         + QStringLiteral(" on ") + sensor->LinkName();
    return QStringLiteral("recording %1; last flush %2")
        .arg(names.isEmpty() ? QStringLiteral("no sensor") : names.join(QStringLiteral(", ")),
             m_LastFlush);
}

void Recorder::RemoveOldFiles()
{
    m_CleanedOn = RecordClockNow().date();
    if (m_Options.m_KeepDays <= 0)
        return;
    const QDate oldest = m_CleanedOn.addDays(-m_Options.m_KeepDays);
    static const QRegularExpression dayFile(
        QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})-ch\\d(-\\d+)?\\.str$"));
    const QDir data(m_Options.m_DataDir);
    for (const QString &sensor : data.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QDir dir(data.filePath(sensor));
        for (const QString &name : dir.entryList(QDir::Files)) {
            const QRegularExpressionMatch m = dayFile.match(name);
            const QDate date = m.hasMatch() ? QDate::fromString(m.captured(1), Qt::ISODate)
                                            : QDate();
            if (date.isValid() && date < oldest && dir.remove(name))
                Log(LogLevel::Info, QStringLiteral("removed %1").arg(dir.filePath(name)));
        }
    }
}

void Recorder::Notify(const QString &state)
{
    sd_notify(0, state.toUtf8().constData());
}
