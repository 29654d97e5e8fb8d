#pragma once
// Local wall time of UTC seconds without a QDateTime per row: the calendar arithmetic is done
// here and the zone is asked for its offset once per quarter hour.
#include <QDateTime>
#include <climits>
#include <cstdint>

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
inline int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

inline void CivilFromDays(int64_t z, int64_t *y, int *m, int *d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = int(doy - (153 * mp + 2) / 5 + 1);
    *m = int(mp < 10 ? mp + 3 : mp - 9);
    *y = yoe + era * 400 + (*m <= 2);
}

inline int64_t FloorDiv(int64_t a, int64_t b)
{
    return a >= 0 ? a / b : -1 - (-1 - a) / b;
}

// The local offset from UTC at t, asked once per quarter hour of a run of rows (zones change
// their offset on quarter hours at the finest).
class LocalOffset
{
public:
    int At(int64_t t)
    {
        const int64_t bucket = FloorDiv(t, BUCKET_SEC);
        if (bucket != m_Bucket) {
            m_Bucket = bucket;
            m_Offset = QDateTime::fromSecsSinceEpoch(t).offsetFromUtc();
        }
        return m_Offset;
    }

private:
    static constexpr int BUCKET_SEC = 900;
    int64_t m_Bucket = INT64_MIN;
    int m_Offset = 0;
};

// A local wall time split into its fields.
struct CivilTime {
    int64_t m_Day = 0; // days since 1970-01-01, local
    int64_t m_Year = 1970;
    int m_Month = 1;
    int m_MonthDay = 1;
    int m_Hour = 0;
    int m_Minute = 0;
    int m_Second = 0;
};

inline CivilTime CivilAt(int64_t local)
{
    CivilTime c;
    c.m_Day = FloorDiv(local, 86400);
    const int64_t secs = local - c.m_Day * 86400;
    CivilFromDays(c.m_Day, &c.m_Year, &c.m_Month, &c.m_MonthDay);
    c.m_Hour = int(secs / 3600);
    c.m_Minute = int(secs / 60 % 60);
    c.m_Second = int(secs % 60);
    return c;
}
