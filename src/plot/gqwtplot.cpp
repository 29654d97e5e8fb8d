#include "gqwtplot.h"

#include "gbackground.h"
#include "gqwtplotpicker.h"
#include "grecorddataset.h"
#include "gtimescaledraw.h"
#include "realdata.h"
#include "recordclock.h"

#include <QBrush>
#include <QCoreApplication>
#include <QObject>
#include <QPen>
#include <QtDebug>
#include <algorithm>
#include <qwt_legend.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_engine.h>
#include <qwt_scale_widget.h>
#include <numeric>
#include <cmath>

namespace {

constexpr int INITIAL_WINDOW_SECS = 300;
constexpr int INITIAL_TICK_SECS = 60;
constexpr int DAILY_TICK_SECS = 86400;
const char *const DATE_FORMAT = "yyyy/MM/dd";

// Display points that may be read: the count bounded by the arrays' capacity, none when an
// array is missing (a series whose allocation failed).

void SetCurveSamples(QwtPlotCurve *curve, const double *x, const double *y, int n)
{
    if (n > 0)
        curve->setSamples(x, y, n); // copies: the series may go on appending
    else
        curve->setSamples(QVector<QPointF>());
}

} // namespace

int GQwtPlot::SetQwtPlot(QwtPlot *plot)
{
    m_pQwtPlot = plot;
    return 1;
}

int GQwtPlot::InitPlot(const QDateTime &startTime, int orgPts, int curveCount)
{
    if (!m_pQwtPlot)
        return -1;
    // The picker lives on the canvas replaced below: a second set-up must drop it (and the other
    // items) first, or the canvas would take the picker with it and leave m_pPicker dangling.
    ClearCurves();
    m_pQwtPlot->setAxisMaxMinor(QwtPlot::yLeft, 5); // the first bands are those of 0 ... 500
    m_CurveCount = curveCount;
    m_pQwtPlot->setCanvasBackground(QBrush(Qt::white, Qt::SolidPattern));
    ReSetBackGround(0);

    auto *canvas = new QwtPlotCanvas();
    canvas->setBorderRadius(10);
    m_pQwtPlot->setCanvas(canvas);
    m_pQwtPlot->setMinimumWidth(100);

    const QDateTime timeBase = startTime.addSecs(-orgPts);
    m_pPicker = new GQwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::VLineRubberBand,
                                   QwtPicker::ActiveOnly, m_pQwtPlot->canvas());
    m_pPicker->SetStartTime(timeBase);
    m_pPicker->setStateMachine(new QwtPickerDragPointMachine());

    m_pQwtPlot->setAxisTitle(QwtPlot::yLeft, QObject::tr("PM2.5  ug/m3") + QLatin1Char('\n'));
    m_pQwtPlot->setAxisScale(QwtPlot::yLeft, 0, 500, 0);
    m_pQwtPlot->setAxisTitle(QwtPlot::xBottom, QLatin1Char('\n') + QObject::tr("Time") +
                                                   QLatin1Char('(') +
                                                   startTime.toString(DATE_FORMAT) +
                                                   QLatin1Char(')'));
    m_pQwtPlot->setAxisScale(QwtPlot::xBottom, orgPts, double(orgPts) + INITIAL_WINDOW_SECS,
                             INITIAL_TICK_SECS);
    m_pQwtPlot->setAxisScaleDraw(QwtPlot::xBottom, new GTimeScaleDraw(timeBase, 0));
    m_pQwtPlot->setAxisLabelRotation(QwtPlot::xBottom, 0);
    m_pQwtPlot->setAxisLabelAlignment(QwtPlot::xBottom, Qt::AlignHCenter | Qt::AlignBottom);
    m_pQwtPlot->setAutoReplot(false);
    if (!m_pQwtPlot->legend())
        m_pQwtPlot->insertLegend(new QwtLegend(), QwtPlot::RightLegend);
    m_pQwtPlot->replot();

    CreateCurves();
    ReSetLegend(0);
    return 0;
}

void GQwtPlot::UpdatePlot(const GRecordDataSet *sets, int setCount, int channel,
                          int languageFlag, bool resetTimeAxis)
{
    if (!m_pQwtPlot || !sets || channel < 0 || channel >= setCount)
        return;
    const GRecordDataSet &set = sets[channel];
    const GRecordDataPro *stream = set.m_pCurrent;
    if (!stream || !stream->m_pRealData)
        return;
    if (!stream->m_pRealData->m_bNewShow && !resetTimeAxis)
        return; // most ticks: the last sample did not complete a display point
    Draw(set, channel, languageFlag, resetTimeAxis);
}

void GQwtPlot::Redraw(const GRecordDataSet *sets, int setCount, int channel, int languageFlag)
{
    if (m_pQwtPlot && sets && channel >= 0 && channel < setCount && sets[channel].m_pCurrent
        && sets[channel].m_pCurrent->m_pRealData)
        Draw(sets[channel], channel, languageFlag, false);
}

void GQwtPlot::Draw(const GRecordDataSet &set, int channel, int languageFlag, bool resetTimeAxis)
{
    const GRecordDataPro *stream = set.m_pCurrent;
    const _SRealData *series = stream->m_pRealData;
    if (set.m_bCollect) {
        const QDateTime now = RecordClockNow();
        if (now.date() != m_BaseTime.date())
            m_BaseTime = now;
    }
    const int step = ChooseTickStep(*stream);
    ShowDates(*stream);
    ReSetAxisTitle(languageFlag, channel);
    if (resetTimeAxis)
        ReSetLegend(channel);
    ReSetAxisXY(series, step, channel);

    const int n = RealDataShowCount(series);
    if (!m_Curves.isEmpty())
        SetCurveSamples(m_Curves[0], series->m_pShowSec, series->m_pShowData0, n);
    if (m_CurveCount == 2 && m_Curves.size() > 1)
        SetCurveSamples(m_Curves[1], series->m_pShowSec, series->m_pShowData1, n);
    SetTimeScale(*stream, step, resetTimeAxis);
    m_pQwtPlot->replot();
}

void GQwtPlot::UpdateTimeAxis(const GRecordDataSet *sets, int setCount, int channel,
                              int languageFlag)
{
    if (!m_pQwtPlot || !sets || channel < 0 || channel >= setCount)
        return;
    const GRecordDataPro *stream = sets[channel].m_pCurrent;
    if (!stream || !stream->m_pRealData)
        return;
    if (ChooseTickStep(*stream) != m_TickStep) // the labels no longer fit, or fit closer
        Draw(sets[channel], channel, languageFlag, false);
}

// The label step: the zoom level's own, or the next larger one where its labels would overlap
// at the canvas's width. The series' tick grid (org_pts) follows the step chosen.
int GQwtPlot::ChooseTickStep(const GRecordDataPro &stream)
{
    _SRealData *series = stream.m_pRealData;
    RealDataSetMinTickStep(series, 0);
    const int own = RealDataTickStep(series);
    static const int ladder[] = {60,    300,   1800,      3600,      10800,      21600,
                                 43200, 86400, 2 * 86400, 7 * 86400, 28 * 86400};
    int chosen = own;
    for (const int step : ladder) {
        if (step < own)
            continue;
        chosen = step;
        RealDataSetMinTickStep(series, step == own ? 0 : step);
        if (LabelsFit(stream, step))
            break;
    }
    return chosen;
}

bool GQwtPlot::LabelsFit(const GRecordDataPro &stream, int step) const
{
    const _SRealData *series = stream.m_pRealData;
    const double span = series->m_ShowEndSec - series->m_ShowStartSec;
    const int width = m_pQwtPlot->canvas() ? m_pQwtPlot->canvas()->width() : 0;
    if (!(span > 0) || width <= 0)
        return true;
    const double pixelsPerTick = width * step / span;
    constexpr double GAP = 8; // pixels between neighbouring labels
    if (pixelsPerTick < 2 * GAP)
        return false;
    const QFont font = m_pQwtPlot->axisWidget(QwtPlot::xBottom)->font();
    GTimeScaleDraw draw(TimeBase(stream), step >= DAILY_TICK_SECS ? 2 : 0);
    draw.m_DayStep = step;
    double previous = -1;
    for (double v = std::ceil(series->m_ShowStartSec / step) * step; v <= series->m_ShowEndSec;
         v += step) {
        const double w = draw.label(v).textSize(font).width();
        if (previous >= 0 && (previous + w) / 2 + GAP > pixelsPerTick)
            return false;
        previous = w;
    }
    return true;
}

QDateTime GQwtPlot::TimeBase(const GRecordDataPro &stream)
{
    return stream.m_StartTime.addSecs(-stream.m_pRealData->org_pts);
}

// The axis labels, and the picker's time base; replaced when the step or the base moved.
void GQwtPlot::SetTimeScale(const GRecordDataPro &stream, int step, bool always)
{
    const QDateTime base = TimeBase(stream);
    if (!always && step == m_TickStep && base == m_TickBase)
        return;
    m_TickStep = step;
    m_TickBase = base;
    auto *draw = new GTimeScaleDraw(base, step >= DAILY_TICK_SECS ? 2 : 0);
    draw->m_DayStep = step;
    m_pQwtPlot->setAxisScaleDraw(QwtPlot::xBottom, draw);
    if (m_pPicker)
        m_pPicker->SetStartTime(base);
}

// The dates of the first and the last point shown, for the title and the picker.
void GQwtPlot::ShowDates(const GRecordDataPro &stream)
{
    const _SRealData *series = stream.m_pRealData;
    const int n = RealDataShowCount(series);
    m_ShownDates.clear();
    if (m_pPicker)
        m_pPicker->m_bDated = false;
    if (n <= 0)
        return;
    const QDateTime base = TimeBase(stream);
    const QDateTime first = GTimeAt(base, series->m_pShowSec[0]);
    const QDateTime last = GTimeAt(base, series->m_pShowSec[n - 1]);
    if (!first.isValid() || !last.isValid())
        return;
    m_ShownDates = first.toString(DATE_FORMAT);
    if (first.date() != last.date())
        m_ShownDates += QStringLiteral(" - ") + last.toString(DATE_FORMAT);
    if (m_pPicker)
        m_pPicker->m_bDated = first.date() != last.date();
}

int GQwtPlot::ReSetAxisTitle(int languageFlag, int channel)
{
    if (!m_pQwtPlot)
        return 0;
    const QString date = m_ShownDates.isEmpty() ? m_BaseTime.toString(DATE_FORMAT) : m_ShownDates;
    QString x;
    QString y;
    const char *second = m_bTVOC ? "TVOC mg/m3" : "Formaldehyde mg/m3";
    if (languageFlag) {
        x = QLatin1Char('\n') + QObject::tr("time") + QLatin1Char('(') + date + QLatin1Char(')');
        y = (channel == 0 ? QObject::tr("PM2.5 ug/m3") : QObject::tr(second)) + QLatin1Char('\n');
    } else {
        x = QStringLiteral("\nTime(") + date + QLatin1Char(')');
        y = (channel == 0 ? QStringLiteral("PM2.5 ug/m3") : QString::fromLatin1(second))
            + QLatin1Char('\n');
    }
    m_pQwtPlot->setAxisTitle(QwtPlot::xBottom, x);
    m_pQwtPlot->setAxisTitle(QwtPlot::yLeft, y);
    return 1;
}

void GQwtPlot::ReSetAxisXY(const _SRealData *series, double xStep, int channel)
{
    if (!m_pQwtPlot || !series)
        return;
    m_pQwtPlot->setAxisScale(QwtPlot::xBottom, series->m_ShowStartSec, series->m_ShowEndSec,
                             xStep);
    qDebug("GQwtPlot. real=%08llx\n", qulonglong(quintptr(series)));
    qDebug("m_ShowStartSec=%f--> %f\n", series->m_ShowStartSec, series->m_ShowEndSec);
    qDebug("show_pt_cnt=%d--> min_show=%d\n", series->show_pt_cnt, series->min_show);
    qDebug("org_pts=%d\n", series->org_pts);

    // Kind 0 PM2.5 (ranged by the PM10 values), 1 formaldehyde, 2 TVOC.
    int kind = channel == 0 ? 0 : 1;
    const int n = RealDataShowCount(series);
    if (kind == 1 && m_bTVOC == 1 && n > 0)
        kind = 2;
    const double *values = kind == 0 ? series->m_pShowData1 : series->m_pShowData0;
    double yMax = 0; // negative values never count; NaN fails the comparison
    for (int i = 0; i < n; ++i)
        yMax = std::max(yMax, values[i]);
    if (kind == 1)
        qDebug("mShowDataYMax=%f", yMax);

    if (m_bFitValues && kind == 0 && m_CurveCount == 2) // both curves are drawn
        for (int i = 0; i < n; ++i)
            yMax = std::max(yMax, series->m_pShowData0[i]);
    else if (m_bFitValues && kind == 0) // only PM2.5 is drawn
        yMax = std::accumulate(series->m_pShowData0, series->m_pShowData0 + n, 0.0,
                               [](double m, double v) { return std::max(m, v); });

    double top;
    int maxMinor;
    if (m_bFitValues && yMax > 0) {
        double step = 0;
        double lo = 0;
        top = yMax * 1.05;
        QwtLinearScaleEngine().autoScale(8, lo, top, step);
        maxMinor = 5;
    } else if (kind == 0) {
        top = yMax <= 500 ? 500 : yMax <= 800 ? 800 : 1000;
        maxMinor = yMax <= 500 ? 5 : yMax <= 800 ? 8 : 10;
    } else if (kind == 1) {
        top = yMax < 1 ? 1 : 3;
        maxMinor = yMax < 1 ? 1 : 2;
    } else {
        top = yMax < 2.5 ? 2.5 : 6.55;
        maxMinor = yMax < 2.5 ? 3 : 4;
    }
    m_pQwtPlot->setAxisScale(QwtPlot::yLeft, 0, top, 0);
    m_pQwtPlot->setAxisMaxMinor(QwtPlot::yLeft, maxMinor);
    ReSetBackGround(kind);
}

void GQwtPlot::ReSetBackGround(int mode)
{
    if (!m_pQwtPlot)
        return;
    // The minor-tick count was set with the y range: it tells the bands which range is shown.
    m_AxisMaxMinor = m_pQwtPlot->axisMaxMinor(QwtPlot::yLeft);
    delete m_pBackGround;
    // A fitted range is none of the fixed ones: every band, drawn where it falls.
    constexpr int ALL_BANDS = 10;
    m_pBackGround = new GBackGround(m_bFitValues ? ALL_BANDS : m_AxisMaxMinor, mode, m_bTVOC);
    m_pBackGround->m_bUsEpa = m_AqiStandard == AqiStandard::UsEpa;
    m_pBackGround->attach(m_pQwtPlot);
}

int GQwtPlot::CreateCurves()
{
    if (!m_Curves.isEmpty())
        ClearCurves();
    const int count = std::max(1, m_CurveCount);
    while (m_Curves.size() < count)
        m_Curves.append(new QwtPlotCurve(QString()));
    for (int i = 0; i < count; ++i)
        SetCurveStyle(unsigned(i));
    return 0;
}

int GQwtPlot::SetCurveStyle(unsigned int i)
{
    if (i >= unsigned(m_Curves.size()))
        return -1;
    static const Qt::GlobalColor colours[] = {Qt::blue, Qt::darkGreen, Qt::cyan, Qt::darkYellow,
                                              Qt::magenta};
    const Qt::GlobalColor colour = i < std::size(colours) ? colours[i] : Qt::white;
    QwtPlotCurve *curve = m_Curves[int(i)];
    curve->setPen(QColor(colour), 1.8, Qt::SolidLine);
    curve->setStyle(QwtPlotCurve::Lines);
    curve->attach(m_pQwtPlot);
    return 0;
}

void GQwtPlot::ReSetLegend(int channel)
{
    if (!m_pQwtPlot)
        return;
    static const char *const titles[2][2] = {{"PM2.5", "PM10"}, {"Formaldehyde", "TVOC"}};
    for (int i = 0; i < m_Curves.size(); ++i) {
        const char *title = channel == 0 ? titles[0][std::min(i, 1)] : titles[1][m_bTVOC ? 1 : 0];
        m_Curves[i]->setTitle(QCoreApplication::translate("PM2_5", title));
        m_Curves[i]->setLegendAttribute(QwtPlotCurve::LegendShowLine, true);
        m_Curves[i]->setLegendIconSize(QSize(16, 12));
    }
    qDeleteAll(m_BandKeys);
    m_BandKeys.clear();
    if (channel != 0)
        return; // the second channel's bands have no names
    const char *standard = AqiStandardName(m_AqiStandard);
    for (int c = 0; c < AQI_CATEGORIES; ++c) {
        auto *key = new QwtPlotCurve(QCoreApplication::translate(
            "Aqi", AqiCategoryName(m_AqiStandard, c), standard));
        key->setStyle(QwtPlotCurve::NoCurve);
        key->setPen(QPen(Qt::darkGray));
        key->setBrush(QColor::fromRgb(AqiCategoryColour(m_AqiStandard, c)));
        key->setLegendAttribute(QwtPlotCurve::LegendShowBrush, true);
        key->setLegendIconSize(QSize(16, 12));
        key->attach(m_pQwtPlot);
        m_BandKeys.append(key);
    }
}

int GQwtPlot::ClearCurves()
{
    qDeleteAll(m_BandKeys);
    m_BandKeys.clear();
    qDeleteAll(m_Curves);
    m_Curves.clear();
    delete m_pBackGround;
    m_pBackGround = nullptr;
    delete m_pPicker;
    m_pPicker = nullptr;
    return 1;
}
