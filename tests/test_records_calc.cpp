// A real spreadsheet reads the text export: LibreOffice Calc converts exported files to CSV
// and the cells are checked as Calc renders them.
#include "calcsheets.h"
#include "grecorddatapro.h"
#include "xlsxfile.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestRecordsCalc : public QObject
{
    Q_OBJECT

private slots:
    void calcReadsTheExport();
    void calcReadsTheSpreadsheet();

private:
    // The cells of each row of `name` as Calc converted it.
    QList<QStringList> Cells(const QString &name);
    QTemporaryDir m_Dir;
};

QList<QStringList> TestRecordsCalc::Cells(const QString &name)
{
    QFile f(m_Dir.filePath("csv/" + QString(name).replace(".xls", ".csv")));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QStringList> rows;
    for (const QString &line : QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts))
        rows << line.split('\t');
    return rows;
}

void TestRecordsCalc::calcReadsTheExport()
{
    const QString office = QStandardPaths::findExecutable(QStringLiteral("libreoffice"));
    if (office.isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("LibreOffice is missing (package libreoffice-calc-nogui)");
        QSKIP("LibreOffice is not installed (package libreoffice-calc-nogui): skipped");
    }
    // Two values a row, live, across 10:00:00.
    GRecordDataPro live;
    live.m_StartTime = QDateTime(QDate(2024, 3, 5), QTime(9, 59, 58));
    live.UpdateTimeOffset();
    _SRealData *s = live.m_pRealData;
    for (const auto &v : {std::pair{12.3, 20.1}, {0.045, 123.456789}, {35.0, 48.0}})
        RealDataAdd(s, v.first, v.second, 1, s->org_pts);
    live.m_ValueCount = 2;
    QVERIFY(live.SaveTextFile(m_Dir.filePath("live.xls"), 0, {}));
    // A type-130 history, one value a row, stamped with month and day.
    GRecordDataPro hist;
    hist.m_bStampedHistory = true;
    QVERIFY(RecordDataAlloc(hist.m_pRecordData, 2));
    RecordDataAdd(hist.m_pRecordData, 0, 0, 123, 0, -1);
    RecordDataAdd(hist.m_pRecordData, 0, 0, 7, 0, -1);
    QVERIFY(hist.RecordDataToRealData(600, 0, 300, 300));
    const QDateTime t1(QDate(2024, 12, 31), QTime(23, 55));
    const QVector<uint32_t> stamps = {uint32_t(t1.addSecs(-300).toSecsSinceEpoch()),
                                      uint32_t(t1.toSecsSinceEpoch())};
    QVERIFY(hist.SaveTextFile(m_Dir.filePath("history.xls"), 2, stamps));

    QProcess calc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    calc.setProcessEnvironment(env);
    calc.setWorkingDirectory(m_Dir.path());
    calc.start(office, {"--headless", "-env:UserInstallation=file://" + m_Dir.filePath("profile"),
                        "--infilter=Text - txt - csv (StarCalc):9,34,76", "--convert-to", "csv",
                        "--outdir", m_Dir.filePath("csv"), "live.xls", "history.xls"});
    QVERIFY(calc.waitForFinished(120000));
    QCOMPARE(calc.exitCode(), 0);

    const QList<QStringList> rows = Cells("live.xls");
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[0].value(0), QStringLiteral("Data Count:3"));
    QCOMPARE(rows[2], QStringList({"number", "time       ", "PM25Value", "PM10Value"}));
    QCOMPARE(rows[3], QStringList({"1", "09:59:58 AM", "12.3", "20.1"}));
    QCOMPARE(rows[4], QStringList({"2", "09:59:59 AM", "0.045", "123.457"}));
    QCOMPARE(rows[5], QStringList({"3", "10:00:00 AM", "35", "48"}));

    const QList<QStringList> history = Cells("history.xls");
    QCOMPARE(history.size(), 5);
    QCOMPARE(history[2], QStringList({"number", "time        ", "Value"}));
    QCOMPARE(history[3], QStringList({"1", "12.31 23:50", "12.3"}));
    QCOMPARE(history[4], QStringList({"2", "12.31 23:55", "0.7"}));
}

void TestRecordsCalc::calcReadsTheSpreadsheet()
{
    // A minute a record across local midnight, a pause of two records, PM10, the extremes.
    _SRecordData image;
    QVERIFY(RecordDataAlloc(&image, 5));
    for (const auto &r : {std::pair<int, int>{123, 201}, {0, 65535}, {-1, 0}, {-1, 0}, {5, 7}}) {
        image.m_pItems[image.m_Count++] =
            r.first < 0 ? RECORD_GAP_ITEM
                        : _SRecordItem{0, 0, uint16_t(r.first), uint16_t(r.second)};
    }
    const QDateTime start(QDate(2026, 12, 8), QTime(23, 58));
    CsvLayout layout;
    layout.m_ValueCount = 2;
    const XlsxHead head{"AQ-410", "ffff", "live"};
    const QString book = m_Dir.filePath("days.xlsx");
    QString error;
    QVERIFY2(RecordsToXlsx(book, image, uint32_t(start.toSecsSinceEpoch()), 60, nullptr, layout,
                           head, &error),
             qPrintable(error));
    // A comma-decimal locale reads the same numbers and local date-times.
    for (const QString locale : {"de_DE.UTF-8", "C.UTF-8"}) {
        QString skip;
        const QMap<QString, CalcSheet> sheets = CalcSheets(book, locale, &skip);
        if (!skip.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(skip));
            QSKIP(qPrintable(skip));
        }
        QCOMPARE(sheets.keys(), (QStringList{"2026-12-08", "2026-12-09"}));
        const CalcSheet &first = sheets["2026-12-08"];
        QCOMPARE(first.size(), 6);
        QCOMPARE(first[0], (QStringList{"Sensor model", "AQ-410"}));
        QCOMPARE(first[1], (QStringList{"Identity", "ffff"}));
        QCOMPARE(first[2], (QStringList{"Source", "live"}));
        QCOMPARE(first[3], (QStringList{"Time", "PM2.5 (µg/m³)", "PM10 (µg/m³)"}));
        QCOMPARE(first[4], (QStringList{"2026-12-08T23:58:00", "12.3", "20.1"}));
        QCOMPARE(first[5], (QStringList{"2026-12-08T23:59:00", "0", "6553.5"}));
        const CalcSheet &second = sheets["2026-12-09"];
        QCOMPARE(second.size(), 5);
        QCOMPARE(second[3], first[3]);
        QCOMPARE(second[4], (QStringList{"2026-12-09T00:02:00", "0.5", "0.7"}));
    }

    // The second channel in thousandths at its own stamps; stamps that return to a day get a
    // sheet of their own.
    layout = CsvLayout{1, 1, true};
    const QVector<uint32_t> stamps = {uint32_t(start.toSecsSinceEpoch()),
                                      uint32_t(start.addSecs(7).toSecsSinceEpoch()),
                                      uint32_t(start.addSecs(-86400).toSecsSinceEpoch()),
                                      0, uint32_t(start.addSecs(60).toSecsSinceEpoch())};
    image.m_pItems[1] = {0, 0, 1234, 0};
    image.m_pItems[2] = {0, 0, 77, 0};
    const QString tvoc = m_Dir.filePath("tvoc.xlsx");
    QVERIFY(RecordsToXlsx(tvoc, image, 0, 1, &stamps, layout, head, &error));
    RecordDataFree(&image);
    QString skip;
    const QMap<QString, CalcSheet> sheets = CalcSheets(tvoc, "de_DE.UTF-8", &skip);
    QCOMPARE(sheets.keys(), (QStringList{"2026-12-07", "2026-12-08", "2026-12-08 (2)"}));
    const CalcSheet &day = sheets["2026-12-08"];
    QCOMPARE(day[3], (QStringList{"Time", "TVOC (mg/m³)"}));
    QCOMPARE(day.mid(4), (CalcSheet{{"2026-12-08T23:58:00", "0.123"},
                                    {"2026-12-08T23:58:07", "1.234"}}));
    QCOMPARE(sheets["2026-12-08 (2)"].mid(4), (CalcSheet{{"2026-12-08T23:59:00", "0.005"}}));
    QCOMPARE(sheets["2026-12-07"].mid(4), (CalcSheet{{"2026-12-07T23:58:00", "0.077"}}));
}

QTEST_GUILESS_MAIN(TestRecordsCalc)
#include "test_records_calc.moc"
