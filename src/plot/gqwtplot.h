#pragma once
// Drives the window's one QwtPlot: curves, background bands, time axis, picker.
#include "aqi.h"

#include <QDateTime>
#include <QList>

class GBackGround;
class GQwtPlotPicker;
class GRecordDataPro;
class GRecordDataSet;
class QwtPlot;
class QwtPlotCurve;
struct _SRealData;

class GQwtPlot
{
public:
    GQwtPlot() = default;
    GQwtPlot(const GQwtPlot &) = delete;
    GQwtPlot &operator=(const GQwtPlot &) = delete;

    // The form's plot widget, not owned. Returns 1.
    int SetQwtPlot(QwtPlot *plot);
    // One-time set-up: canvas, bands, picker, axes, curves. A repeated call starts over from a
    // clean plot. Returns 0, or -1 without a widget.
    int InitPlot(const QDateTime &startTime, int orgPts, int curveCount);
    // Redraws channel `channel` of the setCount sets when its series completed a display point
    // (or always with resetTimeAxis). A channel without a set, stream or series is ignored.
    void UpdatePlot(const GRecordDataSet *sets, int setCount, int channel, int languageFlag,
                    bool resetTimeAxis);
    // Returns 1, or 0 without a widget (e.g. a language switch before the set-up).
    int ReSetAxisTitle(int languageFlag, int channel);
    void ReSetAxisXY(const _SRealData *series, double xStep, int channel);
    // mode 0 PM2.5, 1 formaldehyde, 2 TVOC bands.
    void ReSetBackGround(int mode);
    int CreateCurves();
    // 0, or -1 when there is no curve i.
    int SetCurveStyle(unsigned int i);
    // Deletes curves, background and picker; returns 1. Must run while the widget still exists.
    int ClearCurves();
    // The legend: the curves' titles, and for PM2.5 the index categories of the standard shown
    // with their colours.
    void ReSetLegend(int channel);
    // Redraws the shown window after it moved (no new point needed), the legend untouched.
    void Redraw(const GRecordDataSet *sets, int setCount, int channel, int languageFlag);
    // After a resize: a new label step when the labels no longer fit, or fit at a smaller one.
    void UpdateTimeAxis(const GRecordDataSet *sets, int setCount, int channel, int languageFlag);

    QList<QwtPlotCurve *> m_Curves;
    GQwtPlotPicker *m_pPicker = nullptr;
    QDateTime m_BaseTime;
    int m_bTVOC = 0;
    int m_AxisMaxMinor = 5;
    GBackGround *m_pBackGround = nullptr;
    QwtPlot *m_pQwtPlot = nullptr;
    int m_CurveCount = 0;
    AqiStandard m_AqiStandard = AqiStandard::China; // the PM2.5 bands and their legend
    QList<QwtPlotCurve *> m_BandKeys;                // legend entries only: no samples
    bool m_bFitValues = false; // the y axis fits the shown values instead of the fixed ranges
    int m_TickStep = 0;        // the label step shown
    QDateTime m_TickBase;      // and the time base of its labels
    QString m_ShownDates;      // the date, or dates, of the points shown

private:
    void Draw(const GRecordDataSet &set, int channel, int languageFlag, bool resetTimeAxis);
    int ChooseTickStep(const GRecordDataPro &stream);
    bool LabelsFit(const GRecordDataPro &stream, int step) const;
    static QDateTime TimeBase(const GRecordDataPro &stream);
    void SetTimeScale(const GRecordDataPro &stream, int step, bool always);
    void ShowDates(const GRecordDataPro &stream);
};
