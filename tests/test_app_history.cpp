// The history command end to end: the simulated sensor's stored values downloaded through the
// real transports into the history stream, with progress, cancel, faults and re-entrant
// commands.
#include "appbed.h"
#include "gtimescaledraw.h"
#include "ui_pm2_5.h"

#include <QProgressDialog>
#include <QStatusBar>
#include <QTemporaryDir>
#include <algorithm>
#include <qwt_plot_curve.h>
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

// n stored values `step` apart, the newest one step before the test clock's now: the time the
// window gives the newest value a sensor holds.
void Generate(Live &live, size_t n, int step = 300)
{
    const int64_t end = live.clock.now.toSecsSinceEpoch() - step;
    live.bed.with(live.id, [&](sim::SimSensor &s) { s.generateHistory(n, end); });
}

QString Stopped(int kept)
{
    return QStringLiteral("History download stopped: %1 values kept.").arg(kept);
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
    void init() { ForgetSettings(); }
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
    void backToPageZeroOverUsb();
    void droppedBlocksKeepTheirTimes();
    void sensorIdentifiesDuringDownload();
    void secondChannel_data() { LinkRows(); }
    void secondChannel();
    void withoutASensor();
};

void TestAppHistory::blocksWithPM10()
{
    QFETCH(bool, serial);
    // Kept three days ago: the plot is titled with those days, not with today's.
    const int64_t end = QDateTime::currentSecsSinceEpoch() / 300 * 300 - 3 * 86400;
    // Page 0 of each pass comes after a count reply, which must not be taken for it.
    Live live(serial, 130, {1}, [&](sim::SimSensor &s) {
        s.generateHistory(13, end);
        s.setCountReply(sim::CountReply::Before);
        // Block 0's last seven PM10 values are empty: they pair with nothing of block 1.
        std::vector<sim::HistoryValue> h = s.history();
        for (size_t i = 5; i < 12; ++i)
            h[i].pm10 = 0;
        s.setHistory(h);
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 100));
    bool modal = false;
    bool ticked = true;
    bool stray = false;
    QString label;
    std::vector<int> values;
    DuringDownload(w, [&](QProgressDialog &d) {
        modal = d.isVisible() && d.windowModality() == Qt::WindowModal && d.minimumDuration() == 0;
        label = d.labelText();
        if (values.empty() || values.back() != d.value())
            values.push_back(d.value());
        if (d.value() == 3 && ticked) { // a measurement arrives in the middle of the download
            live.clock.Step();
            live.bed.with(live.id, [](sim::SimSensor &s) {
                s.setNextMeasurement(1, 500, 100, 777, kAux, 0);
                s.emitMeasurement(1);
            });
            ticked = w.PollDevice(0);
        }
        if (d.value() == 10 && !stray) // a stray page, once block 0 is stored: it changes nothing
            stray = live.bed.with(live.id, [](sim::SimSensor &s) {
                s.queueHistoryPage(0, 999);
                return true;
            });
        return false;
    });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.13"));
    QVERIFY(modal);
    QVERIFY(!ticked); // the tick leaves the link to the download
    QCOMPARE(label, QStringLiteral("Reading history data: page 12 of 12"));
    QVERIFY(std::is_sorted(values.begin(), values.end())); // pages counted over both passes
    QCOMPARE(values.back(), 12);
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
    QVERIFY(!w.ui->actionBinary->isEnabled() && w.ui->actionTime_zoom_in->isEnabled());
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
    const QString first = QDateTime::fromSecsSinceEpoch(h[0].time).toString("yyyy/MM/dd");
    const QString last = QDateTime::fromSecsSinceEpoch(h[12].time).toString("yyyy/MM/dd");
    QCOMPARE(w.ui->qwtPlot->axisTitle(QwtPlot::xBottom).text(),
             "\nTime(" + first + (first == last ? QString() : " - " + last) + ")");

    // Collecting again shows the live stream; a second download starts afresh.
    w.ui->actionCollection->trigger();
    QCOMPARE(set.m_pCurrent, set.m_pLive);
    live.bed.with(live.id, [&](sim::SimSensor &s) { s.generateHistory(5, end); });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.5"));
    CompareValues(set, Stored(live), Range(0, 5), true);
}

void TestAppHistory::fullSizeOverUsb()
{
    Live live(false, 4, {1});
    Generate(live, 5000);
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
    // Other types show clock time counted back from the download: the newest of the 5000
    // values the sensor holds is one interval old, so the 4020 oldest keep their own times.
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), Stored(live)[0].time);
}

void TestAppHistory::pageVariant_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("count");
    QTest::addColumn<std::vector<int>>("pages");
    QTest::addColumn<int>("kept");
    QTest::addColumn<int>("lost"); // a page that never answers, -1 none
    QTest::newRow("30") << false << 30 << Range(0, 5) << 30 << -1;
    QTest::newRow("700: 48 full pages") << false << 700 << Range(0, 49) << 292 << -1;
    QTest::newRow("24: no remainder") << false << 24 << Range(0, 4) << 24 << -1;
    QTest::newRow("5: page 0 twice") << false << 5 << std::vector<int>{0, 0} << 5 << -1;
    QTest::newRow("30 over serial") << true << 30 << Range(0, 5) << 30 << -1;
    QTest::newRow("page 3 lost") << false << 30 << Range(0, 4) << 18 << 3;
}

void TestAppHistory::pageVariant()
{
    QFETCH(bool, serial);
    QFETCH(int, count);
    QFETCH(std::vector<int>, pages);
    QFETCH(int, kept);
    QFETCH(int, lost);
    Live live(serial, 7, {1, 17}, [&](sim::SimSensor &s) {
        s.generateHistory(size_t(count), QDateTime::currentSecsSinceEpoch());
        if (lost >= 0)
            s.losePage(unsigned(lost));
    });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    w.m_HisInterval = 0; // not reported yet: the default interval
    // A page that never answers ends the download as a cancel does: the pages before it stay.
    QCOMPARE(Download(w), lost < 0 ? QStringLiteral("Finish reading history data.%1").arg(kept)
                                   : Stopped(kept));
    QCOMPARE(Served(live, kPages), pages);
    const int total = w.m_CodeUsb.m_HisTotalCount;
    QCOMPARE(total, lost < 0 ? kept : count);
    const GRecordDataSet &set = w.m_pRecordSets[0];
    CompareValues(set, Stored(live), Range(0, kept), false);
    QCOMPARE(set.m_pHistory->m_pRealData->m_DataSecUnit, 300);
    QVERIFY(set.m_pHistory->m_pRealData->m_ShowCount > 0);
    const qint64 now = w.m_Plot.m_BaseTime.toSecsSinceEpoch();
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), now - total * 300);

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
        s.losePage(13, 1); // PM2.5 block 4: a third silent page, but not three in a row
    });
    QVERIFY(live.Identify());
    QCOMPARE(Download(*live.w), QStringLiteral("Finish reading history data.12"));
    QCOMPARE(Served(live, 5), (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13,
                                                14, 15, 16, 17}));
    QCOMPARE(Served(live, 1), Range(0, 18));
    // PM2.5 kept blocks 1 and 5, PM10 blocks 0, 2, 3, 4 and 5: only 5 is in both.
    const GRecordDataSet &set = live.w->m_pRecordSets[0];
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(60, 72), true);
    for (int i = 0; i < 12; ++i)
        QCOMPARE(int64_t(set.histtime[i]), h[size_t(60 + i)].time);
}

void TestAppHistory::silenceEndsTheDownload()
{
    QFETCH(bool, serial);
    Live live(serial, 4, {1});
    Generate(live, 60);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    const GRecordDataSet &set = w.m_pRecordSets[0];

    // Silent from the start: page 0 is asked three times, and nothing changes.
    live.bed.with(live.id, [](sim::SimSensor &s) { s.setSilent(true); });
    QCOMPARE(Download(w), Stopped(0));
    QCOMPARE(Served(live, 1), (std::vector<int>{0, 0, 0}));
    QCOMPARE(set.m_pCurrent, set.m_pLive);
    QVERIFY(w.ui->actionCollection->isChecked() && w.ui->actionBinary->isEnabled());

    // Silent from page 7: three pages unanswered end it; the two whole blocks are kept,
    // each value at its own time.
    live.bed.with(live.id, [](sim::SimSensor &s) {
        s.setSilent(false);
        s.setSilentFromPage(7);
        s.clearRecord();
    });
    QCOMPARE(Download(w), Stopped(24));
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
    QTest::newRow("cancel half-way") << true << 20 << 15 << 0 << 60;
    QTest::newRow("cancel in the PM10 pass") << false << 130 << 15 << 0 << 0;
    QTest::newRow("close") << true << 4 << 3 << 1 << 12;
    QTest::newRow("exit") << true << 4 << 3 << 2 << 12;
}

namespace {

// What the commands could change.
QStringList CommandState(PM2_5 &w, sim::SimBed &bed, int id)
{
    QStringList state;
    for (QAction *a : w.findChildren<QAction *>())
        state << a->objectName() + a->text() + (a->isChecked() ? "+" : "-")
                     + (a->isEnabled() ? "e" : "d");
    for (int i = 0; i < w.m_Plot.m_Curves.size(); ++i)
        state << QString::number(w.m_Plot.m_Curves[i]->isVisible());
    for (int i = 0; i < w.RecordSetCount(); ++i) {
        const GRecordDataSet *set = w.RecordSet(i);
        state << QStringLiteral("%1 %2 %3").arg(set->m_Mode).arg(set->m_bCollect).arg(
                     set->m_pCurrent->m_pRealData->min_show);
    }
    state << QString::number(w.m_Channel) << QString::number(w.m_Language)
          << QString::number(w.ui->radioButtonPA->isChecked());
    const size_t clears = bed.with(id, [](sim::SimSensor &s) {
        return std::count_if(s.requests().begin(), s.requests().end(),
                             [](const sim::Request &r) { return sim::isClearRequest(r.image); });
    });
    state << QString::number(clears);
    return state;
}

// Every command but the download's own and Exit, each refused while a download runs. A command
// that is not refused changes the state, or opens a box that the bed's watch reports.
void TryEveryCommand(PM2_5 &w)
{
    QList<QAction *> commands = w.m_CurveActions + w.m_DevInfoActions;
    for (QAction *a : w.findChildren<QAction *>())
        if (a->objectName().startsWith(QLatin1String("action")))
            commands << a;
    for (QAction *a : commands)
        if (a != w.ui->actionCollect_historical_data && a != w.ui->actionExit)
            a->trigger();
    w.ui->radioButtonPA->click();
    w.ui->radioButtonPM25->click();
    w.ui->radioButtonPA->click();
}

} // namespace

void TestAppHistory::stoppedPartWay()
{
    QFETCH(bool, serial);
    QFETCH(int, type);
    QFETCH(int, at);
    QFETCH(int, how);
    QFETCH(int, kept);
    Live live(serial, uint8_t(type), {1, 17});
    const int step = type == 20 ? 297 : 300;
    Generate(live, 120, step);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    w.show();
    QStringList before, during;
    DuringDownload(w, [&](QProgressDialog &d) {
        if (d.value() < at)
            return false;
        before = CommandState(w, live.bed, live.id);
        w.ui->actionCollect_historical_data->trigger(); // no second download
        TryEveryCommand(w);
        during = CommandState(w, live.bed, live.id);
        if (how == 0)
            d.cancel();
        else if (how == 1)
            w.close(); // cancels; the window closes once the download has returned
        else
            w.ui->actionExit->trigger();
        return true;
    });
    QCOMPARE(Download(w), Stopped(kept));
    QCOMPARE(during, before);
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
        QVERIFY(w.ui->actionCollection->isChecked());
        return;
    }
    // The values kept are at the times a complete download gives them.
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(0, kept), false);
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), h[0].time);
    QCOMPARE(set.m_pHistory->m_pRealData->m_DataSecUnit, step);
}

void TestAppHistory::backToPageZeroOverUsb()
{
    // 86 blocks: pages 0 to 257. USB requests carry only the low 8 bits of the page.
    Live live(false, 4, {1});
    Generate(live, 1032);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    DuringDownload(w, [&](QProgressDialog &d) {
        if (d.value() < 256)
            return false;
        d.cancel();
        return true;
    });
    QCOMPARE(Download(w), Stopped(1020));
    QCOMPARE(Served(live, 1), Range(0, 256));

    // Collecting again, then a new download: the sensor takes the request for page 0 as the
    // continuation (page 256), which is not taken for page 0. A request of another kind makes it
    // start afresh, and the whole history comes.
    w.ui->actionCollection->trigger();
    live.bed.with(live.id, [](sim::SimSensor &s) { s.clearRecord(); });
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.1032"));
    std::vector<int> pages = Range(0, 258);
    pages.insert(pages.begin(), 256);
    QCOMPARE(Served(live, 1), pages);
    QCOMPARE(Served(live, 5), std::vector<int>{0});
    const GRecordDataSet &set = w.m_pRecordSets[0];
    const std::vector<sim::HistoryValue> h = Stored(live);
    CompareValues(set, h, Range(0, 1032), false);
    QCOMPARE(set.m_pHistory->m_StartTime.toSecsSinceEpoch(), h[0].time);
}

void TestAppHistory::droppedBlocksKeepTheirTimes()
{
    // A middle block lost for good: the values before it keep their times, the gap is a jump.
    Live live(false, 20, {1});
    Generate(live, 36, 297);
    live.bed.with(live.id, [](sim::SimSensor &s) { s.losePage(4, 1); });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QCOMPARE(Download(w), QStringLiteral("Finish reading history data.24"));
    const GRecordDataSet &set = w.m_pRecordSets[0];
    const _SRecordData *image = set.m_pHistory->m_pRecordData;
    const std::vector<sim::HistoryValue> h = Stored(live);
    QCOMPARE(image->m_MaxCount, 36);
    for (int i = 0; i < 36; ++i) {
        const bool gap = i >= 12 && i < 24;
        QCOMPARE(RecordIsGap(image->m_pItems[i]), gap);
        if (!gap)
            QCOMPARE(image->m_pItems[i].m_PM25, h[size_t(i)].pm25);
    }
    const GRecordDataPro &history = *set.m_pHistory;
    QCOMPARE(history.m_StartTime.toSecsSinceEpoch(), h[0].time);
    const _SRealData *s = history.m_pRealData;
    QCOMPARE(s->m_DataCount, 24);
    QCOMPARE(s->m_pDataSec[11], 11 * 297.0);
    QCOMPARE(s->m_pDataSec[12], 24 * 297.0); // after the jump, at its own time

    // Kept as a record file and opened: the same values at the same times, the same jump.
    QTemporaryDir dir;
    AnswerFileDialog(dir.filePath("kept.str"));
    QVERIFY(w.ui->actionHistoryBinary->isEnabled());
    w.ui->actionHistoryBinary->trigger();
    AnswerFileDialog(dir.filePath("kept.str"));
    w.ui->actionOpen->trigger();
    const GRecordDataPro &file = *set.m_pFile;
    QCOMPARE(set.m_pCurrent, &file);
    QVERIFY(!w.ui->actionHistoryBinary->isEnabled());
    QCOMPARE(file.m_StartTime, history.m_StartTime);
    QCOMPARE(file.m_pRealData->m_DataSecUnit, 297);
    QCOMPARE(file.m_pRealData->m_DataCount, 24);
    for (int i = 0; i < 24; ++i) {
        QCOMPARE(file.m_pRealData->m_pDataSec[i], s->m_pDataSec[i]);
        QCOMPARE(file.m_pRealData->m_pData0[i], s->m_pData0[i]);
    }
    w.ui->actionCollect_historical_data->trigger();

    // Cancelled after the first block, the same values get the same times.
    w.ui->actionCollection->trigger();
    DuringDownload(w, [&](QProgressDialog &d) {
        if (d.value() < 3)
            return false;
        d.cancel();
        return true;
    });
    QCOMPARE(Download(w), Stopped(12));
    QCOMPARE(history.m_StartTime.toSecsSinceEpoch(), h[0].time);
    QCOMPARE(s->m_DataSecUnit, 297);
}

void TestAppHistory::sensorIdentifiesDuringDownload()
{
    // A one-channel sensor, then a two-channel one whose identity is lost: it identifies itself
    // only during the download, which must not lose the record sets it works on.
    Live live(false, 4, {1});
    PM2_5 &w = *live.w;
    QVERIFY(live.Identify());
    live.bed.unplug(live.id);
    QVERIFY(live.TickUntil([&] { return w.m_DevState == 0; }));
    live.id = live.bed.addUsbSensor();
    live.bed.with(live.id, [&](sim::SimSensor &s) {
        s.setDeviceType(20);
        s.setKinds({1, 17});
        s.dropNextReplies(1);
    });
    Generate(live, 24, 297);
    QVERIFY(live.TickUntil([&] { return w.m_DevState != 0; }));
    QTimer measure; // samples make the window ask for the identity again
    connect(&measure, &QTimer::timeout, [&] {
        live.bed.with(live.id, [](sim::SimSensor &s) { s.emitMeasurement(1); });
    });
    measure.start(20);
    Download(w);
    measure.stop();
    QCOMPARE(w.m_bDevInfoOk, 1);
    QCOMPARE(w.RecordSetCount(), 2); // grown once the download returned
    QVERIFY(w.ui->radioButtonPA->isVisibleTo(&w));
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
