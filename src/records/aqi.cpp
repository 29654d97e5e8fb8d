#include "aqi.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

// A piece of an index table: concentrations lo..hi give indexes from..to.
struct Segment {
    double lo, hi;
    int from, to;
};

// HJ 633-2012: breakpoints shared by neighbouring segments.
constexpr Segment CHINA_PM25[] = {{0, 35, 0, 50},       {35, 75, 50, 100},   {75, 115, 100, 150},
                                  {115, 150, 150, 200}, {150, 250, 200, 300}, {250, 350, 300, 400},
                                  {350, 500, 400, 500}};
constexpr Segment CHINA_PM10[] = {{0, 50, 0, 50},       {50, 150, 50, 100},  {150, 250, 100, 150},
                                  {250, 350, 150, 200}, {350, 420, 200, 300}, {420, 500, 300, 400},
                                  {500, 600, 400, 500}};
// The 2024 revision: the truncated concentration falls into exactly one segment.
constexpr Segment EPA_PM25[] = {{0.0, 9.0, 0, 50},         {9.1, 35.4, 51, 100},
                                {35.5, 55.4, 101, 150},    {55.5, 125.4, 151, 200},
                                {125.5, 225.4, 201, 300},  {225.5, 325.4, 301, 500}};
constexpr Segment EPA_PM10[] = {{0, 54, 0, 50},       {55, 154, 51, 100},  {155, 254, 101, 150},
                                {255, 354, 151, 200}, {355, 424, 201, 300}, {425, 604, 301, 500}};

// Tolerance for concentrations that binary fractions put just below a table value.
constexpr double EPSILON = 1e-9;

template <size_t N>
double Interpolate(const Segment (&table)[N], double c)
{
    const Segment *s = &table[N - 1]; // above the table: on along the last slope
    for (const Segment &t : table) {
        if (c <= t.hi + EPSILON) {
            s = &t;
            break;
        }
    }
    return double(s->to - s->from) / (s->hi - s->lo) * (c - s->lo) + s->from;
}

qint64 FloorDiv(qint64 a, qint64 b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int Slot(qint64 key, int size)
{
    return int(((key % size) + size) % size);
}

const char *const CHINA_NAMES[AQI_CATEGORIES] = {
    "Excellent",           "Good",             "Lightly polluted",
    "Moderately polluted", "Heavily polluted", "Severely polluted"};
const char *const EPA_NAMES[AQI_CATEGORIES] = {
    "Good",      "Moderate",       "Unhealthy for Sensitive Groups",
    "Unhealthy", "Very Unhealthy", "Hazardous"};
constexpr uint32_t CHINA_COLOURS[AQI_CATEGORIES] = {0x00E400, 0xFFFF00, 0xFF7E00,
                                                    0xFF0000, 0x99004C, 0x7E0023};
constexpr uint32_t EPA_COLOURS[AQI_CATEGORIES] = {0x00E400, 0xFFFF00, 0xFF7E00,
                                                  0xFF0000, 0x8F3F97, 0x7E0023};

} // namespace

int AqiIndex(AqiStandard standard, AqiPollutant pollutant, double c)
{
    if (!std::isfinite(c) || c < 0)
        return -1;
    const bool pm25 = pollutant == AqiPollutant::PM25;
    if (standard == AqiStandard::China) {
        const double index = pm25 ? Interpolate(CHINA_PM25, c) : Interpolate(CHINA_PM10, c);
        return int(std::ceil(index - EPSILON)); // the standard rounds every index up
    }
    const double truncated = pm25 ? std::floor(c * 10 + EPSILON) / 10 : std::floor(c + EPSILON);
    const double index = pm25 ? Interpolate(EPA_PM25, truncated) : Interpolate(EPA_PM10, truncated);
    return int(std::floor(index + 0.5));
}

int AqiCategory(int index)
{
    static constexpr int upper[AQI_CATEGORIES - 1] = {50, 100, 150, 200, 300};
    int category = 0;
    while (category < AQI_CATEGORIES - 1 && index > upper[category])
        ++category;
    return category;
}

const char *AqiCategoryName(AqiStandard standard, int category)
{
    const int c = std::clamp(category, 0, AQI_CATEGORIES - 1);
    return standard == AqiStandard::China ? CHINA_NAMES[c] : EPA_NAMES[c];
}

uint32_t AqiCategoryColour(AqiStandard standard, int category)
{
    const int c = std::clamp(category, 0, AQI_CATEGORIES - 1);
    return standard == AqiStandard::China ? CHINA_COLOURS[c] : EPA_COLOURS[c];
}

const char *AqiStandardName(AqiStandard standard)
{
    return standard == AqiStandard::China ? "China, HJ 633-2012" : "US EPA, 2024";
}

std::vector<double> AqiPm25Edges(AqiStandard standard)
{
    if (standard == AqiStandard::China)
        return {35, 75, 115, 150, 250};
    return {9.0, 35.4, 55.4, 125.4, 225.4};
}

// ---- averages ------------------------------------------------------------------------------

qint64 AqiAverager::LocalHour(qint64 t)
{
    // Clock hours are the local ones (a zone half an hour off UTC has its own).
    const int offset = QDateTime::fromSecsSinceEpoch(t).offsetFromUtc();
    return FloorDiv(t + offset, 3600);
}

void AqiAverager::Put(Bucket &b, qint64 key, double pm25, double pm10)
{
    if (b.m_Key != key)
        b = Bucket{key};
    b.m_Sum25 += pm25;
    ++b.m_Count;
    if (pm10 >= 0) {
        b.m_Sum10 += pm10;
        ++b.m_Count10;
    }
}

void AqiAverager::Add(qint64 t, double pm25, double pm10)
{
    if (!std::isfinite(pm25) || pm25 < 0)
        return;
    if (!std::isfinite(pm10))
        pm10 = -1;
    const qint64 minute = FloorDiv(t, 60);
    Put(m_Minutes[Slot(minute, MINUTES)], minute, pm25, pm10);
    const qint64 hour = LocalHour(t);
    Bucket &h = m_Hours[Slot(hour, HOURS)];
    Put(h, hour, pm25, pm10);
    if (h.m_LastMinute != minute) {
        h.m_LastMinute = minute;
        ++h.m_Minutes;
    }
}

void AqiAverager::Clear()
{
    std::fill(std::begin(m_Minutes), std::end(m_Minutes), Bucket{});
    std::fill(std::begin(m_Hours), std::end(m_Hours), Bucket{});
}

AqiAverager::Mean AqiAverager::LastHour(qint64 now) const
{
    const qint64 last = FloorDiv(now, 60);
    double sum25 = 0, sum10 = 0;
    int count = 0, count10 = 0;
    Mean mean;
    for (qint64 key = last - MINUTES + 1; key <= last; ++key) {
        const Bucket &b = m_Minutes[Slot(key, MINUTES)];
        if (b.m_Key != key || b.m_Count == 0)
            continue;
        sum25 += b.m_Sum25;
        count += b.m_Count;
        sum10 += b.m_Sum10;
        count10 += b.m_Count10;
        ++mean.m_Minutes;
    }
    if (count > 0)
        mean.m_PM25 = sum25 / count;
    if (count10 > 0)
        mean.m_PM10 = sum10 / count10;
    return mean;
}

bool AqiAverager::HourMean(qint64 key, AqiPollutant pollutant, double *mean) const
{
    const Bucket &b = m_Hours[Slot(key, HOURS)];
    const int count = pollutant == AqiPollutant::PM25 ? b.m_Count : b.m_Count10;
    if (b.m_Key != key || b.m_Minutes < MINUTES_PER_HOUR || count == 0)
        return false;
    *mean = (pollutant == AqiPollutant::PM25 ? b.m_Sum25 : b.m_Sum10) / count;
    return true;
}

namespace {

// c[i] is hour i + 1 before the current one; has[i] whether it has data.
bool WeighNowCast(const double (&c)[12], const bool (&has)[12], double *nowCast)
{
    if (int(has[0]) + int(has[1]) + int(has[2]) < 2)
        return false;
    double lo = 0, hi = 0;
    bool first = true;
    for (int i = 0; i < 12; ++i) {
        if (!has[i])
            continue;
        lo = first ? c[i] : std::min(lo, c[i]);
        hi = first ? c[i] : std::max(hi, c[i]);
        first = false;
    }
    const double w = hi > 0 ? std::max(lo / hi, 0.5) : 1.0;
    double num = 0, den = 0, weight = 1;
    for (int i = 0; i < 12; ++i, weight *= w) {
        if (!has[i])
            continue;
        num += weight * c[i];
        den += weight;
    }
    *nowCast = num / den;
    return true;
}

} // namespace

bool AqiAverager::NowCast(qint64 now, double *pm25, double *pm10) const
{
    const qint64 current = LocalHour(now);
    double c25[12], c10[12];
    bool has25[12], has10[12];
    for (int i = 0; i < 12; ++i) {
        has25[i] = HourMean(current - 1 - i, AqiPollutant::PM25, &c25[i]);
        has10[i] = HourMean(current - 1 - i, AqiPollutant::PM10, &c10[i]);
    }
    if (!WeighNowCast(c25, has25, pm25))
        return false;
    if (!WeighNowCast(c10, has10, pm10))
        *pm10 = -1;
    return true;
}

AqiReading AqiAverager::Read(AqiStandard standard, qint64 now) const
{
    AqiReading r;
    const Mean hour = LastHour(now);
    if (hour.m_Minutes == 0)
        return r;
    r.m_bAny = true;
    double pm25 = hour.m_PM25;
    double pm10 = hour.m_PM10;
    if (standard == AqiStandard::China) {
        r.m_bProvisional = hour.m_Minutes < MINUTES_PER_HOUR;
    } else {
        double nc25 = 0, nc10 = -1;
        r.m_bProvisional = !NowCast(now, &nc25, &nc10) || (pm10 >= 0 && nc10 < 0);
        if (!r.m_bProvisional) {
            pm25 = nc25;
            pm10 = nc10;
        }
    }
    r.m_Index = AqiIndex(standard, AqiPollutant::PM25, pm25);
    if (pm10 >= 0)
        r.m_Index = std::max(r.m_Index, AqiIndex(standard, AqiPollutant::PM10, pm10));
    r.m_Category = AqiCategory(r.m_Index);
    return r;
}
