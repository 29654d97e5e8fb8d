// Live monitoring end to end: the simulated sensor on the bed, the unchanged window,
// ticks driven by the test, over USB and over the serial bridge.
#include "deviceinfodialog.h"
#include "gbackground.h"
#include "gqwtplotpicker.h"
#include "appbed.h"
#include "realdata.h"
#include "ui_deviceinfodialog.h"
#include "ui_pm2_5.h"

#include <QLabel>
#include <QScrollBar>
#include <QMessageBox>
#include <QStatusBar>
#include <random>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_div.h>

class TestAppLive : public QObject
{
    Q_OBJECT

private slots:
    void identification_data();
    void identification();
    void valuesShownAtTheirResolution_data();
    void valuesShownAtTheirResolution();
    void modelRules_data() { LinkRows(); }
    void modelRules();
    void tvocNamingHappensOnce_data() { LinkRows(); }
    void tvocNamingHappensOnce();
    void collectionOffFreezesThePlot();
    void valueDisplayFollowsAFullSeries();
    void zoomWalksTheLadderAndChannelsSwitch();
    void curveVisibilityCommands_data() { LinkRows(); }
    void curveVisibilityCommands();
    void deviceDialogShowsUpperCaseSerial_data() { LinkRows(); }
    void deviceDialogShowsUpperCaseSerial();
    void clearingOverSerial();
    void serialDamageCostsOnlyTheDamagedFrames();
    void indexAtAGlance();
    void randomDamage_data();
    void randomDamage();
    void secondChannelChosenBeforeAOneChannelSensor_data() { LinkRows(); }
    void secondChannelChosenBeforeAOneChannelSensor();
    void informationBoxesAndExit();
};

void TestAppLive::identification_data()
{
    LinkRows();
}

void TestAppLive::identification()
{
    QFETCH(bool, serial);
    // The reply to the start-up request is lost.
    Live live(serial, 20, {1, 17},
              [serial](sim::SimSensor &s) { s.dropNextReplies(serial ? 2 : 1); });
    PM2_5 &w = *live.w;
    // The start-up request went unanswered: each first-channel reply asks again, nothing is kept.
    QTest::qWait(100);
    const size_t asked = live.Requests(0xA6);
    live.bed.with(live.id, [](sim::SimSensor &s) {
        s.setSilent(true); // no replies to the new requests yet
        s.emitMeasurement(1);
    });
    QVERIFY(live.TickUntil([&] { return live.Requests(0xA6) == asked + 1; }));
    QVERIFY(w.m_pRecordSets == nullptr);
    QCOMPARE(w.m_bDevInfoOk, 0);
    QCOMPARE(w.ui->lineEditValue->text(), QString());

    live.bed.with(live.id, [](sim::SimSensor &s) { s.setSilent(false); });
    w.m_CodeUsb.AskDeviceInfo();
    QVERIFY(live.Identify());
    QVERIFY(w.m_pRecordSets != nullptr);
    QCOMPARE(w.RecordSetCount(), 2);
    QCOMPARE(w.m_HisInterval, 297);
    QCOMPARE(w.ui->labelDevType->text(), QStringLiteral("AQ-130"));
    QVERIFY(!w.ui->lineEditPM10Value->isVisibleTo(&w));
    QCOMPARE(w.m_Plot.m_Curves.size(), 1);
    QVERIFY(w.m_Plot.m_pPicker && w.m_Plot.m_pPicker->m_pOwner == &w);
    QVERIFY(w.m_pRecordSets[0].m_bCollect);

    QVERIFY(live.Measure(1, 355, 420));
    QCOMPARE(w.ui->lineEditValue->text(), QStringLiteral("35.5"));
    QCOMPARE(w.m_pRecordSets[0].m_DevType, 20);
    // The identity text; on the serial link it is rebuilt from every measurement.
    const QString name = w.m_CurveActions[0]->text();
    QVERIFY2(serial ? name.contains('-') : name == QLatin1String("ab12"), qPrintable(name));
    for (int i = 0; i < 5; ++i)
        QVERIFY(live.Measure(1, uint16_t(300 + i)));
    QVERIFY(w.m_Plot.m_Curves[0]->dataSize() > 0); // drawn
}

void TestAppLive::valuesShownAtTheirResolution_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("pm10");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("shownPM10");
    QTest::addColumn<QString>("picked"); // the picker's text at the sample
    QTest::newRow("123.4 shows whole") << 1 << 1234 << 200 << "123" << "20" << "123.4";
    QTest::newRow("123.6 cut, not rounded") << 1 << 1236 << 1009 << "123" << "100" << "123.6";
    QTest::newRow("99.9, kind 3") << 3 << 999 << 12 << "99.9" << "1.2" << "99.9";
    QTest::newRow("0.045 mg/m3") << 17 << 45 << 0 << "0.045" << "" << "0.045";
    QTest::newRow("1.234 mg/m3") << 17 << 1234 << 0 << "1.23" << "" << "1.234";
    // 1.001 * 1000 is 1000.999...: only the tolerance keeps the last digit.
    QTest::newRow("1.001 mg/m3") << 17 << 1001 << 0 << "1" << "" << "1.001";
    QTest::newRow("65.535 mg/m3") << 33 << 65535 << 0 << "65.5" << "" << "65.535";
}

void TestAppLive::valuesShownAtTheirResolution()
{
    QFETCH(int, kind);
    QFETCH(int, word);
    QFETCH(int, pm10);
    QFETCH(QString, shown);
    QFETCH(QString, shownPM10);
    QFETCH(QString, picked);
    Live live(false, 20, {uint8_t(kind)});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    const int channel = kind == 17 || kind == 33 ? 1 : 0;
    if (channel == 1)
        w.ui->radioButtonPA->click();
    QVERIFY(live.Measure(uint8_t(kind), uint16_t(word), uint16_t(pm10)));
    QLineEdit *edit = channel == 0 ? w.ui->lineEditValue : w.ui->lineEditPAValue;
    QCOMPARE(edit->text(), shown);
    if (channel == 0)
        QCOMPARE(w.ui->lineEditPM10Value->text(), shownPM10);
    const _SRealData *s = w.RecordSet(channel)->m_pLive->m_pRealData;
    QCOMPARE(w.FormatValue(s->m_pShowSec[s->m_ShowCount - 1], 0), picked);
}

void TestAppLive::modelRules()
{
    QFETCH(bool, serial);
    for (int type : {130, 131}) {
        Live live(serial, uint8_t(type), {1});
        PM2_5 &w = *live.w;
        QVERIFY(live.Identify());
        QVERIFY(live.Measure(1, 125, 310));
        QCOMPARE(w.ui->labelDevType->text(), type == 130 ? QStringLiteral("AQ-410") : QStringLiteral("AQ-420"));
        QVERIFY(w.ui->lineEditPM10Value->isVisibleTo(&w));
        QVERIFY(w.ui->labelPM10Unit->isVisibleTo(&w));
        QCOMPARE(w.ui->lineEditPM10Value->text(), QStringLiteral("31"));
        QCOMPARE(w.ui->actionClear_history_data->isEnabled(), type == 130);
        QCOMPARE(w.RecordSetCount(), 1);
        QVERIFY(!w.ui->radioButtonPA->isVisibleTo(&w));
        QCOMPARE(w.m_DevState, 2);
        QCOMPARE(w.m_Plot.m_Curves.size(), 2); // PM2.5 and PM10
    }
    {
        Live live(serial, 154); // two channels, but its second channel is not shown
        QVERIFY(live.Identify());
        QCOMPARE(live.w->RecordSetCount(), 2);
        QCOMPARE(live.w->ui->labelDevType->text(), QStringLiteral("error"));
        QVERIFY(live.Measure(1, 100));
        QVERIFY(!live.Measure(17, 45, 0, 600)); // dropped
        QCOMPARE(live.w->m_pRecordSets[1].m_pLive->m_pRealData->m_DataCount, 0);
        QCOMPARE(live.w->ui->lineEditPAValue->text(), QString());
        QVERIFY(!live.w->ui->actionClear_history_data->isEnabled());
    }
    {
        Live live(serial, 2);
        QVERIFY(live.Identify());
        QCOMPARE(live.w->m_HisInterval, 311);
        QCOMPARE(live.w->RecordSetCount(), 1);
    }
}

void TestAppLive::tvocNamingHappensOnce()
{
    QFETCH(bool, serial);
    Live live(serial, 20, {1, 33});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(33, 250));
    QCOMPARE(w.ui->radioButtonPA->text(), QStringLiteral("TVOC"));
    QCOMPARE(w.m_Plot.m_bTVOC, 1);
    w.ui->radioButtonPA->setText(QStringLiteral("marker"));
    QVERIFY(live.Measure(33, 260));
    QCOMPARE(w.ui->radioButtonPA->text(), QStringLiteral("marker"));
    w.ui->actionEnglish->trigger(); // the form text would say "Formaldehyde" again
    QCOMPARE(w.ui->radioButtonPA->text(), QStringLiteral("TVOC"));
    // Its axis and its curve say TVOC too.
    w.ui->radioButtonPA->click();
    QCOMPARE(w.ui->qwtPlot->axisTitle(QwtPlot::yLeft).text(), QStringLiteral("TVOC mg/m3\n"));
    QCOMPARE(w.m_Plot.m_Curves[0]->title().text(), QStringLiteral("TVOC"));
}

void TestAppLive::collectionOffFreezesThePlot()
{
    Live live(true, 20);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    for (int i = 0; i < 3; ++i)
        QVERIFY(live.Measure(1, uint16_t(100 + i)));
    const size_t drawn = w.m_Plot.m_Curves[0]->dataSize();
    QVERIFY(drawn > 0);

    w.ui->actionCollection->trigger();
    QVERIFY(!w.ui->actionCollection->isChecked());
    QVERIFY(w.ui->radioButtonPM25->isChecked() && !w.ui->radioButtonPA->isChecked());
    QCOMPARE(w.ui->actionCollection->text(), QStringLiteral("&Start Collect"));
    QCOMPARE(w.ui->actionCollection->icon().pixmap(16).toImage(),
             QIcon(":/icons/Icons/Play.bmp").pixmap(16).toImage());
    QCOMPARE(int(w.m_pRecordSets[0].m_bCollect), 0);
    QVERIFY(live.Measure(1, 777));
    QCOMPARE(w.ui->lineEditValue->text(), QStringLiteral("77.7")); // still shown
    QCOMPARE(w.m_Plot.m_Curves[0]->dataSize(), drawn);            // not drawn

    const QwtScaleDraw *frozenAxis = w.ui->qwtPlot->axisScaleDraw(QwtPlot::xBottom);
    w.ui->actionCollection->trigger();
    QVERIFY(w.ui->qwtPlot->axisScaleDraw(QwtPlot::xBottom) != frozenAxis); // a fresh time axis
    QCOMPARE(w.ui->actionCollection->text(), QStringLiteral("&Stop Collect"));
    QCOMPARE(w.ui->actionCollection->icon().pixmap(16).toImage(),
             QIcon(":/icons/Icons/Pause.bmp").pixmap(16).toImage());
    QCOMPARE(w.m_Plot.m_Curves[0]->dataSize(), drawn + 1); // redrawn with the new sample
    QCOMPARE(w.m_pRecordSets[0].m_pCurrent, w.m_pRecordSets[0].m_pLive);
}

void TestAppLive::valueDisplayFollowsAFullSeries()
{
    Live live(false, 20);
    QVERIFY(live.Identify());
    QVERIFY(live.Measure(1, 100));
    // Fourteen days later the live series is full; the window still shows each new value.
    _SRealData *series = live.w->m_pRecordSets[0].m_pLive->m_pRealData;
    const int room = series->m_MaxDataCount - series->m_DataCount;
    const std::vector<double> filler(size_t(room), 10.0);
    QCOMPARE(RealDataAddMany(series, filler.data(), filler.data(), room, 1, series->org_pts), room);
    QCOMPARE(series->m_DataCount, series->m_MaxDataCount);
    const int before = live.w->m_pRecordSets[0].m_pLive->m_LiveCount;
    live.clock.Step();
    live.bed.with(live.id, [](sim::SimSensor &s) {
        s.setNextMeasurement(1, 500, 100, 427, kAux, 0);
        s.emitMeasurement(1);
    });
    QVERIFY(live.TickUntil([&] { return live.w->m_pRecordSets[0].m_pLive->m_LiveCount > before; }));
    QCOMPARE(live.w->ui->lineEditValue->text(), QStringLiteral("42.7"));
}

void TestAppLive::zoomWalksTheLadderAndChannelsSwitch()
{
    Live live(false, 20);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    for (int i = 0; i < 10; ++i)
        QVERIFY(live.Measure(1, uint16_t(200 + i)));
    const _SRealData *series = w.m_pRecordSets[0].m_pLive->m_pRealData;
    // With ten samples the fitting level (2 s per point) joins the ladder.
    QList<int> out, in;
    for (int i = 0; i < 7; ++i) {
        w.ui->actionTime_zoom_out->trigger();
        out << series->min_show;
    }
    for (int i = 0; i < 7; ++i) {
        w.ui->actionTime_zoom_in->trigger();
        in << series->min_show;
    }
    QCOMPARE(out, (QList<int>{2, 6, 30, 60, 300, 1800, 1800}));
    QCOMPARE(in, (QList<int>{300, 60, 30, 6, 2, 1, 1}));
    QCOMPARE(w.m_Plot.m_pQwtPlot->axisScaleDiv(QwtPlot::xBottom).range(), 300.0);
    // The same by the keys, in either language.
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, QKeySequence::ZoomOut);
    QCOMPARE(series->min_show, 2);
    w.ui->actionChinese->trigger();
    QTest::keySequence(&w, QKeySequence::ZoomIn);
    QCOMPARE(series->min_show, 1);
    w.ui->actionEnglish->trigger();

    // Ten minutes on, the view follows the newest sample; moved back, it stays while samples
    // come in; End brings it back, and it follows again.
    _SRealData *shown = w.m_pRecordSets[0].m_pLive->m_pRealData;
    const std::vector<double> filler(600, 20.0);
    RealDataAddMany(shown, filler.data(), filler.data(), 600, 1, shown->org_pts);
    QTest::keyClick(&w, Qt::Key_Left);
    QCOMPARE(shown->m_PanBack, 30);
    const double start = shown->m_ShowStartSec;
    QVERIFY(live.Measure(1, 300));
    QCOMPARE(shown->m_ShowStartSec, start);
    QCOMPARE(shown->m_PanBack, 31);
    QCOMPARE(w.TimeScrollBar()->value(), w.TimeScrollBar()->maximum() - 31);
    QTest::keyClick(&w, Qt::Key_End);
    QCOMPARE(shown->m_PanBack, 0);
    QCOMPARE(shown->m_pShowData0[shown->m_ShowCount - 1], 30.0);
    QVERIFY(live.Measure(1, 310));
    QCOMPARE(shown->m_pShowData0[shown->m_ShowCount - 1], 31.0);
    QCOMPARE(shown->m_ShowStartSec, start + 32);

    // The channel buttons switch the plot and its axis title; the language follows.
    QTest::mouseClick(w.ui->radioButtonPA, Qt::LeftButton);
    QCOMPARE(w.m_Channel, 1);
    QVERIFY(w.ui->qwtPlot->axisTitle(QwtPlot::yLeft).text().startsWith("Formaldehyde mg/m3"));
    w.ui->actionChinese->trigger();
    w.ui->actionChinese->trigger(); // the titles are set before the new translator is installed
    QVERIFY(w.ui->qwtPlot->axisTitle(QwtPlot::yLeft).text().startsWith(QString::fromUtf8("甲醛")));
    w.ui->actionEnglish->trigger();
    QVERIFY(w.ui->qwtPlot->axisTitle(QwtPlot::yLeft).text().startsWith("Formaldehyde mg/m3"));
    QVERIFY(w.ui->qwtPlot->axisTitle(QwtPlot::xBottom).text().contains("Time("));
}

void TestAppLive::curveVisibilityCommands()
{
    QFETCH(bool, serial);
    Live live(serial, 130, {1});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QCOMPARE(w.m_Plot.m_Curves.size(), 2);
    w.ui->actionNodisplay->trigger();
    QVERIFY(!w.m_CurveActions[0]->isChecked());
    QVERIFY(!w.m_Plot.m_Curves[0]->isVisible());
    QVERIFY(w.m_Plot.m_Curves[1]->isVisible()); // one entry, for curve 0
    w.m_CurveActions[0]->trigger();
    QVERIFY(w.m_CurveActions[0]->isChecked());
    QVERIFY(w.m_Plot.m_Curves[0]->isVisible());
    w.m_CurveActions[0]->trigger();
    QVERIFY(!w.m_Plot.m_Curves[0]->isVisible());
    w.ui->actionDisplay_all->trigger();
    QVERIFY(w.m_CurveActions[0]->isChecked());
    QVERIFY(w.m_Plot.m_Curves[0]->isVisible());
}

void TestAppLive::deviceDialogShowsUpperCaseSerial()
{
    QFETCH(bool, serial);
    Live live(serial, 20);
    QVERIFY(live.Identify());
    if (serial) // the serial-identity reply follows the device information
        QVERIFY(live.TickUntil([&] { return live.w->m_CodeUsb.m_LinkMode == 4; }));
    QString number, name, title;
    OnNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<DeviceInfoDialog *>(modal);
        QVERIFY(dialog);
        title = dialog->windowTitle();
        number = dialog->ui->labelSN->text();
        name = dialog->ui->labelDeviceName->text();
        QCOMPARE(dialog->m_Index, 0);
    });
    live.w->m_DevInfoActions[0]->trigger();
    // Over USB the 0xA6 serial number; the bridge's 0xB5 serial replaces it.
    QCOMPARE(number, serial ? QStringLiteral("123456789ABCDE") : QStringLiteral("01020A0B10FF"));
    QCOMPARE(name, serial ? live.w->m_CodeUsb.GetDevName(0) : QByteArray("ab12"));
    QCOMPARE(title, QStringLiteral("DeviceInfo"));
}

void TestAppLive::clearingOverSerial()
{
    Live live(true, 130, {1});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(w.ui->actionClear_history_data->isEnabled());
    w.m_bDevInfoOk = 0; // the confirmation goes through the device-information steps too
    w.m_HisInterval = 0;
    w.ui->actionClear_history_data->trigger();
    QVERIFY(live.TickUntil([&] {
        return w.statusBar()->currentMessage() == QLatin1String("Clearing success");
    }));
    QCOMPARE(w.m_bDevInfoOk, 1);
    QCOMPARE(w.m_HisInterval, 300);
    QTRY_VERIFY_WITH_TIMEOUT(w.statusBar()->currentMessage().isEmpty(), 5000); // gone after 3 s
}

void TestAppLive::serialDamageCostsOnlyTheDamagedFrames()
{
    Live live(true, 20, {1});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    const _SRecordData *image = w.RecordSet(0)->m_pLive->m_pRecordData;
    struct Sent {
        uint16_t value;
        std::function<void(sim::SimSensor &)> fault;
    };
    const std::vector<Sent> sent = {
        {101, {}},
        // One byte short with a data byte 0xAA; the next frame has 0xAB 18 bytes later.
        {0x00AA, [](sim::SimSensor &s) { s.loseByteInNextFrame(12); }},
        {0x01AB, {}},
        {104, [](sim::SimSensor &s) { s.sendGarbage(57); }},
        {105, [](sim::SimSensor &s) { s.addByteInNextFrame(9, 0xAB); }},
        {106, {}},
        {107, [](sim::SimSensor &s) { s.loseByteInNextFrame(); }},
        {108, {}},
    };
    const int before = image->m_Count;
    for (const Sent &f : sent) {
        const int count = image->m_Count;
        live.bed.with(live.id, [&](sim::SimSensor &s) {
            if (f.fault)
                f.fault(s);
            s.setNextMeasurement(1, 500, 100, f.value, kAux, 0);
            s.emitMeasurement(1);
        });
        // A frame that is kept takes a second of the clock; a lost one takes none.
        if (live.TickUntil([&] { return image->m_Count > count; }, 600))
            live.clock.Step();
    }
    QList<int> stored;
    for (int i = before; i < image->m_Count; ++i)
        stored << image->m_pItems[i].m_PM25;
    QCOMPARE(stored, (QList<int>{101, 0x01AB, 104, 106, 108}));
}

void TestAppLive::indexAtAGlance()
{
    Live live(false, 130, {1});
    PM2_5 &w = *live.w;
    QVERIFY(live.Identify());
    QCOMPARE(w.LinkLabel()->text(), QStringLiteral("USB: AQ-410"));
    QLabel *aqi = w.ui->labelAqi;
    QVERIFY(!aqi->isVisibleTo(&w));
    // PM2.5 35.0 (China: 50) and PM10 80 (65): the higher shows, provisional at first.
    QVERIFY(live.Measure(1, 350, 800));
    QVERIFY(aqi->isVisibleTo(&w));
    QCOMPARE(aqi->text(), QStringLiteral("AQI 65* Good"));
    QVERIFY(aqi->toolTip().startsWith(QLatin1String("Provisional")));
    QVERIFY(aqi->styleSheet().contains(QLatin1String("#ffff00")));
    // One sample a minute for 45 minutes: China's average stands.
    for (int i = 0; i < 44; ++i) {
        live.clock.Step(59);
        QVERIFY(live.Measure(1, 350, 800));
    }
    QCOMPARE(aqi->text(), QStringLiteral("AQI 65 Good"));
    QVERIFY(aqi->toolTip().isEmpty());
    // The US EPA's (35.0: 99; 80: 63) has no NowCast without two complete hours: the 60-minute
    // mean, provisional. Its bands and their legend follow; so does the language.
    w.ui->actionAqiEpa->trigger();
    QCOMPARE(aqi->text(), QStringLiteral("AQI 99* Moderate"));
    QVERIFY(w.m_Plot.m_pBackGround->m_bUsEpa);
    QCOMPARE(w.m_Plot.m_BandKeys.value(2)->title().text(),
             QStringLiteral("Unhealthy for Sensitive Groups"));
    w.ui->actionChinese->trigger();
    QCOMPARE(aqi->text(), QString::fromUtf8("AQI 99* 中等"));
    QCOMPARE(w.m_Plot.m_BandKeys.value(0)->title().text(), QString::fromUtf8("好"));
    w.ui->actionEnglish->trigger();
    // Gone with the sensor.
    live.bed.unplug(live.id);
    QVERIFY(live.TickUntil([&] { return w.m_DevState == 0; }));
    QVERIFY(!aqi->isVisibleTo(&w));
    QCOMPARE(w.LinkLabel()->text(), QStringLiteral("No sensor: waiting for one"));
}

void TestAppLive::randomDamage_data()
{
    QTest::addColumn<bool>("sums"); // the sensor computes the checksums of what it sends
    QTest::newRow("checksums") << true;
    QTest::newRow("no checksums") << false;
}

void TestAppLive::randomDamage()
{
    QFETCH(bool, sums);
    Live live(true, 20, {1}, [&](sim::SimSensor &s) { s.setWrongChecksums(!sums); });
    QVERIFY(live.Identify());
    for (int i = 0; i < 25; ++i) // the sensor shows how it sums
        QVERIFY(live.Measure(1, uint16_t(50 + i)));
    const _SRecordData *image = live.w->RecordSet(0)->m_pLive->m_pRecordData;
    // 600 good frames, 300 rounds of damage between them: a byte lost, or one added between the
    // head and the checksum, in a frame that carries a value never sent whole (500.0 and up),
    // or garbage.
    std::mt19937 rng(15);
    std::vector<int> good;
    live.bed.with(live.id, [&](sim::SimSensor &s) {
        for (int i = 0; i < 600; ++i) {
            if (i % 2) {
                const unsigned kind = rng() % 3;
                if (kind == 0)
                    s.loseByteInNextFrame(rng() % 19);
                else if (kind == 1)
                    s.addByteInNextFrame(1 + rng() % 17, uint8_t(rng()));
                if (kind < 2) {
                    s.setNextMeasurement(1, 500, 100, uint16_t(5000 + i), kAux, 0);
                    s.emitMeasurement(1);
                } else {
                    s.sendGarbage(1 + rng() % 40);
                }
            }
            good.push_back(100 + i);
            s.setNextMeasurement(1, 500, 100, uint16_t(good.back()), kAux, 0);
            s.emitMeasurement(1);
        }
    });
    std::vector<int> stored;
    QElapsedTimer idle; // until nothing more comes for two seconds
    idle.start();
    while (idle.elapsed() < 2000 && stored.size() < 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const int before = image->m_Count;
        live.w->PollDevice(0);
        if (image->m_Count == before)
            continue;
        stored.push_back(image->m_pItems[image->m_Count - 1].m_PM25);
        live.clock.Step(); // one second per sample kept: no pauses, no fillers
        idle.restart();
    }
    if (sums) {
        QCOMPARE(stored, good); // nothing lost, nothing damaged kept
        QVERIFY(live.w->m_CodeUsb.m_SerialPort.m_BadSums > 0);
    } else {
        // Read as such a sensor allows: every good frame, and whatever else passes for one.
        size_t next = 0;
        for (int v : stored)
            next += next < good.size() && v == good[next] ? 1 : 0;
        QCOMPARE(next, good.size());
    }
}

void TestAppLive::secondChannelChosenBeforeAOneChannelSensor()
{
    QFETCH(bool, serial);
    Live live(serial, 130, {1, 17});
    PM2_5 &w = *live.w;
    QTest::mouseClick(w.ui->radioButtonPA, Qt::LeftButton);
    QCOMPARE(w.m_Channel, 1);
    QVERIFY(live.Identify());
    QCOMPARE(w.RecordSetCount(), 1);
    QVERIFY(w.m_Plot.m_pPicker != nullptr);
    // The window falls back to channel 0 whole: the button, the plot, the picker.
    QCOMPARE(w.m_Channel, 0);
    QVERIFY(w.ui->radioButtonPM25->isChecked());
    QVERIFY(live.Measure(1, 120));
    QVERIFY(w.m_Plot.m_Curves[0]->dataSize() > 0);
    QVERIFY(!w.FormatValue(w.m_Plot.m_Curves[0]->sample(0).x(), 0).isEmpty());
    // Every command skips the set that does not exist.
    QVERIFY(!live.Measure(17, 45, 0, 600));
    w.ui->actionTime_zoom_in->trigger();
    w.ui->actionTime_zoom_out->trigger();
    w.ui->actionCollection->trigger();
    w.ui->actionCollection->trigger();
    QCOMPARE(w.FormatValue(1e9, 0), QString());
    QCOMPARE(w.m_Plot.m_pPicker->trackerTextF(QPointF(0, 0)).text().left(1), QStringLiteral("("));
    w.ui->actionChinese->trigger();
    QTest::mouseClick(w.ui->radioButtonPM25, Qt::LeftButton);
    QCOMPARE(w.m_Channel, 0);
    QVERIFY(live.Measure(1, 130));
}

void TestAppLive::informationBoxesAndExit()
{
    Live live(false, 20);
    QStringList texts;
    OnNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        texts << box->windowTitle() << box->text();
        QVERIFY(box->parentWidget() == nullptr);
    });
    live.w->ui->actionAbout_Software->trigger();
    QCOMPARE(texts, (QStringList{"Software version", "Quelmar Air Quality Monitor 5.9"}));
    texts.clear();
    OnNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        texts << box->windowTitle() << box->text();
    });
    live.w->ui->actionAbout_Quelmar->trigger();
    QCOMPARE(texts.value(0), QStringLiteral("About Quelmar"));
    QCOMPARE(texts.value(1).count('\n'), 4);
    QVERIFY(texts.value(1).contains(QLatin1String("example.com")));

    QVERIFY(live.Identify());
    live.w->ui->actionExit->trigger();
    QVERIFY(live.w->m_pRecordSets == nullptr);
    QVERIFY(g_pRecordSets == nullptr);
    QVERIFY(live.w->m_Plot.m_Curves.isEmpty());
    live.w->PollDevice(0); // a late tick finds nothing to touch
    live.w.reset();        // and the destructor nothing to free twice
}

QTEST_MAIN(TestAppLive)
#include "test_app_live.moc"
