// Crash-safe recording: the recovery files of a process killed while collecting, the files of
// old sessions removed at start-up, and the last write of a normal exit.
#include "appbed.h"
#include "messagecapture.h"
#include "recordfile.h"
#include "ui_pm2_5.h"

#include <QDir>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <qwt_plot.h>
#include <qwt_scale_draw.h>
#include <sys/resource.h>

namespace {

const char *const kChildRole = "PM25_RECOVERY_CHILD";
constexpr int kSamples = 20;

QString Touch(const QString &folder, const QString &name, const QDateTime &written)
{
    QDir().mkpath(folder);
    QFile f(QDir(folder).filePath(name));
    f.open(QIODevice::WriteOnly);
    f.setFileTime(written, QFileDevice::FileModificationTime);
    return f.fileName();
}

// One first-channel sample; ticks until the live stream shows it last.
bool Send(Live &live, uint16_t value)
{
    live.bed.with(live.id, [&](sim::SimSensor &s) {
        s.setNextMeasurement(1, 500, 100, value, kAux, 0);
        s.emitMeasurement(1);
    });
    const GRecordDataPro *stream = live.w->RecordSet(0)->m_pLive;
    return live.TickUntil([&] {
        return stream->m_LiveCount > 0 && stream->m_LastValue0 == value / 10.0;
    });
}

} // namespace

class TestAppRecovery : public QObject
{
    Q_OBJECT

private slots:
    void killedProcessLeavesItsData();
    void oldSessionsGoAndExitWritesOnceMore();
    void clockJumpsStartANewStretch();
    void failedWritesAreToldOnce();
};

void TestAppRecovery::killedProcessLeavesItsData()
{
    if (qEnvironmentVariableIsSet(kChildRole)) {
        // The child: collects, reports once its recovery file holds the first samples, and
        // goes on collecting until it is killed.
        Live live(false, 20, {1});
        QVERIFY(live.Identify());
        live.w->SetRecoveryInterval(200);
        for (int i = 0; i < kSamples; ++i)
            QVERIFY(live.Measure(1, uint16_t(100 + i)));
        const QByteArray file = live.w->Recovery()->FileName(0).toLocal8Bit();
        _SRecordData image;
        QTRY_VERIFY_WITH_TIMEOUT(RecordDataRead(&image, file) > 0 && image.m_Count >= kSamples,
                                 5000);
        std::printf("written\n");
        std::fflush(stdout);
        for (int i = 0;; ++i)
            live.Measure(1, uint16_t(200 + i % 100));
    }
    QTemporaryDir data;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildRole), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"killedProcessLeavesItsData"});
    QVERIFY(child.waitForStarted());
    QElapsedTimer t;
    t.start();
    while (!child.readAllStandardOutput().contains("written") && t.elapsed() < 60000)
        QVERIFY(child.waitForReadyRead(60000));
    QTest::qWait(500); // a few more writes while it collects
    child.kill(); // SIGKILL: no exit code runs
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const QDir recovery(data.path() + "/" + QCoreApplication::applicationName() + "/recovery");
    const QStringList files = recovery.entryList({"*-ch0.str"}, QDir::Files);
    QCOMPARE(files.size(), 1);
    _SRecordData image;
    QVERIFY(RecordDataRead(&image, recovery.filePath(files[0]).toLocal8Bit()) > 0);
    QVERIFY(image.m_Count >= kSamples);
    QCOMPARE(image.m_Channel, 0);
    QCOMPARE(image.m_SecUnit, 1);
    // Every sample up to the last write, in order (a gap filler may sit between two).
    int next = 100;
    for (int i = 0; i < image.m_Count && next < 100 + kSamples; ++i)
        next += image.m_pItems[i].m_PM25 == next ? 1 : 0;
    QCOMPARE(next, 100 + kSamples);
    QVERIFY(image.m_pItems[image.m_Count - 1].m_PM25 >= 200); // and some of the later ones
    RecordDataFree(&image);
}

void TestAppRecovery::oldSessionsGoAndExitWritesOnceMore()
{
    const QString folder = RecordRecovery::DefaultFolder();
    QVERIFY(folder.startsWith(qEnvironmentVariable("XDG_DATA_HOME")));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    auto name = [&](int daysAgo, const QString &rest) {
        return now.addDays(-daysAgo).toString("yyyyMMdd-hhmmss") + rest;
    };
    // Judged by the last write, on both sides of 14 days: a session that started 30 days ago
    // and wrote an hour ago stays.
    const QString old = Touch(folder, name(15, "-ch0.str"), now.addDays(-14).addSecs(-60));
    const QString recent = Touch(folder, name(15, "-77-ch1.str"), now.addDays(-14).addSecs(60));
    const QString longRun = Touch(folder, name(30, "-78-2-ch0.str"), now.addSecs(-3600));
    // Unfinished files of a write killed half-way go when their process is gone.
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    QVERIFY(gone.waitForFinished());
    const qint64 dead = gone.processId() > 0 ? gone.processId() : 999999;
    const QString unfinished =
        Touch(folder, name(1, QStringLiteral("-%1-ch0.str.Ab12Cd").arg(dead)), now);
    const QString writing = Touch(
        folder, name(1, QStringLiteral("-%1-ch0.str.Xy34Zw").arg(QCoreApplication::applicationPid())),
        now);
    const QString foreign = Touch(folder, "notes.txt", now.addDays(-100));

    Live live(true, 20, {1, 17});
    const QDateTime started = live.clock.now;
    QVERIFY(!QFile::exists(old) && !QFile::exists(unfinished));
    QVERIFY(QFile::exists(recent) && QFile::exists(longRun) && QFile::exists(writing)
            && QFile::exists(foreign));
    QVERIFY(live.Identify());
    QVERIFY(live.Measure(1, 123));
    QVERIFY(live.Measure(17, 45));
    QVERIFY(live.Measure(1, 124));
    const QString ch0 = live.w->Recovery()->FileName(0), ch1 = live.w->Recovery()->FileName(1);
    QVERIFY(!QFile::exists(ch0)); // the first minute has not passed
    // Named after the session's start in UTC and the process: never shared with another
    // session started in the same second.
    QCOMPARE(QFileInfo(ch0).fileName(),
             QStringLiteral("%1-%2-ch0.str")
                 .arg(started.toUTC().toString("yyyyMMdd-hhmmss"))
                 .arg(QCoreApplication::applicationPid()));
    const qint64 start = live.w->RecordSet(0)->m_pLive->m_StartTime.toSecsSinceEpoch();

    live.w->ui->actionExit->trigger();
    _SRecordData image;
    QVERIFY(RecordDataRead(&image, ch0.toLocal8Bit()) > 0);
    QCOMPARE(qint64(image.m_StartTime), start);
    QCOMPARE(image.m_pItems[image.m_Count - 1].m_PM25, uint16_t(124));
    QVERIFY(RecordDataRead(&image, ch1.toLocal8Bit()) > 0);
    QCOMPARE(image.m_Channel, 1);
    QCOMPARE(image.m_pItems[image.m_Count - 1].m_PM25, uint16_t(45));
    RecordDataFree(&image);
}

void TestAppRecovery::clockJumpsStartANewStretch()
{
    MessageCapture log;
    Live live(false, 20, {1, 17});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    for (int i = 0; i < 5; ++i)
        QVERIFY(live.Measure(1, uint16_t(100 + i)));
    QVERIFY(live.Measure(17, 40));
    const GRecordDataPro *stream = w.RecordSet(0)->m_pLive;
    const QString before = w.Recovery()->FileName(0);

    // Half an hour on is a pause: gap records up to the sample's own second.
    live.clock.Step(1801);
    QVERIFY(Send(live, 110));
    const int count = int(stream->m_StartTime.secsTo(live.clock.now)) + 1;
    QVERIFY(count > 1806);
    QCOMPARE(stream->m_pRecordData->m_Count, count);
    QVERIFY(RecordIsGap(stream->m_pRecordData->m_pItems[1000]));

    // An hour back: every live stream starts again at the new time, nothing is dropped, and
    // the stretch before is whole in its recovery file.
    live.clock.Step(-3600);
    QVERIFY(Send(live, 120));
    QCOMPARE(stream->m_LiveCount, 1);
    QCOMPARE(stream->m_StartTime, live.clock.now);
    QCOMPARE(w.RecordSet(1)->m_pLive->m_LiveCount, 0);
    QCOMPARE(log.CountStartingWith("clock jumped by -3600 s"), 1);
    QVERIFY(w.Recovery()->FileName(0) != before);
    _SRecordData image;
    QTRY_VERIFY(RecordDataRead(&image, before.toLocal8Bit()) > 0 && image.m_Count == count);
    QCOMPARE(image.m_pItems[image.m_Count - 1].m_PM25, uint16_t(110));
    RecordDataFree(&image);
    // The axis follows: the newest point is labelled with the clock's time.
    const _SRealData *s = stream->m_pRealData;
    const QwtScaleDraw *axis = w.ui->qwtPlot->axisScaleDraw(QwtPlot::xBottom);
    QCOMPARE(axis->label(s->m_pShowSec[s->m_ShowCount - 1]).text(),
             live.clock.now.toString(QStringLiteral("hh:mm")));

    // A year on (a board without a clock setting its time): not a second of it is filled and
    // nothing is thinned.
    live.clock.Step(365 * 86400);
    QVERIFY(Send(live, 130));
    QCOMPARE(stream->m_pRecordData->m_Count, 1);
    QCOMPARE(stream->m_pRecordData->m_SecUnit, 1);
    QCOMPARE(stream->m_StartTime, live.clock.now);
    QCOMPARE(log.CountStartingWith("clock jumped by"), 2);
}

void TestAppRecovery::failedWritesAreToldOnce()
{
    Live live(false, 20, {1});
    QVERIFY(live.Identify());
    PM2_5 &w = *live.w;
    QVERIFY(live.Measure(1, 100));
    QStringList messages;
    // Each message is taken off at once, as its time would: a second one would show again.
    connect(w.statusBar(), &QStatusBar::messageChanged, [&](const QString &m) {
        if (m.isEmpty())
            return;
        messages << m;
        QTimer::singleShot(0, w.statusBar(), &QStatusBar::clearMessage);
    });
    {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit full = old;
        full.rlim_cur = 16; // no room for a record file
        setrlimit(RLIMIT_FSIZE, &full);
        w.SetRecoveryInterval(50);
        QTest::qWait(600); // several writes, all failing
        setrlimit(RLIMIT_FSIZE, &old);
    }
    const QString told = QStringLiteral("Recovery files could not be written to ")
                         + QDir::toNativeSeparators(RecordRecovery::DefaultFolder());
    QCOMPARE(messages, QStringList{told});
}

QTEST_MAIN(TestAppRecovery)
#include "test_app_recovery.moc"
