// A real spreadsheet reads the text export: LibreOffice Calc converts exported files to CSV
// and the cells are checked as Calc renders them.
#include "grecorddatapro.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestRecordsCalc : public QObject
{
    Q_OBJECT

private slots:
    void calcReadsTheExport();

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

QTEST_GUILESS_MAIN(TestRecordsCalc)
#include "test_records_calc.moc"
