// Crash-safe recording: the recovery files of a process killed while collecting, the files of
// old sessions removed at start-up, and the last write of a normal exit.
#include "appbed.h"
#include "recordfile.h"
#include "ui_pm2_5.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

const char *const kChildRole = "PM25_RECOVERY_CHILD";
constexpr int kSamples = 20;

QString Touch(const QString &folder, const QString &name)
{
    QDir().mkpath(folder);
    QFile f(QDir(folder).filePath(name));
    f.open(QIODevice::WriteOnly);
    return f.fileName();
}

} // namespace

class TestAppRecovery : public QObject
{
    Q_OBJECT

private slots:
    void killedProcessLeavesItsData();
    void oldSessionsGoAndExitWritesOnceMore();
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
    const QString old = Touch(folder, now.addDays(-15).toString("yyyyMMdd-hhmmss") + "-ch0.str");
    const QString recent = Touch(folder, now.addDays(-13).toString("yyyyMMdd-hhmmss") + "-ch1.str");
    const QString foreign = Touch(folder, "notes.txt");

    Live live(true, 20, {1, 17});
    QVERIFY(!QFile::exists(old));
    QVERIFY(QFile::exists(recent) && QFile::exists(foreign));
    QVERIFY(live.Identify());
    QVERIFY(live.Measure(1, 123));
    QVERIFY(live.Measure(17, 45));
    QVERIFY(live.Measure(1, 124));
    const QString ch0 = live.w->Recovery()->FileName(0), ch1 = live.w->Recovery()->FileName(1);
    QVERIFY(!QFile::exists(ch0)); // the first minute has not passed
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

QTEST_MAIN(TestAppRecovery)
#include "test_app_recovery.moc"
