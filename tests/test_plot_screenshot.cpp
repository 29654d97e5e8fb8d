// The plot in a real window (run under Xvfb): curves over the bands, clock labels. Fonts differ
// between machines, so colours and regions are checked, never pixels one by one.
#include "gbackground.h"
#include "gqwtplot.h"
#include "grecorddataset.h"
#include "recordclock.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QtTest>
#include <cmath>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_scale_div.h>
#include <qwt_scale_widget.h>

#include "screenshot.h"

namespace {


int Count(const QImage &image, const QRect &area, QRgb colour)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return n;
}

int Dark(const QImage &image, const QRect &area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
    return n;
}

} // namespace

class TestPlotScreenshot : public QObject
{
    Q_OBJECT

private slots:
    void curvesOverBands();
};

void TestPlotScreenshot::curvesOverBands()
{
    QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"), "run me under xvfb-run");
    const QDateTime start(QDate(2024, 3, 5), QTime(10, 7, 23));
    RecordClockSet([start] { return start; });
    GRecordDataSet sets[2];
    for (GRecordDataSet &set : sets) {
        QVERIFY(set.Create());
        set.StartLive();
        RealDataRebuild(set.m_pLive->m_pRealData);
    }
    // Six and a half minutes of samples: the window has scrolled, the labels name round minutes.
    for (int i = 0; i < 390; ++i) {
        const double pm25 = 90 + 80 * std::sin(i / 45.0);
        _SRealData *s = sets[0].m_pLive->m_pRealData;
        RealDataAdd(s, pm25, pm25 * 1.5 + 20, 1, s->org_pts);
        s = sets[1].m_pLive->m_pRealData;
        RealDataAdd(s, 1.6 + 1.5 * std::sin(i / 30.0), 0, 1, s->org_pts);
    }

    QwtPlot widget;
    widget.resize(900, 520);
    GQwtPlot plot;
    plot.SetQwtPlot(&widget);
    plot.InitPlot(start, sets[0].m_pLive->m_pRealData->org_pts, 2);
    plot.UpdatePlot(sets, 2, 0, 0, true);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));

    QImage image = SaveScreenshot(widget, QStringLiteral("plot-pm25-two-curves"));
    QRect canvas = widget.canvas()->geometry();
    QCOMPARE(widget.axisScaleDiv(QwtPlot::yLeft).upperBound(), 500.0);
    for (QRgb band : {qRgb(0, 228, 0), qRgb(255, 255, 0), qRgb(255, 126, 0), qRgb(255, 0, 0),
                      qRgb(153, 0, 76), qRgb(126, 0, 35)})
        QVERIFY2(Count(image, canvas, band) > 2000, qPrintable(QString::number(band, 16)));
    QVERIFY(Count(image, canvas, qRgb(0, 0, 255)) > 300); // PM2.5
    QVERIFY(Count(image, canvas, qRgb(0, 128, 0)) > 300); // PM10
    const QRect xAxis = widget.axisWidget(QwtPlot::xBottom)->geometry();
    QVERIFY(Dark(image, xAxis) > 200); // labels and title

    // Channel 1 carrying TVOC, one curve, set up again on the same widget.
    plot.m_bTVOC = 1;
    plot.InitPlot(start, sets[1].m_pLive->m_pRealData->org_pts, 1);
    plot.UpdatePlot(sets, 2, 1, 0, true);
    image = SaveScreenshot(widget, QStringLiteral("plot-tvoc"));
    canvas = widget.canvas()->geometry();
    QCOMPARE(widget.axisScaleDiv(QwtPlot::yLeft).upperBound(), 6.55);
    for (QRgb band : {qRgb(0, 228, 0), qRgb(255, 255, 0), qRgb(255, 126, 0), qRgb(255, 0, 0)})
        QVERIFY2(Count(image, canvas, band) > 2000, qPrintable(QString::number(band, 16)));
    QVERIFY(Count(image, canvas, qRgb(0, 0, 255)) > 300);
    QCOMPARE(Count(image, canvas, qRgb(0, 128, 0)), 0);

    plot.ClearCurves();
    RecordClockSet({});
}

QTEST_MAIN(TestPlotScreenshot)
#include "test_plot_screenshot.moc"
