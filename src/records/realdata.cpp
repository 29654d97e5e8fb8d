#include "realdata.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define PM25_HEAP_ARRAYS 1 // keep the arrays visible to AddressSanitizer's bounds checks
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PM25_HEAP_ARRAYS 1
#endif
#endif

namespace {

[[maybe_unused]] constexpr size_t ARRAY_BYTES = size_t(REAL_DATA_CAPACITY) * sizeof(double);

// Mapped directly rather than taken from the heap: fresh zero pages cost no memory until
// written, and a released array is not handed out again by calloc, which would clear (and so
// make resident) all of it.
double *ZeroArray()
{
#ifdef PM25_HEAP_ARRAYS
    return static_cast<double *>(std::calloc(size_t(REAL_DATA_CAPACITY), sizeof(double)));
#else
    void *p = mmap(nullptr, ARRAY_BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                   -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<double *>(p);
#endif
}

void ReleaseArray(double *p)
{
    if (!p)
        return;
#ifdef PM25_HEAP_ARRAYS
    std::free(p);
#else
    munmap(p, ARRAY_BYTES);
#endif
}

void FreeArrays(_SRealData *s)
{
    for (double **p : {&s->m_pShowData0, &s->m_pShowData1, &s->m_pShowSec, &s->m_pData0,
                       &s->m_pData1, &s->m_pDataSec}) {
        ReleaseArray(*p);
        *p = nullptr;
    }
    s->m_MaxDataCount = 0;
}

bool Ready(const _SRealData *s)
{
    return s && s->m_MaxDataCount > 0 && s->m_pShowData0 && s->m_pShowData1 && s->m_pShowSec
           && s->m_pData0 && s->m_pData1 && s->m_pDataSec;
}

void ZeroPrefix(double *p, int used, int capacity)
{
    const int n = qBound(0, used, capacity);
    if (p && n > 0)
        std::memset(p, 0, size_t(n) * sizeof(double));
}

// The window as an index bound: a stray show_pt_cnt must not move or write outside the arrays.
int Window(const _SRealData *s)
{
    return qBound(1, int(s->show_pt_cnt), int(s->m_MaxDataCount));
}

// Raw samples per display block, as the accumulation actually uses it.
int BlockLength(const _SRealData *s)
{
    return s->m_DataSecUnit == s->min_show ? 1 : std::max(1, int(s->m_BlockLen));
}

// The points a rebuild makes of all raw samples; *partial when the last one is a partial block.
int AllPoints(const _SRealData *s, bool *partial)
{
    const int n = qBound(0, int(s->m_DataCount), int(s->m_MaxDataCount));
    const int len = BlockLength(s);
    const bool single = s->m_DataSecUnit == s->min_show;
    const bool last = s->m_bShowPartial && !single && s->m_BlockFill == 0 && n % len != 0;
    if (partial)
        *partial = last;
    return n / len + (last ? 1 : 0);
}

void SetWindowBounds(_SRealData *s)
{
    const int cnt = Window(s);
    const int j = s->m_ShowCount > cnt ? std::min(s->m_ShowCount - cnt, s->m_MaxDataCount - 1) : 0;
    s->m_ShowStartSec = s->m_pShowSec[j];
    s->m_ShowEndSec = s->m_ShowStartSec + double(cnt) * s->min_show;
    // A pause inside the window stretches it: the newest point must stay on the axis.
    const int shown = std::min(s->m_ShowCount, s->m_MaxDataCount);
    if (shown > 0)
        s->m_ShowEndSec = std::max(s->m_ShowEndSec, s->m_pShowSec[shown - 1]);
}

// Seconds per point that show every raw sample in 300 points.
int FitSecPerPoint(const _SRealData *s)
{
    if (s->m_DataCount <= REAL_DATA_WINDOW) // a unit read from a file may be huge
        return int(std::min<qint64>(qint64(s->m_DataSecUnit) + 1, INT32_MAX));
    const qint64 fit = qint64(s->m_DataCount) * s->m_DataSecUnit / REAL_DATA_WINDOW + 1;
    return int(std::min<qint64>(fit, INT32_MAX));
}

bool CanZoom(const _SRealData *s)
{
    return Ready(s) && s->m_DataSecUnit > 0 && s->min_show > 0;
}

void ApplyZoom(_SRealData *s, int secPerPoint)
{
    if (RealDataSetZoom(s, secPerPoint, s->show_pt_cnt) == 0)
        RealDataRebuild(s);
}

} // namespace

_SRealData *RealDataCreate()
{
    auto *s = new (std::nothrow) _SRealData();
    if (!s)
        return nullptr;
    if (RealDataInit(s) < 0 || !Ready(s)) {
        RealDataDestroy(&s);
        return nullptr;
    }
    return s;
}

int RealDataInit(_SRealData *s)
{
    if (!s)
        return -1;
    FreeArrays(s);
    *s = _SRealData();
    s->m_pShowData0 = ZeroArray();
    s->m_pShowData1 = ZeroArray();
    s->m_pShowSec = ZeroArray();
    s->m_pData0 = ZeroArray();
    s->m_pData1 = ZeroArray();
    s->m_pDataSec = ZeroArray();
    s->m_MaxDataCount = REAL_DATA_CAPACITY;
    // The ring is live from the start: streams that are filled before their first rebuild
    // (history, files) append through it.
    AvgRingInit(&s->m_AvgRing, s->m_AvgLen);
    if (!Ready(s)) {
        FreeArrays(s);
        return -1;
    }
    s->org_pts = RealDataTimeOffset(s, s->m_StartHour, s->m_StartMinute, s->m_StartSecond);
    return s->org_pts;
}

void RealDataDestroy(_SRealData **ps)
{
    if (!ps || !*ps)
        return;
    FreeArrays(*ps);
    delete *ps;
    *ps = nullptr;
}

bool RealDataClear(_SRealData *s)
{
    if (!s)
        return false;
    if (Ready(s)) {
        const int raw = std::max(s->m_RawUsed, s->m_DataCount);
        const int shown = std::max(s->m_ShowUsed, s->m_ShowCount);
        for (double *p : {s->m_pData0, s->m_pData1, s->m_pDataSec})
            ZeroPrefix(p, raw, s->m_MaxDataCount);
        for (double *p : {s->m_pShowData0, s->m_pShowData1, s->m_pShowSec})
            ZeroPrefix(p, shown, s->m_MaxDataCount);
    }
    s->m_RawUsed = 0;
    s->m_ShowUsed = 0;
    s->m_DataCount = 0;
    s->m_SkipSec = 0;
    s->m_PanBack = 0;
    return true;
}

void RealDataSkip(_SRealData *s, int seconds)
{
    if (s && seconds > 0)
        s->m_SkipSec += seconds;
}

int RealDataAdd(_SRealData *s, double a, double b, int secPerSample, int offset)
{
    return RealDataAddMany(s, &a, &b, 1, secPerSample, offset) == 1 ? 0 : -1;
}

int RealDataAddMany(_SRealData *s, const double *a, const double *b, int n, int secPerSample,
                    int offset)
{
    if (!Ready(s) || secPerSample <= 0 || n < 0 || (n > 0 && (!a || !b)))
        return -1;
    const int start = qBound(0, int(s->m_DataCount), int(s->m_MaxDataCount));
    const int m = std::min(n, s->m_MaxDataCount - start);
    if (m <= 0)
        return 0;

    const bool single = s->m_DataSecUnit == s->min_show;
    const int len = std::max(1, int(s->m_BlockLen));
    const int cnt = Window(s);
    const double unit = secPerSample;
    int count = qBound(0, int(s->m_ShowCount), cnt);
    // Once the window is full the display arrays are used as a ring starting at head and put
    // back in order at the end: the same window as dropping the oldest point at every new
    // one, at one shift per call instead of one per point.
    int head = 0;
    double sum0 = s->m_BlockSum0, sum1 = s->m_BlockSum1;
    int fill = s->m_BlockFill;
    bool newShow = s->m_bNewShow;
    const bool panned = s->m_PanBack > 0;

    // Dense samples lie one unit apart; a pause moves the next one on.
    double sec = (start > 0 ? s->m_pDataSec[start - 1] + unit : 0) + s->m_SkipSec;
    s->m_SkipSec = 0;
    for (int j = 0; j < m; ++j, sec += unit) {
        const int i = start + j;
        s->m_pDataSec[i] = sec;
        s->m_pData0[i] = a[j];
        s->m_pData1[i] = b[j];
        bool done = false;
        if (single) {
            sum0 = a[j];
            sum1 = b[j];
            done = true;
        } else {
            sum0 += a[j];
            sum1 += b[j];
            if (++fill >= len) {
                fill = 0;
                sum0 /= len;
                sum1 /= len;
                done = true;
            }
        }
        newShow = done && !panned;
        if (!done)
            continue;
        if (panned) { // the window stays where the user put it: one more point after it
            ++s->m_PanBack;
            sum0 = sum1 = 0;
            continue;
        }
        AvgRingPush(&s->m_AvgRing, sum0, sum1);
        int k;
        if (count < cnt) {
            k = count++;
        } else {
            k = head;
            head = head + 1 == cnt ? 0 : head + 1;
        }
        s->m_pShowData0[k] = AvgRingMean0(&s->m_AvgRing);
        s->m_pShowData1[k] = AvgRingMean1(&s->m_AvgRing);
        s->m_pShowSec[k] = offset + sec;
        sum0 = sum1 = 0;
    }
    if (head != 0) {
        for (double *p : {s->m_pShowData0, s->m_pShowData1, s->m_pShowSec})
            std::rotate(p, p + head, p + cnt);
    }

    s->m_DataCount = start + m;
    s->m_RawUsed = std::max(s->m_RawUsed, s->m_DataCount);
    s->m_ShowCount = count;
    s->m_ShowUsed = std::max(s->m_ShowUsed, count);
    s->m_BlockSum0 = sum0;
    s->m_BlockSum1 = sum1;
    s->m_BlockFill = fill;
    s->m_bNewShow = newShow;
    SetWindowBounds(s);
    return m;
}

int RealDataSetZoom(_SRealData *s, int secPerPoint, int width)
{
    if (!Ready(s) || width <= 0 || width > s->m_MaxDataCount || s->m_DataSecUnit <= 0)
        return -1;
    if (secPerPoint == -1)
        secPerPoint = s->m_DataCount / width + 1;
    if (secPerPoint <= 0)
        return -1;
    s->m_BlockSum0 = s->m_BlockSum1 = 0;
    s->m_BlockFill = 0;
    s->min_show = secPerPoint;
    s->show_pt_cnt = width;
    s->m_PanBack = 0;
    // Finer than one raw sample per point cannot be shown: one sample per point then.
    s->m_BlockLen = std::max(1, secPerPoint / s->m_DataSecUnit);
    s->m_AvgLen = secPerPoint == 1 ? 1 : secPerPoint == 6 ? 5 : 7;
    for (double *p : {s->m_pShowData0, s->m_pShowData1, s->m_pShowSec})
        ZeroPrefix(p, std::max(s->m_ShowUsed, s->m_ShowCount), s->m_MaxDataCount);
    s->m_ShowUsed = 0;
    s->m_ShowCount = 0;
    s->org_pts = RealDataTimeOffset(s, s->m_StartHour, s->m_StartMinute, s->m_StartSecond);
    return 0;
}

int RealDataRebuild(_SRealData *s)
{
    if (!CanZoom(s))
        return -1;
    const int n = qBound(0, int(s->m_DataCount), int(s->m_MaxDataCount));
    const bool single = s->m_DataSecUnit == s->min_show;
    const int len = BlockLength(s);
    const int cnt = Window(s);
    // Counted in blocks of raw samples, so streams coarser than one second per sample get
    // the same window as the points actually computed.
    bool partial = false;
    const int total = AllPoints(s, &partial);
    const int back = qBound(0, int(s->m_PanBack), std::max(0, total - cnt));
    s->m_PanBack = back;
    const int endPoint = total - back;
    const int firstPoint = std::max(0, endPoint - cnt);
    const int shown = endPoint - firstPoint;
    const int first = firstPoint * len;
    const int end = back == 0 ? n : endPoint * len; // a moved window ends on a whole block
    if (back > 0)
        partial = false;
    AvgRingInit(&s->m_AvgRing, s->m_AvgLen);

    const double *d0 = s->m_pData0;
    const double *d1 = s->m_pData1;
    double sum0 = s->m_BlockSum0, sum1 = s->m_BlockSum1;
    int fill = s->m_BlockFill;
    bool newShow = s->m_bNewShow;
    int k = 0;
    auto emit = [&](int i) {
        AvgRingPush(&s->m_AvgRing, sum0, sum1);
        if (k < s->m_MaxDataCount) {
            s->m_pShowSec[k] = s->org_pts + s->m_pDataSec[i];
            s->m_pShowData0[k] = AvgRingMean0(&s->m_AvgRing);
            s->m_pShowData1[k] = AvgRingMean1(&s->m_AvgRing);
        }
        ++k;
        sum0 = sum1 = 0;
    };
    if (single) {
        for (int i = first; i < end; ++i) {
            sum0 = d0[i];
            sum1 = d1[i];
            newShow = true;
            emit(i);
        }
    } else {
        int i = first;
        while (i < end) {
            // Sum up to the end of the current block in one tight loop, in sample order.
            const int take = std::max(1, len - fill);
            const int stop = end - i < take ? end : i + take;
            fill += stop - i;
            for (; i < stop; ++i) {
                sum0 += d0[i];
                sum1 += d1[i];
            }
            newShow = fill >= len;
            if (newShow) {
                fill = 0;
                sum0 /= len;
                sum1 /= len;
                emit(i - 1);
            }
        }
        if (partial && fill > 0) { // the mean of the samples the last block holds
            sum0 /= fill;
            sum1 /= fill;
            fill = 0;
            newShow = true;
            emit(n - 1);
        }
    }
    if (back > 0) { // new samples go on from the newest block, not from the window's end
        fill = single ? 0 : n % len;
        sum0 = sum1 = 0;
        for (int i = n - fill; i < n; ++i) {
            sum0 += d0[i];
            sum1 += d1[i];
        }
        newShow = false;
    }
    s->m_BlockSum0 = sum0;
    s->m_BlockSum1 = sum1;
    s->m_BlockFill = fill;
    s->m_bNewShow = newShow;
    s->m_ShowCount = shown;
    s->m_ShowUsed = std::max({s->m_ShowUsed, shown, std::min(k, int(s->m_MaxDataCount))});
    SetWindowBounds(s);
    return s->m_ShowCount;
}

namespace {

int ZoomInLevel(const _SRealData *s)
{
    const int cur = s->min_show;
    const int fit = FitSecPerPoint(s);
    int next = cur >= 1800 ? 300 : cur >= 300 ? 60 : cur >= 60 ? 30 : cur >= 30 ? 6 : 1;
    if (next < s->m_DataSecUnit)
        next = s->m_DataSecUnit == INT32_MAX ? INT32_MAX : s->m_DataSecUnit + 1;
    return next < fit && fit < cur ? fit : next;
}

int ZoomOutLevel(const _SRealData *s)
{
    const int cur = s->min_show;
    const int fit = FitSecPerPoint(s);
    const int next = cur < 4 ? 6 : cur < 20 ? 30 : cur < 50 ? 60 : cur < 180 ? 300 : 1800;
    return cur < fit && fit < next ? fit : next;
}

// Puts the window's first point at `first` without rebuilding.
void PlaceWindow(_SRealData *s, int first)
{
    const int total = AllPoints(s, nullptr);
    const int cnt = Window(s);
    const int start = qBound(0, first, std::max(0, total - cnt));
    s->m_PanBack = std::max(0, total - cnt - start);
}

} // namespace

void RealDataZoomIn(_SRealData *s)
{
    if (CanZoom(s))
        ApplyZoom(s, ZoomInLevel(s));
}

void RealDataZoomOut(_SRealData *s)
{
    if (CanZoom(s))
        ApplyZoom(s, ZoomOutLevel(s));
}

void RealDataZoomAround(_SRealData *s, bool in, int raw, double fraction)
{
    if (!CanZoom(s))
        return;
    const int level = in ? ZoomInLevel(s) : ZoomOutLevel(s);
    if (RealDataSetZoom(s, level, s->show_pt_cnt) != 0)
        return;
    if (raw >= 0) {
        const int point = raw / BlockLength(s);
        PlaceWindow(s, point - int(std::lround(qBound(0.0, fraction, 1.0) * Window(s))));
    }
    RealDataRebuild(s);
}

int RealDataPointCount(const _SRealData *s)
{
    return CanZoom(s) ? AllPoints(s, nullptr) : 0;
}

int RealDataFirstShown(const _SRealData *s)
{
    if (!CanZoom(s))
        return 0;
    return std::max(0, AllPoints(s, nullptr) - s->m_PanBack - RealDataShowCount(s));
}

int RealDataPanTo(_SRealData *s, int first)
{
    if (!CanZoom(s))
        return -1;
    PlaceWindow(s, first);
    return RealDataRebuild(s);
}

int RealDataPan(_SRealData *s, int points)
{
    if (!CanZoom(s))
        return -1;
    const qint64 to = qint64(RealDataFirstShown(s)) + points;
    return RealDataPanTo(s, int(qBound<qint64>(0, to, INT32_MAX)));
}

int RealDataRawIndexAt(const _SRealData *s, double sec)
{
    if (!Ready(s) || std::isnan(sec))
        return 0;
    const int n = qBound(0, int(s->m_DataCount), int(s->m_MaxDataCount));
    const double *begin = s->m_pDataSec;
    const int i = int(std::lower_bound(begin, begin + n, sec - s->org_pts) - begin);
    return std::min(i, std::max(0, n - 1));
}

void RealDataShowAll(_SRealData *s)
{
    if (!CanZoom(s))
        return;
    // Whole raw samples per point: a fit that is not a multiple of the seconds per sample
    // makes more blocks than the window holds, and the oldest would fall out of it.
    const qint64 blocks = (qint64(s->m_DataCount) + Window(s) - 1) / Window(s);
    const int whole = int(std::min<qint64>(blocks * s->m_DataSecUnit, INT32_MAX));
    ApplyZoom(s, std::max({1, FitSecPerPoint(s), whole}));
}

int RealDataTickStep(const _SRealData *s)
{
    const int sec = s ? s->min_show : 1;
    const int step = sec < 2 ? 60 : sec < 10 ? 300 : sec < 40 ? 1800 : sec < 80 ? 3600
                     : sec < 1800 ? 10800 : 86400;
    return s ? std::max(step, int(s->m_MinTickStep)) : step;
}

void RealDataSetMinTickStep(_SRealData *s, int step)
{
    if (!s || step < 0 || step == s->m_MinTickStep)
        return;
    s->m_MinTickStep = step;
    const int old = s->org_pts;
    s->org_pts = RealDataTimeOffset(s, s->m_StartHour, s->m_StartMinute, s->m_StartSecond);
    const double delta = s->org_pts - old;
    if (delta == 0)
        return;
    // The points keep their moments: only the axis scale under them moves.
    const int shown = Ready(s) ? std::min(s->m_ShowCount, s->m_MaxDataCount) : 0;
    for (int i = 0; i < shown; ++i)
        s->m_pShowSec[i] += delta;
    s->m_ShowStartSec += delta;
    s->m_ShowEndSec += delta;
}

int RealDataTimeOffset(const _SRealData *s, int hour, int minute, int second)
{
    const int sec = second < 0 ? 0 : second;
    switch (RealDataTickStep(s)) {
    case 60:
        return sec;
    case 300:
        return sec + (minute % 5) * 60;
    case 1800:
        return sec + (minute % 30) * 60;
    case 3600:
        return sec + minute * 60;
    case 10800:
        return sec + minute * 60 + (hour % 3) * 3600;
    case 21600: // steps a narrow plot takes where three-hourly labels would overlap
        return sec + minute * 60 + (hour % 6) * 3600;
    case 43200:
        return sec + minute * 60 + (hour % 12) * 3600;
    default:
        return second; // daily ticks keep the start's hour and minute
    }
}

int RealDataSetStartTime(_SRealData *s, int hour, int minute, int second)
{
    if (!s)
        return -1;
    s->m_StartHour = hour;
    s->m_StartMinute = minute;
    s->m_StartSecond = second;
    s->org_pts = RealDataTimeOffset(s, hour, minute, second);
    return 0;
}

bool RealDataLastValue(const _SRealData *s, double *a, double *b)
{
    const int n = s ? std::min(s->m_DataCount, s->m_MaxDataCount) : 0;
    const bool any = Ready(s) && n > 0;
    const double va = any ? s->m_pData0[n - 1] * 10 : -1;
    const double vb = any ? s->m_pData1[n - 1] * 10 : -1;
    if (a)
        *a = va;
    if (b)
        *b = vb;
    return any;
}

int RealDataShowCount(const _SRealData *s)
{
    if (!s || !s->m_pShowSec || !s->m_pShowData0 || !s->m_pShowData1)
        return 0;
    return std::clamp(s->m_ShowCount, 0, std::max(0, s->m_MaxDataCount));
}
