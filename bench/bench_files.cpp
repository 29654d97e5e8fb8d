// The file formats at 14 days (1,209,600 samples), each against a baseline measured in the
// same run: opening a record file, the text export of a live stream, the text import.
#include "csvfile.h"
#include "grecorddatapro.h"
#include "recordfile.h"
#include "recordrecovery.h"
#include "textimport.h"
#include "xlsxfile.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <sys/mman.h>
#include <xlsxwriter.h>
#include <unistd.h>

#include "benchstats.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::MicrosSince;

constexpr int N = 1209600;
constexpr uint32_t START = 1709633243; // 2024-03-05 10:07:23 UTC

uint16_t Word(int i, uint32_t k)
{
    return uint16_t(10 + (uint32_t(i) * k) % 6000);
}

QTemporaryDir &Dir()
{
    static QTemporaryDir dir;
    return dir;
}

QString PathOf(const char *name)
{
    return Dir().filePath(QString::fromLatin1(name));
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}


void Report(benchmark::State &state, const std::vector<double> &op,
            const std::vector<double> &base)
{
    state.counters["op_ms"] = Median(op) / 1000;
    state.counters["base_ms"] = Median(base) / 1000;
    state.counters["ratio"] = Median(op) / Median(base);
}

// --- opening a record file ------------------------------------------------------------------

// What the open command does to a record file: the header probe, the load, show all.
void Open(GRecordDataPro *file, const QString &path)
{
    _SRecordData probe;
    RecordDataReadHeader(&probe, path.toLocal8Bit().constData());
    file->LoadRecordFile(path, probe.m_Channel);
    file->UpdateTimeOffset();
    RealDataShowAll(file->m_pRealData);
}

// Reading the file and summing its values once, plus the first touch of fresh series pages.
double OpenBaseline(const QString &path)
{
    const auto t0 = Clock::now();
    const QByteArray bytes = ReadFile(path);
    double sum = 0;
    for (int at = RECORD_FILE_HEADER; at + 8 <= bytes.size(); at += 8) {
        sum += qFromLittleEndian<uint16_t>(bytes.constData() + at + 4) / 10.0;
        sum += qFromLittleEndian<uint16_t>(bytes.constData() + at + 6) / 10.0;
    }
    benchmark::DoNotOptimize(sum);
    return MicrosSince(t0) + bench::FirstTouchMicros(3 * size_t(N) * sizeof(double));
}

void BM_OpenRecordFile(benchmark::State &state)
{
    const QString path = PathOf("14days.str");
    {
        _SRecordData image;
        for (int i = 0; i < N; ++i)
            RecordDataAdd(&image, 0, 0, Word(i, 7919), Word(i, 104729), -1);
        image.m_StartTime = START;
        RecordDataWrite(&image, path.toLocal8Bit().constData(), 0);
        RecordDataFree(&image);
    }
    std::vector<double> op, base;
    int shown = 0;
    for (auto _ : state) {
        auto file = std::make_unique<GRecordDataPro>(); // a fresh stream, as at the first open
        base.push_back(OpenBaseline(path));
        const auto t0 = Clock::now();
        Open(file.get(), path);
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
        shown = file->m_pRealData->m_ShowCount;
    }
    Report(state, op, base);
    state.counters["shown"] = shown;
}
BENCHMARK(BM_OpenRecordFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// --- text export ----------------------------------------------------------------------------

// The same bytes with a plain formatted-write loop: localtime_r and snprintf per row.
void ExportBaseline(const GRecordDataPro &live, const char *path)
{
    const _SRealData *s = live.m_pRealData;
    FILE *f = std::fopen(path, "wb");
    if (!f)
        return;
    std::fprintf(f, "Data Count:%d\r\n\r\nnumber\ttime       \tPM25Value\tPM10Value\t\r\n",
                 s->m_DataCount);
    const time_t start = time_t(live.m_StartTime.toSecsSinceEpoch());
    for (int i = 0; i < s->m_DataCount; ++i) {
        const time_t t = start + i;
        struct tm tm;
        localtime_r(&t, &tm);
        std::fprintf(f, "%-5d\t%02d:%02d:%02d\t%g       \t%g\r\n", i + 1, tm.tm_hour, tm.tm_min,
                     tm.tm_sec, s->m_pData0[i], s->m_pData1[i]);
    }
    std::fclose(f);
}

void BM_ExportLive(benchmark::State &state)
{
    GRecordDataPro live;
    live.m_ValueCount = 2;
    live.m_StartTime = QDateTime::fromSecsSinceEpoch(START);
    live.UpdateTimeOffset();
    _SRealData *s = live.m_pRealData;
    for (int i = 0; i < N; ++i)
        RealDataAdd(s, Word(i, 7919) / 10.0, Word(i, 104729) / 10.0, 1, s->org_pts);
    const QString path = PathOf("export.xls"), basePath = PathOf("baseline.xls");
    std::vector<double> op, base;
    for (auto _ : state) {
        auto t0 = Clock::now();
        ExportBaseline(live, basePath.toLocal8Bit().constData());
        base.push_back(MicrosSince(t0));
        t0 = Clock::now();
        live.SaveTextFile(path, 0, {});
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
    }
    Report(state, op, base);
    const QByteArray ours = ReadFile(path);
    if (ours != ReadFile(basePath))
        state.SkipWithError("the export and its baseline differ");
    state.counters["MB"] = ours.size() / 1e6;
}
BENCHMARK(BM_ExportLive)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// --- text import ----------------------------------------------------------------------------

QByteArray ImportText()
{
    QByteArray text = "Date:2024.03.05-10:07:23\r\nData Count:1209600\r\n\r\n"
                      "number\ttime\tPM25Value\tPM10Value\t\r\n";
    char row[96];
    for (int i = 0; i < N; ++i) {
        const int t = 36443 + i; // 10:07:23 on
        const int n = std::snprintf(row, sizeof row, "%-5d\t%02d:%02d:%02d\t%g       \t%g\r\n",
                                    i + 1, t / 3600 % 24, t / 60 % 60, t % 60,
                                    Word(i, 7919) / 10.0, Word(i, 104729) / 10.0);
        text.append(row, n);
    }
    return text;
}

// strtod over the rows, with the per-row debug line through the same handler.
double ImportBaseline(const QByteArray &text)
{
    const char *p = text.constData();
    for (int line = 0; line < 4; ++line)
        p = std::strchr(p, '\n') + 1;
    double sum = 0;
    char time[16];
    while (*p) {
        char *end;
        const long n = std::strtol(p, &end, 10);
        while (*end == ' ' || *end == '\t')
            ++end;
        const char *t = end;
        while (*end != '\t')
            ++end;
        std::memcpy(time, t, size_t(end - t));
        time[end - t] = 0;
        const double a = std::strtod(end, &end);
        const double b = std::strtod(end, &end);
        qDebug("index=%d. time=%s pm25=%f pm10=%f\n", int(n), time, a, b);
        sum += a + b;
        p = std::strchr(end, '\n') + 1;
    }
    return sum;
}

void BM_ImportText(benchmark::State &state)
{
    qInstallMessageHandler(bench::Discard);
    const QByteArray text = ImportText();
    std::vector<double> op, base;
    int count = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(ImportBaseline(text));
        base.push_back(MicrosSince(t0));
        t0 = Clock::now();
        _SRecordData image;
        RecordTextToImage(text, &image);
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
        count = image.m_Count;
        RecordDataFree(&image);
    }
    Report(state, op, base);
    state.counters["records"] = count;
}
BENCHMARK(BM_ImportText)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// --- CSV ----------------------------------------------------------------------------------

_SRecordData *CsvImage()
{
    static _SRecordData *image = [] {
        auto *r = new _SRecordData;
        RecordDataAlloc(r, N);
        for (int i = 0; i < N; ++i)
            r->m_pItems[i] = _SRecordItem{0, 0, Word(i, 7919), Word(i, 104729)};
        r->m_Count = N;
        r->m_StartTime = START;
        return r;
    }();
    return image;
}

// The same bytes by snprintf, the offset asked of Qt once.
QByteArray CsvBaseline(const _SRecordData &image)
{
    const int offset = QDateTime::fromSecsSinceEpoch(START).offsetFromUtc();
    QByteArray out("time,pm25_ugm3,pm10_ugm3\r\n");
    out.reserve(N * 46);
    char row[96];
    for (int i = 0; i < image.m_Count; ++i) {
        const time_t t = time_t(image.m_StartTime) + i + offset;
        struct tm tm;
        gmtime_r(&t, &tm);
        const _SRecordItem &r = image.m_pItems[i];
        const int n = std::snprintf(row, sizeof row,
                                    "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d,%d.%d,%d.%d\r\n",
                                    tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                                    tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+',
                                    std::abs(offset) / 3600, std::abs(offset) / 60 % 60,
                                    r.m_PM25 / 10, r.m_PM25 % 10, r.m_PM10 / 10, r.m_PM10 % 10);
        out.append(row, n);
    }
    return out;
}

void BM_CsvWrite(benchmark::State &state)
{
    const _SRecordData &image = *CsvImage();
    std::vector<double> op, base;
    bool same = false;
    for (auto _ : state) {
        auto t0 = Clock::now();
        const QByteArray floor = CsvBaseline(image);
        base.push_back(MicrosSince(t0));
        t0 = Clock::now();
        const QByteArray csv =
            RecordsToCsv(image, image.m_StartTime, 1, nullptr, CsvLayout{0, 2, false});
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
        same = csv == floor;
    }
    Report(state, op, base);
    state.counters["same_bytes"] = same;
}
BENCHMARK(BM_CsvWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// strtod over the CSV's two values a row, the times skipped.
double CsvReadBaseline(const QByteArray &text)
{
    const char *p = std::strchr(text.constData(), '\n') + 1;
    double sum = 0;
    while (*p) {
        char *end = const_cast<char *>(std::strchr(p, ',')) + 1;
        sum += std::strtod(end, &end);
        sum += std::strtod(end + 1, &end);
        p = std::strchr(end, '\n') + 1;
    }
    return sum;
}

void BM_CsvOpen(benchmark::State &state)
{
    const QByteArray text =
        RecordsToCsv(*CsvImage(), START, 1, nullptr, CsvLayout{0, 2, false});
    std::vector<double> op, base;
    int count = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(CsvReadBaseline(text));
        base.push_back(MicrosSince(t0));
        t0 = Clock::now();
        _SRecordData image;
        CsvToImage(text, &image, nullptr, nullptr);
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
        count = image.m_Count;
        RecordDataFree(&image);
    }
    Report(state, op, base);
    state.counters["records"] = count;
}
BENCHMARK(BM_CsvOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// --- spreadsheet ----------------------------------------------------------------------------

// The library alone writing the same cells from plain arrays prepared beforehand: local
// date-times, the two values, a sheet per local day, the same formats, constant-memory mode.
double XlsxBaseline(const _SRecordData &image, const char *path)
{
    std::vector<lxw_datetime> times(size_t(image.m_Count));
    std::vector<double> values(size_t(image.m_Count) * 2);
    std::vector<int> days(size_t(image.m_Count));
    for (int i = 0; i < image.m_Count; ++i) {
        const time_t t = time_t(image.m_StartTime) + i;
        struct tm tm;
        localtime_r(&t, &tm);
        times[size_t(i)] = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                            double(tm.tm_sec)};
        days[size_t(i)] = tm.tm_yday;
        values[2 * size_t(i)] = image.m_pItems[i].m_PM25 / 10.0;
        values[2 * size_t(i) + 1] = image.m_pItems[i].m_PM10 / 10.0;
    }
    const auto t0 = Clock::now();
    lxw_workbook_options options = {LXW_TRUE, nullptr, LXW_TRUE};
    lxw_workbook *book = workbook_new_opt(path, &options);
    lxw_format *time = workbook_add_format(book);
    format_set_num_format(time, "yyyy-mm-dd hh:mm:ss");
    lxw_format *value = workbook_add_format(book);
    format_set_num_format(value, "0.0");
    lxw_worksheet *sheet = nullptr;
    lxw_row_t row = 0;
    for (int i = 0; i < image.m_Count; ++i) {
        if (!sheet || days[size_t(i)] != days[size_t(i) - 1]) {
            char name[16];
            std::snprintf(name, sizeof name, "%04d-%02d-%02d", times[size_t(i)].year,
                          times[size_t(i)].month, times[size_t(i)].day);
            sheet = workbook_add_worksheet(book, name);
            row = 4;
        }
        worksheet_write_datetime(sheet, row, 0, &times[size_t(i)], time);
        worksheet_write_number(sheet, row, 1, values[2 * size_t(i)], value);
        worksheet_write_number(sheet, row, 2, values[2 * size_t(i) + 1], value);
        ++row;
    }
    workbook_close(book);
    return MicrosSince(t0);
}

long StatusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').value(0).toLong();
    return -1;
}

void BM_XlsxWrite(benchmark::State &state)
{
    const _SRecordData &image = *CsvImage();
    const QString path = PathOf("bench.xlsx");
    std::vector<double> op, base;
    long extraKb = 0;
    for (auto _ : state) {
        base.push_back(XlsxBaseline(image, PathOf("floor.xlsx").toLocal8Bit().constData()));
        // The peak resident size from here on: "5" resets the high-water mark.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        const long before = StatusKb("VmRSS:");
        const auto t0 = Clock::now();
        RecordsToXlsx(path, image, image.m_StartTime, 1, nullptr, CsvLayout{0, 2, false},
                      XlsxHead{"AQ-410", "ffff", "live"}, nullptr);
        op.push_back(MicrosSince(t0));
        state.SetIterationTime(op.back() / 1e6);
        extraKb = std::max(extraKb, StatusKb("VmHWM:") - before);
    }
    Report(state, op, base);
    state.counters["peak_extra_MB"] = double(extraKb) / 1024;
    state.counters["file_MB"] = double(QFile(path).size()) / (1 << 20);
}
BENCHMARK(BM_XlsxWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// --- the recovery write -----------------------------------------------------------------

// The GUI thread's share of a recovery write of a full live image (the copy handed to the
// worker), and the whole write on the worker (file, flush to disk, rename).
void BM_RecoveryWrite(benchmark::State &state)
{
    _SRecordData image;
    for (int i = 0; i < N; ++i)
        RecordDataAdd(&image, 0, 0, Word(i, 7919), Word(i, 104729), -1);
    image.m_StartTime = START;
    RecordRecovery recovery(PathOf("recovery"), QDateTime::fromSecsSinceEpoch(START));
    std::vector<double> call, total;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        recovery.WriteAsync({&image});
        call.push_back(MicrosSince(t0));
        recovery.Wait();
        total.push_back(MicrosSince(t0));
        state.SetIterationTime(call.back() / 1e6);
    }
    state.counters["gui_ms"] = Median(call) / 1000;
    state.counters["gui_max_ms"] = *std::max_element(call.begin(), call.end()) / 1000;
    state.counters["write_ms"] = Median(total) / 1000;
    RecordDataFree(&image);
}
BENCHMARK(BM_RecoveryWrite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
