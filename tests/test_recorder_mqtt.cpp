// The recorder publishing to a real broker (mosquitto, started here on a free port): discovery
// and states of two sensors, the broker away for 30 s and back, the last will after SIGKILL, a
// wrong password, TLS, and a broker that never answers.
#include "mqttbed.h"
#include "recorderbed.h"
#include "recordfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

namespace {

const QByteArray kUsb = "0a0b0c0d0e21";

// A tick that waited for the network would take the library's loop timeout (100 ms) or more;
// the sanitizers slow every tick down several times.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kLongestTickNs = 30'000'000;
#else
constexpr qint64 kLongestTickNs = 10'000'000;
#endif
const QByteArray kBridge = "0a0b0c0d0e22";

QByteArray RootLine()
{
    return ::geteuid() == 0 ? "user root\n" : ""; // files in our folders stay readable to it
}

QJsonObject Json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

bool Run(const QString &program, const QStringList &args, const QString &dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitCode() == 0;
}

} // namespace

class TestRecorderMqtt : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void programWillPasswordAndTls();
    void twoSensorsStatesAndDiscovery();
    void brokerAwayAndBack();
    void silentBrokerKeepsTicksShort();

private:
    QString Program() const
    {
        return QCoreApplication::applicationDirPath() + "/../bin/pm25monitor-recorder";
    }
    RecorderOptions Options(int port, const QString &name);
    bool TickUntil(Recorder &r, const std::function<bool()> &cond, int ms = 10000)
    {
        return RecorderBed::TickUntil(r, cond, ms);
    }
    bool Measure(Recorder &r, const std::vector<int> &ids, uint16_t value)
    {
        return m_RecBed.Measure(r, ids, value);
    }

    QTemporaryDir m_Dir;
    RecorderBed m_RecBed;
    TestClock &m_Clock = m_RecBed.clock;
    sim::SimBed &m_Bed = m_RecBed.bed;
    int &m_Stored = m_RecBed.stored;
    int m_Usb = -1;
    int m_Bridge = -1;
};

void TestRecorderMqtt::initTestCase()
{
    if (!Broker::Installed()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("mosquitto is missing (package mosquitto)");
        QSKIP("mosquitto is not installed: skipped");
    }
}

RecorderOptions TestRecorderMqtt::Options(int port, const QString &name)
{
    RecorderOptions o;
    o.m_DataDir = m_Dir.filePath(name);
    o.m_MqttHost = "127.0.0.1";
    o.m_MqttPort = port;
    o.m_PublishInterval = 10;
    return o;
}

void TestRecorderMqtt::programWillPasswordAndTls()
{
    // The last will: SIGKILL, and the broker says "offline" for the recorder.
    QDir().mkpath(m_Dir.filePath("b1"));
    Broker broker(m_Dir.filePath("b1"), "allow_anonymous true\n" + RootLine());
    QVERIFY(broker.Start());
    Subscriber watch(broker.Port(), "watch-1");
    QProcess rec;
    rec.start(Program(), {"--mqtt", "127.0.0.1:" + QString::number(broker.Port()), "--data-dir",
                          m_Dir.filePath("p1")});
    QVERIFY(watch.WaitFor("pm25monitor/status", "online"));
    ::kill(pid_t(rec.processId()), SIGKILL);
    QVERIFY(rec.waitForFinished(10000));
    QVERIFY(watch.WaitFor("pm25monitor/status", "offline"));

    // A wrong password: one line a try, and the recorder goes on.
    QDir().mkpath(m_Dir.filePath("b2"));
    QVERIFY(Run("mosquitto_passwd", {"-c", "-b", "passwords", "recorder", "right"},
                m_Dir.filePath("b2")));
    Broker guarded(m_Dir.filePath("b2"),
                   "allow_anonymous false\npassword_file " + m_Dir.filePath("b2/passwords").toUtf8()
                       + "\n" + RootLine());
    QVERIFY(guarded.Start());
    QFile wrong(m_Dir.filePath("wrong.txt"));
    QVERIFY(wrong.open(QIODevice::WriteOnly));
    wrong.write("nope\n");
    wrong.close();
    QProcess refused;
    refused.start(Program(), {"--mqtt", "127.0.0.1:" + QString::number(guarded.Port()),
                              "--mqtt-user", "recorder", "--mqtt-password-file", wrong.fileName(),
                              "--data-dir", m_Dir.filePath("p2")});
    QByteArray log;
    QVERIFY(WaitUntil([&] {
        log += refused.readAllStandardError();
        return log.count("MQTT: the broker refused the connection") >= 2; // tried again
    }, 20000));
    QVERIFY2(log.contains("not authorised"), log.constData());
    QCOMPARE(refused.state(), QProcess::Running);
    refused.terminate();
    QVERIFY(refused.waitForFinished(10000));
    QCOMPARE(refused.exitCode(), 0);

    // TLS with a CA and a server certificate for 127.0.0.1 made here; a wrong CA is refused.
    const QString t = m_Dir.filePath("tls");
    QDir().mkpath(t);
    QFile san(t + "/san.ext");
    QVERIFY(san.open(QIODevice::WriteOnly));
    san.write("subjectAltName=IP:127.0.0.1\n");
    san.close();
    for (const QString &ca : {QString("ca"), QString("other")})
        QVERIFY(Run("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                                ca + ".key", "-out", ca + ".pem", "-days", "2", "-subj",
                                "/CN=test " + ca},
                    t));
    QVERIFY(Run("openssl", {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key",
                            "-out", "server.csr", "-subj", "/CN=127.0.0.1"},
                t));
    QVERIFY(Run("openssl", {"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey",
                            "ca.key", "-CAcreateserial", "-out", "server.pem", "-days", "2",
                            "-extfile", "san.ext"},
                t));
    const int tlsPort = FreePort();
    Broker secure(t, "allow_anonymous true\n" + RootLine() + "listener "
                         + QByteArray::number(tlsPort) + " 127.0.0.1\ncafile " + t.toUtf8()
                         + "/ca.pem\ncertfile " + t.toUtf8() + "/server.pem\nkeyfile "
                         + t.toUtf8() + "/server.key\n");
    QVERIFY(secure.Start());
    QVERIFY(WaitUntil([&] { return PortAnswers(tlsPort); }, 10000));
    Subscriber plain(secure.Port(), "watch-3");
    QProcess bad;
    bad.start(Program(), {"--mqtt", "127.0.0.1:" + QString::number(tlsPort), "--mqtt-tls-ca",
                          t + "/other.pem", "--data-dir", m_Dir.filePath("p3")});
    QByteArray badLog;
    QVERIFY(WaitUntil([&] {
        badLog += bad.readAllStandardError();
        return badLog.contains("MQTT:");
    }, 20000));
    QVERIFY2(badLog.contains("certificate verify failed"), badLog.constData());
    QCOMPARE(bad.state(), QProcess::Running);
    bad.terminate();
    QVERIFY(bad.waitForFinished(10000));
    QProcess good;
    good.start(Program(), {"--mqtt", "127.0.0.1:" + QString::number(tlsPort), "--mqtt-tls-ca",
                           t + "/ca.pem", "--data-dir", m_Dir.filePath("p4")});
    QVERIFY2(plain.WaitFor("pm25monitor/status", "online"), good.readAllStandardError().constData());
    good.terminate(); // a clean exit: "offline" before the connection closes
    QVERIFY(good.waitForFinished(10000));
    QCOMPARE(good.exitCode(), 0);
    QVERIFY(plain.WaitFor("pm25monitor/status", "offline"));
}

void TestRecorderMqtt::twoSensorsStatesAndDiscovery()
{
    QDir().mkpath(m_Dir.filePath("b4"));
    Broker broker(m_Dir.filePath("b4"), "allow_anonymous true\n" + RootLine());
    QVERIFY(broker.Start());
    Subscriber sub(broker.Port(), "watch-4");
    m_Clock.now = QDateTime::fromSecsSinceEpoch(1796738700); // a whole ten seconds
    m_Usb = m_Bed.addUsbSensor();
    m_Bed.with(m_Usb, [](sim::SimSensor &s) {
        s.setDeviceType(130);
        s.setKinds({1});
        s.setSerial6({0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x21});
    });
    m_Bridge = m_Bed.addSerialSensor();
    m_Bed.with(m_Bridge, [](sim::SimSensor &s) {
        s.setDeviceType(20);
        s.setKinds({1, 17});
        s.setSerial6({0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x22});
    });
    Recorder r(Options(broker.Port(), "d4"), "5.9");
    m_RecBed.Hook(r);
    r.Start();
    QVERIFY(sub.WaitFor("homeassistant/sensor/pm25monitor_" + kUsb + "/pm10/config", {}));
    QVERIFY(sub.WaitFor("homeassistant/sensor/pm25monitor_" + kBridge + "/aqi/config", {}));
    // Nine seconds of samples; the tenth second ends the interval.
    for (uint16_t i = 0; i < 9; ++i)
        QVERIFY(Measure(r, {m_Usb, m_Bridge}, uint16_t(100 + i)));
    m_Bed.with(m_Bridge, [](sim::SimSensor &s) {
        s.setNextMeasurement(17, 0, 0, 45, 0, 0);
        s.emitMeasurement(17);
    });
    QVERIFY(TickUntil(r, [&] { return m_Stored >= 19; }));
    m_Clock.Step();
    QVERIFY(TickUntil(r, [&] {
        return !sub.On("pm25monitor/" + kUsb + "/state").empty()
               && !sub.On("pm25monitor/" + kBridge + "/state").empty();
    }));
    const QByteArray time = "\"time\":\"" + m_Clock.now.toUTC().toString(Qt::ISODate).toLatin1() + "\"";
    QCOMPARE(sub.On("pm25monitor/" + kUsb + "/state").front().payload,
             "{" + time + ",\"pm25\":10.4,\"pm10\":20.4,\"samples\":9}");
    QCOMPARE(sub.On("pm25monitor/" + kBridge + "/state").front().payload,
             "{" + time + ",\"pm25\":10.4,\"hcho\":0.045,\"samples\":9}");

    // Discovery: retained, one config per entity, the micro sign of Home Assistant's units.
    QVERIFY(sub.WaitFor("homeassistant/sensor/pm25monitor_" + kBridge + "/hcho/config", {}));
    const auto configs = [&](const QByteArray &serial) {
        QStringList entities;
        for (const Received &m : sub.Messages())
            if (m.topic.startsWith("homeassistant/sensor/pm25monitor_" + serial + "/"))
                entities << QString(m.topic.split('/').value(3));
        entities.sort();
        return entities;
    };
    QCOMPARE(configs(kUsb), (QStringList{"aqi", "pm10", "pm25"}));
    QCOMPARE(configs(kBridge), (QStringList{"aqi", "hcho", "pm25"}));
    const QJsonObject pm25 =
        Json(sub.On("homeassistant/sensor/pm25monitor_" + kUsb + "/pm25/config").front().payload);
    QCOMPARE(pm25["unit_of_measurement"].toString().toUtf8(), QByteArray("\xc2\xb5g/m\xc2\xb3"));
    QCOMPARE(pm25["device_class"].toString(), QStringLiteral("pm25"));
    QCOMPARE(pm25["state_class"].toString(), QStringLiteral("measurement"));
    QCOMPARE(pm25["state_topic"].toString(), "pm25monitor/" + kUsb + "/state");
    QCOMPARE(pm25["availability_mode"].toString(), QStringLiteral("all"));
    QCOMPARE(pm25["availability"].toArray().size(), 2);
    QCOMPARE(pm25["device"].toObject()["model"].toString(), QStringLiteral("AQ-410"));
    QCOMPARE(pm25["origin"].toObject()["name"].toString(), QStringLiteral("pm25monitor-recorder"));
    const QJsonObject aqi =
        Json(sub.On("homeassistant/sensor/pm25monitor_" + kUsb + "/aqi/config").front().payload);
    QVERIFY(!aqi.contains("unit_of_measurement"));
    const QJsonObject hcho =
        Json(sub.On("homeassistant/sensor/pm25monitor_" + kBridge + "/hcho/config").front().payload);
    QVERIFY(!hcho.contains("device_class"));
    QCOMPARE(hcho["unit_of_measurement"].toString().toUtf8(), QByteArray("mg/m\xc2\xb3"));
    QVERIFY(sub.WaitFor("pm25monitor/" + kUsb + "/status", "online"));
    QVERIFY(sub.WaitFor("pm25monitor/status", "online"));

    // Home Assistant starts again: the configs come again.
    const size_t told = configs(kUsb).size();
    QVERIFY(Run("mosquitto_pub", {"-p", QString::number(broker.Port()), "-t",
                                  "homeassistant/status", "-m", "online"},
                m_Dir.path()));
    QVERIFY(TickUntil(r, [&] { return size_t(configs(kUsb).size()) >= 2 * told; }));

    // An hour later, 45 minutes with a sample: the index is no longer provisional.
    m_Clock.Step(3600);
    const QByteArray usbState = "pm25monitor/" + kUsb + "/state";
    for (int minute = 0; minute < 45; ++minute) {
        QVERIFY(Measure(r, {m_Usb}, 350)); // 35.0 and 45.0 µg/m³
        m_Clock.Step(59);
    }
    QVERIFY(Measure(r, {m_Usb}, 350));
    QVERIFY(TickUntil(r, [&] { return sub.On(usbState).size() >= 46; }));
    const std::vector<Received> states = sub.On(usbState);
    QVERIFY(!Json(states[states.size() - 2].payload).contains("aqi")); // 44 minutes
    // China: 35 µg/m³ of PM2.5 is index 50, 45 of PM10 index 45; the higher counts.
    QCOMPARE(Json(states.back().payload)["aqi"].toInt(), 50);
    r.Stop();
    QVERIFY(sub.WaitFor("pm25monitor/" + kUsb + "/status", "offline"));
    m_Bed.unplug(m_Usb); // the next tests read the bridge only
}

void TestRecorderMqtt::brokerAwayAndBack()
{
    QDir().mkpath(m_Dir.filePath("b5"));
    Broker broker(m_Dir.filePath("b5"), "allow_anonymous true\npersistence true\n"
                                        "persistence_location " + m_Dir.filePath("b5").toUtf8()
                                        + "/\n" + RootLine());
    QVERIFY(broker.Start());
    auto keeper = std::make_unique<Subscriber>(broker.Port(), "keeper", false);
    RecorderOptions o = Options(broker.Port(), "d5");
    Recorder r(o, "5.9");
    m_RecBed.Hook(r);
    r.Start();
    QVERIFY(TickUntil(r, [&] { return r.m_Publisher->IsConnected(); }));
    QVERIFY(keeper->WaitFor("pm25monitor/" + kBridge + "/status", "online"));
    const QByteArray state = "pm25monitor/" + kBridge + "/state";
    const qint64 first = m_Clock.now.toSecsSinceEpoch() + 1; // the first sample's second
    for (int i = 0; i < 20; ++i)
        QVERIFY(Measure(r, {m_Bridge}, 100));
    // Away for 30 s, while the samples go on; a sensor that goes meanwhile is offline after.
    r.m_Publisher->SensorOnline("0a0b0c0d0e99", "AQ-130", false);
    QVERIFY(keeper->WaitFor("pm25monitor/0a0b0c0d0e99/status", "online"));
    broker.Stop();
    QVERIFY(TickUntil(r, [&] { return !r.m_Publisher->IsConnected(); }));
    r.m_Publisher->SensorOffline("0a0b0c0d0e99");
    QElapsedTimer away;
    away.start();
    while (away.elapsed() < 30000) { // a sample every 100 ms: 30 intervals of the test's clock
        QVERIFY(Measure(r, {m_Bridge}, 100));
        QThread::msleep(100);
    }
    QVERIFY(r.m_Publisher->Waiting() > 0);
    QVERIFY(broker.Start());
    for (int i = 0; i < 11; ++i) // past the next interval, so that one more goes out
        QVERIFY(Measure(r, {m_Bridge}, 100));
    const qint64 last = m_Clock.now.toSecsSinceEpoch() / 10 * 10;
    const int expected = int((last - (first / 10 * 10)) / 10);
    QVERIFY2(TickUntil(r, [&] { return int(keeper->On(state).size()) >= expected; }, 90000),
             qPrintable(QString("%1 of %2 states").arg(keeper->On(state).size()).arg(expected)));
    QVERIFY(keeper->WaitFor("pm25monitor/0a0b0c0d0e99/status", "offline"));
    // Every interval, in order, each with its own time. QoS 1 is "at least once": those in
    // flight when the broker went may come again after the reconnect.
    QStringList times;
    for (const Received &m : keeper->On(state)) {
        const QString time = Json(m.payload)["time"].toString();
        if (!times.contains(time))
            times << time;
    }
    QCOMPARE(times.size(), expected);
    for (int i = 1; i < expected; ++i)
        QCOMPARE(QDateTime::fromString(times[i - 1], Qt::ISODate)
                     .secsTo(QDateTime::fromString(times[i], Qt::ISODate)),
                 qint64(10));
    r.Stop();
    // The day file never paused: no gap record from the first sample to the last.
    QDirIterator files(o.m_DataDir + "/" + kBridge, {"*-ch0.str"}, QDir::Files);
    QVERIFY(files.hasNext());
    _SRecordData image;
    QVERIFY(RecordDataRead(&image, files.next().toLocal8Bit().constData()) > 0);
    for (int i = 0; i < image.m_Count; ++i)
        QVERIFY(!RecordIsGap(image.m_pItems[i]));
    RecordDataFree(&image);
}

void TestRecorderMqtt::silentBrokerKeepsTicksShort()
{
    // A loopback server that takes the connection and never says a word.
    const int port = FreePort();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    QCOMPARE(::listen(fd, 4), 0);
    Recorder r(Options(port, "d6"), "5.9");
    m_RecBed.Hook(r);
    r.Start();
    // Once the sensor is known (asking it who it is waits for it, network or not).
    QVERIFY(TickUntil(r, [&] {
        m_Bed.with(m_Bridge, [](sim::SimSensor &s) { s.emitMeasurement(1); });
        return std::any_of(r.m_Sensors.begin(), r.m_Sensors.end(),
                           [](const auto &s) { return s->Name() == kBridge; });
    }));
    qint64 longest = 0;
    QElapsedTimer run;
    run.start();
    while (run.elapsed() < 4000) {
        m_Clock.Step();
        m_Bed.with(m_Bridge, [](sim::SimSensor &s) { s.emitMeasurement(1); });
        for (int k = 0; k < 5; ++k) {
            QElapsedTimer tick;
            tick.start();
            r.Tick();
            longest = std::max(longest, tick.nsecsElapsed());
            if (tick.nsecsElapsed() > 5'000'000)
                qWarning("slow tick %lld us at %lld ms", tick.nsecsElapsed() / 1000, run.elapsed());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    QVERIFY(!r.m_Publisher->IsConnected());
    QVERIFY(r.m_Publisher->Waiting() > 0);
    // Two hours of states wait: only the last hour's.
    for (int i = 0; i < 720; ++i) {
        m_Clock.Step(10);
        m_Bed.with(m_Bridge, [](sim::SimSensor &s) { s.emitMeasurement(1); });
        const int before = m_Stored;
        QVERIFY(TickUntil(r, [&] { return m_Stored > before; }, 5000));
    }
    QVERIFY2(r.m_Publisher->Waiting() >= 360 && r.m_Publisher->Waiting() <= 361,
             qPrintable(QString::number(r.m_Publisher->Waiting())));
    QVERIFY2(longest < kLongestTickNs,
             qPrintable(QString("longest tick %1 us").arg(longest / 1000)));
    r.Stop();
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestRecorderMqtt)
#include "test_recorder_mqtt.moc"
