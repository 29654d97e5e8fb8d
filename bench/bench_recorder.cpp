// The recorder's costs, printed for bench/README.md:
//   bench_recorder day            one simulated day of one-second samples through a serial
//                                 link in this process: bytes written per flush of 60 samples
//                                 (wchar) and the resident size before and after
//   bench_recorder cpu LINK SECS  the installed-style program under the demo launcher on one
//                                 simulated sensor (LINK usb or serial): CPU share of one core
//                                 over SECS seconds after a 10 s start, and its resident size
#include "benchbed.h"
#include "recordclock.h"
#include "recordfile.h"
#include "sensorrecorder.h"
#include "simbed.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

qint64 ProcField(const QString &file, const char *field)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// utime + stime of a process, in clock ticks.
qint64 CpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

int Day()
{
    QTemporaryDir dir;
    QDateTime now = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0));
    RecordClockSet([&now] { return now; });
    sim::SimBed bed;
    const int id = bed.addSerialSensor();
    bed.with(id, [](sim::SimSensor &s) {
        s.setDeviceType(130);
        s.setKinds({1});
    });
    SensorRecorder rec(SensorWatch::Links::Serial, dir.path());
    rec.m_SteadyMs = [&now] { return now.toMSecsSinceEpoch(); };
    int stored = 0;
    rec.m_OnSample = [&stored](unsigned char, qint64, const TAG_T_SPM25Data &) { ++stored; };
    rec.Start();
    auto tickUntil = [&](const std::function<bool()> &cond) {
        QElapsedTimer t;
        t.start();
        while (!cond() && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            rec.Tick();
        }
        return cond();
    };
    if (!tickUntil([&] { return !rec.Name().isEmpty(); })) {
        std::fprintf(stderr, "the sensor never named itself\n");
        return 1;
    }
    const qint64 rssBefore = ProcField("/proc/self/status", "VmRSS:");
    qint64 maxFlush = 0;
    QElapsedTimer wall;
    wall.start();
    for (int i = 0; i < 86400; ++i) {
        now = now.addSecs(1);
        const int want = stored + 1;
        bed.with(id, [&](sim::SimSensor &s) {
            s.setNextMeasurement(1, 500, 100, uint16_t(100 + i % 900), 0, uint16_t(i % 1000));
            s.emitMeasurement(1);
        });
        if (!tickUntil([&] { return stored >= want; })) {
            std::fprintf(stderr, "sample %d was not stored\n", i);
            return 1;
        }
        if ((i + 1) % 60 == 0) {
            const qint64 before = ProcField("/proc/self/io", "wchar:");
            rec.Flush();
            maxFlush = std::max(maxFlush, ProcField("/proc/self/io", "wchar:") - before);
        }
    }
    rec.Flush();
    std::printf("day: 86400 samples in %.1f s; largest flush of 60 samples %lld bytes "
                "(records %d + header %d); resident %lld kB before, %lld kB after\n",
                wall.elapsed() / 1000.0, qlonglong(maxFlush), 60 * 8, RECORD_FILE_HEADER,
                qlonglong(rssBefore), qlonglong(ProcField("/proc/self/status", "VmRSS:")));
    return 0;
}

int Cpu(const QString &link, int seconds)
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("LD_PRELOAD"); // the launcher makes its own bed
    env.remove("UMOCKDEV_DIR");
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.start(QCoreApplication::applicationDirPath() + "/../bin/pm25monitor-sim",
               {"--link", link, "--recorder", "--data-dir", dir.path()});
    if (!demo.waitForStarted())
        return 1;
    QThread::sleep(10);
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(demo.processId()));
    const qint64 pid = children.open(QIODevice::ReadOnly) ? children.readAll().trimmed().toLongLong()
                                                          : 0;
    const qint64 start = CpuTicks(pid);
    QThread::sleep(unsigned(seconds));
    const qint64 used = CpuTicks(pid) - start;
    const qint64 rss = ProcField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS:");
    demo.terminate();
    demo.waitForFinished(10000);
    const double share = 100.0 * double(used) / double(sysconf(_SC_CLK_TCK)) / seconds;
    std::printf("cpu %s: %.3f %% of one core over %d s (%lld ticks); resident %lld kB\n",
                qPrintable(link), share, seconds, qlonglong(used), qlonglong(rss));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode == QLatin1String("day"))
        bench::EnsurePreload(argv);
    // The device layer dumps every frame for the window's console: not here.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QCoreApplication app(argc, argv);
    if (mode == QLatin1String("day"))
        return Day();
    if (mode == QLatin1String("cpu") && argc > 3)
        return Cpu(QString::fromLatin1(argv[2]), std::max(1, atoi(argv[3])));
    std::fprintf(stderr, "usage: bench_recorder day | cpu usb|serial SECONDS\n");
    return 2;
}
