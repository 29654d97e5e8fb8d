// The history command end to end: the simulated sensor's stored values downloaded through the
// real transports into the history stream, with progress, cancel, faults and re-entrant
// commands.
#include "appbed.h"
#include "gtimescaledraw.h"
#include "ui_pm2_5.h"

#include <QProgressDialog>
#include <QStatusBar>
#include <qwt_plot.h>
#include <qwt_scale_draw.h>

namespace {

constexpr uint8_t kPages = 0; // the kind recorded for six-value page requests

// Pages the sensor served to history requests of one kind, in order.
std::vector<int> Served(Live &live, int kind)
{
    return live.bed.with(live.id, [kind](sim::SimSensor &s) {
        std::vector<int> pages;
        for (const sim::Request &r : s.requests())
            if (r.page >= 0 && (r.image[2] == 0xAC ? kPages : r.image[4]) == kind)
                pages.push_back(r.page);
        return pages;
    });
}

std::vector<int> Range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i < to; ++i)
        v.push_back(i);
    return v;
}

std::vector<sim::HistoryValue> Stored(Live &live)
{
    return live.bed.with(live.id, [](sim::SimSensor &s) { return s.history(); });
}

// Calls f with the progress dialog on every event-loop pass of the downloads to come, until
// it returns true.
void DuringDownload(PM2_5 &w, std::function<bool(QProgressDialog &)> f)
{
    auto *timer = new QTimer(&w);
    QObject::connect(timer, &QTimer::timeout, [timer, &w, f] {
        if (QProgressDialog *d = w.findChild<QProgressDialog *>())
            if (f(*d))
                timer->stop();
    });
    timer->start(0);
}

// Runs the history command and returns the status message it ends with.
QString Download(PM2_5 &w)
{
    w.ui->actionCollect_historical_data->trigger();
    return w.statusBar()->currentMessage();
}

// The history stream holds exactly these sensor values, from `first` on.
void CompareValues(const GRecordDataSet &set, const std::vector<sim::HistoryValue> &h,
                   std::vector<int> kept, bool pm10, bool second = false)
{
    const _SRecordData *image = set.m_pHistory->m_pRecordData;
    QCOMPARE(image->m_MaxCount, int(kept.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
        const sim::HistoryValue &v = h[size_t(kept[i])];
        QCOMPARE(image->m_pItems[i].m_PM25, second ? v.second : v.pm25);
        QCOMPARE(image->m_pItems[i].m_PM10, pm10 ? v.pm10 : uint16_t(0));
    }
}

} // namespace

Q_DECLARE_METATYPE(std::vector<int>)

class TestAppHistory : public QObject
{
    Q_OBJECT

private slots:
    void blocksWithPM10_data() { LinkRows(); }
    void blocksWithPM10();
    void fullSizeOverUsb();
    void pageVariant_data();
    void pageVariant();
    void lostPagesDropWholeBlocks();
    void silenceEndsTheDownload_data() { LinkRows(); }
    void silenceEndsTheDownload();
    void stoppedPartWay_data();
    void stoppedPartWay();
    void secondChannel_data() { LinkRows(); }
    void secondChannel();
    void withoutASensor();
};

void TestAppHistory::blocksWithPM10()
{
    QFETCH(bool, serial);
    const int64_t end = QDateTime::currentSecsSinceEpoch() / 300 * 300 - 7200;
    Live live(serial, 130, {1}, [&](sim::SimSensor &s) { s.generateHistory(13, end); });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 100));
    bool modal = false;
    bool ticked = true;
    QString label;
    DuringDownload(w, [&](QProgressDialog &d) {
        modal = d.isVisible() && d.windowModality() == Qt::WindowModal && d.minimumDuration() == 0;
        label = d.labelText();
        if (d.value() == 3 && ticked) { // a measurement arrives in the middle of the download
            live.clock.Step();
            live.bed.with(live.id, [](sim::SimSensor &s) {
                s.setNextMeasurement(1, 500, 100, 777, kAux, 0);
                s.emitMeasurement(1);
            });
            ticked = w.PollDevice(0);
        }
        return false;
    });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.13"));
    QVERIFY(modal);
    QVERIFY(!ticked); // the tick leaves the link to the download
    QCOMPARE(label, QStringLiteral("Reading history data: page 12 of 12"));
    QCOMPARE(w.ui->lineEditValue->text(), QStringLiteral("77.7")); // handed to the live stream

    // 13 values are 24 after rounding: two blocks, PM10 pass first.
    QCOMPARE(int(w.m_CodeUsb.m_5MinutesCount), 24);
    QCOMPARE(Served(live, 5), Range(0, 6));
    QCOMPARE(Served(live, 1), Range(0, 6));
    const GRecordDataSet &set = w.m_pRecordSets[0];
    QCOMPARE(int(set.m_Mode), 2);
    QCOMPARE(set.m_pCurrent, set.m_pHistory);
    QCOMPARE(int(set.m_bCollect), 0);
    QVERIFY(!w.ui->actionCollection->isChecked());
    QVERIFY(!w.ui->actionBinary->isEnabled() && !w.ui->actionTime_zoom_in->isEnabled());
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(0, 13), true);
    QCOMPARE(set.histtime.size(), 13);
    for (int i = 0; i < 13; ++i)
        QCOMPARE(int64_t(set.histtime[i]), h[size_t(i)].time);
    // A type-130 history starts at time 0 and is labelled from the sensor's stamps.
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), int64_t(0));
    const QwtScaleDraw *axis = w.ui->qwtPlot->axisScaleDraw(QwtPlot::xBottom);
    QCOMPARE(axis->label(12 * 300 + 299).text(),
             QDateTime::fromSecsSinceEpoch(h[12].time).toString(QStringLiteral("MM-dd \nhh:mm")));

    // Collecting again shows the live stream; a second download starts afresh.
    w.ui->actionCollection->trigger();
    QCOMPARE(set.m_pCurrent, set.m_pLive);
    live.bed.with(live.id, [&](sim::SimSensor &s) { s.generateHistory(5, end); });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.5"));
    CompareValues(set, Stored(live), Range(0, 5), true);
}

void TestAppHistory::fullSizeOverUsb()
{
    Live live(false, 4, {1}, [](sim::SimSensor &s) {
        s.generateHistory(5000, QDateTime::currentSecsSinceEpoch() / 300 * 300);
    });
    QVERIFY(live.Identify());
    int maximum = 0;
    DuringDownload(*live.w, [&](QProgressDialog &d) {
        maximum = d.maximum();
        return false;
    });
    QCOMPARE(Download(*live.w), QStringLiteral("Finish reading history data.4020"));
    QCOMPARE(int(live.w->m_CodeUsb.m_5MinutesCount), 4031);
    QCOMPARE(maximum, 1005);
    // Every page once, in order, although USB requests carry only their low 8 bits.
    QCOMPARE(Served(live, 1), Range(0, 1005));
    QCOMPARE(live.w->m_CodeUsb.m_PM25Spans.size(), size_t(335));
    const GRecordDataSet &set = live.w->m_pRecordSets[0];
    CompareValues(set, Stored(live), Range(0, 4020), false);
    // Other types show clock time, the history ending at the moment of the download.
    const qint64 now = live.w->m_Plot.m_BaseTime.toSecsSinceEpoch();
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), now - 4020 * 300);
}

void TestAppHistory::pageVariant_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("count");
    QTest::addColumn<std::vector<int>>("pages");
    QTest::addColumn<int>("kept");
    QTest::newRow("30") << false << 30 << Range(0, 5) << 30;
    QTest::newRow("700: 48 full pages") << false << 700 << Range(0, 49) << 292;
    QTest::newRow("24: no remainder") << false << 24 << Range(0, 4) << 24;
    QTest::newRow("5: page 0 twice") << false << 5 << std::vector<int>{0, 0} << 5;
    QTest::newRow("30 over serial") << true << 30 << Range(0, 5) << 30;
}

void TestAppHistory::pageVariant()
{
    QFETCH(bool, serial);
    QFETCH(int, count);
    QFETCH(std::vector<int>, pages);
    QFETCH(int, kept);
    Live live(serial, 7, {1, 17}, [&](sim::SimSensor &s) {
        s.generateHistory(size_t(count), QDateTime::currentSecsSinceEpoch());
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    w.m_HisInterval = 0; // not reported yet: the default interval
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.%1").arg(kept));
    QCOMPARE(Served(live, kPages), pages);
    QCOMPARE(w.m_CodeUsb.m_HisTotalCount, kept);
    const GRecordDataSet &set = w.m_pRecordSets[0];
    CompareValues(set, Stored(live), Range(0, kept), false);
    QCOMPARE(set.m_pHistory->m_pRealData->m_DataSecUnit, 300);
    QVERIFY(set.m_pHistory->m_pRealData->m_ShowCount > 0);
    const qint64 now = w.m_Plot.m_BaseTime.toSecsSinceEpoch();
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), now - kept * 300);

    // Pages carry no channel: the second channel's history is not asked for.
    QTest::mouseClick(w.ui->radioButtonPA, Qt::LeftButton);
    QCOMPARE(Download(w), QStringLiteral("This sensor keeps no history of this channel."));
    QCOMPARE(Served(live, kPages), pages);
    QCOMPARE(int(w.m_pRecordSets[1].m_Mode), 0);
}

void TestAppHistory::lostPagesDropWholeBlocks()
{
    Live live(false, 130, {1}, [](sim::SimSensor &s) {
        s.generateHistory(72, QDateTime::currentSecsSinceEpoch() / 300 * 300);
        s.losePage(0, 5, 1); // asked again
        s.losePage(4, 5);    // PM10 block 1
        s.setInvalidBlockDate(0); // a first block without a date
        s.losePage(6, 1);  // PM2.5 block 2: its first page
        s.losePage(11, 1); // PM2.5 block 3: its last page
    });
    QVERIFY(live.Identify());
    QCOMPARE(Download(*live.w), QStringLiteral("Finish reading history data.24"));
    QCOMPARE(Served(live, 5), (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                                14, 15, 16, 17}));
    // PM2.5 kept blocks 1, 4 and 5, PM10 blocks 0, 2, 3, 4 and 5: only 4 and 5 are in both.
    const GRecordDataSet &set = live.w->m_pRecordSets[0];
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(48, 72), true);
    for (int i = 0; i < 24; ++i)
        QCOMPARE(int64_t(set.histtime[i]), h[size_t(48 + i)].time);
}

void TestAppHistory::silenceEndsTheDownload()
{
    QFETCH(bool, serial);
    Live live(serial, 4, {1}, [](sim::SimSensor &s) {
        s.generateHistory(60, QDateTime::currentSecsSinceEpoch() / 300 * 300);
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    const GRecordDataSet &set = w.m_pRecordSets[0];

    // Silent from the start: page 0 is asked three times, and nothing changes.
    live.bed.with(live.id, [](sim::SimSensor &s) { s.setSilent(true); });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.0"));
    QCOMPARE(Served(live, 1), (std::vector<int>{0, 0, 0}));
    QCOMPARE(set.m_pCurrent, set.m_pLive);

    // Silent from page 7: three pages unanswered end it; the two whole blocks are kept,
    // each value at its own time.
    live.bed.with(live.id, [](sim::SimSensor &s) {
        s.setSilent(false);
        s.setSilentFromPage(7);
        s.clearRecord();
    });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.24"));
    QCOMPARE(Served(live, 1), Range(0, 10));
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(0, 24), false);
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), h[0].time);
}

void TestAppHistory::stoppedPartWay_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("at");   // pages done when the user stops it
    QTest::addColumn<int>("how");  // 0 Cancel, 1 closing the window, 2 Exit
    QTest::addColumn<int>("kept");
    QTest::newRow("cancel half-way") << true << 4 << 15 << 0 << 60;
    QTest::newRow("cancel in the PM10 pass") << false << 130 << 15 << 0 << 0;
    QTest::newRow("close") << true << 4 << 3 << 1 << 12;
    QTest::newRow("exit") << true << 4 << 3 << 2 << 12;
}

void TestAppHistory::stoppedPartWay()
{
    QFETCH(bool, serial);
    QFETCH(int, type);
    QFETCH(int, at);
    QFETCH(int, how);
    QFETCH(int, kept);
    Live live(serial, uint8_t(type), {1}, [](sim::SimSensor &s) {
        s.generateHistory(120, QDateTime::currentSecsSinceEpoch() / 300 * 300);
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    w.show();
    const _SRealData *series = w.m_pRecordSets[0].m_pLive->m_pRealData;
    const int zoom = series->min_show;
    int zoomed = 0;
    DuringDownload(w, [&](QProgressDialog &d) {
        if (d.value() < at)
            return false;
        w.ui->actionCollect_historical_data->trigger(); // no second download
        w.ui->actionTime_zoom_out->trigger();           // no command at all
        zoomed = series->min_show;
        if (how == 0)
            d.cancel();
        else if (how == 1)
            w.close(); // cancels; the window closes once the download has returned
        else
            w.ui->actionExit->trigger();
        return true;
    });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.%1").arg(kept));
    QCOMPARE(zoomed, zoom);
    QVERIFY(!w.HistoryBusy());
    QCOMPARE(w.isVisible(), how == 0);
    QCOMPARE(Served(live, type == 130 ? 5 : 1), Range(0, at));
    if (how == 2) {
        QVERIFY(w.m_pRecordSets == nullptr);
        return;
    }
    const GRecordDataSet &set = w.m_pRecordSets[0];
    if (kept == 0) { // a PM10 pass cut short leaves nothing to pair with: nothing changes
        QVERIFY(Served(live, 1).empty());
        QCOMPARE(set.m_pCurrent, set.m_pLive);
        return;
    }
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(0, kept), false);
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), h[0].time);
}

void TestAppHistory::secondChannel()
{
    QFETCH(bool, serial);
    Live live(serial, 20, {1, 33}, [](sim::SimSensor &s) {
        s.generateHistory(24, QDateTime::currentSecsSinceEpoch() / 300 * 300);
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(33, 250)); // TVOC: asked as kind 3 where the link carries the mode
    QTest::mouseClick(w.ui->radioButtonPA, Qt::LeftButton);
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.24"));
    QCOMPARE(Served(live, serial ? 3 : 2), Range(0, 6));
    CompareValues(w.m_pRecordSets[1], Stored(live), Range(0, 24), false, true);
    QCOMPARE(w.m_pRecordSets[1].m_pHistory->m_ValueScale, 1000.0);
    QCOMPARE(int(w.m_pRecordSets[0].m_Mode), 0);
}

void TestAppHistory::withoutASensor()
{
    sim::SimBed bed;
    OnNextModal([](QWidget *) {}); // "open device error"
    PM2_5 w;
    w.killTimer(w.m_TimerId);
    bool dialog = false;
    DuringDownload(w, [&](QProgressDialog &) { return dialog = true; });
    QCOMPARE(Download(w), QStringLiteral("Please check the device is connected!"));
    QVERIFY(!dialog);
    QVERIFY(w.ui->actionCollection->isChecked());
    QVERIFY(w.ui->actionBinary->isEnabled());
    QCOMPARE(w.m_pRecordSets[0].m_pCurrent, w.m_pRecordSets[0].m_pLive);
}

QTEST_MAIN(TestAppHistory)
#include "test_app_history.moc"
