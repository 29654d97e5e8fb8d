// Display series and moving-average ring: block means, the display window, zoom ladder, tick
// grid offset, and the inputs that must be refused rather than divided by.
#include "realdata.h"

#include <QtTest>
#include <memory>
#include <vector>

namespace {

struct SeriesDeleter {
    void operator()(_SRealData *s) const { RealDataDestroy(&s); }
};
using Series = std::unique_ptr<_SRealData, SeriesDeleter>;

Series NewSeries()
{
    Series s(RealDataCreate());
    if (!s)
        qFatal("series allocation failed");
    return s;
}

void Fill(_SRealData *s, int n, int secPerSample = 1, double (*value)(int) = nullptr)
{
    for (int i = 0; i < n; ++i) {
        const double v = value ? value(i) : double(i);
        QCOMPARE(RealDataAdd(s, v, 2 * v, secPerSample, s->org_pts), 0);
    }
}

std::vector<double> Shown(const double *p, int n)
{
    return std::vector<double>(p, p + n);
}

// Every field the plot, picker and labels can read, and what later appends depend on.
void CompareSeries(const _SRealData *x, const _SRealData *y)
{
    QCOMPARE(x->m_ShowCount, y->m_ShowCount);
    QCOMPARE(x->m_bNewShow, y->m_bNewShow);
    QCOMPARE(x->m_ShowStartSec, y->m_ShowStartSec);
    QCOMPARE(x->m_ShowEndSec, y->m_ShowEndSec);
    QCOMPARE(x->m_DataCount, y->m_DataCount);
    QCOMPARE(x->m_BlockSum0, y->m_BlockSum0);
    QCOMPARE(x->m_BlockSum1, y->m_BlockSum1);
    QCOMPARE(x->m_BlockFill, y->m_BlockFill);
    QCOMPARE(x->m_AvgRing.m_Count, y->m_AvgRing.m_Count);
    QCOMPARE(x->m_AvgRing.m_Pos, y->m_AvgRing.m_Pos);
    QCOMPARE(x->m_AvgRing.m_Sum0, y->m_AvgRing.m_Sum0);
    QCOMPARE(x->m_AvgRing.m_Sum1, y->m_AvgRing.m_Sum1);
    const int window = std::max(x->show_pt_cnt, y->show_pt_cnt) + 1;
    QCOMPARE(Shown(x->m_pShowData0, window), Shown(y->m_pShowData0, window));
    QCOMPARE(Shown(x->m_pShowData1, window), Shown(y->m_pShowData1, window));
    QCOMPARE(Shown(x->m_pShowSec, window), Shown(y->m_pShowSec, window));
    QCOMPARE(Shown(x->m_pData0, x->m_DataCount), Shown(y->m_pData0, y->m_DataCount));
    QCOMPARE(Shown(x->m_pDataSec, x->m_DataCount), Shown(y->m_pDataSec, y->m_DataCount));
}

} // namespace

class TestRecordsSeries : public QObject
{
    Q_OBJECT

private slots:
    void hugeUnitFromAFileDoesNotOverflow();
    void ringMeansOverItsWindow();
    void ringNeverWritesOutsideItsSlots();
    void initialState();
    void oneSecondPerPoint();
    void sixSecondsPerPointAveragesFiveBlocks();
    void threeHundredSecondsPerPoint();
    void windowDropsOldestPoint();
    void bulkAppendMatchesSingleAppends_data();
    void bulkAppendMatchesSingleAppends();
    void fullSeriesRefusesSamples();
    void clearKeepsZoomAndEmptiesData();
    void ringLengthPerZoom();
    void zoomLadder();
    void zoomFitRule();
    void showAll();
    void zoomInOnCoarseStream();
    void rebuildMatchesLiveAppends();
    void rebuildCountsBlocksOfCoarseStreams();
    void tickStepsAndGridOffset_data();
    void tickStepsAndGridOffset();
    void lastValue();
    void zoomFinerThanSamplesUsesOneSamplePerPoint();
    void refusesNonPositiveUnitsAndWidths();
};

void TestRecordsSeries::ringMeansOverItsWindow()
{
    _SAvgRing ring;
    AvgRingInit(&ring, 5);
    QCOMPARE(AvgRingMean0(&ring), 0.0);
    for (int v = 1; v <= 3; ++v)
        AvgRingPush(&ring, v, 10 * v);
    QCOMPARE(AvgRingMean0(&ring), 2.0); // average over what it has seen so far
    QCOMPARE(AvgRingMean1(&ring), 20.0);
    for (int v = 4; v <= 7; ++v)
        AvgRingPush(&ring, v, 10 * v);
    QCOMPARE(ring.m_Count, 5);
    QCOMPARE(ring.m_Pos, 2);
    QCOMPARE(AvgRingMean0(&ring), 5.0); // 3..7
    QCOMPARE(AvgRingMean1(&ring), 50.0);
}

void TestRecordsSeries::ringNeverWritesOutsideItsSlots()
{
    // A ring that was never initialised has length 0; a history or file stream used to push
    // into it before its first rebuild and run past the 150 slots.
    _SAvgRing ring;
    ring.m_Len = 0;
    for (int v = 0; v < 400; ++v) {
        AvgRingPush(&ring, v, -v);
        QVERIFY(ring.m_Pos >= 0 && ring.m_Pos < AVG_RING_SLOTS);
    }
    QCOMPARE(AvgRingMean0(&ring), 399.0);

    AvgRingInit(&ring, 1000);
    QCOMPARE(ring.m_Len, AVG_RING_SLOTS);
    for (int v = 0; v < 400; ++v)
        AvgRingPush(&ring, 1, 1);
    QCOMPARE(ring.m_Count, AVG_RING_SLOTS);
    QCOMPARE(AvgRingMean0(&ring), 1.0);

    ring.m_Pos = 9999; // written from outside
    AvgRingPush(&ring, 1, 1);
    QVERIFY(ring.m_Pos >= 0 && ring.m_Pos < AVG_RING_SLOTS);
}

void TestRecordsSeries::initialState()
{
    Series s = NewSeries();
    QCOMPARE(s->m_MaxDataCount, REAL_DATA_CAPACITY);
    QCOMPARE(s->min_show, 1);
    QCOMPARE(s->show_pt_cnt, 300);
    QCOMPARE(s->m_DataSecUnit, 1);
    QCOMPARE(s->m_BlockLen, 1);
    QCOMPARE(s->m_AvgLen, 1);
    QCOMPARE(s->m_ShowCount, 0);
    QCOMPARE(s->org_pts, 0);
    // The ring is usable before any rebuild.
    QCOMPARE(s->m_AvgRing.m_Len, 1);
    QCOMPARE(s->m_pData0[REAL_DATA_CAPACITY - 1], 0.0);
    QCOMPARE(s->m_pShowSec[REAL_DATA_CAPACITY - 1], 0.0);

    // Re-initialising an existing series releases its arrays (LeakSanitizer checks).
    Fill(s.get(), 10);
    QCOMPARE(RealDataInit(s.get()), 0);
    QCOMPARE(s->m_DataCount, 0);
    QCOMPARE(s->m_pData0[5], 0.0);
}

void TestRecordsSeries::oneSecondPerPoint()
{
    Series s = NewSeries();
    RealDataSetStartTime(s.get(), 10, 7, 23);
    Fill(s.get(), 10);
    QCOMPARE(s->m_DataCount, 10);
    QCOMPARE(s->m_ShowCount, 10);
    QCOMPARE(int(s->m_bNewShow), 1);
    QCOMPARE(s->m_pDataSec[9], 9.0);
    QCOMPARE(s->m_pShowData0[9], 9.0);
    QCOMPARE(s->m_pShowData1[9], 18.0);
    QCOMPARE(s->m_pShowSec[0], 23.0); // org_pts + time of the sample
    QCOMPARE(s->m_pShowSec[9], 32.0);
    QCOMPARE(s->m_ShowStartSec, 23.0);
    QCOMPARE(s->m_ShowEndSec, 323.0);
}

void TestRecordsSeries::sixSecondsPerPointAveragesFiveBlocks()
{
    Series s = NewSeries();
    QCOMPARE(RealDataSetZoom(s.get(), 6, 300), 0);
    QCOMPARE(RealDataRebuild(s.get()), 0);
    QCOMPARE(s->m_AvgRing.m_Len, 5);
    // Sample i has value i, so block k has mean 6k + 2.5.
    for (int i = 0; i < 6 * 8; ++i) {
        QCOMPARE(RealDataAdd(s.get(), i, 100, 1, s->org_pts), 0);
        QCOMPARE(int(s->m_bNewShow), (i + 1) % 6 == 0 ? 1 : 0);
    }
    QCOMPARE(s->m_ShowCount, 8);
    for (int k = 0; k < 8; ++k) {
        const int from = std::max(0, k - 4);
        double sum = 0;
        for (int b = from; b <= k; ++b)
            sum += 6 * b + 2.5;
        QCOMPARE(s->m_pShowData0[k], sum / (k - from + 1));
        QCOMPARE(s->m_pShowData1[k], 100.0);
        QCOMPARE(s->m_pShowSec[k], double(6 * k + 5)); // the block's last sample
    }
    QCOMPARE(s->m_ShowEndSec, s->m_ShowStartSec + 300 * 6);
}

void TestRecordsSeries::threeHundredSecondsPerPoint()
{
    Series s = NewSeries();
    QCOMPARE(RealDataSetZoom(s.get(), 300, 300), 0);
    RealDataRebuild(s.get());
    QCOMPARE(s->m_BlockLen, 300);
    Fill(s.get(), 300 * 3 + 17);
    QCOMPARE(s->m_ShowCount, 3);
    QCOMPARE(s->m_BlockFill, 17);
    QCOMPARE(s->m_pShowData0[0], 149.5);
    QCOMPARE(s->m_pShowData0[1], (149.5 + 449.5) / 2);
    QCOMPARE(s->m_pShowData0[2], (149.5 + 449.5 + 749.5) / 3);
    QCOMPARE(s->m_pShowSec[2], 899.0);
}

void TestRecordsSeries::windowDropsOldestPoint()
{
    Series s = NewSeries();
    Fill(s.get(), 305);
    QCOMPARE(s->m_ShowCount, 300);
    QCOMPARE(s->m_pShowData0[0], 5.0);
    QCOMPARE(s->m_pShowData0[299], 304.0);
    QCOMPARE(s->m_pShowSec[0], 5.0);
    QCOMPARE(s->m_ShowStartSec, 5.0);
    QCOMPARE(s->m_ShowEndSec, 305.0);
    QCOMPARE(s->m_pShowSec[300], 0.0); // nothing written past the window
}

void TestRecordsSeries::bulkAppendMatchesSingleAppends_data()
{
    QTest::addColumn<int>("secPerPoint");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("unit");
    QTest::newRow("1 s, window 300") << 1 << 300 << 1;
    QTest::newRow("6 s, window 7") << 6 << 7 << 1;
    QTest::newRow("30 s, window 1") << 30 << 1 << 1;
    QTest::newRow("history 300 s") << 300 << 20 << 300;
    QTest::newRow("file 2 s at 5 s") << 5 << 11 << 2;
}

void TestRecordsSeries::bulkAppendMatchesSingleAppends()
{
    QFETCH(int, secPerPoint);
    QFETCH(int, width);
    QFETCH(int, unit);
    Series one = NewSeries();
    Series many = NewSeries();
    for (_SRealData *s : {one.get(), many.get()}) {
        RealDataSetStartTime(s, 3, 4, 5);
        s->m_DataSecUnit = unit;
        QCOMPARE(RealDataSetZoom(s, secPerPoint, width), 0);
        RealDataRebuild(s);
    }
    const int n = 3000;
    std::vector<double> a(n), b(n);
    for (int i = 0; i < n; ++i) {
        a[size_t(i)] = (i * 7919) % 113 / 10.0;
        b[size_t(i)] = (i * 104729) % 97 / 1000.0;
    }
    for (int i = 0; i < n; ++i)
        QCOMPARE(RealDataAdd(one.get(), a[size_t(i)], b[size_t(i)], unit, one->org_pts), 0);
    // Uneven slices, so window turns fall inside and across slice borders.
    int at = 0;
    for (int slice = 1; at < n; slice = slice * 3 % 1001 + 1) {
        const int m = std::min(slice, n - at);
        QCOMPARE(RealDataAddMany(many.get(), &a[size_t(at)], &b[size_t(at)], m, unit,
                                 many->org_pts),
                 m);
        at += m;
    }
    CompareSeries(one.get(), many.get());
}

void TestRecordsSeries::fullSeriesRefusesSamples()
{
    Series s = NewSeries();
    RealDataSetZoom(s.get(), 1800, 300); // few display points: keeps the fill quick
    std::vector<double> v(size_t(REAL_DATA_CAPACITY) + 10, 1.0);
    QCOMPARE(RealDataAddMany(s.get(), v.data(), v.data(), int(v.size()), 1, 0),
             REAL_DATA_CAPACITY);
    const int shown = s->m_ShowCount;
    QCOMPARE(RealDataAdd(s.get(), 5, 5, 1, 0), -1);
    QCOMPARE(s->m_DataCount, REAL_DATA_CAPACITY);
    QCOMPARE(s->m_ShowCount, shown);
    QCOMPARE(RealDataAddMany(s.get(), v.data(), v.data(), 3, 1, 0), 0);
    double a = 0, b = 0;
    QVERIFY(RealDataLastValue(s.get(), &a, &b));
    QCOMPARE(a, 10.0);
}

void TestRecordsSeries::clearKeepsZoomAndEmptiesData()
{
    Series s = NewSeries();
    RealDataSetZoom(s.get(), 6, 50);
    RealDataRebuild(s.get());
    Fill(s.get(), 100);
    const int shown = s->m_ShowCount;
    QVERIFY(RealDataClear(s.get()));
    QCOMPARE(s->m_DataCount, 0);
    QCOMPARE(s->m_ShowCount, shown);
    QCOMPARE(s->min_show, 6);
    QCOMPARE(s->show_pt_cnt, 50);
    for (int i = 0; i < 100; ++i) {
        QCOMPARE(s->m_pData0[i], 0.0);
        QCOMPARE(s->m_pDataSec[i], 0.0);
    }
    for (int k = 0; k < shown; ++k)
        QCOMPARE(s->m_pShowData0[k], 0.0);
    Fill(s.get(), 3, 1, [](int) { return 4.5; });
    QCOMPARE(s->m_DataCount, 3);
    QCOMPARE(s->m_pData0[2], 4.5);
}

void TestRecordsSeries::ringLengthPerZoom()
{
    Series s = NewSeries();
    const QList<QPair<int, int>> cases = {{1, 1}, {6, 5}, {30, 7}, {60, 7}, {300, 7}, {1800, 7},
                                          {2, 7}};
    for (const auto &c : cases) {
        QCOMPARE(RealDataSetZoom(s.get(), c.first, 300), 0);
        QCOMPARE(s->m_AvgLen, c.second);
        QCOMPARE(s->m_BlockLen, c.first);
        QCOMPARE(RealDataRebuild(s.get()), 0);
        QCOMPARE(s->m_AvgRing.m_Len, c.second);
    }
    QCOMPARE(RealDataSetZoom(s.get(), -1, 300), 0); // automatic: all samples in 300 points
    QCOMPARE(s->min_show, 1);
}

void TestRecordsSeries::zoomLadder()
{
    // Fourteen days of samples: the fit (4033) never lies between two levels.
    Series s = NewSeries();
    std::vector<double> v(size_t(REAL_DATA_CAPACITY), 2.0);
    RealDataAddMany(s.get(), v.data(), v.data(), REAL_DATA_CAPACITY, 1, 0);
    QList<int> out;
    for (int i = 0; i < 7; ++i) {
        RealDataZoomOut(s.get());
        out << s->min_show;
        QCOMPARE(s->m_ShowCount, 300);
        QCOMPARE(s->m_pShowData0[299], 2.0);
    }
    QCOMPARE(out, QList<int>({6, 30, 60, 300, 1800, 1800, 1800}));
    QList<int> in;
    for (int i = 0; i < 7; ++i) {
        RealDataZoomIn(s.get());
        in << s->min_show;
    }
    QCOMPARE(in, QList<int>({300, 60, 30, 6, 1, 1, 1}));
    // The window ends at the newest complete block.
    QCOMPARE(s->m_pShowSec[299], double(REAL_DATA_CAPACITY - 1));
}

void TestRecordsSeries::zoomFitRule()
{
    Series s = NewSeries();
    Fill(s.get(), 3000); // fit = 3000 / 300 + 1 = 11
    RealDataZoomOut(s.get());
    QCOMPARE(s->min_show, 6);
    RealDataZoomOut(s.get());
    QCOMPARE(s->min_show, 11);
    RealDataZoomOut(s.get());
    QCOMPARE(s->min_show, 30);
    RealDataZoomIn(s.get());
    QCOMPARE(s->min_show, 11);
    QCOMPARE(s->m_ShowCount, 272); // 3000 / 11 points, all of them in the window
    RealDataZoomIn(s.get());
    QCOMPARE(s->min_show, 1);
    QCOMPARE(s->m_ShowCount, 300);
    QCOMPARE(s->m_pShowData0[299], 2999.0);
}

void TestRecordsSeries::showAll()
{
    Series s = NewSeries();
    RealDataShowAll(s.get());
    QCOMPARE(s->min_show, 2);
    Fill(s.get(), 300);
    RealDataShowAll(s.get());
    QCOMPARE(s->min_show, 2);
    QCOMPARE(s->m_ShowCount, 150);
    Fill(s.get(), 2700);
    RealDataShowAll(s.get());
    QCOMPARE(s->min_show, 11);
    QCOMPARE(s->show_pt_cnt, 300);
}

void TestRecordsSeries::zoomInOnCoarseStream()
{
    Series one = NewSeries();
    Fill(one.get(), 50);
    RealDataZoomIn(one.get());
    QCOMPARE(one->min_show, 1);

    Series s = NewSeries();
    s->m_DataSecUnit = 2;
    Fill(s.get(), 50, 2);
    RealDataZoomIn(s.get());
    QCOMPARE(s->min_show, 3);
    QCOMPARE(s->m_ShowCount, 50); // one sample per point
    QCOMPARE(s->m_pShowSec[49], 98.0);
}

void TestRecordsSeries::rebuildMatchesLiveAppends()
{
    // Points appended live equal the points a rebuild computes from the same samples.
    Series live = NewSeries();
    RealDataSetStartTime(live.get(), 0, 12, 34);
    RealDataSetZoom(live.get(), 6, 40);
    RealDataRebuild(live.get());
    Fill(live.get(), 6 * 40 - 1, 1, [](int i) { return (i % 17) / 10.0; });
    Series again = NewSeries();
    RealDataSetStartTime(again.get(), 0, 12, 34);
    Fill(again.get(), 6 * 40 - 1, 1, [](int i) { return (i % 17) / 10.0; });
    RealDataSetZoom(again.get(), 6, 40);
    QCOMPARE(RealDataRebuild(again.get()), 39);
    CompareSeries(live.get(), again.get());
}

void TestRecordsSeries::rebuildCountsBlocksOfCoarseStreams()
{
    // 2 s per sample at 3 s per point: each sample is its own block (block length 1).
    Series s = NewSeries();
    s->m_DataSecUnit = 2;
    Fill(s.get(), 100, 2);
    QCOMPARE(RealDataSetZoom(s.get(), 3, 300), 0);
    QCOMPARE(RealDataRebuild(s.get()), 100);
    QCOMPARE(s->m_pShowSec[99], 198.0);

    // 2 s per sample at 4 s per point, more points than the window: the window holds the
    // newest 300 blocks of two samples each.
    Series w = NewSeries();
    w->m_DataSecUnit = 2;
    Fill(w.get(), 1000, 2);
    QCOMPARE(RealDataSetZoom(w.get(), 4, 300), 0);
    QCOMPARE(RealDataRebuild(w.get()), 300);
    for (int k = 0; k < 300; ++k) {
        QCOMPARE(w->m_pShowSec[k], 2.0 * (401 + 2 * k));
        // Block k holds samples 400 + 2k and 401 + 2k; seven blocks are averaged.
        const int seen = std::min(k + 1, 7);
        QCOMPARE(w->m_pShowData0[k], 400.5 + 2 * k - (seen - 1));
    }
    QCOMPARE(w->m_pShowSec[299], 1998.0);
    QCOMPARE(w->m_ShowStartSec, 802.0);
    QCOMPARE(w->m_ShowEndSec, 802.0 + 1200);
}

void TestRecordsSeries::tickStepsAndGridOffset_data()
{
    QTest::addColumn<int>("minute");
    QTest::addColumn<int>("secPerPoint");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("offset");
    // Start time 10:07:23 UTC.
    QTest::newRow("1") << 7 << 1 << 60 << 23;
    QTest::newRow("2") << 7 << 2 << 300 << 143;
    QTest::newRow("5") << 7 << 5 << 300 << 143;
    QTest::newRow("9") << 7 << 9 << 300 << 143;
    QTest::newRow("10") << 7 << 10 << 1800 << 443;
    QTest::newRow("30") << 7 << 30 << 1800 << 443;
    QTest::newRow("39") << 7 << 39 << 1800 << 443;
    QTest::newRow("40") << 7 << 40 << 3600 << 443;
    QTest::newRow("60") << 7 << 60 << 3600 << 443;
    QTest::newRow("79") << 7 << 79 << 3600 << 443;
    QTest::newRow("80") << 7 << 80 << 10800 << 4043;
    QTest::newRow("300") << 7 << 300 << 10800 << 4043;
    QTest::newRow("1799") << 7 << 1799 << 10800 << 4043;
    QTest::newRow("1800") << 7 << 1800 << 86400 << 23;
    // 10:37:23 tells the half-hour grid (minute mod 30) from the hour grid (whole minutes).
    QTest::newRow("1 at :37") << 37 << 1 << 60 << 23;
    QTest::newRow("5 at :37") << 37 << 5 << 300 << 143;
    QTest::newRow("30 at :37") << 37 << 30 << 1800 << 443;
    QTest::newRow("60 at :37") << 37 << 60 << 3600 << 2243;
    QTest::newRow("300 at :37") << 37 << 300 << 10800 << 5843;
    QTest::newRow("1800 at :37") << 37 << 1800 << 86400 << 23;
}

void TestRecordsSeries::tickStepsAndGridOffset()
{
    QFETCH(int, minute);
    QFETCH(int, secPerPoint);
    QFETCH(int, step);
    QFETCH(int, offset);
    Series s = NewSeries();
    QCOMPARE(RealDataSetStartTime(s.get(), 10, minute, 23), 0);
    QCOMPARE(s->org_pts, 23);
    QCOMPARE(RealDataSetZoom(s.get(), secPerPoint, 300), 0);
    QCOMPARE(RealDataTickStep(s.get()), step);
    QCOMPARE(s->org_pts, offset);
    // A negative second counts as 0, except on the daily grid, which takes the second as is.
    QCOMPARE(RealDataTimeOffset(s.get(), 10, minute, -5), step == 86400 ? -5 : offset - 23);
}

void TestRecordsSeries::hugeUnitFromAFileDoesNotOverflow()
{
    // A record file's seconds per record reaches the series unchecked.
    Series s = NewSeries();
    s->m_DataSecUnit = INT32_MAX;
    QCOMPARE(RealDataAdd(s.get(), 1, 2, INT32_MAX, s->org_pts), 0);
    RealDataShowAll(s.get());
    RealDataZoomOut(s.get());
    RealDataZoomIn(s.get());
    QVERIFY(s->min_show > 0);
    QVERIFY(s->m_BlockLen >= 1);
}

void TestRecordsSeries::lastValue()
{
    Series s = NewSeries();
    double a = 7, b = 7;
    QVERIFY(!RealDataLastValue(s.get(), &a, &b));
    QCOMPARE(a, -1.0);
    QCOMPARE(b, -1.0);
    QVERIFY(!RealDataLastValue(nullptr, &a, &b));
    RealDataAdd(s.get(), 12.5, 30.25, 1, 0);
    QVERIFY(RealDataLastValue(s.get(), &a, &b));
    QCOMPARE(a, 125.0);
    QCOMPARE(b, 302.5);
}

void TestRecordsSeries::zoomFinerThanSamplesUsesOneSamplePerPoint()
{
    Series s = NewSeries();
    s->m_DataSecUnit = 300;
    Fill(s.get(), 20, 300);
    QCOMPARE(RealDataSetZoom(s.get(), 60, 300), 0);
    QCOMPARE(s->m_BlockLen, 1);
    QCOMPARE(RealDataRebuild(s.get()), 20);
    QCOMPARE(s->m_pShowSec[19], 19.0 * 300 + s->org_pts);
    QCOMPARE(RealDataAdd(s.get(), 1000, 1000, 300, s->org_pts), 0);
    QCOMPARE(s->m_ShowCount, 21);
    QVERIFY(qIsFinite(s->m_pShowData0[20]));
}

void TestRecordsSeries::refusesNonPositiveUnitsAndWidths()
{
    Series s = NewSeries();
    Fill(s.get(), 10);
    QCOMPARE(RealDataAdd(s.get(), 1, 1, 0, 0), -1);
    QCOMPARE(RealDataAdd(s.get(), 1, 1, -3, 0), -1);
    QCOMPARE(s->m_DataCount, 10);

    QCOMPARE(RealDataSetZoom(s.get(), 0, 300), -1);
    QCOMPARE(RealDataSetZoom(s.get(), -7, 300), -1);
    QCOMPARE(RealDataSetZoom(s.get(), 6, 0), -1);
    QCOMPARE(RealDataSetZoom(s.get(), 6, REAL_DATA_CAPACITY + 1), -1);
    QCOMPARE(s->min_show, 1);
    QCOMPARE(s->show_pt_cnt, 300);

    s->m_DataSecUnit = 0; // a history downloaded before the sensor reported its interval
    QCOMPARE(RealDataSetZoom(s.get(), 6, 300), -1);
    QCOMPARE(RealDataRebuild(s.get()), -1);
    RealDataZoomIn(s.get());
    RealDataZoomOut(s.get());
    RealDataShowAll(s.get());
    QCOMPARE(s->min_show, 1);
    QCOMPARE(s->m_ShowCount, 10);

    s->m_DataSecUnit = 1;
    s->min_show = 0;
    QCOMPARE(RealDataRebuild(s.get()), -1);
    RealDataZoomOut(s.get());
    QCOMPARE(s->min_show, 0);

    // A window written from outside stays inside the arrays.
    s->min_show = 1;
    s->show_pt_cnt = -4;
    QCOMPARE(RealDataAdd(s.get(), 1, 1, 1, 0), 0);
    QCOMPARE(s->m_ShowCount, 1);
}

QTEST_GUILESS_MAIN(TestRecordsSeries)
#include "test_records_series.moc"
