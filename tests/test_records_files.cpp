// Record files, text export and text import, without a window.
#include "csvfile.h"
#include "grecorddataset.h"
#include "recordclock.h"
#include "recordrecovery.h"
#include "messagecapture.h"
#include "recordfile.h"
#include "scodeusb.h"
#include "textimport.h"

#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>
#include <QtTest>
#include <cstring>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Le32(int32_t v)
{
    QByteArray b(4, 0);
    qToLittleEndian(v, b.data());
    return b;
}

// A version-3 header with the given fields, then `records` records of value i.
QByteArray FileBytes(int32_t maxCount, int32_t count, int32_t secUnit, int records,
                     int32_t channel = 0, int version = 3)
{
    QByteArray b = "TRAC" + Le32(version) + Le32(maxCount) + Le32(count) + Le32(1456812309);
    if (version != 1)
        b += Le32(channel);
    b += Le32(secUnit);
    for (int i = 0; i < records; ++i)
        b += QByteArray::fromHex("0000000001000200") ;
    return b;
}

QString Local(qint64 utc, const char *format)
{
    return QDateTime::fromSecsSinceEpoch(utc).toString(QString::fromLatin1(format));
}

QByteArray Import(const QByteArray &rows, const QByteArray &count = "3",
                  const QByteArray &date = "2016.03.01-14:05:09")
{
    return "Date:" + date + "\nData Count:" + count + "\nsome title\nnumber\ttime\tPM25\tPM10\n"
           + rows;
}

} // namespace

class TestRecordsFiles : public QObject
{
    Q_OBJECT

private slots:
    void recordFileBytes();
    void recordFileDamage_data();
    void recordFileDamage();
    void textExportLive();
    void textExportHistory();
    void textImport();
    void textImportRejects_data();
    void textImportRejects();
    void csvRoundTrip();
    void csvRejects_data();
    void csvRejects();
    void longRunThinsAndKeepsItsFiles();
    void fullDiskKeepsTheOldFiles();

private:
    QTemporaryDir m_Dir;
    QString Path(const char *name) const { return m_Dir.filePath(QString::fromLatin1(name)); }
};

void TestRecordsFiles::recordFileBytes()
{
    _SRecordData image;
    RecordDataAdd(&image, 0, 0, 123, 201, -1);
    RecordDataAdd(&image, 0, 0, 125, 202, -1);
    image.m_StartTime = 1456812309; // 2016-03-01 06:05:09 UTC
    const QByteArray two = Path("two.str").toLocal8Bit();
    QVERIFY(RecordDataWrite(&image, two, 0) > 0);
    QCOMPARE(ReadAll(Path("two.str")).toHex(' '),
             QByteArray("54 52 41 43 03 00 00 00 02 00 00 00 02 00 00 00 15 31 d5 56 00 00 00 00 "
                        "01 00 00 00 00 00 00 00 7b 00 c9 00 00 00 00 00 7d 00 ca 00"));
    QCOMPARE(image.m_MaxCount, RECORD_DATA_CAPACITY); // the file's count, not the capacity

    // Read back: the capacity becomes the count; the channel word comes along.
    for (int i = 2; i < 5; ++i)
        RecordDataAdd(&image, 0, 0, uint16_t(i), 0, -1);
    image.m_SecUnit = 2; // as after thinning
    QVERIFY(RecordDataWrite(&image, Path("five.str").toLocal8Bit(), 1) > 0);
    const QByteArray five = ReadAll(Path("five.str"));
    QCOMPARE(five.size(), 68);
    QCOMPARE(qFromLittleEndian<int32_t>(five.constData() + 8), 5);
    QCOMPARE(qFromLittleEndian<int32_t>(five.constData() + 12), 5);
    _SRecordData back;
    QVERIFY(RecordDataRead(&back, Path("five.str").toLocal8Bit()) > 0);
    QCOMPARE(back.m_MaxCount, 5);
    QCOMPARE(back.m_Count, 5);
    QCOMPARE(back.m_Channel, 1);
    QCOMPARE(back.m_SecUnit, 2);
    QCOMPARE(back.m_StartTime, 1456812309u);
    QCOMPARE(back.m_pItems[1].m_PM10, uint16_t(202));
    QCOMPARE(back.m_pItems[4].m_PM25, uint16_t(4));

    // Nothing to write, or nowhere to write it: an existing file stays as it was.
    _SRecordData empty;
    QCOMPARE(RecordDataWrite(&empty, two, 0), -1);
    QCOMPARE(ReadAll(Path("two.str")).size(), 44);
    QCOMPARE(RecordDataWrite(&image, Path("no/such/dir.str").toLocal8Bit(), 0), -1);
    QVERIFY(!QFile::exists(Path("no/such/dir.str")));
    RecordDataFree(&image);
    RecordDataFree(&back);
}

void TestRecordsFiles::recordFileDamage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");
    QTest::newRow("sound") << FileBytes(3, 3, 1, 3) << 1;
    QTest::newRow("wrong magic read all the same") << "XXXX" + FileBytes(3, 3, 1, 3).mid(4) << 1;
    QTest::newRow("more records than counted") << FileBytes(3, 2, 1, 4) << 1;
    QTest::newRow("version 1") << FileBytes(3, 3, 5, 3, 0, 1) << 1;
    QTest::newRow("header short") << FileBytes(3, 3, 1, 0).left(19) << -2;
    QTest::newRow("no seconds per record") << FileBytes(3, 3, 1, 0).left(24) << -2;
    QTest::newRow("records short") << FileBytes(3, 3, 1, 2) << -3;
    // The first count is what is read: records for the second only are too few.
    QTest::newRow("records between the counts") << FileBytes(5, 3, 1, 4) << -3;
    QTest::newRow("count beyond the file") << FileBytes(100000, 100000, 1, 2) << -3;
    QTest::newRow("negative count") << FileBytes(-1, -1, 1, 2) << -2;
    QTest::newRow("no records") << FileBytes(0, 0, 1, 0) << -2;
    QTest::newRow("second count above the first") << FileBytes(2, 3, 1, 3) << -2;
    QTest::newRow("above capacity") << FileBytes(1209713, 1209713, 1, 0) << -2;
    QTest::newRow("zero seconds per record") << FileBytes(3, 3, 0, 3) << -2;
    QTest::newRow("negative seconds per record") << FileBytes(3, 3, -2, 3) << -2;
}

void TestRecordsFiles::recordFileDamage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    WriteAll(Path("damaged.str"), bytes);
    _SRecordData image;
    image.m_Channel = 7; // a version-1 file has no channel word: this stays
    RecordDataAdd(&image, 0, 0, 99, 98, -1);
    _SRecordItem *items = image.m_pItems;
    QCOMPARE(RecordDataRead(&image, Path("damaged.str").toLocal8Bit()), result);
    if (result < 0) { // untouched
        QCOMPARE(image.m_pItems, items);
        QCOMPARE(image.m_Count, 1);
        QCOMPARE(image.m_MaxCount, RECORD_DATA_CAPACITY);
        QCOMPARE(image.m_Channel, 7);
        QCOMPARE(RecordDataReadHeader(&image, Path("damaged.str").toLocal8Bit()), result);
    } else {
        QCOMPARE(image.m_pItems[image.m_MaxCount - 1].m_PM10, uint16_t(2));
        QCOMPARE(image.m_Channel, QTest::currentDataTag() == QByteArray("version 1") ? 7 : 0);
        QCOMPARE(image.m_SecUnit, QTest::currentDataTag() == QByteArray("version 1") ? 5 : 1);
    }
    QCOMPARE(RecordDataRead(&image, Path("missing.str").toLocal8Bit()), -1);
    RecordDataFree(&image);
}

void TestRecordsFiles::textExportLive()
{
    GRecordDataPro live;
    _SRealData *s = live.m_pRealData;
    // A day with a daylight-saving change in New York: 01:59:59 is followed by 03:00:00 there.
    live.m_StartTime = QDateTime(QDate(2024, 3, 10), QTime(1, 59, 58));
    const qint64 t0 = live.m_StartTime.toSecsSinceEpoch();
    live.UpdateTimeOffset();
    const double values[][2] = {{12.3, 20.1}, {12.5, 20.2}, {35, 48}, {0.045, 123.456789}};
    for (const auto &v : values)
        RealDataAdd(s, v[0], v[1], 1, s->org_pts);
    live.m_ValueCount = 2;
    QVERIFY(live.SaveTextFile(Path("live.xls"), 0, {}));
    QByteArray expected = "Data Count:4\r\n\r\nnumber\ttime       \tPM25Value\tPM10Value\t\r\n";
    const char *texts[][2] = {{"12.3", "20.1"}, {"12.5", "20.2"}, {"35", "48"}, {"0.045", "123.457"}};
    for (int i = 0; i < 4; ++i)
        expected += QString::number(i + 1).toLatin1() + "    \t"
                    + Local(t0 + i, "hh:mm:ss").toLatin1() + "\t" + texts[i][0] + "       \t"
                    + texts[i][1] + "\r\n";
    QCOMPARE(ReadAll(Path("live.xls")), expected);
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY(expected.contains("\t01:59:59\t") && expected.contains("\t03:00:00\t"));
    // A ten-minute pause leaves no rows: the next row is the next sample, at its own time.
    RealDataSkip(s, 600);
    RealDataAdd(s, 1, 2, 1, s->org_pts);
    QVERIFY(live.SaveTextFile(Path("live.xls"), 0, {}));
    QCOMPARE(ReadAll(Path("live.xls")),
             expected.replace("Data Count:4", "Data Count:5") + "5    \t"
                 + Local(t0 + 604, "hh:mm:ss").toLatin1() + "\t1       \t2\r\n");

    // One value per row; row numbers of six digits are written whole.
    RealDataClear(s);
    live.m_StartTime = QDateTime(QDate(2024, 3, 5), QTime(9, 59, 58));
    for (int i = 0; i < 100000; ++i)
        RealDataAdd(s, 12.3, 0, 1, s->org_pts);
    live.m_ValueCount = 1;
    QVERIFY(live.SaveTextFile(Path("one.xls"), 1, {}));
    const QList<QByteArray> lines = ReadAll(Path("one.xls")).split('\n');
    QCOMPARE(lines[0], QByteArray("Data Count:100000\r"));
    QCOMPARE(lines[2], QByteArray("number\ttime        \tValue\t\r"));
    QCOMPARE(lines[3], QByteArray("1    \t09:59:58\t12.3\r"));
    QCOMPARE(lines[5], QByteArray("3    \t10:00:00\t12.3\r"));
    QCOMPARE(lines[100002], QByteArray("100000\t") + Local(live.m_StartTime.toSecsSinceEpoch() + 99999, "hh:mm:ss").toLatin1() + "\t12.3\r");

    // A file that cannot be written is reported.
    QVERIFY(!live.SaveTextFile(Path("no/such/dir.xls"), 0, {}));
}

void TestRecordsFiles::textExportHistory()
{
    // A history is written as the sensor sent it, one row per value, whatever the zoom.
    GRecordDataPro hist;
    _SRecordData *image = hist.m_pRecordData;
    QVERIFY(RecordDataAlloc(image, 3));
    for (uint16_t v : {45, 123, 7})
        RecordDataAdd(image, 0, 0, v, uint16_t(v + 1), -1);
    const qint64 downloaded = 1709633243; // 2024-03-05 10:07:23 UTC
    QVERIFY(hist.RecordDataToRealData(uint32_t(downloaded), 1, 300, 300));
    RealDataZoomOut(hist.m_pRealData);

    hist.m_bStampedHistory = true; // the sensor's own stamps, with month and day
    hist.m_ValueCount = 2;
    const QVector<uint32_t> stamps = {1709600000, 1709600300, 1709686700};
    QVERIFY(hist.SaveTextFile(Path("h130.xls"), 2, stamps));
    QList<QByteArray> lines = ReadAll(Path("h130.xls")).split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0], QByteArray("Data Count:3\r"));
    QCOMPARE(lines[3], "1    \t" + Local(stamps[0], "MM.dd hh:mm").toLatin1() + "\t0.045       \t0.046\r");
    QCOMPARE(lines[5], "3    \t" + Local(stamps[2], "MM.dd hh:mm").toLatin1() + "\t0.007       \t0.008\r");

    // Other sensors: clock times counted back from the download (not from the export).
    hist.m_bStampedHistory = false;
    hist.m_ValueCount = 1;
    QVERIFY(hist.SaveTextFile(Path("h1.xls"), 2, stamps));
    lines = ReadAll(Path("h1.xls")).split('\n');
    QCOMPARE(lines[3], "1    \t" + Local(downloaded - 900, "hh:mm").toLatin1() + "\t0.045\r");
    QCOMPARE(lines[5], "3    \t" + Local(downloaded - 300, "hh:mm").toLatin1() + "\t0.007\r");
}

void TestRecordsFiles::textImport()
{
    MessageCapture log;
    _SRecordData image;
    QVERIFY(RecordTextToImage(Import("1 14:05:09 12.3 20.1\r\n2 14:05:10 12.5 20.2\r\n"
                                     "3 14:05:11 35 48\r\n4 14:05:12 1 1\r\n"),
                              &image));
    QCOMPARE(image.m_Count, 3); // the fourth row is beyond the count
    QCOMPARE(image.m_pItems[0].m_PM25, uint16_t(123));
    QCOMPARE(image.m_pItems[1].m_PM10, uint16_t(202));
    QCOMPARE(image.m_pItems[2].m_PM10, uint16_t(480));
    QCOMPARE(image.m_SecUnit, 1);
    QCOMPARE(image.m_Channel, 0);
    QCOMPARE(QDateTime::fromSecsSinceEpoch(image.m_StartTime),
             QDateTime(QDate(2016, 3, 1), QTime(14, 5, 9)));
    QCOMPARE(log.Count("mOneLine=Date\n"), 1);
    QCOMPARE(log.Count("mOneLine=Data Count\n"), 1);
    QCOMPARE(log.Count("mOneLine=number\ttime\tPM25\tPM10\n"), 1);
    QCOMPARE(log.Count("index=1. time=14:05:09 pm25=12.300000 pm10=20.100000\n"), 1);

    // Rows 1, 2, 5, 3: the count is the highest row; 20.4 is 204, not 203; a 5-minute interval.
    // Rows that are missing or whose values cannot be stored are gaps, not zeros.
    QVERIFY(RecordTextToImage(Import("1 23:58:00 20.4 12.36\n2 00:03:00 20.3999999 2\n5 0:0:0 5\n"
                                     "3 x 3 3\n4 x -1 0\n4 x inf 0\n4 x 6553.6 0\n4 x 1e999 0\n",
                                     "6"),
                              &image));
    QCOMPARE(image.m_Count, 5);
    QCOMPARE(image.m_pItems[0].m_PM25, uint16_t(204));
    QCOMPARE(image.m_pItems[0].m_PM10, uint16_t(123));
    QCOMPARE(image.m_pItems[1].m_PM25, uint16_t(204)); // the value display's tolerance
    QCOMPARE(image.m_pItems[2].m_PM25, uint16_t(30));
    QVERIFY(RecordIsGap(image.m_pItems[3]));
    QCOMPARE(image.m_pItems[4].m_PM25, uint16_t(50));
    QCOMPARE(image.m_pItems[4].m_PM10, uint16_t(0)); // missing at the end of the row
    QCOMPARE(image.m_SecUnit, 300);                  // row 2 is past midnight
    QVERIFY(RecordTextToImage(Import("1 1:0:0 1\n2 1:0:1 2\n5 1:0:4 5\n", "5"), &image));
    QCOMPARE(image.m_Count, 5);
    QVERIFY(RecordIsGap(image.m_pItems[2]) && RecordIsGap(image.m_pItems[3]));
    QVERIFY(!RecordIsGap(image.m_pItems[4]));

    // A first or second row whose values cannot be stored still dates the image.
    QVERIFY(RecordTextToImage(Import("1 14:05:09 -1 20\n2 14:10:09 5 nan\n3 14:15:09 7 7\n"),
                              &image));
    QCOMPARE(QDateTime::fromSecsSinceEpoch(image.m_StartTime),
             QDateTime(QDate(2016, 3, 1), QTime(14, 5, 9)));
    QCOMPARE(image.m_SecUnit, 300);
    QVERIFY(RecordIsGap(image.m_pItems[0]) && RecordIsGap(image.m_pItems[1]));
    QCOMPARE(image.m_pItems[2].m_PM25, uint16_t(70));

    // Without row 1 the image starts at midnight, one second per record; equal times too.
    QVERIFY(RecordTextToImage(Import("2 14:00:00 1 1\n"), &image));
    QCOMPARE(image.m_SecUnit, 1);
    QCOMPARE(QDateTime::fromSecsSinceEpoch(image.m_StartTime).time(), QTime(0, 0));
    QVERIFY(RecordTextToImage(Import("1 14:00:00 1 1\n2 14:00:00 1 1\n"), &image));
    QCOMPARE(image.m_SecUnit, 1);
    RecordDataFree(&image);
}

void TestRecordsFiles::textImportRejects_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray rows = "1 14:05:09 12.3 20.1\n";
    QTest::newRow("an export") << "Data Count:3\r\n\r\nnumber\ttime\r\n" + rows;
    QTest::newRow("date token") << "date" + Import(rows).mid(4);
    QTest::newRow("count token") << Import(rows).replace("Data Count", "Data count");
    QTest::newRow("count 0") << Import(rows, "0");
    QTest::newRow("count negative") << Import(rows, "-5");
    QTest::newRow("count above capacity") << Import(rows, "1209601");
    QTest::newRow("no head line") << Import(rows).replace("number\ttime", "number time");
    QTest::newRow("no such date") << Import(rows, "3", "2016.02.30-00:00:00");
    QTest::newRow("date not numbers") << Import(rows, "3", "2016.March.01-00:00:00");
    QTest::newRow("row 1 at no time") << Import("1 25:00:00 1 1\n");
    QTest::newRow("row 2 at no time") << Import(rows + "2 14:61:00 1 1\n");
    QTest::newRow("empty") << QByteArray();
}

void TestRecordsFiles::textImportRejects()
{
    QFETCH(QByteArray, text);
    _SRecordData image;
    QVERIFY(!RecordTextToImage(text, &image));
    RecordDataFree(&image);
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void TestRecordsFiles::longRunThinsAndKeepsItsFiles()
{
    if (qgetenv("TZ") != "UTC")
        QSKIP("no local times here: one zone is enough");
    // 14 days and 1,000 s of samples on both channels, one a second by the clock.
    qint64 now = 1709633243;
    RecordClockSet([&now] { return QDateTime::fromSecsSinceEpoch(now); });
    const long before = ResidentBytes();
    GRecordDataSet sets[2];
    const int total = REAL_DATA_CAPACITY + 1000;
    for (GRecordDataSet &set : sets) {
        QVERIFY(set.Create());
        set.StartLive();
    }
    auto word = [](int i, int channel) { return uint16_t(channel ? i % 900 : 1 + i % 600); };
    for (int i = 0; i < total; ++i, ++now)
        for (int channel : {0, 1})
            sets[channel].AddLiveData(TAG_T_SPM25Data{1, 2, word(i, channel), 7, 0}, channel);
    const long grown = ResidentBytes() - before;
    RecordClockSet({});

    for (GRecordDataSet &set : sets) // as the window does before it saves
        set.m_pLive->m_pRecordData->m_StartTime = uint32_t(set.m_pLive->m_StartTime.toSecsSinceEpoch());
    const QString folder = Path("longrun");
    RecordRecovery recovery(folder, sets[0].m_pLive->m_StartTime);
    QVERIFY(recovery.WriteAsync({sets[0].m_pLive->m_pRecordData, sets[1].m_pLive->m_pRecordData}));
    QVERIFY(recovery.Wait());
    for (int channel : {0, 1}) {
        const GRecordDataPro *live = sets[channel].m_pLive;
        // The series stops at its capacity; the image halved itself once and went on.
        QCOMPARE(live->m_pRealData->m_DataCount, REAL_DATA_CAPACITY);
        const _SRecordData *image = live->m_pRecordData;
        QCOMPARE(image->m_SecUnit, 2);
        QCOMPARE(image->m_Count, (total - 1) / 2 + 1);
        // Record k covers seconds 2k and 2k + 1: the thinning kept the first of each pair,
        // later samples each replace the one before in their slot.
        for (int k : {0, 1, 604799, 604800, image->m_Count - 1})
            QCOMPARE(image->m_pItems[k].m_PM25, word(k < 604800 ? 2 * k : 2 * k + 1, channel));
        // Saved and recovered files hold the thinned image.
        const QString saved = Path(channel ? "long1.str" : "long0.str");
        QVERIFY(sets[channel].m_pLive->SaveRecordFile(saved, channel));
        for (const QString &path : {saved, recovery.FileName(channel)}) {
            _SRecordData back;
            QVERIFY(RecordDataRead(&back, path.toLocal8Bit()) > 0);
            QCOMPARE(back.m_Count, image->m_Count);
            QCOMPARE(back.m_SecUnit, 2);
            QCOMPARE(back.m_Channel, channel);
            QCOMPARE(qint64(back.m_StartTime), live->m_StartTime.toSecsSinceEpoch());
            QVERIFY(std::memcmp(back.m_pItems, image->m_pItems, size_t(image->m_Count) * 8) == 0);
            RecordDataFree(&back);
        }
    }
#if !defined(__SANITIZE_ADDRESS__)
    // bench/README.md: 38.7 MB resident per channel after 1,209,600 live samples.
    qDebug("resident growth %.1f MB", grown / 1e6);
    QVERIFY2(grown < long(2 * 38.7e6 * 1.05), qPrintable(QString::number(grown / 1e6) + " MB"));
#else
    Q_UNUSED(grown);
#endif
}

namespace {

// Files may grow to `bytes` only while it lives, as on a disk with that much room left.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing us
        getrlimit(RLIMIT_FSIZE, &m_Old);
        rlimit limit = m_Old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_Old); }

private:
    rlimit m_Old{};
};

} // namespace

void TestRecordsFiles::fullDiskKeepsTheOldFiles()
{
    // Every write fails once the disk is full: small files (all in the write buffer until the
    // end), large ones, the text export and the recovery copies. Each reports it, and the file
    // of that name stays as it was.
    _SRecordData image;
    for (int i = 0; i < 5000; ++i)
        RecordDataAdd(&image, 0, 0, uint16_t(i), 0, -1);
    GRecordDataPro live;
    for (int i = 0; i < 50; ++i)
        RealDataAdd(live.m_pRealData, i, 0, 1, 0);
    const QByteArray old = "an older file of that name";
    QTemporaryDir dir;
    auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };
    for (const char *name : {"small.str", "large.str", "text.xls"}) {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    RecordRecovery recovery(path("recovery"), QDateTime::currentDateTime());
    QVERIFY(QDir().mkpath(path("recovery")));
    {
        QFile f(recovery.FileName(0));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(old) == old.size());
    }
    {
        FileSizeLimit full(60);
        const int count = image.m_Count;
        image.m_Count = 5; // 68 bytes
        QCOMPARE(RecordDataWrite(&image, path("small.str").toLocal8Bit(), 0), -1);
        image.m_Count = count;
        QCOMPARE(RecordDataWrite(&image, path("large.str").toLocal8Bit(), 0), -1);
        QVERIFY(!live.SaveTextFile(path("text.xls"), 0, {}));
        QVERIFY(recovery.WriteAsync({&image}));
        QVERIFY(!recovery.Wait());
        QVERIFY(recovery.TakeFailure());
        QVERIFY(!recovery.TakeFailure()); // told once
    }
    for (const QString &p : {path("small.str"), path("large.str"), path("text.xls"),
                             recovery.FileName(0)})
        QCOMPARE(ReadAll(p), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3); // nothing left beside them
    QVERIFY(recovery.WriteAsync({&image}));
    QVERIFY(recovery.Wait());
    QVERIFY(!recovery.TakeFailure());
    RecordDataFree(&image);
}

QTEST_GUILESS_MAIN(TestRecordsFiles)
void TestRecordsFiles::csvRoundTrip()
{
    // Ten samples, an hour's pause, ten more, across a change of day in every test zone.
    _SRecordData live;
    for (int i = 0; i < 20; ++i) {
        if (i == 10)
            for (int k = 0; k < 3600; ++k)
                RecordDataAdd(&live, RECORD_GAP_WORD, RECORD_GAP_WORD, 0, 0, -1);
        RecordDataAdd(&live, uint16_t(i), 7, uint16_t(100 + i * 7), uint16_t(i == 3 ? 0 : 2001), -1);
    }
    const uint32_t start = 1764975000; // 2025-12-05 22:50 UTC
    CsvLayout layout;
    layout.m_ValueCount = 2;
    const QByteArray csv = RecordsToCsv(live, start, 1, nullptr, layout);
    const QList<QByteArray> rows = csv.split('\n');
    QCOMPARE(rows.size(), 1 + 20 + 1);
    QCOMPARE(rows[0], QByteArray("time,pm25_ugm3,pm10_ugm3\r"));
    const QDateTime first = QDateTime::fromSecsSinceEpoch(start);
    const int off = first.offsetFromUtc();
    const QString zone = QStringLiteral("%1%2:%3").arg(off < 0 ? '-' : '+')
                             .arg(qAbs(off) / 3600, 2, 10, QChar('0'))
                             .arg(qAbs(off) / 60 % 60, 2, 10, QChar('0'));
    QCOMPARE(rows[1], (first.toString("yyyy-MM-ddTHH:mm:ss") + zone + ",10.0,200.1\r").toUtf8());
    QCOMPARE(rows[4], (first.addSecs(3).toString("yyyy-MM-ddTHH:mm:ss") + zone + ",12.1,0.0\r")
                          .toUtf8());
    QVERIFY(rows[11].startsWith(first.addSecs(3610).toString("yyyy-MM-ddTHH:mm:ss").toUtf8()));

    // Opened: every sample at its time, the pause as gap records; saved again, the same bytes.
    _SRecordData back;
    CsvLayout read;
    QString why;
    QVERIFY2(CsvToImage(csv, &back, &read, &why), qPrintable(why));
    QCOMPARE(read.m_ValueCount, 2);
    QCOMPARE(back.m_StartTime, start);
    QCOMPARE(back.m_SecUnit, 1);
    QCOMPARE(back.m_Count, live.m_Count);
    for (int i = 0; i < live.m_Count; ++i) {
        QCOMPARE(RecordIsGap(back.m_pItems[i]), RecordIsGap(live.m_pItems[i]));
        QCOMPARE(back.m_pItems[i].m_PM25, live.m_pItems[i].m_PM25);
        QCOMPARE(back.m_pItems[i].m_PM10, live.m_pItems[i].m_PM10);
    }
    QCOMPARE(RecordsToCsv(back, back.m_StartTime, back.m_SecUnit, nullptr, read), csv);

    // The second channel in thousandths; a stamped history at its own stamps, 300 s apart but
    // one: the step is the common one and that row keeps its time between gap records.
    layout = CsvLayout{1, 1, true};
    QVector<uint32_t> stamps;
    for (int i = 0; i < 4; ++i)
        stamps << start + 300 * uint32_t(i < 3 ? i : 5);
    _SRecordData four;
    for (int i = 0; i < 4; ++i)
        RecordDataAdd(&four, 0, 0, uint16_t(45 + i), 0, -1);
    const QByteArray tvoc = RecordsToCsv(four, 0, 300, &stamps, layout);
    QVERIFY(tvoc.startsWith("time,tvoc_mgm3\r\n"));
    QVERIFY(tvoc.split('\n')[1].endsWith(",0.045\r"));
    QVERIFY(CsvToImage(tvoc, &back, &read, &why));
    QCOMPARE(back.m_Channel, 1);
    QVERIFY(read.m_bTVOC);
    QCOMPARE(back.m_SecUnit, 300);
    QCOMPARE(back.m_Count, 6);
    QVERIFY(RecordIsGap(back.m_pItems[3]) && RecordIsGap(back.m_pItems[4]));
    QCOMPARE(back.m_pItems[5].m_PM25, uint16_t(48));
    RecordDataFree(&back);
    RecordDataFree(&four);
    RecordDataFree(&live);
}

void TestRecordsFiles::csvRejects_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("why");
    const QByteArray head = "time,pm25_ugm3\r\n";
    const QByteArray row = "2026-12-08T15:04:03+01:00,12.3\r\n";
    QTest::newRow("head") << QByteArray("time;pm25\n") + row << "row 1: the head line";
    QTest::newRow("no rows") << head << "it has no rows";
    QTest::newRow("fields") << head + row + "2026-12-08T15:04:04+01:00,1,2\n" << "row 3: 3 fields";
    QTest::newRow("no offset") << head + "2026-12-08T15:04:03,1\n" << "row 2: the time";
    QTest::newRow("30 February") << head + "2026-02-30T15:04:03Z,1\n" << "row 2: the time";
    QTest::newRow("not after") << head + row + row << "row 3: its time is not after";
    QTest::newRow("off the step") << head + row + "2026-12-08T15:04:05+01:00,1\n"
                                         "2026-12-08T15:04:07+01:00,1\n"
                                         "2026-12-08T15:04:08+01:00,1\n"
                                  << "row 5: its time is not a whole number of 2 s";
    QTest::newRow("negative") << head + "2026-12-08T15:04:03Z,-0.1\n" << "row 2: a value";
    QTest::newRow("too large") << head + "2026-12-08T15:04:03Z,6553.6\n" << "row 2: a value";
    QTest::newRow("not a number") << head + "2026-12-08T15:04:03Z,nan\n" << "row 2: a value";
    QTest::newRow("span") << head + row + "2026-12-08T15:04:04+01:00,1\n"
                                          "2026-12-23T15:04:03+01:00,1\n"
                          << "row 4: the rows span";
    QTest::newRow("days apart") << head + row + "2026-12-23T15:04:03+01:00,1\n"
                                << "the rows are more than a day apart";
}

void TestRecordsFiles::csvRejects()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, why);
    _SRecordData image;
    RecordDataAdd(&image, 0, 0, 5, 5, -1);
    QString reason;
    QVERIFY(!CsvToImage(text, &image, nullptr, &reason));
    QVERIFY2(reason.startsWith(why) || reason.contains(why), qPrintable(reason));
    RecordDataFree(&image);
}

#include "test_records_files.moc"
