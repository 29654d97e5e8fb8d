// The file commands end to end: record files saved and opened, the text export and the text
// import, through the window with its file dialogs answered by the test.
#include "appbed.h"
#include "recordfile.h"
#include "ui_pm2_5.h"

#include <QStatusBar>
#include <QTemporaryDir>
#include <qwt_plot.h>
#include <qwt_scale_draw.h>

namespace {

// Triggers `action` with the next file dialog answered; returns the status message after it.
// A failure that is not a cancel also tells its reason in a box: `box` gets its text.
QString Run(PM2_5 &w, QAction *action, const QString &path, QString *suggested = nullptr,
            QString *box = nullptr)
{
    w.statusBar()->clearMessage();
    AnswerFileDialog(path, suggested);
    BoxAnswerer boxes;
    action->trigger();
    if (box)
        *box = boxes.m_Texts.join('\n');
    return w.statusBar()->currentMessage();
}

QList<QByteArray> Lines(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>();
}

QString Stamp(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd hh_mm_ss"));
}

const QString kFailed = QStringLiteral("File open failed!");

} // namespace

class TestAppFiles : public QObject
{
    Q_OBJECT

private slots:
    // The suggested names start with these folders: the dialogs open in them when they exist.
    void initTestCase()
    {
        QVERIFY(QDir::setCurrent(m_Dir.path()));
        QVERIFY(QDir().mkpath("Data") && QDir().mkpath("History_Data"));
    }
    void liveRoundTrip();
    void historyExport();
    void channelFiles_data();
    void channelFiles();

private:
    QTemporaryDir m_Dir;
    QString Path(const QString &name) const { return m_Dir.filePath(name); }
};

void TestAppFiles::liveRoundTrip()
{
    Live live(false, 130, {1});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 123, 201));
    QVERIFY(live.Measure(1, 125, 202));
    QVERIFY(live.Measure(1, 350, 480));
    const QString id = QString::fromLatin1(w.m_CodeUsb.GetDevName(0));
    QVERIFY(!id.isEmpty());

    // Save to bin: the live stream of the shown channel, under the suggested name's rules.
    QString suggested;
    QCOMPARE(Run(w, w.ui->actionBinary, Path("live.str"), &suggested), QString());
    QVERIFY2(suggested.endsWith("Data/PM25" + id + "_" + Stamp(live.clock.now) + ".str"),
             qPrintable(suggested));
    const GRecordDataPro *liveStream = w.RecordSet(0)->m_pLive;
    _SRecordData saved;
    QVERIFY(RecordDataRead(&saved, Path("live.str").toLocal8Bit()) > 0);
    QCOMPARE(saved.m_Count, liveStream->m_pRecordData->m_Count);
    QCOMPARE(qint64(saved.m_StartTime), liveStream->m_StartTime.toSecsSinceEpoch());
    QCOMPARE(saved.m_pItems[saved.m_Count - 1].m_PM10, uint16_t(480));
    RecordDataFree(&saved);

    // Failures are reported and write nothing: a cancelled dialog (no more to say), a folder
    // that cannot be written to (the file and the system's reason in a box).
    QString box;
    QCOMPARE(Run(w, w.ui->actionBinary, QString(), nullptr, &box), kFailed);
    QCOMPARE(box, QString());
    QCOMPARE(Run(w, w.ui->actionBinary, QStringLiteral("/proc/live.str"), nullptr, &box), kFailed);
    QVERIFY2(box.startsWith(kFailed + ": /proc/live.str\n\nIt could not be written: "), qPrintable(box));

    // Open it: the file stream, fractions kept, collection off, Save to bin disabled.
    QCOMPARE(Run(w, w.ui->actionOpen, Path("live.str")), QString());
    GRecordDataSet *set = w.RecordSet(0);
    const _SRealData *s = set->m_pFile->m_pRealData;
    QCOMPARE(set->m_Mode, 1);
    QCOMPARE(set->m_pCurrent, set->m_pFile);
    QCOMPARE(s->m_pData0[s->m_DataCount - 1], 35.0);
    QCOMPARE(s->m_pData1[s->m_DataCount - 3], 20.1);
    QCOMPARE(w.m_Plot.m_BaseTime,
             set->m_pFile->m_StartTime.addSecs(s->m_DataCount * s->m_DataSecUnit));
    QVERIFY(!w.ui->actionBinary->isEnabled());
    QVERIFY(!w.ui->actionCollection->isChecked());

    // Export what is shown: the file's samples, two values a row.
    QCOMPARE(Run(w, w.ui->actionExecl, Path("file.xls"), &suggested), QString());
    QVERIFY2(suggested.endsWith("Data/PM25FileHistory_" + Stamp(live.clock.now) + ".xls"),
             qPrintable(suggested));
    const QList<QByteArray> rows = Lines(Path("file.xls"));
    QCOMPARE(rows[0], "Data Count:" + QByteArray::number(s->m_DataCount) + "\r");
    QCOMPARE(rows[2], QByteArray("number\ttime       \tPM25Value\tPM10Value\t\r"));
    QVERIFY(rows[3 + s->m_DataCount - 1].endsWith("\t35       \t48\r"));

    // An export is not an import text; a text with a date line is, and opens with fractions.
    QCOMPARE(Run(w, w.ui->actionOpen, Path("file.xls"), nullptr, &box), kFailed);
    QVERIFY2(box.contains("It is not a text this program can import"), qPrintable(box));
    QFile text(Path("import.xls"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Date:2016.03.01-14:05:09\r\nData Count:3\r\nnumber\ttime\r\n"
               "1 14:05:09 12.3 20.1\r\n2 14:05:10 12.5 20.2\r\n3 14:05:11 35 48\r\n");
    text.close();
    QCOMPARE(Run(w, w.ui->actionOpen, Path("import.xls")), QString());
    QVERIFY(QFile::exists(Path("import.xls.tmp.str")));
    QCOMPARE(s->m_DataCount, 3);
    QCOMPARE(s->m_pData0[0], 12.3); // once shown as 12
    QCOMPARE(s->m_pData1[1], 20.2);
    QCOMPARE(set->m_pFile->m_StartTime, QDateTime(QDate(2016, 3, 1), QTime(14, 5, 9)));

    // A text without a row to store writes nothing, and the side file left from before is
    // not opened in its place.
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Date:2016.03.01-14:05:09\r\nData Count:1\r\nnumber\ttime\r\n2 14:05:09 1 1\r\n");
    text.close();
    QCOMPARE(Run(w, w.ui->actionOpen, Path("import.xls"), nullptr, &box), kFailed);
    QVERIFY2(box.contains("It could not be written: no rows"), qPrintable(box));
    QCOMPARE(s->m_DataCount, 3);
    QCOMPARE(Run(w, w.ui->actionOpen, QString(), nullptr, &box), kFailed);
    QCOMPARE(box, QString());
}

void TestAppFiles::historyExport()
{
    const int64_t end = QDateTime::currentSecsSinceEpoch() / 300 * 300 - 7200;
    Live live(true, 130, {1}, [&](sim::SimSensor &s) { s.generateHistory(13, end); });
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 100));
    w.ui->actionCollect_historical_data->trigger();
    const GRecordDataSet *set = w.RecordSet(0);
    QCOMPARE(set->m_Mode, 2);
    const int n = set->m_pHistory->m_pRecordData->m_Count;
    QCOMPARE(n, 13);

    QString suggested;
    QCOMPARE(Run(w, w.ui->actionExecl, Path("history.xls"), &suggested), QString());
    const QString id = QString::fromLatin1(w.m_CodeUsb.GetDevName(0));
    QVERIFY2(suggested.endsWith("History_Data/PM25DeviceHistory" + id + "_"
                                + Stamp(live.clock.now) + ".xls"),
             qPrintable(suggested));
    // The sensor's values beside their own stamps, not the plot's moving averages.
    const QList<QByteArray> rows = Lines(Path("history.xls"));
    QCOMPARE(rows.size(), 3 + n + 1);
    const _SRecordItem *items = set->m_pHistory->m_pRecordData->m_pItems;
    for (int i = 0; i < n; ++i) {
        const QByteArray time = QDateTime::fromSecsSinceEpoch(set->histtime[i])
                                    .toString(QStringLiteral("MM.dd hh:mm"))
                                    .toLatin1();
        QCOMPARE(rows[3 + i], QByteArray::number(i + 1).leftJustified(5) + "\t" + time + "\t"
                                  + QByteArray::number(items[i].m_PM25 / 10.0) + "       \t"
                                  + QByteArray::number(items[i].m_PM10 / 10.0) + "\r");
    }

    // Save to bin (off in the menu after a download) still saves the live stream, under a
    // name that follows the history shown; opened, it is the live sample.
    AnswerFileDialog(Path("after.str"), &suggested);
    QVERIFY(QMetaObject::invokeMethod(&w, "on_actionBinary_triggered"));
    QVERIFY2(suggested.endsWith("Data/PM25DeviceHistory" + id + "_" + Stamp(live.clock.now)
                                + ".str"),
             qPrintable(suggested));
    QCOMPARE(Run(w, w.ui->actionOpen, Path("after.str")), QString());
    const _SRealData *opened = set->m_pFile->m_pRealData;
    QCOMPARE(set->m_Mode, 1);
    QCOMPARE(opened->m_pData0[opened->m_DataCount - 1], 10.0);

    // The sensor goes, another model comes: the history keeps its PM10 column and its own
    // stamps, on the axis too, and the live stream keeps its PM10 column.
    QCOMPARE(Run(w, w.ui->actionOpen, Path("after.str")), QString());
    w.ui->actionCollect_historical_data->trigger();
    QCOMPARE(Run(w, w.ui->actionExecl, Path("history.xls")), QString());
    const QList<QByteArray> before = Lines(Path("history.xls"));
    live.bed.unplug(live.id);
    QVERIFY(live.TickUntil([&] { return w.m_DevState == 0; }));
    QCOMPARE(Run(w, w.ui->actionExecl, Path("gone.xls")), QString());
    QCOMPARE(Lines(Path("gone.xls")), before);
    live.id = live.bed.addUsbSensor();
    live.bed.with(live.id, [](sim::SimSensor &s) { s.setDeviceType(4); });
    // Announced before the next look for the serial bridge, as within a second of the unplug.
    QVERIFY(QTest::qWaitFor([&] {
        w.m_CodeUsb.PollHotplug();
        return w.m_CodeUsb.m_bUsbArrived;
    }));
    QVERIFY(live.Identify());
    QVERIFY(live.Measure(1, 100));
    QCOMPARE(w.m_DevState, 1);
    QCOMPARE(Run(w, w.ui->actionExecl, Path("other.xls")), QString());
    QCOMPARE(Lines(Path("other.xls")), before);
    const QwtScaleDraw *axis = w.ui->qwtPlot->axisScaleDraw(QwtPlot::xBottom);
    QCOMPARE(axis->label(0).text(), QDateTime::fromSecsSinceEpoch(set->histtime[0])
                                        .toString(QStringLiteral("MM-dd \nhh:mm")));
    w.ui->actionCollection->trigger();
    QCOMPARE(Run(w, w.ui->actionExecl, Path("live.xls")), QString());
    QCOMPARE(Lines(Path("live.xls")).value(2), QByteArray("number\ttime       \tPM25Value\tPM10Value\t\r"));
}

void TestAppFiles::channelFiles_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("opened"); // the channel a channel-1 file opens on; -1 refused
    QTest::newRow("two channels") << 20 << 1;
    QTest::newRow("one channel") << 130 << -1;
}

void TestAppFiles::channelFiles()
{
    QFETCH(int, type);
    QFETCH(int, opened);
    Live live(false, uint8_t(type), {1, 17});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 100));
    _SRecordData image;
    for (uint16_t v : {45, 12, 300})
        RecordDataAdd(&image, 0, 0, v, 0, -1);
    for (int channel : {0, 1, 2})
        QVERIFY(RecordDataWrite(&image, Path(QString("ch%1.str").arg(channel)).toLocal8Bit(),
                                channel) > 0);
    RecordDataFree(&image);

    // A channel word naming no channel changes nothing.
    QString box;
    QCOMPARE(Run(w, w.ui->actionOpen, Path("ch2.str"), nullptr, &box), kFailed);
    QVERIFY2(box.contains("names no channel"), qPrintable(box));
    QCOMPARE(w.m_Channel, 0);
    QCOMPARE(w.RecordSet(0)->m_Mode, 0);

    w.ui->actionCollection->trigger(); // Save to bin again, as the refusal must keep it off
    QCOMPARE(Run(w, w.ui->actionOpen, Path("ch1.str"), nullptr, &box), opened < 0 ? kFailed : QString());
    QCOMPARE(box.contains("which this sensor does not have"), opened < 0);
    QVERIFY(!w.ui->actionBinary->isEnabled());
    if (opened < 0) {
        QCOMPARE(w.m_Channel, 0);
        QCOMPARE(w.RecordSet(0)->m_Mode, 0);
    } else {
        QCOMPARE(w.m_Channel, 1);
        QVERIFY(w.ui->radioButtonPA->isChecked());
        const _SRealData *s = w.RecordSet(1)->m_pFile->m_pRealData;
        QCOMPARE(s->m_pData0[0], 0.045); // thousandths on the second channel
    }
    // A version-1 file has no channel word: channel 0.
    QFile v1(Path("v1.str"));
    QVERIFY(v1.open(QIODevice::WriteOnly));
    QByteArray bytes = QByteArray("TRAC\1\0\0\0\1\0\0\0\1\0\0\0\0\0\0\0\1\0\0\0", 24);
    bytes += QByteArray("\0\0\0\0\x7b\0\0\0", 8);
    v1.write(bytes);
    v1.close();
    QCOMPARE(Run(w, w.ui->actionOpen, Path("v1.str")), QString());
    QCOMPARE(w.m_Channel, 0);
    QCOMPARE(w.RecordSet(0)->m_pFile->m_pRealData->m_pData0[0], 12.3);
    // A stream whose series could not be allocated takes no file.
    RealDataDestroy(&w.RecordSet(0)->m_pFile->m_pRealData);
    QCOMPARE(Run(w, w.ui->actionOpen, Path("v1.str"), nullptr, &box), kFailed);
    QVERIFY2(box.contains("not enough memory"), qPrintable(box));
}

QTEST_MAIN(TestAppFiles)
#include "test_app_files.moc"
