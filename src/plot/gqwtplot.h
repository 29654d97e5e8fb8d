#pragma once
// Drives the window's one QwtPlot: curves, background bands, time axis, picker.
#include <QDateTime>
#include <QList>

class GBackGround;
class GQwtPlotPicker;
class QwtPlot;
class QwtPlotCurve;

class GQwtPlot
{
public:
    GQwtPlot() = default;
    GQwtPlot(const GQwtPlot &) = delete;
    GQwtPlot &operator=(const GQwtPlot &) = delete;

    int ClearCurves();

    QList<QwtPlotCurve *> m_Curves;
    GQwtPlotPicker *m_pPicker = nullptr;
    QDateTime m_BaseTime;
    int m_bTVOC = 0;
    int m_AxisMaxMinor = 5;
    GBackGround *m_pBackGround = nullptr;
    QwtPlot *m_pQwtPlot = nullptr;
    int m_CurveCount = 0;
};
