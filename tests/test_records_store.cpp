// Record store: the record image with its thinning, live appends with the gap rules (driven by
// the records' clock), history and file rebuilds, and the record sets.
#include "grecorddataset.h"
#include "messagecapture.h"
#include "recordclock.h"

#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// 2024-03-05 10:07:23 UTC.
constexpr qint64 T0 = 1709633243;

class TestClock
{
public:
    explicit TestClock(qint64 secs) : m_Secs(secs)
    {
        RecordClockSet([this] { return QDateTime::fromSecsSinceEpoch(m_Secs); });
    }
    ~TestClock() { RecordClockSet({}); }
    void Set(qint64 secs) { m_Secs = secs; }
    void Advance(qint64 secs) { m_Secs += secs; }

private:
    qint64 m_Secs;
};

TAG_T_SPM25Data Sample(int pm25, int pm10 = 0, int diff = 0, int base = 0)
{
    return TAG_T_SPM25Data{uint16_t(diff), uint16_t(base), uint16_t(pm25), uint16_t(pm10), 0};
}

const _SRecordItem &Item(const GRecordDataPro *p, int i)
{
    return p->m_pRecordData->m_pItems[i];
}

// Fills the image as a history download stores it.
void StoreValues(GRecordDataPro *p, const std::vector<int> &pm25, const std::vector<int> &pm10)
{
    QVERIFY(RecordDataAlloc(p->m_pRecordData, int(pm25.size())));
    for (size_t i = 0; i < pm25.size(); ++i)
        QCOMPARE(RecordDataAdd(p->m_pRecordData, 0, 0, uint16_t(pm25[i]), uint16_t(pm10[i]), -1),
                 int(i));
}

} // namespace

class TestRecordsStore : public QObject
{
    Q_OBJECT

private slots:
    void imageDefaults();
    void imageAppendsAndRefusals();
    void imageThinsAtCapacity();
    void imageInitHeaderAndFree();
    void liveSameSecondTwiceThirdDropped();
    void liveGapFillers_data();
    void liveGapFillers();
    void liveFillersOnSecondChannel();
    void liveAfterImageThinnedKeepsTime();
    void liveAfterSeriesFullAddsNoFillers();
    void liveBeforeStartLive();
    void startTimeOffsetIsUtc();
    void historyRebuild();
    void historyMovingAverage();
    void historyWidthAndEpochStart();
    void historyLongerThanRingBeforeAnyRebuild();
    void historyRefusesZeroInterval();
    void fileRebuildKeepsFractions();
    void fileRebuildMatchesSingleAppends();
    void fileRefusesZeroUnit();
    void setModesAndStreams();
    void destroyClearsCurrent();
    void lastValueOfLiveStream();
    void allocationFailureLeavesEmptyStreams();
};

void TestRecordsStore::imageDefaults()
{
    _SRecordData *image = RecordDataCreate();
    QVERIFY(image);
    QCOMPARE(QByteArray(image->m_Magic, 4), QByteArray("TRAC"));
    QCOMPARE(image->m_Version, 3);
    QCOMPARE(image->m_MaxCount, RECORD_DATA_CAPACITY);
    QCOMPARE(image->m_Count, 0);
    QCOMPARE(image->m_SecUnit, 1);
    QVERIFY(!image->m_pItems);
    RecordDataDestroy(&image);
    QVERIFY(!image);
    RecordDataDestroy(&image);
}

void TestRecordsStore::imageAppendsAndRefusals()
{
    _SRecordData image;
    QCOMPARE(RecordDataAdd(&image, 1, 2, 3, 4, -1), 0);
    QVERIFY(image.m_pItems);
    QCOMPARE(RecordDataAdd(&image, 5, 6, 7, 8, -1), 1);
    QCOMPARE(image.m_Count, 2);
    QCOMPARE(image.m_pItems[1].m_PM10, uint16_t(8));

    QCOMPARE(RecordDataAdd(&image, 9, 9, 9, 9, 100), 100);
    QCOMPARE(image.m_Count, 101);
    QCOMPARE(image.m_NextIndex, 2); // explicit indices leave the automatic one alone
    QCOMPARE(RecordDataAdd(&image, 9, 9, 9, 9, 50), 50);
    QCOMPARE(image.m_Count, 51); // the count follows the index just stored

    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, RECORD_DATA_CAPACITY), -1);
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, -2), -1);
    QCOMPARE(image.m_Count, 51);

    image.m_SecUnit = 0; // from a damaged file
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, 10), -1);
    image.m_SecUnit = -2;
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, -1), -1);
    QCOMPARE(image.m_Count, 51);
    image.m_SecUnit = 4;
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, 11), 2);

    QVERIFY(RecordDataAlloc(&image, 3));
    QCOMPARE(image.m_MaxCount, 3);
    QCOMPARE(image.m_Count, 0);
    QCOMPARE(image.m_pItems[2].m_PM25, uint16_t(0));
    image.m_SecUnit = 1;
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, -1), 0);
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, 3), -1);
    QVERIFY(!RecordDataAlloc(&image, -1));
    QCOMPARE(image.m_MaxCount, 0);
    QCOMPARE(RecordDataAdd(&image, 1, 1, 1, 1, -1), -1);
    RecordDataFree(&image);
}

void TestRecordsStore::imageThinsAtCapacity()
{
    _SRecordData *image = RecordDataCreate();
    // Words 0 and 2 carry the record's original index.
    for (int i = 0; i < RECORD_THIN_THRESHOLD; ++i)
        QCOMPARE(RecordDataAdd(image, uint16_t(i >> 16), 0, uint16_t(i), 0, -1), i);
    QCOMPARE(image->m_SecUnit, 1);
    const int n = RECORD_THIN_THRESHOLD;
    QCOMPARE(RecordDataAdd(image, uint16_t(n >> 16), 0, uint16_t(n), 0, -1), 604800);
    QCOMPARE(image->m_SecUnit, 2);
    QCOMPARE(image->m_Count, 604801);
    QCOMPARE(image->m_NextIndex, 604801);
    for (int k : {0, 1, 2, 12345, 604799, 604800}) {
        const _SRecordItem &r = image->m_pItems[k];
        QCOMPARE((int(r.m_Diff) << 16) | r.m_PM25, 2 * k);
    }
    QCOMPARE(RecordDataAdd(image, 0, 0, 0, 0, -1), 604801);
    RecordDataDestroy(&image);
}

void TestRecordsStore::imageInitHeaderAndFree()
{
    _SRecordData image;
    QVERIFY(RecordDataAlloc(&image, 10));
    image.m_SecUnit = 8;
    image.m_Channel = 1;
    RecordDataInitHeader(&image); // releases the array (LeakSanitizer checks)
    QVERIFY(!image.m_pItems);
    QCOMPARE(image.m_MaxCount, RECORD_DATA_CAPACITY);
    QCOMPARE(image.m_SecUnit, 1);
    QCOMPARE(image.m_Channel, 0);
    QCOMPARE(RecordDataAdd(&image, 1, 2, 3, 4, -1), 0);
    image.m_StartTime = 77;
    RecordDataFree(&image);
    QVERIFY(!image.m_pItems);
    QCOMPARE(QByteArray(image.m_Magic, 4), QByteArray(4, '\0'));
    QCOMPARE(image.m_Version, 0);
    QCOMPARE(image.m_MaxCount, 0);
    QCOMPARE(image.m_StartTime, 0u);
}

void TestRecordsStore::liveSameSecondTwiceThirdDropped()
{
    TestClock clock(T0);
    GRecordDataSet set;
    QVERIFY(set.Create());
    QVERIFY(set.StartLive());
    set.AddLiveData(Sample(10), 0);
    set.AddLiveData(Sample(20), 0);
    set.AddLiveData(Sample(30), 0);
    const _SRealData *s = set.m_pLive->m_pRealData;
    QCOMPARE(s->m_DataCount, 2);
    QCOMPARE(s->m_pDataSec[1], 1.0);
    QCOMPARE(s->m_pData0[1], 2.0);
    QCOMPARE(set.m_pLive->m_pRecordData->m_Count, 2);
    clock.Advance(1);
    set.AddLiveData(Sample(30), 0); // gap 0 again
    clock.Advance(1);
    set.AddLiveData(Sample(40), 0); // gap 0
    QCOMPARE(s->m_DataCount, 4);
    QCOMPARE(Item(set.m_pLive, 3).m_PM25, uint16_t(40));
}

void TestRecordsStore::liveGapFillers_data()
{
    QTest::addColumn<int>("gap");
    QTest::addColumn<QList<int>>("stored"); // the series' values
    QTest::addColumn<QList<int>>("seconds"); // and their seconds
    QTest::newRow("1") << 1 << QList<int>({100, 300}) << QList<int>({0, 1});
    QTest::newRow("2") << 2 << QList<int>({100, 200, 300}) << QList<int>({0, 1, 2});
    QTest::newRow("3") << 3 << QList<int>({100, 200, 300}) << QList<int>({0, 1, 3});
    QTest::newRow("4") << 4 << QList<int>({100, 200, 250, 300}) << QList<int>({0, 1, 2, 4});
    QTest::newRow("60") << 60 << QList<int>({100, 200, 250, 300}) << QList<int>({0, 1, 2, 60});
    QTest::newRow("10 minutes") << 600 << QList<int>({100, 200, 250, 300})
                                << QList<int>({0, 1, 2, 600});
}

void TestRecordsStore::liveGapFillers()
{
    QFETCH(int, gap);
    QFETCH(QList<int>, stored);
    QFETCH(QList<int>, seconds);
    TestClock clock(T0);
    GRecordDataSet set;
    QVERIFY(set.Create());
    set.StartLive();
    set.AddLiveData(Sample(100, 1000, 7, 8), 0);
    clock.Advance(gap);
    set.AddLiveData(Sample(300, 3001, 5, 6), 0);
    clock.Advance(1);
    set.AddLiveData(Sample(310, 3101, 5, 6), 0); // right after a pause: no catching up
    stored << 310;
    seconds << gap + 1;
    const GRecordDataPro *live = set.m_pLive;
    const _SRealData *s = live->m_pRealData;
    QCOMPARE(s->m_DataCount, stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        QCOMPARE(s->m_pData0[i], stored[i] / 10.0);
        QCOMPARE(s->m_pDataSec[i], double(seconds[i]));
    }
    QVERIFY(s->m_ShowEndSec >= s->m_pShowSec[s->m_ShowCount - 1]); // the newest stays on the axis
    // The image: one record per second, each sample at its own; the seconds no filler covers
    // are gap records.
    const _SRecordData *image = live->m_pRecordData;
    QCOMPARE(image->m_Count, gap + 2);
    QCOMPARE(int(Item(live, gap).m_PM25), 300);
    QCOMPARE(int(Item(live, gap + 1).m_PM25), 310);
    const int fillers = stored.size() - 3;
    for (int i = 1 + fillers; i < gap; ++i)
        QVERIFY2(RecordIsGap(Item(live, i)), qPrintable(QString::number(i)));
    if (gap > 1) {
        QCOMPARE(int(Item(live, 1).m_PM10), 2000); // (1000 + 3001) / 2 truncated
        // Fillers carry the raw words of the sample that ends the gap.
        QCOMPARE(int(Item(live, 1).m_Diff), 5);
        QCOMPARE(int(Item(live, 1).m_Base), 6);
        QVERIFY(!RecordIsGap(Item(live, 1)));
    }
    if (gap > 3)
        QCOMPARE(int(Item(live, 2).m_PM10), 2500);

    // Saved and opened, the pause is a pause again.
    QTemporaryDir dir;
    const QString path = dir.filePath("pause.str");
    live->m_pRecordData->m_StartTime = uint32_t(T0);
    QVERIFY(set.m_pLive->SaveRecordFile(path, 0));
    GRecordDataPro file;
    QVERIFY(file.LoadRecordFile(path, 0));
    QCOMPARE(file.m_pRealData->m_DataCount, stored.size());
    for (int i = 0; i < stored.size(); ++i)
        QCOMPARE(file.m_pRealData->m_pDataSec[i], double(seconds[i]));
}

void TestRecordsStore::liveFillersOnSecondChannel()
{
    TestClock clock(T0);
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    set.AddLiveData(Sample(45), 1);
    clock.Advance(5);
    set.AddLiveData(Sample(100), 1);
    const GRecordDataPro *live = set.m_pLive;
    QCOMPARE(live->m_ValueScale, 1000.0);
    QCOMPARE(int(Item(live, 1).m_PM25), 72);
    QCOMPARE(int(Item(live, 2).m_PM25), 86);
    QCOMPARE(live->m_pRealData->m_pData0[0], 0.045);
    QCOMPARE(live->m_pRealData->m_pData0[3], 0.1);
}

void TestRecordsStore::liveAfterImageThinnedKeepsTime()
{
    TestClock clock(T0);
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    GRecordDataPro *live = set.m_pLive;
    RealDataSetZoom(live->m_pRealData, 1800, 300); // few display points: keeps the fill quick
    for (int i = 0; i <= RECORD_THIN_THRESHOLD; ++i)
        live->AddOneData(Sample(i & 0x3FF), 10);
    const _SRecordData *image = live->m_pRecordData;
    QCOMPARE(image->m_SecUnit, 2);
    QCOMPARE(image->m_Count, 604801);
    // One more sample per second for 1000 seconds: a slot per two seconds, so the last
    // record still lies at the sample's time.
    clock.Set(T0 + RECORD_THIN_THRESHOLD);
    for (int i = 1; i <= 1000; ++i) {
        clock.Advance(1);
        set.AddLiveData(Sample(i), 0);
    }
    QCOMPARE(live->m_LiveCount, RECORD_THIN_THRESHOLD + 1001);
    const qint64 lastTime = qint64(image->m_Count - 1) * image->m_SecUnit;
    QVERIFY(qAbs(lastTime - (RECORD_THIN_THRESHOLD + 1000)) < image->m_SecUnit);
    QCOMPARE(int(image->m_pItems[image->m_Count - 1].m_PM25), 1000);

    // A pause after that: two fillers (the second at an even second), then the gap records,
    // which never overwrite the slot the second filler shares with the second after it.
    QCOMPARE((live->m_LiveCount - 1) % 2, 0); // the last sample went to an even second
    const int last = image->m_Count - 1;
    clock.Advance(10);
    set.AddLiveData(Sample(2000), 0);
    QCOMPARE(int(image->m_pItems[last + 1].m_PM25), 1750);
    QVERIFY(RecordIsGap(image->m_pItems[last + 2]));
    QCOMPARE(int(image->m_pItems[last + 5].m_PM25), 2000);
    QCOMPARE(image->m_Count, last + 6);
}

void TestRecordsStore::liveAfterSeriesFullAddsNoFillers()
{
    TestClock clock(T0);
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    GRecordDataPro *live = set.m_pLive;
    RealDataSetZoom(live->m_pRealData, 1800, 300);
    for (int i = 0; i < REAL_DATA_CAPACITY; ++i)
        live->AddOneData(Sample(50), 10);
    QCOMPARE(live->m_pRealData->m_DataCount, REAL_DATA_CAPACITY);
    clock.Set(T0 + REAL_DATA_CAPACITY - 1);
    for (int i = 0; i < 5; ++i) {
        clock.Advance(1);
        set.AddLiveData(Sample(60 + i), 0);
    }
    // One record per second, no fillers, though the series takes no more samples. The image
    // has thinned itself meanwhile (two seconds per slot).
    QCOMPARE(live->m_LiveCount, REAL_DATA_CAPACITY + 5);
    QCOMPARE(live->m_pRealData->m_DataCount, REAL_DATA_CAPACITY);
    const _SRecordData *image = live->m_pRecordData;
    QCOMPARE(image->m_SecUnit, 2);
    QCOMPARE(image->m_Count, (REAL_DATA_CAPACITY + 4) / 2 + 1);
    QCOMPARE(int(image->m_pItems[image->m_Count - 1].m_PM25), 64);
    // A real gap after that is bridged from the newest sample (64), not from the last value
    // the series holds (50).
    clock.Advance(2);
    set.AddLiveData(Sample(80), 0);
    QCOMPARE(live->m_LiveCount, REAL_DATA_CAPACITY + 7);
    QCOMPARE(int(image->m_pItems[image->m_Count - 2].m_PM25), 72);
    QCOMPARE(int(image->m_pItems[image->m_Count - 1].m_PM25), 80);
}

void TestRecordsStore::liveBeforeStartLive()
{
    TestClock clock(T0);
    GRecordDataSet set;
    set.Create();
    set.AddLiveData(Sample(10), 0);
    QCOMPARE(set.m_pLive->m_StartTime.toSecsSinceEpoch(), T0);
    clock.Advance(1);
    set.AddLiveData(Sample(10), 0);
    QCOMPARE(set.m_pLive->m_pRealData->m_DataCount, 2);
}

void TestRecordsStore::startTimeOffsetIsUtc()
{
    TestClock clock(T0); // 10:07:23 UTC, whatever the local zone
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    _SRealData *s = set.m_pLive->m_pRealData;
    QCOMPARE(set.m_pLive->m_StartTime.toSecsSinceEpoch(), T0);
    QCOMPARE(s->m_StartHour, 10);
    QCOMPARE(s->org_pts, 23);
    RealDataSetZoom(s, 300, 300);
    QCOMPARE(s->org_pts, 4043);
    // A start time given in local time gives the same offset.
    set.m_pLive->m_StartTime = QDateTime::fromSecsSinceEpoch(T0 + 3600).toLocalTime();
    set.m_pLive->UpdateTimeOffset();
    QCOMPARE(s->org_pts, 23 + 7 * 60 + 2 * 3600);
}

void TestRecordsStore::historyRebuild()
{
    GRecordDataPro hist;
    StoreValues(&hist, std::vector<int>(100, 123), std::vector<int>(100, 456));
    QVERIFY(hist.RecordDataToRealData(uint32_t(T0), 0, 300, 300));
    const _SRealData *s = hist.m_pRealData;
    QCOMPARE(hist.m_StartTime.toSecsSinceEpoch(), T0 - 100 * 300);
    QCOMPARE(s->m_DataSecUnit, 300);
    QCOMPARE(s->min_show, 300);
    QCOMPARE(s->m_AvgLen, 7);
    QCOMPARE(s->m_DataCount, 100);
    QCOMPARE(s->m_ShowCount, 100);
    QCOMPARE(int(s->m_bNewShow), 1);
    QCOMPARE(s->m_pData0[0], 12.3);
    QCOMPARE(s->m_pShowData1[99], 45.6);
    QCOMPARE(s->m_pDataSec[99], 99.0 * 300);
    QCOMPARE(s->m_pShowSec[99], s->org_pts + 99.0 * 300);
    // Start 2024-03-05 01:47:23 UTC on a 3-hour grid.
    QCOMPARE(s->org_pts, 23 + 47 * 60 + 1 * 3600);

    QVERIFY(hist.RecordDataToRealData(uint32_t(T0), 1, 300, 300));
    QCOMPARE(hist.m_ValueScale, 1000.0);
    QCOMPARE(s->m_pData0[0], 0.123);
}

void TestRecordsStore::historyMovingAverage()
{
    std::vector<int> pm25(40, 100);
    pm25[12] = 800; // 10.0 everywhere, one 80.0
    GRecordDataPro hist;
    StoreValues(&hist, pm25, std::vector<int>(40, 0));
    QVERIFY(hist.RecordDataToRealData(uint32_t(T0), 0, 300, 300));
    const _SRealData *s = hist.m_pRealData;
    for (int k = 0; k < 40; ++k)
        QCOMPARE(s->m_pShowData0[k], k >= 12 && k < 19 ? 20.0 : 10.0);
}

void TestRecordsStore::historyWidthAndEpochStart()
{
    GRecordDataPro hist;
    StoreValues(&hist, std::vector<int>(1000, 5), std::vector<int>(1000, 5));
    QVERIFY(hist.RecordDataToRealData(1000 * 300, 0, 300, 1000)); // type 130: starts at 1970
    const _SRealData *s = hist.m_pRealData;
    QCOMPARE(s->show_pt_cnt, 1000);
    QCOMPARE(s->m_ShowCount, 1000);
    QCOMPARE(hist.m_StartTime.toSecsSinceEpoch(), 0);
    QCOMPARE(hist.m_StartTime.toUTC().toString(Qt::ISODate), QString("1970-01-01T00:00:00Z"));
    QCOMPARE(s->org_pts, 0);
    QCOMPARE(s->m_ShowStartSec, 0.0);
}

void TestRecordsStore::historyLongerThanRingBeforeAnyRebuild()
{
    // A fresh history stream was never rebuilt: its first download appends 4032 values
    // through the ring before the zoom is set.
    GRecordDataPro hist;
    RealDataSetStartTime(hist.m_pRealData, 10, 7, 23);
    StoreValues(&hist, std::vector<int>(4032, 250), std::vector<int>(4032, 500));
    QVERIFY(hist.RecordDataToRealData(uint32_t(T0), 0, 300, 4032));
    const _SRealData *s = hist.m_pRealData;
    QCOMPARE(s->m_ShowCount, 4032);
    QCOMPARE(s->m_AvgRing.m_Len, 7);
    QCOMPARE(s->m_pShowData0[4031], 25.0);
    QCOMPARE(s->m_pShowData1[200], 50.0);
    QCOMPARE(s->show_pt_cnt, 4032);
}

void TestRecordsStore::historyRefusesZeroInterval()
{
    GRecordDataPro hist;
    StoreValues(&hist, {1, 2, 3}, {1, 2, 3});
    QVERIFY(hist.RecordDataToRealData(uint32_t(T0), 0, 300, 300));
    QVERIFY(!hist.RecordDataToRealData(uint32_t(T0), 0, 0, 300));
    QVERIFY(!hist.RecordDataToRealData(uint32_t(T0), 0, -300, 300));
    QVERIFY(!hist.RecordDataToRealData(uint32_t(T0), 0, 300, 0));
    QCOMPARE(hist.m_pRealData->m_DataCount, 3);
    QCOMPARE(hist.m_pRealData->m_DataSecUnit, 300);
}

void TestRecordsStore::fileRebuildKeepsFractions()
{
    MessageCapture log;
    GRecordDataPro file;
    _SRecordData *image = file.m_pRecordData;
    QVERIFY(RecordDataAlloc(image, 4));
    for (int i = 0; i < 4; ++i)
        RecordDataAdd(image, 0, 0, uint16_t(123 + i), uint16_t(45 * (i + 1)), -1);
    image->m_StartTime = uint32_t(T0);
    image->m_SecUnit = 2;
    file.RecordDataToRealData2(0);
    const _SRealData *s = file.m_pRealData;
    QCOMPARE(file.m_StartTime.toSecsSinceEpoch(), T0);
    QCOMPARE(s->m_DataSecUnit, 2);
    QCOMPARE(s->m_DataCount, 4);
    QCOMPARE(s->m_pData0[0], 12.3);
    QCOMPARE(s->m_pData1[0], 4.5);
    QCOMPARE(s->m_pDataSec[3], 6.0);
    QCOMPARE(s->m_AvgLen, 1);
    QCOMPARE(log.CountStartingWith("GRecordDataPro::m_DataSecUnit=2"), 1);
    QCOMPARE(log.CountStartingWith("GRecordDataPro. real="), 1);

    file.RecordDataToRealData2(1);
    QCOMPARE(s->m_DataCount, 4);
    QCOMPARE(s->m_pData0[0], 0.123);
    QCOMPARE(s->m_pData1[3], 0.18);
    RealDataShowAll(file.m_pRealData);
    QCOMPARE(file.m_pRealData->min_show, 3);

    // 3100 records at 3 s: a fit of 32 s would make 310 blocks of 10 and push the first ten
    // out of the window. Every record is shown: 281 blocks of 11, and the last 9 records as
    // one more point, the mean of what they hold (smoothed like the others, over 7 points).
    QVERIFY(RecordDataAlloc(image, 3100));
    for (int i = 0; i < 3100; ++i)
        RecordDataAdd(image, 0, 0, i < 3091 ? 10 : 30, 10, -1);
    image->m_SecUnit = 3;
    file.RecordDataToRealData2(0);
    RealDataShowAll(file.m_pRealData);
    QCOMPARE(s->min_show, 33);
    QCOMPARE(s->m_ShowCount, 282);
    QCOMPARE(s->m_pShowSec[0] - s->org_pts, 30.0); // the first block ends with sample 10
    QCOMPARE(s->m_pShowSec[281] - s->org_pts, 3099 * 3.0);
    QCOMPARE(s->m_pShowData0[281], (6 * 1.0 + 3.0) / 7);
    QCOMPARE(s->m_pShowData0[280], 1.0);
}

void TestRecordsStore::fileRebuildMatchesSingleAppends()
{
    // The sliced load into a series with an earlier zoom gives what one append per record
    // gives.
    const int n = 20000;
    GRecordDataPro file;
    _SRecordData *image = file.m_pRecordData;
    QVERIFY(RecordDataAlloc(image, n));
    for (int i = 0; i < n; ++i)
        RecordDataAdd(image, 0, 0, uint16_t(i * 37 % 1009), uint16_t(i % 251), -1);
    image->m_StartTime = uint32_t(T0);
    RealDataSetZoom(file.m_pRealData, 6, 300);
    RealDataRebuild(file.m_pRealData);
    file.RecordDataToRealData2(0);

    GRecordDataPro single;
    single.m_StartTime = QDateTime::fromSecsSinceEpoch(T0);
    single.UpdateTimeOffset();
    _SRealData *s = single.m_pRealData;
    RealDataSetZoom(s, 6, 300);
    RealDataRebuild(s);
    s->m_bNewShow = 1;
    for (int i = 0; i < n; ++i)
        RealDataAdd(s, (i * 37 % 1009) / 10.0, (i % 251) / 10.0, 1, s->org_pts);

    const _SRealData *f = file.m_pRealData;
    QCOMPARE(f->m_DataCount, n);
    QCOMPARE(f->m_ShowCount, s->m_ShowCount);
    QCOMPARE(f->m_ShowStartSec, s->m_ShowStartSec);
    QCOMPARE(f->m_BlockFill, s->m_BlockFill);
    for (int k = 0; k < 301; ++k) {
        QCOMPARE(f->m_pShowData0[k], s->m_pShowData0[k]);
        QCOMPARE(f->m_pShowData1[k], s->m_pShowData1[k]);
        QCOMPARE(f->m_pShowSec[k], s->m_pShowSec[k]);
    }
}

void TestRecordsStore::fileRefusesZeroUnit()
{
    GRecordDataPro file;
    StoreValues(&file, {10, 20}, {10, 20});
    file.m_pRecordData->m_SecUnit = 1;
    file.RecordDataToRealData2(0);
    QCOMPARE(file.m_pRealData->m_DataCount, 2);
    file.m_pRecordData->m_SecUnit = 0;
    file.RecordDataToRealData2(0);
    QCOMPARE(file.m_pRealData->m_DataCount, 0); // shown empty
    QCOMPARE(file.m_pRealData->m_DataSecUnit, 1);
    RealDataShowAll(file.m_pRealData);
    QCOMPARE(file.m_pRealData->m_ShowCount, 0);
}

void TestRecordsStore::setModesAndStreams()
{
    TestClock clock(T0);
    GRecordDataSet set;
    QVERIFY(!set.m_pLive && !set.m_pCurrent && !set.GetData(-1));
    QCOMPARE(int(set.m_Mode), 0);
    QVERIFY(set.Create());
    QVERIFY(set.m_pLive && set.m_pFile && set.m_pHistory);
    QVERIFY(set.m_pLive != set.m_pFile && set.m_pFile != set.m_pHistory);
    QVERIFY(set.StartLive());
    QCOMPARE(int(set.m_bCollect), 1);
    QCOMPARE(set.GetData(-1), set.m_pLive);
    QCOMPARE(set.SetMode(1, 0), 1);
    QCOMPARE(set.m_pCurrent, set.m_pFile);
    QCOMPARE(int(set.m_bCollect), 0);
    QCOMPARE(set.SetMode(2, 0), 1);
    QCOMPARE(set.GetData(-1), set.m_pHistory);
    set.SetMode(7, 1);
    QCOMPARE(set.m_pCurrent, set.m_pHistory); // unknown modes leave the current stream
    QCOMPARE(set.GetData(-1), set.m_pHistory);
    set.SetMode(0, 1);
    QCOMPARE(set.GetData(-1), set.m_pLive);
    QVERIFY(set.Create()); // again: the old streams are released (LeakSanitizer checks)
}

void TestRecordsStore::destroyClearsCurrent()
{
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    QVERIFY(set.Destroy());
    QVERIFY(!set.m_pLive && !set.m_pFile && !set.m_pHistory);
    QVERIFY(!set.m_pCurrent);
    QVERIFY(!set.GetData(-1));
    set.AddLiveData(Sample(1), 0); // no stream: nothing happens
    QVERIFY(!set.StartLive());
}

void TestRecordsStore::lastValueOfLiveStream()
{
    TestClock clock(T0);
    GRecordDataSet sets[2];
    for (GRecordDataSet &s : sets) {
        s.Create();
        s.StartLive();
    }
    double a = 0, b = 0;
    QVERIFY(!RealDataLastValue(sets[0].m_pLive->m_pRealData, &a, &b));
    QCOMPARE(a, -1.0);
    sets[0].AddLiveData(Sample(123, 456), 0);
    sets[1].AddLiveData(Sample(45, 0), 1);
    QVERIFY(RealDataLastValue(sets[0].m_pLive->m_pRealData, &a, &b));
    QCOMPARE(a, 123.0);
    QCOMPARE(b, 456.0);
    QVERIFY(RealDataLastValue(sets[1].m_pLive->m_pRealData, &a, &b));
    QCOMPARE(a, 0.45);
}

void TestRecordsStore::allocationFailureLeavesEmptyStreams()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("an address-space limit cannot be combined with AddressSanitizer's shadow memory");
#else
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit old{};
    QVERIFY(getrlimit(RLIMIT_AS, &old) == 0);
    // Room for the small objects but not for a series (six arrays of 9.7 MB).
    const rlim_t tight = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (16 << 20);
    if (old.rlim_cur != RLIM_INFINITY && old.rlim_cur < tight)
        QSKIP("address space already limited");
    TestClock clock(T0);
    GRecordDataSet set;
    bool created = true;
    bool history = true;
    double a = 0, b = 0;
    bool last = true;
    {
        rlimit limit = old;
        limit.rlim_cur = tight;
        setrlimit(RLIMIT_AS, &limit);
        created = set.Create();
        set.StartLive();
        set.AddLiveData(Sample(10), 0);
        clock.Advance(3);
        set.AddLiveData(Sample(20), 0);
        if (set.m_pLive)
            last = RealDataLastValue(set.m_pLive->m_pRealData, &a, &b);
        if (set.m_pHistory) {
            history = set.m_pHistory->RecordDataToRealData(uint32_t(T0), 0, 300, 300);
            set.m_pHistory->RecordDataToRealData2(0);
        }
        setrlimit(RLIMIT_AS, &old);
    }
    QVERIFY(!created);
    QVERIFY(set.m_pLive && set.m_pHistory);
    QVERIFY(!set.m_pLive->m_pRealData);
    QCOMPARE(set.m_pLive->m_LiveCount, 4); // the stream keeps counting (and its image, if any)
    QVERIFY(!last);
    QCOMPARE(a, -1.0);
    QVERIFY(!history);
    QVERIFY(set.Create()); // usable again once memory is back
#endif
}

QTEST_GUILESS_MAIN(TestRecordsStore)
#include "test_records_store.moc"
