// The recorder on the bed: two USB sensors and a serial one recorded at once, each in its own
// day files, and one the window holds told busy and taken once free; pauses, an unplug and a replug as gap records in the same file; local midnight and a
// clock jump start new files. The program itself: options, systemd's notify socket, SIGTERM.
#include "recorderbed.h"
#include "recordfile.h"

#include <QDirIterator>
#include <QProcess>
#include <csignal>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const std::array<uint8_t, 6> kUsbSerial{{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x01}};
const std::array<uint8_t, 6> kBridgeSerial{{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x02}};
const std::array<uint8_t, 6> kSecondUsb{{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x03}};
const std::array<uint8_t, 6> kHeldUsb{{0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x04}};

struct Image {
    QVector<_SRecordItem> items;
    uint32_t start = 0;
};

Image Read(const QString &path)
{
    Image out;
    _SRecordData image;
    if (RecordDataRead(&image, path.toLocal8Bit().constData()) > 0) {
        out.items = QVector<_SRecordItem>(image.m_pItems, image.m_pItems + image.m_Count);
        out.start = image.m_StartTime;
    }
    RecordDataFree(&image);
    return out;
}

} // namespace

class TestRecorder : public QObject
{
    Q_OBJECT

private slots:
    void programOptionsNotifyAndStop();
    void twoSensorsInTheirDayFiles();
    void killedAndRestarted();

private:
    int AddUsb(const std::array<uint8_t, 6> &serial);
    // The link recording the sensor of that name; null when none does.
    static SensorRecorder *Named(Recorder &r, const QString &name);

    bool TickUntil(Recorder &r, const std::function<bool()> &cond)
    {
        return RecorderBed::TickUntil(r, cond);
    }
    bool Measure(Recorder &r, const std::vector<int> &ids, uint16_t value)
    {
        return m_RecBed.Measure(r, ids, value);
    }

    QTemporaryDir m_Dir;
    RecorderBed m_RecBed;
    TestClock &m_Clock = m_RecBed.clock;
    sim::SimBed &m_Bed = m_RecBed.bed;
};

int TestRecorder::AddUsb(const std::array<uint8_t, 6> &serial)
{
    const int id = m_Bed.addUsbSensor();
    m_Bed.with(id, [&](sim::SimSensor &s) {
        s.setDeviceType(20);
        s.setKinds({1, 17});
        s.setSerial6(serial);
    });
    return id;
}

SensorRecorder *TestRecorder::Named(Recorder &r, const QString &name)
{
    for (auto &sensor : r.m_Sensors)
        if (sensor->IsOpen() && sensor->Name() == name)
            return sensor.get();
    return nullptr;
}

void TestRecorder::programOptionsNotifyAndStop()
{
    const QString program = QCoreApplication::applicationDirPath() + "/../bin/pm25monitor-recorder";
    QVERIFY(QFileInfo::exists(program));
    // A bad option or value: one line naming it, exit 2.
    for (const QStringList &args : {QStringList{"--flush-interval", "0"}, {"--keep-days", "x"},
                                    {"--bogus"}, {"--config", m_Dir.filePath("none.conf")}}) {
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains(args.first().toLatin1()) || err.contains("bogus"), err.constData());
    }
    // The config file's keys, the command line winning; an unknown key is refused.
    QFile conf(m_Dir.filePath("recorder.conf"));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("data-dir=" + m_Dir.filePath("fromconf").toUtf8() + "\nflush-interval=5\nspeed=9\n");
    conf.close();
    QProcess bad;
    bad.start(program, {"--config", conf.fileName()});
    QVERIFY(bad.waitForFinished(10000));
    QCOMPARE(bad.exitCode(), 2);
    QVERIFY(bad.readAllStandardError().contains("unknown key \"speed\""));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("data-dir=" + m_Dir.filePath("fromconf").toUtf8() + "\nflush-interval=5\n");
    conf.close();

    // --keep-days 3: older day files go, newer ones and other files stay.
    const QString sensorDir = m_Dir.filePath("fromconf/0a0b0c0d0e09/");
    QVERIFY(QDir().mkpath(sensorDir));
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const QString old = QDate::currentDate().addDays(-4).toString(Qt::ISODate);
    for (const QString &name : {old + "-ch0.str", old + "-ch1-2.str", today + "-ch0.str",
                                old + "-notes.txt"}) {
        QFile f(sensorDir + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    // systemd's notify socket: READY=1, then WATCHDOG=1 from the ticks; SIGTERM ends it with 0.
    const QByteArray socketPath = m_Dir.filePath("notify").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    QVERIFY(fd >= 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    qstrncpy(addr.sun_path, socketPath.constData(), sizeof addr.sun_path);
    QVERIFY(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", QString::fromLocal8Bit(socketPath));
    env.insert("WATCHDOG_USEC", "2000000");
    env.insert("JOURNAL_STREAM", "8:1234");
    run.setProcessEnvironment(env);
    run.start(program, {"--config", conf.fileName(), "--keep-days", "3"});
    QVERIFY(run.waitForStarted());
    QStringList said;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000 && !(said.join(' ').contains("READY=1")
                                     && said.join(' ').contains("WATCHDOG=1"))) {
        char buf[512];
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0)
            said << QString::fromUtf8(buf, int(n));
        else
            QThread::msleep(20);
    }
    ::close(fd);
    QVERIFY2(said.join(' ').contains("READY=1"), qPrintable(said.join(" | ")));
    QVERIFY2(said.join(' ').contains("STATUS=recording no sensor"), qPrintable(said.join(" | ")));
    QVERIFY2(said.join(' ').contains("WATCHDOG=1"), qPrintable(said.join(" | ")));
    run.terminate(); // SIGTERM
    QVERIFY(run.waitForFinished(10000));
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 0);
    const QByteArray log = run.readAllStandardError();
    QVERIFY2(log.startsWith("<6>recording to " + m_Dir.filePath("fromconf").toUtf8()
                            + ", durable every 5 s\n"),
             log.constData());
    QVERIFY(log.contains("<6>stopped; the last samples are written\n"));
    QCOMPARE(QDir(sensorDir).entryList(QDir::Files, QDir::Name),
             (QStringList{old + "-notes.txt", today + "-ch0.str"}));
}

void TestRecorder::twoSensorsInTheirDayFiles()
{
    // Just before local midnight, so that the day changes while recording.
    m_Clock.now = QDateTime(QDate(2026, 12, 8), QTime(23, 59, 40));
    // The window holds one USB sensor before the recorder starts.
    const int held = AddUsb(kHeldUsb);
    SCodeUsb window;
    window.OpenUsbDevice();
    QCOMPARE(window.HasDevice(), 1);
    const int usb = AddUsb(kUsbSerial);
    const int second = AddUsb(kSecondUsb);
    const int bridge = m_Bed.addSerialSensor();
    m_Bed.with(bridge, [](sim::SimSensor &s) {
        s.setDeviceType(130);
        s.setKinds({1});
        s.setSerial6(kBridgeSerial);
    });
    RecorderOptions options;
    options.m_DataDir = m_Dir.filePath("data");
    Recorder r(options);
    m_RecBed.Hook(r);
    r.Start();
    QVERIFY(TickUntil(r, [&] {
        return Named(r, "0a0b0c0d0e01") && Named(r, "0a0b0c0d0e02") && Named(r, "0a0b0c0d0e03");
    }));
    SensorRecorder *onUsb = Named(r, "0a0b0c0d0e01");
    SensorRecorder &onBridge = *Named(r, "0a0b0c0d0e02");
    QCOMPARE(onBridge.LinkName(), QStringLiteral("serial"));
    // The held one is told busy once (by one link), and recorded once the window lets it go.
    const auto told = [&] {
        return std::count_if(r.m_Sensors.begin(), r.m_Sensors.end(),
                             [](const auto &s) { return s->ToldBusy(); });
    };
    QVERIFY(TickUntil(r, [&] { return told() > 0; }));
    QCOMPARE(told(), 1);
    window.CloseUsbHandles();
    QVERIFY(TickUntil(r, [&] { return Named(r, "0a0b0c0d0e04"); }));
    QVERIFY(Measure(r, {held, second}, 99));
    // The other way round: a window started now opens the sensors, reads nothing of the ones
    // the recorder holds, and the recorder goes on.
    {
        SCodeUsb late;
        late.OpenUsbDevice();
        TAG_T_SPM25Data record{};
        const int before = m_RecBed.stored;
        m_Bed.with(second, [](sim::SimSensor &s) { s.emitMeasurement(1); });
        for (int i = 0; i < late.HasDevice() * 5; ++i)
            QCOMPARE(late.ReadPM25Data(0, &record), (unsigned char)REPLY_NONE);
        QVERIFY(TickUntil(r, [&] { return m_RecBed.stored > before; })); // the recorder's
    }
    QVERIFY(Measure(r, {held, second}, 98));

    // Three samples each, a 5 s pause, two more: the pause is gap records.
    for (uint16_t v : {101, 102, 103})
        QVERIFY(Measure(r, {usb, bridge}, v));
    const QDateTime first = m_Clock.now.addSecs(-2);
    m_Clock.Step(5);
    for (uint16_t v : {104, 105})
        QVERIFY(Measure(r, {usb, bridge}, v));

    // The USB sensor goes and comes back (the same sensor on fresh names): the same file.
    m_Bed.unplug(usb);
    QVERIFY(TickUntil(r, [&] { return !onUsb->IsOpen(); }));
    m_Clock.Step(3);
    const int again = AddUsb(kUsbSerial);
    QVERIFY(TickUntil(r, [&] { return Named(r, "0a0b0c0d0e01"); }));
    QVERIFY(Measure(r, {again}, 106)); // asks who it is first; the sample after counts
    QVERIFY(Measure(r, {again}, 107));
    r.FlushAll();

    const QString day = "2026-12-08-ch0.str";
    const Image u = Read(options.m_DataDir + "/0a0b0c0d0e01/" + day);
    const Image b = Read(options.m_DataDir + "/0a0b0c0d0e02/" + day);
    QCOMPARE(qint64(u.start), first.toSecsSinceEpoch());
    QCOMPARE(qint64(b.start), first.toSecsSinceEpoch());
    QCOMPARE(b.items.size(), 3 + 5 + 2);
    QCOMPARE(b.items[2].m_PM25, uint16_t(103));
    QCOMPARE(b.items[2].m_PM10, uint16_t(203));
    for (int i = 3; i < 8; ++i)
        QVERIFY(RecordIsGap(b.items[i]));
    QCOMPARE(b.items[9].m_PM25, uint16_t(105));
    QCOMPARE(u.items.last().m_PM25, uint16_t(107));
    QCOMPARE(u.items.size(), qint64(m_Clock.now.toSecsSinceEpoch() - u.start + 1));
    QVERIFY(RecordIsGap(u.items[u.items.size() - 3])); // the unplugged seconds

    // Local midnight: the next samples start the next day's files.
    m_Clock.now = QDateTime(QDate(2026, 12, 9), QTime(0, 0, 0)).addSecs(-1);
    QVERIFY(Measure(r, {again, bridge}, 200));
    // The clock jumps a year on: new files of that day, no year of gap records.
    m_Clock.now = m_Clock.now.addYears(1);
    for (auto &sensor : r.m_Sensors)
        sensor->m_SteadyMs = [this] { return m_Clock.now.addYears(-1).toMSecsSinceEpoch(); };
    QVERIFY(Measure(r, {bridge}, 300));
    // Back again: that day's file exists and ends later, so the next file of the day.
    m_Clock.now = m_Clock.now.addYears(-1);
    for (auto &sensor : r.m_Sensors)
        sensor->m_SteadyMs = [this] { return m_Clock.now.addYears(1).toMSecsSinceEpoch(); };
    QVERIFY(Measure(r, {bridge}, 400));
    // Summer time ends: local time goes back an hour, the seconds go on in the same file.
    m_Clock.now = QDateTime(QDate(2026, 11, 1), QTime(5, 59, 58), Qt::UTC).toLocalTime();
    const int summer = m_Clock.now.offsetFromUtc();
    for (auto &sensor : r.m_Sensors)
        sensor->m_SteadyMs = [this] { return m_Clock.now.toMSecsSinceEpoch(); };
    QVERIFY(Measure(r, {bridge}, 500));
    QVERIFY(Measure(r, {bridge}, 501));
    QVERIFY(m_Clock.now.offsetFromUtc() != summer); // the zone did change its offset
    r.Stop();
    const Image autumn = Read(options.m_DataDir + "/0a0b0c0d0e02/2026-11-01-ch0.str");
    QCOMPARE(autumn.items.size(), 2);
    QCOMPARE(autumn.items[1].m_PM25, uint16_t(501));
    const QString dir = options.m_DataDir + "/0a0b0c0d0e02/";
    QCOMPARE(Read(dir + "2026-12-09-ch0.str").items.size(), 1);
    QCOMPARE(Read(dir + "2026-12-09-ch0.str").items[0].m_PM25, uint16_t(200));
    QCOMPARE(Read(dir + "2027-12-09-ch0.str").items.size(), 1);
    const Image back = Read(dir + "2026-12-09-ch0-2.str");
    QCOMPARE(back.items.size(), 1);
    QCOMPARE(back.items[0].m_PM25, uint16_t(400));
    QCOMPARE(Read(options.m_DataDir + "/0a0b0c0d0e01/2026-12-09-ch0.str").items.size(), 1);
}

// The demo's recorder on its own bed, killed with SIGKILL after a flush: the file holds what was
// flushed and is continued by the next start.
void TestRecorder::killedAndRestarted()
{
    const QString bin = QCoreApplication::applicationDirPath() + "/../bin/";
    const QString data = m_Dir.filePath("killed");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_PRELOAD"); // the launcher makes its own bed
    env.remove("UMOCKDEV_DIR");
    const auto recorderPid = [](qint64 launcher) {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(launcher));
        return children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toLongLong() : 0;
    };
    const auto dayFile = [&] {
        QDirIterator it(data, {"*-ch0.str"}, QDir::Files, QDirIterator::Subdirectories);
        return it.hasNext() ? it.next() : QString();
    };
    qint64 flushed = 0;
    for (int run = 0; run < 2; ++run) {
        QProcess demo;
        demo.setProcessEnvironment(env);
        demo.start(bin + "pm25monitor-sim", {"--link", "serial", "--recorder", "--data-dir", data,
                                             "--flush-interval", "1"});
        QVERIFY(demo.waitForStarted());
        // Killed once a flush holds more than the last run left.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dayFile()).size() > qMax<qint64>(flushed, 28) + 16,
                                 20000);
        const qint64 pid = recorderPid(demo.processId());
        QVERIFY(pid > 0);
        QCOMPARE(::kill(pid_t(pid), SIGKILL), 0);
        QVERIFY(demo.waitForFinished(10000));
        const Image kept = Read(dayFile());
        QVERIFY(kept.items.size() > 0);
        // Killed between a flush's two writes, it may hold records its header does not count yet.
        QVERIFY(QFileInfo(dayFile()).size() >= qint64(28 + 8 * kept.items.size()));
        if (run == 1) // the same file, continued
            QVERIFY(kept.items.size() * 8 + 28 > flushed);
        flushed = 28 + 8 * kept.items.size();
    }
}

QTEST_GUILESS_MAIN(TestRecorder)
#include "test_recorder.moc"
