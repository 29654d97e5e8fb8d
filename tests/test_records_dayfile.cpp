// Day files: records kept until a flush, appended and synced before the header counts them,
// continued after a restart, a crash between the two writes, a SIGKILL.
#include "dayfile.h"
#include "recordfile.h"

#include <QtTest>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uint32_t T0 = 1765200000;

_SRecordItem Sample(int i)
{
    return {0, uint16_t(100 + i), uint16_t(100 + i), uint16_t(200 + i)};
}

// Bytes this process has written so far, as the kernel counts them.
qint64 WrittenChars()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

QVector<_SRecordItem> Records(const QString &path, uint32_t *start = nullptr)
{
    _SRecordData image;
    if (RecordDataRead(&image, path.toLocal8Bit().constData()) < 0)
        return {};
    QVector<_SRecordItem> out(image.m_pItems, image.m_pItems + image.m_Count);
    if (start)
        *start = image.m_StartTime;
    RecordDataFree(&image);
    return out;
}

bool Same(const _SRecordItem &a, const _SRecordItem &b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

class TestRecordsDayFile : public QObject
{
    Q_OBJECT

private slots:
    void flushesContinuesAndSurvivesCuts();
    void sigkillKeepsTheLastFlush();

private:
    QTemporaryDir m_Dir;
};

void TestRecordsDayFile::flushesContinuesAndSurvivesCuts()
{
    const QString path = m_Dir.filePath("2026-12-08-ch0.str");
    QString error;
    DayFile day;
    QVERIFY(day.Open(path, 0, T0, 1, &error));
    QVERIFY(day.Add(T0, Sample(0)) && day.Add(T0 + 1, Sample(1)) && day.Add(T0 + 5, Sample(5)));
    QVERIFY(!QFile::exists(path)); // nothing durable yet, and no file without records
    QVERIFY2(day.Flush(&error), qPrintable(error));
    uint32_t start = 0;
    QVector<_SRecordItem> r = Records(path, &start);
    QCOMPARE(start, T0);
    QCOMPARE(r.size(), 6);
    QVERIFY(Same(r[1], Sample(1)) && Same(r[5], Sample(5)));
    QVERIFY(RecordIsGap(r[2]) && RecordIsGap(r[3]) && RecordIsGap(r[4])); // the pause

    // Times that go back are refused; a flush of a minute writes its records and one header.
    QVERIFY(!day.Add(T0 + 3, Sample(3)) && !day.Add(T0 - 1, Sample(3)));
    for (int i = 6; i < 66; ++i)
        QVERIFY(day.Add(T0 + i, Sample(i)));
    const qint64 before = WrittenChars();
    QVERIFY(day.Flush(&error));
    QCOMPARE(WrittenChars() - before, qint64(60 * 8 + RECORD_FILE_HEADER));
    QCOMPARE(Records(path).size(), 66);

    // Cut between the two writes: records past the count. The window's reader takes the
    // file as counted; the next open cuts them off and goes on after a gap.
    for (int i = 66; i < 76; ++i)
        QVERIFY(day.Add(T0 + i, Sample(i)));
    day.Close();
    QFile f(path);
    QVERIFY(f.open(QIODevice::Append));
    f.write(QByteArray(80, '\x7f'));
    f.close();
    QCOMPARE(Records(path).size(), 66);
    DayFile again;
    QVERIFY(again.Open(path, 0, T0 + 500, 1, &error));
    QCOMPARE(QFileInfo(path).size(), qint64(RECORD_FILE_HEADER + 66 * 8));
    QCOMPARE(again.StartTime(), T0);
    QCOMPARE(again.EndTime(), int64_t(T0 + 66));
    QVERIFY(again.Add(T0 + 100, Sample(100)));
    QVERIFY(!again.Add(T0 + RECORD_DATA_CAPACITY, Sample(1))); // more than a file may hold
    QVERIFY(again.Flush(&error));
    r = Records(path);
    QCOMPARE(r.size(), 101);
    QVERIFY(Same(r[65], Sample(65)) && RecordIsGap(r[66]) && RecordIsGap(r[99]));
    QVERIFY(Same(r[100], Sample(100)));
    again.Close();

    // A file of another channel (or no record file at all) is set aside, never overwritten.
    const QByteArray old = [&] {
        QFile in(path);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }();
    QVERIFY(again.Open(path, 1, T0 + 200, 1, &error));
    QVERIFY(again.Add(T0 + 200, Sample(7)) && again.Flush(&error));
    QFile aside(path + ".damaged");
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), old);
    QVERIFY(Records(path, &start).size() == 1 && start == T0 + 200);
}

void TestRecordsDayFile::sigkillKeepsTheLastFlush()
{
    const QString path = m_Dir.filePath("killed.str");
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        DayFile day;
        QString error;
        bool ok = day.Open(path, 0, T0, 1, &error);
        for (int i = 0; i < 5; ++i)
            ok = ok && day.Add(T0 + i, Sample(i));
        ok = ok && day.Flush(&error);
        for (int i = 5; i < 10; ++i)
            ok = ok && day.Add(T0 + i, Sample(i));
        if (!ok)
            _exit(1);
        raise(SIGKILL);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    const QVector<_SRecordItem> r = Records(path);
    QCOMPARE(r.size(), 5);
    QVERIFY(Same(r[4], Sample(4)));
}

QTEST_GUILESS_MAIN(TestRecordsDayFile)
#include "test_records_dayfile.moc"
