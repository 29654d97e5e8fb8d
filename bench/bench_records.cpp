// Costs of the records: a zoom step on a 14-day series, loading a 14-day record file, and the
// resident memory of a record set. Each figure is reported with a baseline measured in the
// same run (counters base_us, ratio, or bytes against the data).
#include "grecorddataset.h"
#include "recordclock.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "benchstats.h"

namespace {

using bench::Clock;
using bench::Median;


double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

long ResidentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

uint16_t Pm25(int i)
{
    return uint16_t(100 + (uint32_t(i) * 7919u) % 600);
}

uint16_t Pm10(int i)
{
    return uint16_t(150 + (uint32_t(i) * 104729u) % 900);
}

// One plain pass: the sum of both raw series over [from, to).
double SumWindow(const _SRealData *s, int from, int to)
{
    double a = 0, b = 0;
    for (int i = from; i < to; ++i) {
        a += s->m_pData0[i];
        b += s->m_pData1[i];
    }
    return a + b;
}

// --- resident memory -------------------------------------------------------------------------
// Registered first, so they see the process before the other benchmarks touch the heap.

// Resident memory a freshly created, started set adds.
double IdleSetMegabytes()
{
    const long before = ResidentBytes();
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    return double(ResidentBytes() - before) / 1e6;
}

void BM_MemoryIdleSet(benchmark::State &state)
{
    for (auto _ : state) {
        state.counters["idle_MB"] = IdleSetMegabytes();
    }
}
BENCHMARK(BM_MemoryIdleSet)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MemoryFullLiveSet(benchmark::State &state)
{
    for (auto _ : state) {
        qint64 now = 1709633243;
        // A UTC clock: local-time conversions would dominate the fill time, not the memory.
        RecordClockSet([&now] { return QDateTime::fromSecsSinceEpoch(now, Qt::UTC); });
        const long before = ResidentBytes();
        GRecordDataSet set;
        set.Create();
        set.StartLive();
        for (int i = 0; i < REAL_DATA_CAPACITY; ++i) {
            set.AddLiveData(TAG_T_SPM25Data{1, 2, Pm25(i), Pm10(i), 0}, 0);
            ++now;
        }
        const long after = ResidentBytes();
        RecordClockSet({});
        const double data = double(REAL_DATA_CAPACITY) * (3 * sizeof(double) + 8);
        state.counters["full_MB"] = double(after - before) / 1e6;
        state.counters["data_MB"] = data / 1e6;
        state.counters["ratio"] = double(after - before) / data;
    }
}
BENCHMARK(BM_MemoryFullLiveSet)->Iterations(1)->Unit(benchmark::kMillisecond);

// A set made after another was released: the arrays must still be untouched pages.
void BM_MemoryIdleSetAfterRelease(benchmark::State &state)
{
    for (auto _ : state) {
        {
            GRecordDataSet old;
            old.Create();
            old.StartLive();
            old.AddLiveData(TAG_T_SPM25Data{1, 2, 3, 4, 0}, 0);
        }
        state.counters["idle_MB"] = IdleSetMegabytes();
    }
}
BENCHMARK(BM_MemoryIdleSetAfterRelease)->Iterations(1)->Unit(benchmark::kMillisecond);

// --- zoom step -------------------------------------------------------------------------------

_SRealData *FourteenDays()
{
    static _SRealData *s = [] {
        _SRealData *r = RealDataCreate();
        RealDataSetStartTime(r, 10, 7, 23);
        std::vector<double> a(REAL_DATA_CAPACITY), b(REAL_DATA_CAPACITY);
        for (int i = 0; i < REAL_DATA_CAPACITY; ++i) {
            a[size_t(i)] = Pm25(i) / 10.0;
            b[size_t(i)] = Pm10(i) / 10.0;
        }
        RealDataAddMany(r, a.data(), b.data(), REAL_DATA_CAPACITY, 1, r->org_pts);
        return r;
    }();
    return s;
}

void BM_ZoomStep(benchmark::State &state)
{
    const int level = int(state.range(0));
    _SRealData *s = FourteenDays();
    const int window = std::min(REAL_DATA_CAPACITY, level * REAL_DATA_WINDOW);
    std::vector<double> op, base;
    bool even = false;
    for (auto _ : state) {
        // Alternate which of the two runs first, so neither always finds the window cached.
        double opUs = 0, baseUs = 0;
        for (int pass = 0; pass < 2; ++pass) {
            if ((pass == 0) == even) {
                const auto t0 = Clock::now();
                benchmark::DoNotOptimize(SumWindow(s, REAL_DATA_CAPACITY - window,
                                                   REAL_DATA_CAPACITY));
                baseUs = Micros(Clock::now() - t0);
            } else {
                const auto t0 = Clock::now();
                RealDataSetZoom(s, level, REAL_DATA_WINDOW);
                benchmark::DoNotOptimize(RealDataRebuild(s));
                opUs = Micros(Clock::now() - t0);
            }
        }
        even = !even;
        op.push_back(opUs);
        base.push_back(baseUs);
        state.SetIterationTime(opUs / 1e6);
    }
    state.counters["window"] = window;
    state.counters["op_us"] = Median(op);
    state.counters["base_us"] = Median(base);
    state.counters["ratio"] = Median(op) / Median(base);
}
BENCHMARK(BM_ZoomStep)
    ->Arg(1)->Arg(6)->Arg(30)->Arg(60)->Arg(300)->Arg(1800)
    ->Arg(4033) // show all: 14 days in 300 points
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- panning and the wheel zoom over 14 days ----------------------------------------------------

// Times op against one plain pass over the raw samples the window shows after it (the pass
// runs second, so it may find them cached: the ratio errs on the high side).
template <class Prepare, class Op>
void CompareWithShownPass(benchmark::State &state, _SRealData *s, Prepare prepare, Op op)
{
    std::vector<double> ops, base;
    for (auto _ : state) {
        prepare();
        auto t0 = Clock::now();
        op();
        const double opUs = Micros(Clock::now() - t0);
        const int len = std::max(1, s->min_show / std::max(1, int(s->m_DataSecUnit)));
        const int first = RealDataFirstShown(s) * len;
        const int end = std::min(REAL_DATA_CAPACITY, first + s->show_pt_cnt * len);
        t0 = Clock::now();
        benchmark::DoNotOptimize(SumWindow(s, first, end));
        base.push_back(Micros(Clock::now() - t0));
        ops.push_back(opUs);
        state.SetIterationTime(opUs / 1e6);
    }
    state.counters["op_us"] = Median(ops);
    state.counters["base_us"] = Median(base);
    state.counters["ratio"] = Median(ops) / Median(base);
}

// One step of the arrow keys (a tenth of the window), back and forth in the middle of 14 days.
void BM_PanStep(benchmark::State &state)
{
    _SRealData *s = FourteenDays();
    RealDataSetZoom(s, int(state.range(0)), REAL_DATA_WINDOW);
    RealDataPanTo(s, RealDataPointCount(s) / 2);
    int sign = 1;
    CompareWithShownPass(state, s, [] {}, [&] {
        benchmark::DoNotOptimize(RealDataPan(s, sign * REAL_DATA_WINDOW / 10));
        sign = -sign;
    });
}
BENCHMARK(BM_PanStep)
    ->Arg(1)->Arg(6)->Arg(30)->Arg(60)->Arg(300)->Arg(1800)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// One wheel notch with Ctrl (zoom in) around the middle of a window in the middle of 14 days.
void BM_WheelZoomStep(benchmark::State &state)
{
    _SRealData *s = FourteenDays();
    const int level = int(state.range(0));
    auto prepare = [&] {
        RealDataSetZoom(s, level, REAL_DATA_WINDOW);
        RealDataPanTo(s, RealDataPointCount(s) / 2);
    };
    CompareWithShownPass(state, s, prepare, [&] {
        const double middle = (s->m_ShowStartSec + s->m_ShowEndSec) / 2;
        RealDataZoomAround(s, true, RealDataRawIndexAt(s, middle), 0.5);
    });
}
BENCHMARK(BM_WheelZoomStep)
    ->Arg(6)->Arg(30)->Arg(60)->Arg(300)->Arg(1800)->Arg(4033)
    ->UseManualTime()->Unit(benchmark::kMicrosecond);

// --- loading a record file -------------------------------------------------------------------

void FillImage(GRecordDataPro *p)
{
    _SRecordData *image = p->m_pRecordData;
    RecordDataAlloc(image, REAL_DATA_CAPACITY);
    for (int i = 0; i < REAL_DATA_CAPACITY; ++i)
        RecordDataAdd(image, 1, 2, Pm25(i), Pm10(i), -1);
    image->m_StartTime = 1709633243;
}

// One plain pass over the samples of the image, converted as the load converts them.
double PlainPass(const _SRecordData *image)
{
    double a = 0, b = 0;
    for (int i = 0; i < image->m_MaxCount; ++i) {
        a += double(uint16_t(image->m_pItems[i].m_PM25 / 10.0));
        b += double(uint16_t(image->m_pItems[i].m_PM10 / 10.0));
    }
    return a + b;
}

void Load(GRecordDataPro *p)
{
    p->RecordDataToRealData2(0);
    RealDataShowAll(p->m_pRealData);
}

// Reopening into a stream that held a file before (its pages are in use already).
void BM_FileLoad(benchmark::State &state)
{
    qSetMessagePattern("%{if-category}%{endif}"); // keep the load's debug lines off the figures
    GRecordDataPro file;
    FillImage(&file);
    Load(&file);
    std::vector<double> op, base;
    for (auto _ : state) {
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(PlainPass(file.m_pRecordData));
        base.push_back(Micros(Clock::now() - t0));
        t0 = Clock::now();
        Load(&file);
        op.push_back(Micros(Clock::now() - t0));
        state.SetIterationTime(op.back() / 1e6);
    }
    state.counters["op_us"] = Median(op);
    state.counters["base_us"] = Median(base);
    state.counters["ratio"] = Median(op) / Median(base);
    state.counters["shown"] = file.m_pRealData->m_ShowCount;
}
BENCHMARK(BM_FileLoad)->UseManualTime()->Unit(benchmark::kMillisecond);


// The first file opened into a fresh stream: also pays for first use of its pages.
void BM_FileLoadFresh(benchmark::State &state)
{
    qSetMessagePattern("%{if-category}%{endif}");
    GRecordDataPro source;
    FillImage(&source);
    std::vector<double> op, base, touch;
    for (auto _ : state) {
        auto file = std::make_unique<GRecordDataPro>();
        std::swap(file->m_pRecordData, source.m_pRecordData);
        auto t0 = Clock::now();
        benchmark::DoNotOptimize(PlainPass(file->m_pRecordData));
        base.push_back(Micros(Clock::now() - t0));
        touch.push_back(bench::FirstTouchMicros(3 * size_t(REAL_DATA_CAPACITY) * sizeof(double)));
        t0 = Clock::now();
        Load(file.get());
        op.push_back(Micros(Clock::now() - t0));
        state.SetIterationTime(op.back() / 1e6);
        std::swap(file->m_pRecordData, source.m_pRecordData);
    }
    state.counters["op_us"] = Median(op);
    state.counters["base_us"] = Median(base);
    state.counters["ratio"] = Median(op) / Median(base);
    state.counters["touch_us"] = Median(touch);
    state.counters["ratio_touch"] = Median(op) / (Median(base) + Median(touch));
}
BENCHMARK(BM_FileLoadFresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

BENCHMARK_MAIN();
