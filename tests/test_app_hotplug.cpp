// Sensors coming and going while the window runs: unplug and replug on both links, a sensor
// plugged in after a start without one.
#include "appbed.h"
#include "messagecapture.h"
#include "ui_pm2_5.h"

#include <QMessageBox>
#include <QStatusBar>
#include <qwt_plot_curve.h>

namespace {

// Ticks until cond holds; false after 2 s (the time a sensor has to be picked up in).
bool Within2s(Live &live, const std::function<bool()> &cond)
{
    return live.TickUntil(cond, 2000);
}

int Plug(sim::SimBed &bed, bool serial, uint8_t type)
{
    const int id = serial ? bed.addSerialSensor() : bed.addUsbSensor();
    bed.with(id, [&](sim::SimSensor &s) {
        s.setDeviceType(type);
        s.setKinds({1, 17});
    });
    return id;
}

} // namespace

class TestAppHotplug : public QObject
{
    Q_OBJECT

private slots:
    void unplugAndReplug_data();
    void unplugAndReplug();
    void lateSensor_data() { LinkRows(); }
    void lateSensor();
    void sensorsOfEveryKindInTurn();
    void onlyTheSensorInUseLeaves();
};

void TestAppHotplug::unplugAndReplug_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("serialAfter");
    QTest::newRow("usb, then serial") << false << true;
    QTest::newRow("serial, then usb") << true << false;
    QTest::newRow("usb, then usb") << false << false;
}

void TestAppHotplug::unplugAndReplug()
{
    QFETCH(bool, serial);
    QFETCH(bool, serialAfter);
    MessageCapture log;
    Live live(serial, 20, {1, 17});
    PM2_5 &w = *live.w;
    QVERIFY(live.Identify());
    for (int i = 0; i < 3; ++i)
        QVERIFY(live.Measure(1, uint16_t(100 + i)));
    GRecordDataPro *stream = w.RecordSet(0)->m_pLive;
    const QDateTime start = stream->m_StartTime;
    const int kept = stream->m_pRealData->m_DataCount;

    live.bed.unplug(live.id);
    QVERIFY(Within2s(live, [&] { return w.m_DevState == 0; }));
    QCOMPARE(w.m_bDevInfoOk, 0);
    QVERIFY(w.m_CurveActions.isEmpty());
    QCOMPARE(log.CountStartingWith("sensor gone"), 1);
    for (int i = 0; i < 10; ++i) // the program keeps running, with nothing more to say
        w.PollDevice(0);
    QCOMPARE(log.CountStartingWith("sensor gone"), 1);
    QCOMPARE(stream->m_pRealData->m_DataCount, kept);
    // The samples taken stay savable; a download needs a sensor.
    AnswerFileDialog(QString());
    w.ui->actionBinary->trigger();
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("File open failed!")); // the dialog came
    w.ui->actionCollect_historical_data->trigger();
    QCOMPARE(w.statusBar()->currentMessage(), QStringLiteral("Please check the device is connected!"));

    // Another model, perhaps on the other link, picked up by itself.
    live.id = Plug(live.bed, serialAfter, 130);
    QVERIFY(Within2s(live, [&] { return w.m_bDevInfoOk == 1; }));
    QCOMPARE(log.CountStartingWith("sensor plugged in"), 1);
    QCOMPARE(w.m_DevState, 2);
    QCOMPARE(w.m_CurveActions.size(), 1);
    QCOMPARE(w.m_Plot.m_Curves.size(), 2);
    QCOMPARE(w.ui->labelDevType->text(), QStringLiteral("AQ-410"));
    QVERIFY(w.ui->lineEditPM10Value->isVisibleTo(&w));
    QVERIFY(w.ui->actionClear_history_data->isEnabled());
    // Collection goes on in the same live stream.
    QVERIFY(live.Measure(1, 150, 200));
    QCOMPARE(w.RecordSet(0)->m_pLive, stream);
    QCOMPARE(stream->m_StartTime, start);
    QCOMPARE(stream->m_pRealData->m_pData0[stream->m_pRealData->m_DataCount - 1], 15.0);
    QCOMPARE(w.ui->lineEditPM10Value->text(), QStringLiteral("20"));
    // A USB sensor is named by its identity: the serial link's naming from the measurement
    // bytes went with the sensor before.
    QCOMPARE(w.m_CurveActions[0]->text(),
             serialAfter ? QStringLiteral("6261-3132") : QStringLiteral("ab12"));

    // That sensor goes too: clearing its history is no longer offered.
    live.bed.unplug(live.id);
    QVERIFY(Within2s(live, [&] { return w.m_DevState == 0; }));
    QVERIFY(!w.ui->actionClear_history_data->isEnabled());
}

void TestAppHotplug::lateSensor()
{
    QFETCH(bool, serial);
    MessageCapture log;
    Live live(Live::NoSensor{});
    PM2_5 &w = *live.w;
    QCOMPARE(w.m_DevState, 0);
    QCOMPARE(w.RecordSetCount(), 2); // made for two channels while no type is known
    for (int i = 0; i < 10; ++i)
        w.PollDevice(0);
    QVERIFY(log.Lines().filter("sensor").isEmpty());

    // A one-channel sensor with PM10, ten minutes later: the sets stay, its widgets follow its
    // type, and its first sample is stored at its own second.
    live.clock.Step(601);
    live.id = Plug(live.bed, serial, 130);
    QVERIFY(Within2s(live, [&] { return w.m_bDevInfoOk == 1; }));
    QCOMPARE(log.CountStartingWith(serial ? "sensor plugged in: serial" : "sensor plugged in: USB"), 1);
    QCOMPARE(w.m_DevState, 2);
    QCOMPARE(w.RecordSetCount(), 2);
    QVERIFY(!w.ui->radioButtonPA->isVisibleTo(&w));
    QVERIFY(w.ui->lineEditPM10Value->isVisibleTo(&w));
    QCOMPARE(w.m_Plot.m_Curves.size(), 2);
    QCOMPARE(w.m_CurveActions.size(), 1);
    QVERIFY(live.Measure(1, 150, 200));
    const GRecordDataPro *stream = w.RecordSet(0)->m_pLive;
    QCOMPARE(stream->m_StartTime, live.clock.now);
    QVERIFY(live.Measure(1, 151, 201));
    QCOMPARE(stream->m_pRecordData->m_Count, 2); // no filler across the wait
    QVERIFY(w.m_Plot.m_Curves[1]->dataSize() > 0); // PM10 drawn
    QCOMPARE(w.ui->lineEditValue->text(), QStringLiteral("15.1"));
}

void TestAppHotplug::sensorsOfEveryKindInTurn()
{
    // A one-channel sensor at the start: one record set.
    Live live(false, 4, {1});
    PM2_5 &w = *live.w;
    QVERIFY(live.Identify());
    QCOMPARE(w.RecordSetCount(), 1);
    QVERIFY(live.Measure(1, 100));

    // A TVOC sensor next: its second channel is made, and named TVOC once it says so.
    live.bed.unplug(live.id);
    QVERIFY(live.TickUntil([&] { return w.m_DevState == 0; }));
    live.id = Plug(live.bed, false, 20);
    live.bed.with(live.id, [](sim::SimSensor &s) { s.setKinds({1, 33}); });
    QVERIFY(live.Identify());
    QCOMPARE(w.RecordSetCount(), 2);
    QVERIFY(w.ui->radioButtonPA->isVisibleTo(&w));
    QVERIFY(live.Measure(33, 250));
    QVERIFY(live.Measure(33, 251));
    QCOMPARE(w.RecordSet(1)->m_pLive->m_LiveCount, 2);
    QCOMPARE(w.ui->radioButtonPA->text(), QStringLiteral("TVOC"));

    // A formaldehyde sensor on the serial bridge: not TVOC, in its history request and in the
    // names of its files.
    live.bed.unplug(live.id);
    QVERIFY(live.TickUntil([&] { return w.m_DevState == 0; }));
    live.id = Plug(live.bed, true, 20);
    live.bed.with(live.id, [&](sim::SimSensor &s) {
        s.generateHistory(12, live.clock.now.toSecsSinceEpoch() - 297);
    });
    QVERIFY(live.Identify());
    QVERIFY(live.Measure(17, 45));
    QCOMPARE(w.ui->radioButtonPA->text(), QStringLiteral("Formaldehyde"));
    QCOMPARE(w.m_Plot.m_bTVOC, 0);
    w.ui->radioButtonPA->click();
    w.ui->actionCollect_historical_data->trigger();
    const std::vector<int> kinds = live.bed.with(live.id, [](sim::SimSensor &s) {
        std::vector<int> k;
        for (const sim::Request &r : s.requests())
            if (r.page >= 0)
                k.push_back(r.image[4]);
        return k;
    });
    QCOMPARE(kinds, std::vector<int>(3, 2));
    QString suggested;
    AnswerFileDialog(QString(), &suggested);
    w.ui->actionExecl->trigger();
    QVERIFY2(QFileInfo(suggested).fileName().startsWith(QLatin1String("FormDeviceHistory")),
             qPrintable(suggested));
}

void TestAppHotplug::onlyTheSensorInUseLeaves()
{
    MessageCapture log;
    Live live(false, 20, {1});
    PM2_5 &w = *live.w;
    QVERIFY(live.Identify());
    auto settle = [&] { // a second of ticks: time for the bed's events to be seen
        QElapsedTimer t;
        t.start();
        return live.TickUntil([&] { return t.elapsed() > 1000; });
    };

    // A USB device of another kind comes and goes: nothing to look at.
    const int foreign = live.bed.addOtherUsbDevice(0x1234, 0x5678);
    QVERIFY(settle());
    QVERIFY(!w.m_CodeUsb.m_bUsbArrived);
    live.bed.unplug(foreign);
    // A second sensor comes and goes while the first is read.
    const int second = Plug(live.bed, false, 4);
    QVERIFY(settle());
    live.bed.unplug(second);
    QVERIFY(settle());
    QCOMPARE(w.m_DevState, 1);
    QVERIFY(live.Measure(1, 120));

    // The one in use goes; a serial sensor comes, and a USB sensor plugged in and out beside
    // it changes nothing, nor does a look for the bridge while its port is open.
    live.bed.unplug(live.id);
    QVERIFY(Within2s(live, [&] { return w.m_DevState == 0; }));
    live.id = Plug(live.bed, true, 20);
    QVERIFY(live.Identify());
    const int passing = Plug(live.bed, false, 4);
    QVERIFY(settle());
    live.bed.unplug(passing);
    QVERIFY(settle());
    QCOMPARE(w.m_CodeUsb.m_SerialPort.ReopenSerialPort(), 1);
    QVERIFY(live.Measure(1, 130));
    QCOMPARE(w.m_DevState, 1);
    QCOMPARE(log.CountStartingWith("sensor gone"), 1);
}

QTEST_MAIN(TestAppHotplug)
#include "test_app_hotplug.moc"
