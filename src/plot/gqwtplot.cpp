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
    const _SRealData *series = stream->m_pRealData;
    if (!series->m_bNewShow && !resetTimeAxis)
        return; // most ticks: the last sample did not complete a display point

    if (set.m_bCollect) {
        const QDateTime now = RecordClockNow();
        if (now.date() != m_BaseTime.date())
            m_BaseTime = now;
    }
    ReSetAxisTitle(languageFlag, channel);
    if (resetTimeAxis)
        ReSetLegend(channel);
    const int step = RealDataTickStep(series);
    ReSetAxisXY(series, step, channel);

    const int n = RealDataShowCount(series);
    if (!m_Curves.isEmpty())
        SetCurveSamples(m_Curves[0], series->m_pShowSec, series->m_pShowData0, n);
    if (m_CurveCount == 2 && m_Curves.size() > 1)
        SetCurveSamples(m_Curves[1], series->m_pShowSec, series->m_pShowData1, n);

    if (resetTimeAxis) {
        const QDateTime base = stream->m_StartTime.addSecs(-series->org_pts);
        const int labelMode = step == DAILY_TICK_SECS ? 2 : 0;
        m_pQwtPlot->setAxisScaleDraw(QwtPlot::xBottom, new GTimeScaleDraw(base, labelMode));
        if (m_pPicker)
            m_pPicker->SetStartTime(base);
    }
    m_pQwtPlot->replot();
}

int GQwtPlot::ReSetAxisTitle(int languageFlag, int channel)
{
    if (!m_pQwtPlot)
        return 0;
    const QString date = m_BaseTime.toString(DATE_FORMAT);
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

    double top;
    int maxMinor;
    if (kind == 0) {
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
    m_pBackGround = new GBackGround(m_AxisMaxMinor, mode, m_bTVOC);
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
