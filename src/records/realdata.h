#pragma once
// Display series of one stream: raw samples in display units and the display points the plot
// draws (block means over min_show seconds, smoothed by a moving average), with the zoom state
// and the tick-grid offset org_pts.
#include "avgring.h"

#include <cstdint>

constexpr int REAL_DATA_CAPACITY = 1209600; // 14 days at one sample per second
constexpr int REAL_DATA_WINDOW = 300;       // default display points per window

struct _SRealData {
    double *m_pShowData0 = nullptr;
    double *m_pShowData1 = nullptr;
    double *m_pShowSec = nullptr;
    int32_t m_ShowCount = 0;
    unsigned char m_bNewShow = 0;
    double m_ShowStartSec = 0;
    double m_ShowEndSec = 0;
    int32_t m_MaxDataCount = 0;
    int32_t m_DataCount = 0;
    int32_t min_show = 1;
    int32_t show_pt_cnt = REAL_DATA_WINDOW;
    int32_t m_DataSecUnit = 1;
    double *m_pData0 = nullptr;
    double *m_pData1 = nullptr;
    double *m_pDataSec = nullptr;
    double m_BlockSum0 = 0;
    double m_BlockSum1 = 0;
    int32_t m_BlockLen = 1;
    int32_t m_BlockFill = 0;
    _SAvgRing m_AvgRing;
    int32_t m_AvgLen = 1;
    int32_t org_pts = 0;
    int32_t m_StartHour = 0;
    int32_t m_StartMinute = 0;
    int32_t m_StartSecond = 0;
    // Entries written so far: everything past them is still zero, so clearing and zooming
    // zero only this much and untouched pages of the arrays stay unmapped.
    int32_t m_RawUsed = 0;
    int32_t m_ShowUsed = 0;
    // Seconds of a pause without samples before the next one (added to its time once).
    double m_SkipSec = 0;
    // A stream that takes no more samples (a file, a history): its last, partial block is drawn
    // as one point too, so its newest samples are on the plot.
    unsigned char m_bShowPartial = 0;
    // Display points between the window's last point and the newest one: 0 follows the newest
    // sample; otherwise the window stays where the user moved it while samples come in.
    int32_t m_PanBack = 0;
    // A tick step the plot needs so that its labels fit (0: the step of min_show alone).
    int32_t m_MinTickStep = 0;
};

// Allocates and initialises a series; null when any allocation fails.
_SRealData *RealDataCreate();
// Initial state, arrays (re)allocated zeroed; returns org_pts, or -1 when an allocation failed
// (the series is then empty with capacity 0 and refuses every sample).
int RealDataInit(_SRealData *s);
void RealDataDestroy(_SRealData **ps);
// Empties the raw samples and zeroes the display values; display count and zoom stay.
bool RealDataClear(_SRealData *s);
// Appends one raw sample; 0, or -1 when full or secPerSample is not positive.
int RealDataAdd(_SRealData *s, double a, double b, int secPerSample, int offset);
// Appends n samples exactly as n calls of RealDataAdd would, without shifting the display
// window once per point. Returns the number stored, or -1 when secPerSample is not positive.
int RealDataAddMany(_SRealData *s, const double *a, const double *b, int n, int secPerSample,
                    int offset);
// The next sample comes `seconds` later than it would: a pause with no samples, which the
// series keeps as a jump in time rather than as invented values.
void RealDataSkip(_SRealData *s, int seconds);
// secPerPoint -1 picks the seconds per point that fit all samples into width points.
// Returns 0, or -1 for a non-positive unit, seconds per point or width, or a width above capacity.
int RealDataSetZoom(_SRealData *s, int secPerPoint, int width);
// Recomputes the display points of the visible window; returns m_ShowCount, or -1 when refused.
int RealDataRebuild(_SRealData *s);
void RealDataZoomIn(_SRealData *s);
void RealDataZoomOut(_SRealData *s);
void RealDataShowAll(_SRealData *s);
// The tick step: that of min_show, or m_MinTickStep when it is larger.
int RealDataTickStep(const _SRealData *s);
// Asks for at least `step` seconds between ticks (0: none); org_pts and the shown points follow.
void RealDataSetMinTickStep(_SRealData *s, int step);

// Panning: points are counted over the whole series, as a rebuild would make them.
int RealDataPointCount(const _SRealData *s);
// The index of the first shown point among all of them.
int RealDataFirstShown(const _SRealData *s);
// Shows the window starting at point `first` (kept inside the series); a window that reaches
// the newest point follows it again. Returns m_ShowCount, or -1 when refused.
int RealDataPanTo(_SRealData *s, int first);
int RealDataPan(_SRealData *s, int points);
// The raw sample at axis second `sec`: the first at or after it (the last past the end).
int RealDataRawIndexAt(const _SRealData *s, double sec);
// The zoom commands' next level, keeping raw sample `raw` at `fraction` (0 left, 1 right) of
// the window; with raw -1 a following window keeps following.
void RealDataZoomAround(_SRealData *s, bool in, int raw, double fraction);
int RealDataTimeOffset(const _SRealData *s, int hour, int minute, int second);
int RealDataSetStartTime(_SRealData *s, int hour, int minute, int second);
// Ten times the newest raw value of each series; false and -1 for both when there is none.
bool RealDataLastValue(const _SRealData *s, double *a, double *b);
// Display points that can be read: m_ShowCount bounded by the arrays (0 without them).
int RealDataShowCount(const _SRealData *s);
