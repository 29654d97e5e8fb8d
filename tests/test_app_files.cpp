// The file commands end to end: record files saved and opened, the text export and the text
// import, through the window with its file dialogs answered by the test.
#include "appbed.h"
#include "calcsheets.h"
#include "gbackground.h"
#include "gqwtplotpicker.h"
#include "gtimescaledraw.h"
#include "plotlabels.h"
#include "realdata.h"
#include "recordfile.h"
#include "ui_pm2_5.h"

#include <QClipboard>
#include <QImage>
#include <QInputDialog>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <qwt_plot.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>

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

// Where the dialogs start before a folder was chosen for their sort of file.
QString Documents(const QString &path)
{
    return QDir::home().filePath(QStringLiteral("Documents/") + path);
}

} // namespace

class TestAppFiles : public QObject
{
    Q_OBJECT

private slots:
    // The dialogs never start in the working folder.
    void initTestCase() { QVERIFY(QDir::setCurrent(m_Dir.path())); }
    void liveRoundTrip();
    void historyExport();
    void channelFiles_data();
    void channelFiles();
    void twoDaysPannedEndToEnd();

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
    QCOMPARE(suggested, Documents("Data/PM25" + id + "_" + Stamp(live.clock.now) + ".str"));
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
    QCOMPARE(suggested, Documents("Data/PM25FileHistory_" + Stamp(live.clock.now) + ".xls"));
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

    // Live again, a ten-minute pause, one more sample: as CSV and opened, the same samples at
    // the same times with the same jump; saved again, the same bytes. A damaged row is named.
    w.ui->actionCollection->trigger();
    QVERIFY(live.Measure(1, 130, 205));
    live.clock.Step(600);
    QVERIFY(live.Measure(1, 140, 210));
    QCOMPARE(Run(w, w.ui->actionCsv, Path("live.csv"), &suggested), QString());
    QCOMPARE(suggested, Path("PM25" + id + "_" + Stamp(live.clock.now) + ".csv"));
    const QList<QByteArray> csv = Lines(Path("live.csv"));
    const _SRealData *shot = liveStream->m_pRealData;
    const int n = shot->m_DataCount;
    QCOMPARE(csv.size(), 1 + n + 1);
    QCOMPARE(csv[0], QByteArray("time,pm25_ugm3,pm10_ugm3\r"));
    QVERIFY(csv[n].endsWith(",14.0,21.0\r"));
    QCOMPARE(Run(w, w.ui->actionOpen, Path("live.csv")), QString());
    QCOMPARE(set->m_pFile->m_StartTime.toSecsSinceEpoch(),
             liveStream->m_StartTime.toSecsSinceEpoch());
    QCOMPARE(s->m_DataCount, n);
    for (int i = 0; i < n; ++i) {
        QCOMPARE(s->m_pDataSec[i], shot->m_pDataSec[i]);
        QCOMPARE(s->m_pData0[i], shot->m_pData0[i]);
        QCOMPARE(s->m_pData1[i], shot->m_pData1[i]);
    }
    QVERIFY(s->m_pDataSec[n - 1] - s->m_pDataSec[n - 2] > 500); // the pause
    QCOMPARE(Run(w, w.ui->actionCsv, Path("again.csv")), QString());
    QCOMPARE(Lines(Path("again.csv")), csv);
    QFile damaged(Path("damaged.csv"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(csv[0] + "\n" + csv[1] + "\n" + csv[1] + "\n");
    damaged.close();
    QCOMPARE(Run(w, w.ui->actionOpen, Path("damaged.csv"), nullptr, &box), kFailed);
    QVERIFY2(box.contains("row 3: its time is not after the row before"), qPrintable(box));

    // The opened file as a spreadsheet: Calc in a comma-decimal locale reads the samples at the
    // local times the window shows, the pause as a jump, the file named in the head.
    QCOMPARE(Run(w, w.ui->actionXlsx, Path("live.xlsx"), &suggested), QString());
    QCOMPARE(suggested, Path("PM25FileHistory_" + Stamp(live.clock.now) + ".xlsx"));
    QString skip;
    const QMap<QString, CalcSheet> sheets = CalcSheets(Path("live.xlsx"), "de_DE.UTF-8", &skip);
    if (!skip.isEmpty() && !qEnvironmentVariableIsSet("CI"))
        QSKIP(qPrintable(skip));
    QVERIFY2(!sheets.isEmpty(), qPrintable(skip));
    QCOMPARE(sheets.first().mid(0, 4),
             (CalcSheet{{"Sensor model", "AQ-410"}, {"Identity", id}, {"Source", "live.csv"},
                        {"Time", "PM2.5 (µg/m³)", "PM10 (µg/m³)"}}));
    CalcSheet cells;
    for (const CalcSheet &sheet : sheets)
        cells += sheet.mid(4);
    QCOMPARE(cells.size(), n);
    for (int i = 0; i < n; ++i) {
        QString time = set->m_pFile->m_StartTime.addSecs(s->m_pDataSec[i])
                           .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
        time.remove(QStringLiteral("T00:00:00")); // Calc's way of writing midnight
        QCOMPARE(cells[i], (QStringList{time, QString::number(s->m_pData0[i]),
                                       QString::number(s->m_pData1[i])}));
    }
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
    QCOMPARE(suggested,
             Documents("History_Data/PM25DeviceHistory" + id + "_" + Stamp(live.clock.now) + ".xls"));
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

    // Kept as a record file: opened, each value at the sensor's own stamp.
    QVERIFY(w.ui->actionHistoryBinary->isEnabled());
    QCOMPARE(Run(w, w.ui->actionHistoryBinary, Path("kept.str"), &suggested), QString());
    QCOMPARE(suggested,
             Documents("History_Data/PM25DeviceHistory" + id + "_" + Stamp(live.clock.now) + ".str"));
    // Each sort of file has its folder: the open dialog starts where records were last kept.
    QCOMPARE(Run(w, w.ui->actionOpen, Path("kept.str"), &suggested), QString());
    QCOMPARE(suggested, m_Dir.path());
    const GRecordDataPro *kept = set->m_pFile;
    QCOMPARE(kept->m_StartTime.toSecsSinceEpoch(), qint64(set->histtime[0]));
    QCOMPARE(kept->m_pRealData->m_DataSecUnit, 300);
    for (int i = 0; i < n; ++i) {
        QCOMPARE(kept->m_pRealData->m_pDataSec[i], double(set->histtime[i] - set->histtime[0]));
        QCOMPARE(kept->m_pRealData->m_pData0[i], items[i].m_PM25 / 10.0);
    }
    w.ui->actionCollect_historical_data->trigger();

    // Save to bin (off in the menu after a download) still saves the live stream, under a
    // name that follows the history shown; opened, it is the live sample.
    AnswerFileDialog(Path("after.str"), &suggested);
    QVERIFY(QMetaObject::invokeMethod(&w, "on_actionBinary_triggered"));
    QCOMPARE(suggested, Path("PM25DeviceHistory" + id + "_" + Stamp(live.clock.now) + ".str"));
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

namespace {

void Wheel(QWidget *canvas, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(canvas->width() / 2.0, canvas->height() / 2.0);
    QWheelEvent wheel(at, QPointF(canvas->mapToGlobal(at.toPoint())), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
}

// Answers the next size question with `size` (empty: the size offered).
void AnswerSize(const QString &size)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        auto *d = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!d)
            return;
        timer->stop();
        timer->deleteLater();
        ClaimModal(d);
        if (!size.isEmpty())
            d->setTextValue(size);
        QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
    });
    timer->start(10);
}

// A drag with the right button from x to x2.
void Drag(QWidget *canvas, int x, int x2)
{
    const auto send = [canvas](QEvent::Type type, int at, Qt::MouseButtons held) {
        QMouseEvent e(type, QPointF(at, 100), Qt::RightButton, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &e);
    };
    send(QEvent::MouseButtonPress, x, Qt::RightButton);
    send(QEvent::MouseMove, x2, Qt::RightButton);
    send(QEvent::MouseButtonRelease, x2, Qt::NoButton);
}

} // namespace

void TestAppFiles::twoDaysPannedEndToEnd()
{
    // A record a minute from 28 November 09:00 to 30 November 08:59, local time.
    const QDateTime start(QDate(2026, 11, 28), QTime(9, 0));
    _SRecordData *image = RecordDataCreate();
    image->m_StartTime = uint32_t(start.toSecsSinceEpoch());
    image->m_SecUnit = 60;
    const int n = 2 * 1440;
    for (int i = 0; i < n; ++i)
        RecordDataAdd(image, 0, uint16_t(300 + i % 100), uint16_t(300 + i % 100), 0, -1);
    QVERIFY(RecordDataWrite(image, qPrintable(Path("two-days.str")), 0) > 0);
    RecordDataDestroy(&image);

    Live live(false, 20);
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    w.resize(985, 676);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QWidget *canvas = w.ui->qwtPlot->canvas();
    const _SRealData *s = nullptr;
    auto title = [&] { return w.ui->qwtPlot->axisTitle(QwtPlot::xBottom).text(); };
    auto shown = [&](int i) { // the moment of the i-th point shown
        return GTimeAt(w.m_Plot.m_pPicker->m_TimeBase, s->m_pShowSec[i]);
    };
    auto labelsFit = [&] { return TimeLabels(*w.ui->qwtPlot).Overlap(); };

    // Opened whole: titled with its own days, labels dated at each day change, the readout too.
    QCOMPARE(Run(w, w.ui->actionOpen, Path("two-days.str")), QString());
    s = w.RecordSet(0)->m_pFile->m_pRealData;
    QCOMPARE(title(), QStringLiteral("\nTime(2026/11/28 - 2026/11/30)"));
    const AxisLabels whole = TimeLabels(*w.ui->qwtPlot);
    QCOMPARE(whole.Overlap(), QString());
    QVERIFY(whole.texts.filter("2026/11/29").size() == 1 && whole.texts.filter("2026/11/30").size() == 1);
    QVERIFY(w.m_Plot.m_pPicker->trackerTextF(QPointF(s->m_pShowSec[0], 0)).text().contains("2026/11/28 09:"));
    QVERIFY(!w.TimeScrollBar()->isEnabled());

    // A record per point: the newest five hours, then from the first sample to the last by keys.
    w.activateWindow(); // back from the file dialog
    QVERIFY(QTest::qWaitForWindowActive(&w));
    for (int i = 0; i < 3 && s->min_show > 60; ++i)
        QTest::keySequence(&w, QKeySequence::ZoomIn);
    QCOMPARE(s->min_show, 60);
    QCOMPARE(title(), QStringLiteral("\nTime(2026/11/30)"));
    QCOMPARE(w.TimeScrollBar()->value(), w.TimeScrollBar()->maximum());
    QTest::keyClick(&w, Qt::Key_Home);
    QCOMPARE(RealDataFirstShown(s), 0);
    QCOMPARE(shown(0), start);
    QCOMPARE(title(), QStringLiteral("\nTime(2026/11/28)"));
    QSet<QString> titles;
    int steps = 0;
    for (; s->m_PanBack > 0 && steps < 100; ++steps) {
        QTest::keyClick(&w, Qt::Key_Right);
        QCOMPARE(labelsFit(), QString());
        titles << title();
        QCOMPARE(w.TimeScrollBar()->value(), RealDataFirstShown(s));
    }
    QCOMPARE(steps, (n - 300) / 30);
    QVERIFY(titles.contains(QStringLiteral("\nTime(2026/11/28 - 2026/11/29)")));
    QCOMPARE(shown(299), start.addSecs(60 * (n - 1)));

    // The scroll bar, the wheel, a drag with the right button; Ctrl and the wheel zoom around
    // the pointer, which stays over the same moment.
    w.TimeScrollBar()->setValue(1000);
    QCOMPARE(RealDataFirstShown(s), 1000);
    Wheel(canvas, 1);
    QCOMPARE(RealDataFirstShown(s), 970);
    Drag(canvas, 300, 300 - canvas->width() / 10);
    QCOMPARE(RealDataFirstShown(s), 1000);
    const QDateTime middle = shown(150);
    Wheel(canvas, -1, Qt::ControlModifier);
    QCOMPARE(s->min_show, 300);
    const double atPointer = w.ui->qwtPlot->canvasMap(QwtPlot::xBottom).invTransform(canvas->width() / 2.0);
    QVERIFY(qAbs(GTimeAt(w.m_Plot.m_pPicker->m_TimeBase, atPointer).secsTo(middle)) <= 2 * 300);

    // Fit values: the axis follows the 30 to 40 ug/m3 shown, every band where it falls; kept.
    w.ui->actionFitValues->trigger();
    QVERIFY(w.ui->qwtPlot->axisScaleDiv(QwtPlot::yLeft).upperBound() <= 50);
    QCOMPARE(w.m_Plot.m_pBackGround->m_MaxMinor, 10);
    QVERIFY(QSettings(QSettings::IniFormat, QSettings::UserScope, "pm25monitor", "pm25monitor")
                .value("fitValues").toBool());
    w.ui->actionFitValues->trigger();
    QCOMPARE(w.ui->qwtPlot->axisScaleDiv(QwtPlot::yLeft).upperBound(), 500.0);

    // Pictures of what is shown: a PNG of the size chosen with the bands' colours, an SVG with
    // the axis titles as text, a PDF; a size that is none is refused with its reason.
    // The first picture is offered in the documents folder, the next where the last one went.
    QString suggested;
    AnswerSize("800x500");
    QCOMPARE(Run(w, w.ui->actionSavePicture, Path("plot.png"), &suggested), QString());
    QVERIFY2(suggested.startsWith(Documents("Data/Plot_")), qPrintable(suggested));
    const QImage png(Path("plot.png"));
    QCOMPARE(png.size(), QSize(800, 500));
    QSet<QRgb> colours;
    for (int y = 0; y < png.height(); y += 4)
        colours << png.pixel(png.width() / 2, y);
    for (const QRgb band : {qRgb(0, 228, 0), qRgb(255, 255, 0), qRgb(126, 0, 35)})
        QVERIFY(colours.contains(band));
    AnswerSize(QString());
    QCOMPARE(Run(w, w.ui->actionSavePicture, Path("plot.svg"), &suggested), QString());
    QVERIFY2(suggested.startsWith(Path("Plot_")), qPrintable(suggested));
    QFile svg(Path("plot.svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray text = svg.readAll();
    QVERIFY(text.contains("Time(2026/11/") && text.contains("PM2.5 ug/m3") && text.contains("Excellent"));
    AnswerSize("99x5000");
    QString why;
    QCOMPARE(Run(w, w.ui->actionSavePicture, Path("plot.pdf"), nullptr, &why), kFailed);
    QVERIFY(why.contains("99x5000"));
    AnswerSize(QString());
    QCOMPARE(Run(w, w.ui->actionSavePicture, Path("plot.pdf")), QString());
    QVERIFY(Lines(Path("plot.pdf")).value(0).startsWith("%PDF"));
    w.ui->actionCopyPlot->trigger();
    QCOMPARE(QGuiApplication::clipboard()->image().size(), w.ui->qwtPlot->size());
    // A remembered folder that is gone: the documents folder again.
    QVERIFY(QDir(m_Dir.path()).mkpath("gone"));
    AnswerSize(QString());
    QCOMPARE(Run(w, w.ui->actionSavePicture, Path("gone/plot.png")), QString());
    QVERIFY(QDir(Path("gone")).removeRecursively());
    QCOMPARE(Run(w, w.ui->actionSavePicture, QString(), &suggested), QString());
    QVERIFY2(suggested.startsWith(Documents("Data/Plot_")), qPrintable(suggested));
}
