#pragma once
// The air-quality index of particulate matter by two standards: China's HJ 633-2012 and the US
// EPA's 2024 revision, with their averages (the mean of the last 60 minutes, and the NowCast),
// fed sample by sample. No widget: any front end can use it.
#include <QtGlobal>
#include <cstdint>
#include <vector>

enum class AqiStandard { China, UsEpa };
enum class AqiPollutant { PM25, PM10 };

constexpr int AQI_CATEGORIES = 6;

// The sub-index of one concentration (µg/m³) by the standard's table, whole numbers: China rounds
// up, the EPA truncates the concentration (PM2.5 to 0.1, PM10 to 1) and rounds the index. Above
// the table both go on along its last slope. -1 for a negative or non-finite concentration.
int AqiIndex(AqiStandard standard, AqiPollutant pollutant, double concentration);
// 0 (the best) to 5 for an index.
int AqiCategory(int index);
// The category's name, in English (translate with context "Aqi" and the standard's
// disambiguation, AqiStandardName), and its colour as 0xRRGGBB.
const char *AqiCategoryName(AqiStandard standard, int category);
uint32_t AqiCategoryColour(AqiStandard standard, int category);
const char *AqiStandardName(AqiStandard standard);
// The upper concentrations of the PM2.5 categories (µg/m³), for the plot's bands.
std::vector<double> AqiPm25Edges(AqiStandard standard);

// What the window shows: the index (the higher of PM2.5 and PM10) and whether it rests on the
// standard's own average or only on the mean of the last 60 minutes.
struct AqiReading {
    bool m_bAny = false;        // a sample in the last 60 minutes
    bool m_bProvisional = true; // the standard's average is not valid yet
    int m_Index = 0;
    int m_Category = 0;
};

// Per-minute and per-hour sums of the samples it is fed (in time order), so a reading costs
// at most 60 + 12 buckets however long the history.
class AqiAverager
{
public:
    static constexpr int MINUTES = 60;
    static constexpr int HOURS = 13;           // the hour under way and twelve complete ones
    static constexpr int MINUTES_PER_HOUR = 45; // minutes with samples that make an hour count

    // One sample at UTC second t; pm10 < 0 when the sensor measures no PM10.
    void Add(qint64 t, double pm25, double pm10);
    void Clear();

    struct Mean {
        double m_PM25 = 0;
        double m_PM10 = -1; // -1: no PM10
        int m_Minutes = 0;  // minutes with samples
    };
    // The mean of the 60 minutes up to the one of `now` (the minute under way included).
    Mean LastHour(qint64 now) const;
    // The NowCast of the complete clock hours before the one of `now`; false when fewer than two
    // of the last three have data.
    bool NowCast(qint64 now, double *pm25, double *pm10) const;

    AqiReading Read(AqiStandard standard, qint64 now) const;

private:
    struct Bucket {
        qint64 m_Key = -1; // minute or local hour number; -1 empty
        double m_Sum25 = 0;
        double m_Sum10 = 0;
        int m_Count = 0;
        int m_Count10 = 0;
        int m_Minutes = 0;     // hours: minutes with samples
        qint64 m_LastMinute = -1;
    };
    static qint64 LocalHour(qint64 t);
    static void Put(Bucket &b, qint64 key, double pm25, double pm10);
    bool HourMean(qint64 key, AqiPollutant pollutant, double *mean) const;

    Bucket m_Minutes[MINUTES];
    Bucket m_Hours[HOURS];
};
