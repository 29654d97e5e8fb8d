// The air-quality index: both tables at their edges, and the averages worked by hand.
#include "aqi.h"

#include <QDateTime>
#include <QtTest>

namespace {

constexpr AqiStandard CN = AqiStandard::China;
constexpr AqiStandard EPA = AqiStandard::UsEpa;
constexpr AqiPollutant PM25 = AqiPollutant::PM25;
constexpr AqiPollutant PM10 = AqiPollutant::PM10;

// UTC seconds of a local clock time on a summer day.
qint64 Local(int hour, int minute = 0)
{
    return QDateTime(QDate(2026, 6, 10), QTime(hour, minute), Qt::LocalTime).toSecsSinceEpoch();
}

// One sample a minute through the local clock hour that starts at `hour`, for `minutes` minutes.
void FeedHour(AqiAverager &a, int hour, double pm25, double pm10 = -1, int minutes = 60)
{
    for (int m = 0; m < minutes; ++m)
        a.Add(Local(hour, m) + 5, pm25, pm10);
}

} // namespace

class TestRecordsAqi : public QObject
{
    Q_OBJECT

private slots:
    void tableEdges_data();
    void tableEdges();
    void namesAndColours();
    void nowCastWorkedByHand();
    void lastHourAndProvisional();
};

void TestRecordsAqi::tableEdges_data()
{
    QTest::addColumn<int>("standard"); // 0 China, 1 EPA
    QTest::addColumn<int>("pollutant"); // 0 PM2.5, 1 PM10
    QTest::addColumn<double>("concentration");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("category");
    // China: breakpoints shared by both segments, every index rounded up.
    QTest::newRow("cn 0") << 0 << 0 << 0.0 << 0 << 0;
    QTest::newRow("cn 35") << 0 << 0 << 35.0 << 50 << 0;
    QTest::newRow("cn 35.1") << 0 << 0 << 35.1 << 51 << 1;
    QTest::newRow("cn 75") << 0 << 0 << 75.0 << 100 << 1;
    QTest::newRow("cn 75.1") << 0 << 0 << 75.1 << 101 << 2;
    QTest::newRow("cn 250") << 0 << 0 << 250.0 << 300 << 4;
    QTest::newRow("cn 500") << 0 << 0 << 500.0 << 500 << 5;
    QTest::newRow("cn 600, on the last slope") << 0 << 0 << 600.0 << 567 << 5;
    QTest::newRow("cn pm10 50") << 0 << 1 << 50.0 << 50 << 0;
    QTest::newRow("cn pm10 50.1") << 0 << 1 << 50.1 << 51 << 1;
    QTest::newRow("cn pm10 420") << 0 << 1 << 420.0 << 300 << 4;
    // EPA 2024: truncated to 0.1 (PM10: 1) before the lookup, the index rounded.
    QTest::newRow("epa 9.0") << 1 << 0 << 9.0 << 50 << 0;
    QTest::newRow("epa 9.09 is 9.0") << 1 << 0 << 9.09 << 50 << 0;
    QTest::newRow("epa 9.1") << 1 << 0 << 9.1 << 51 << 1;
    QTest::newRow("epa 35.4") << 1 << 0 << 35.4 << 100 << 1;
    QTest::newRow("epa 35.5") << 1 << 0 << 35.5 << 101 << 2;
    QTest::newRow("epa 12.0, 50 before 2024") << 1 << 0 << 12.0 << 56 << 1;
    QTest::newRow("epa 150.4, 200 before 2024") << 1 << 0 << 150.4 << 226 << 4;
    QTest::newRow("epa 325.4") << 1 << 0 << 325.4 << 500 << 5;
    QTest::newRow("epa 425.3, on the hazardous slope") << 1 << 0 << 425.3 << 699 << 5;
    QTest::newRow("epa pm10 54") << 1 << 1 << 54.0 << 50 << 0;
    QTest::newRow("epa pm10 54.9 is 54") << 1 << 1 << 54.9 << 50 << 0;
    QTest::newRow("epa pm10 55") << 1 << 1 << 55.0 << 51 << 1;
    QTest::newRow("epa pm10 254") << 1 << 1 << 254.0 << 150 << 2;
    QTest::newRow("epa pm10 255") << 1 << 1 << 255.0 << 151 << 3;
}

void TestRecordsAqi::tableEdges()
{
    QFETCH(int, standard);
    QFETCH(int, pollutant);
    QFETCH(double, concentration);
    QFETCH(int, index);
    QFETCH(int, category);
    const int got = AqiIndex(standard ? EPA : CN, pollutant ? PM10 : PM25, concentration);
    QCOMPARE(got, index);
    QCOMPARE(AqiCategory(got), category);
}

void TestRecordsAqi::namesAndColours()
{
    QCOMPARE(QString(AqiCategoryName(CN, 2)), QStringLiteral("Lightly polluted"));
    QCOMPARE(QString(AqiCategoryName(EPA, 2)), QStringLiteral("Unhealthy for Sensitive Groups"));
    QCOMPARE(AqiCategoryColour(CN, 4), 0x99004Cu);
    QCOMPARE(AqiCategoryColour(EPA, 4), 0x8F3F97u);
    QCOMPARE(AqiCategoryColour(EPA, 5), 0x7E0023u);
    QCOMPARE(AqiIndex(CN, PM25, -1), -1);
    QCOMPARE(AqiIndex(EPA, PM10, std::nan("")), -1);
}

void TestRecordsAqi::nowCastWorkedByHand()
{
    // Twelve hours before 12:10: 11:00 is c1, 00:00 is c12.
    const qint64 now = Local(12, 10);
    {
        // c1 50, c2 20, c3 20: 20 / 50 = 0.4, raised to w = 0.5;
        // (50 + 0.5 * 20 + 0.25 * 20) / (1 + 0.5 + 0.25) = 37.14 -> 37.1 -> AQI 105.
        AqiAverager a;
        FeedHour(a, 9, 20);
        FeedHour(a, 10, 20);
        FeedHour(a, 11, 50);
        FeedHour(a, 12, 30, -1, 10);
        double pm25 = 0, pm10 = 0;
        QVERIFY(a.NowCast(now, &pm25, &pm10));
        QCOMPARE(qRound(pm25 * 1000), 37143);
        QCOMPARE(pm10, -1.0);
        const AqiReading r = a.Read(EPA, now);
        QVERIFY(r.m_bAny && !r.m_bProvisional);
        QCOMPARE(r.m_Index, 105);
        QCOMPARE(r.m_Category, 2);
    }
    {
        // c1 30, c2 missing (30 minutes only), c3 24, c4 18: w = 18 / 30 = 0.6;
        // (30 + 0.36 * 24 + 0.216 * 18) / (1 + 0.36 + 0.216) = 26.98 -> 26.9 -> AQI 84.
        // PM10 alike: c1 60, c3 60, c4 60: 60 -> AQI 53; the higher is 84.
        AqiAverager a;
        FeedHour(a, 8, 18, 60);
        FeedHour(a, 9, 24, 60);
        FeedHour(a, 10, 99, 999, 30);
        FeedHour(a, 11, 30, 60);
        double pm25 = 0, pm10 = 0;
        QVERIFY(a.NowCast(now, &pm25, &pm10));
        QCOMPARE(qRound(pm25 * 1000), 26985);
        QCOMPARE(pm10, 60.0);
        QCOMPARE(a.Read(EPA, now).m_Index, 84);
    }
    {
        // c1 only (c2 has 44 minutes, c3 none): not valid; the mean of the last 60 minutes
        // stands in, marked provisional.
        AqiAverager a;
        FeedHour(a, 10, 50, -1, 44);
        FeedHour(a, 11, 12);
        double pm25 = 0, pm10 = 0;
        QVERIFY(!a.NowCast(now, &pm25, &pm10));
        const AqiReading r = a.Read(EPA, now);
        QVERIFY(r.m_bAny && r.m_bProvisional);
        QCOMPARE(r.m_Index, AqiIndex(EPA, PM25, 12)); // 11:11 to 12:10: 49 samples of 12
    }
}

void TestRecordsAqi::lastHourAndProvisional()
{
    AqiAverager a;
    QVERIFY(!a.Read(CN, Local(12)).m_bAny);
    // 30 minutes of 35 (China: 50, Excellent) with PM10 at 80 (China: 65, Good): the higher.
    for (int m = 0; m < 30; ++m)
        a.Add(Local(12, m), 35, 80);
    AqiReading r = a.Read(CN, Local(12, 29));
    QVERIFY(r.m_bAny && r.m_bProvisional);
    QCOMPARE(r.m_Index, 65);
    QCOMPARE(r.m_Category, 1);
    // From 45 minutes on the 60-minute mean is China's average.
    for (int m = 30; m < 45; ++m)
        a.Add(Local(12, m), 35, 80);
    r = a.Read(CN, Local(12, 44));
    QVERIFY(!r.m_bProvisional);
    const AqiAverager::Mean mean = a.LastHour(Local(12, 44));
    QCOMPARE(mean.m_Minutes, 45);
    QCOMPARE(mean.m_PM25, 35.0);
    // An hour later nothing is left of it.
    QVERIFY(!a.Read(CN, Local(13, 45)).m_bAny);
    a.Add(Local(13, 45), 10, -1);
    QCOMPARE(a.LastHour(Local(13, 45)).m_PM10, -1.0);
    a.Clear();
    QVERIFY(!a.Read(EPA, Local(13, 45)).m_bAny);
}

QTEST_GUILESS_MAIN(TestRecordsAqi)
#include "test_records_aqi.moc"
