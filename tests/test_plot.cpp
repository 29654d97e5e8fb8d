// Plot controller, time-axis labels, bands and picker (offscreen, several time zones).
#include "gbackground.h"
#include "gqwtplot.h"
#include "gqwtplotpicker.h"
#include "grecorddataset.h"
#include "gtimescaledraw.h"
#include "messagecapture.h"
#include "plotlabels.h"
#include "recordclock.h"

#include <QPainter>
#include <QTranslator>
#include <QtTest>
#include <cmath>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_map.h>
#include <vector>

using Values = std::vector<double>;
Q_DECLARE_METATYPE(Values)

namespace {

QDateTime Local(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

class TestClock
{
public:
    explicit TestClock(const QDateTime &t) : m_Now(t) { RecordClockSet([this] { return m_Now; }); }
    ~TestClock() { RecordClockSet({}); }
    QDateTime m_Now;
};

// Points g_pRecordSets at a set for the labels, and back at nothing afterwards.
struct GlobalSets {
    explicit GlobalSets(GRecordDataSet *sets) { g_pRecordSets = sets; }
    ~GlobalSets() { g_pRecordSets = nullptr; }
};

// A set-up plot over `channels` record sets whose current stream is the live one.
struct Rig {
    explicit Rig(int curves = 2, int channels = 2)
        : sets(new GRecordDataSet[size_t(channels)]), count(channels)
    {
        for (int i = 0; i < count; ++i) {
            QVERIFY(sets[i].Create());
            sets[i].SetMode(0, 0);
        }
        plot.SetQwtPlot(&widget);
        plot.InitPlot(Local(2024, 3, 5, 10, 7, 23), 23, curves);
        Resize(985);
    }
    // The labels' step depends on the canvas's width.
    void Resize(int width)
    {
        widget.resize(width, 560);
        widget.updateLayout();
    }
    ~Rig() { plot.ClearCurves(); }
    _SRealData *Series(int channel) { return sets[channel].m_pLive->m_pRealData; }
    // Display points written as the records leave them after a completed block.
    void Show(int channel, const Values &v0, const Values &v1)
    {
        _SRealData *s = Series(channel);
        s->m_ShowCount = int(v0.size());
        for (size_t i = 0; i < v0.size(); ++i) {
            s->m_pShowSec[i] = double(i);
            s->m_pShowData0[i] = v0[i];
            s->m_pShowData1[i] = i < v1.size() ? v1[i] : 0;
        }
        s->m_ShowStartSec = 0;
        s->m_ShowEndSec = s->show_pt_cnt * s->min_show;
        s->m_bNewShow = 1;
    }
    void Update(int channel, bool reset = false, int language = 0)
    {
        plot.UpdatePlot(sets.get(), count, channel, language, reset);
    }
    QString Title(int axis) const { return widget.axisTitle(axis).text(); }
    const GTimeScaleDraw *Draw() const
    {
        return dynamic_cast<const GTimeScaleDraw *>(widget.axisScaleDraw(QwtPlot::xBottom));
    }

    MessageCapture log; // ReSetAxisXY's debug lines
    std::unique_ptr<GRecordDataSet[]> sets;
    int count;
    QwtPlot widget;
    GQwtPlot plot;
};

} // namespace

class TestPlot : public QObject
{
    Q_OBJECT

private slots:
    void yRangeByKind_data();
    void yRangeByKind();
    void updateGuardsAndTitles();
    void timeAxisFollowsZoomOnRoundClockTimes();
    void labelsFitEveryWidth();
    void setUpCurvesAndRepeatedSetUp();
    void labels_data();
    void labels();
    void historyLabels();
    void bands_data();
    void bands();
    void pickerWithoutOwner();
};

void TestPlot::yRangeByKind_data()
{
    QTest::addColumn<int>("curves");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("tvoc");
    QTest::addColumn<Values>("v0");
    QTest::addColumn<Values>("v1");
    QTest::addColumn<double>("top");
    QTest::addColumn<int>("minor");
    const double nan = std::nan("");
    QTest::newRow("pm10 500") << 2 << 0 << 0 << Values{10} << Values{500} << 500.0 << 5;
    QTest::newRow("pm10 500.1") << 2 << 0 << 0 << Values{10} << Values{500.1} << 800.0 << 8;
    QTest::newRow("pm10 800") << 2 << 0 << 0 << Values{10} << Values{800} << 800.0 << 8;
    QTest::newRow("pm10 800.1") << 2 << 0 << 0 << Values{10} << Values{800.1} << 1000.0 << 10;
    QTest::newRow("pm10 5000") << 2 << 0 << 0 << Values{10} << Values{5000} << 1000.0 << 10;
    QTest::newRow("one curve: pm10 still decides") << 1 << 0 << 0 << Values{10} << Values{600} << 800.0 << 8;
    QTest::newRow("pm2.5 does not count") << 2 << 0 << 0 << Values{900} << Values{100} << 500.0 << 5;
    QTest::newRow("pm empty") << 2 << 0 << 0 << Values{} << Values{} << 500.0 << 5;
    QTest::newRow("pm all negative") << 2 << 0 << 0 << Values{-1, -900} << Values{-1, -900} << 500.0 << 5;
    QTest::newRow("pm NaN skipped") << 2 << 0 << 0 << Values{0, 0} << Values{nan, 600} << 800.0 << 8;
    QTest::newRow("hcho 0.99") << 2 << 1 << 0 << Values{0.99} << Values{50} << 1.0 << 1;
    QTest::newRow("hcho 1") << 2 << 1 << 0 << Values{0.2, 1} << Values{} << 3.0 << 2;
    QTest::newRow("hcho empty") << 2 << 1 << 0 << Values{} << Values{} << 1.0 << 1;
    QTest::newRow("tvoc 2.49") << 2 << 1 << 1 << Values{2.49} << Values{} << 2.5 << 3;
    QTest::newRow("tvoc 2.5") << 2 << 1 << 1 << Values{2.5} << Values{} << 6.55 << 4;
    QTest::newRow("tvoc empty") << 2 << 1 << 1 << Values{} << Values{} << 1.0 << 1;
}

void TestPlot::yRangeByKind()
{
    QFETCH(int, curves);
    QFETCH(int, channel);
    QFETCH(int, tvoc);
    QFETCH(Values, v0);
    QFETCH(Values, v1);
    QFETCH(double, top);
    QFETCH(int, minor);
    Rig rig(curves);
    rig.plot.m_bTVOC = tvoc;
    rig.Show(channel, v0, v1);
    rig.Update(channel);
    const QwtScaleDiv y = rig.widget.axisScaleDiv(QwtPlot::yLeft);
    QCOMPARE(y.lowerBound(), 0.0);
    QCOMPARE(y.upperBound(), top);
    QCOMPARE(rig.widget.axisMaxMinor(QwtPlot::yLeft), minor);
    // The bands learn the range from the minor count; the TVOC flag travels with them.
    const GBackGround *bg = rig.plot.m_pBackGround;
    QCOMPARE(bg->m_MaxMinor, minor);
    QCOMPARE(bg->m_BandMode, channel == 0 ? 0 : tvoc && !v0.empty() ? 2 : 1);
    QCOMPARE(bg->m_bTVOCFlag, tvoc);
    QCOMPARE(rig.log.Count(QStringLiteral("m_ShowStartSec=0.000000--> 300.000000\n")), 1);
}

void TestPlot::updateGuardsAndTitles()
{
    TestClock clock(Local(2024, 3, 6, 0, 0, 1));
    Rig rig(2, 1); // a one-channel sensor: channel 1 has no set
    rig.plot.m_BaseTime = Local(2024, 3, 5, 23, 59, 58);
    const QString initial = rig.Title(QwtPlot::xBottom);
    QCOMPARE(initial, QStringLiteral("\nTime(2024/03/05)"));
    QCOMPARE(rig.Title(QwtPlot::yLeft), QStringLiteral("PM2.5  ug/m3\n"));
    rig.Show(0, {20, 30}, {40, 50});

    rig.plot.UpdatePlot(nullptr, 1, 0, 0, true);
    rig.Update(1, true);  // past the array: ASan would see the read
    rig.plot.UpdatePlot(rig.sets.get(), 1, -1, 0, true);
    rig.sets[0].m_pCurrent = nullptr;
    rig.Update(0, true);
    rig.sets[0].SetMode(0, 1);
    rig.Series(0)->m_bNewShow = 0;
    rig.Update(0); // no new display point: nothing drawn
    QCOMPARE(rig.log.Lines().size(), 0);
    QCOMPARE(rig.Title(QwtPlot::xBottom), initial);
    QCOMPARE(rig.plot.m_Curves[0]->dataSize(), size_t(0));

    // Collecting: the first refresh after midnight moves the date; the curves take the points.
    rig.Update(0, true);
    QCOMPARE(rig.plot.m_BaseTime, clock.m_Now);
    QCOMPARE(rig.Title(QwtPlot::xBottom), QStringLiteral("\nTime(2024/03/06)"));
    QCOMPARE(rig.Title(QwtPlot::yLeft), QStringLiteral("PM2.5 ug/m3\n"));
    QCOMPARE(rig.plot.m_Curves[1]->sample(1), QPointF(1, 50));
    // Not collecting (a file or a history shown): the date stays.
    clock.m_Now = Local(2024, 3, 7, 9, 0);
    rig.sets[0].m_bCollect = 0;
    rig.Update(0, true);
    QCOMPARE(rig.plot.m_BaseTime.date(), QDate(2024, 3, 6));

    // Translated titles look up context QObject; language 0 never translates.
    QTranslator cn;
    QVERIFY(cn.load(QStringLiteral(":/cn.qm")));
    QCoreApplication::installTranslator(&cn);
    QCOMPARE(rig.plot.ReSetAxisTitle(1, 1), 1);
    QCOMPARE(rig.Title(QwtPlot::xBottom), QStringLiteral("\n时间(2024/03/06)"));
    QCOMPARE(rig.Title(QwtPlot::yLeft), QStringLiteral("甲醛 mg/m3\n"));
    rig.plot.ReSetAxisTitle(0, 1);
    QCOMPARE(rig.Title(QwtPlot::xBottom), QStringLiteral("\nTime(2024/03/06)"));
    QCOMPARE(rig.Title(QwtPlot::yLeft), QStringLiteral("Formaldehyde mg/m3\n"));
    QCoreApplication::removeTranslator(&cn);

    GQwtPlot bare; // before the window set up its plot
    QCOMPARE(bare.ReSetAxisTitle(1, 0), 0);
    bare.UpdatePlot(rig.sets.get(), 1, 0, 0, true);
    QCOMPARE(bare.InitPlot(QDateTime(), 0, 2), -1);
}

void TestPlot::timeAxisFollowsZoomOnRoundClockTimes()
{
    // A stream started at 10:07:23.400 local with a week of one-second samples, so that no
    // zoom step stops at the "show everything" level between two rungs.
    TestClock clock(Local(2024, 3, 5, 10, 7, 23, 400));
    Rig rig(1, 1);
    rig.sets[0].StartLive();
    _SRealData *s = rig.Series(0);
    RealDataRebuild(s);
    const int n = 7 * 86400;
    Values a(n), b(n);
    for (int i = 0; i < n; ++i)
        a[i] = b[i] = 20 + i % 50;
    QCOMPARE(RealDataAddMany(s, a.data(), b.data(), n, 1, s->org_pts), n);

    const int ladder[] = {1, 6, 30, 60, 300, 1800, 1800, 300, 60, 30, 6, 1, 1};
    for (int step = 0; step < 13; ++step) {
        if (step > 0) {
            rig.sets[0].m_pLive->UpdateTimeOffset();
            step < 7 ? RealDataZoomOut(s) : RealDataZoomIn(s);
        }
        QCOMPARE(s->min_show, ladder[step]);
        const int tick = RealDataTickStep(s);
        rig.Update(0, true);
        const QwtScaleDiv x = rig.widget.axisScaleDiv(QwtPlot::xBottom);
        QCOMPARE(x.upperBound() - x.lowerBound(), 300.0 * ladder[step]);
        const QList<double> major = x.ticks(QwtScaleDiv::MajorTick);
        QVERIFY(major.size() >= 3);
        const GTimeScaleDraw *draw = rig.Draw();
        QCOMPARE(draw->m_LabelMode, tick == 86400 ? 2 : 0);
        QCOMPARE(rig.plot.m_pPicker->m_TimeBase, draw->m_TimeBase);
        for (int i = 0; i < major.size(); ++i) {
            if (i > 0)
                QCOMPARE(major[i] - major[i - 1], double(tick));
            const QTime t = draw->m_TimeBase.addSecs(qint64(major[i])).time();
            QCOMPARE(t.second(), 0);
            if (tick < 86400) // daily ticks keep the start's minute
                QCOMPARE(t.minute() % qMin(tick / 60, 60), 0);
            const QTime utc = draw->m_TimeBase.addSecs(qint64(major[i])).toUTC().time();
            const QTime startUtc = rig.sets[0].m_pLive->m_StartTime.toUTC().time();
            if (tick == 10800) // three-hour steps of UTC time
                QCOMPARE(utc.hour() % 3, 0);
            if (tick == 86400) {
                QCOMPARE(utc.hour(), startUtc.hour());
                QCOMPARE(utc.minute(), startUtc.minute());
            }
            // Daily ticks, and the first tick of each day, name the day.
            const QDateTime at = draw->m_TimeBase.addSecs(qint64(major[i]));
            const bool dated = tick == 86400 || at.date() != at.addSecs(-tick).date();
            QCOMPARE(draw->label(major[i]).text().contains('\n'), dated);
        }
    }
}

void TestPlot::labelsFitEveryWidth()
{
    // 14 days of one-second samples from 10:07:23 local; each view in the middle of them.
    TestClock clock(Local(2024, 3, 5, 10, 7, 23));
    Rig rig(1, 1);
    rig.sets[0].StartLive();
    _SRealData *s = rig.Series(0);
    RealDataRebuild(s);
    const Values a(REAL_DATA_CAPACITY, 30.0);
    QCOMPARE(RealDataAddMany(s, a.data(), a.data(), REAL_DATA_CAPACITY, 1, s->org_pts),
             REAL_DATA_CAPACITY);
    int narrow = 0;
    for (const int width : {640, 985, 1600}) {
        rig.Resize(width);
        for (const int level : {1, 6, 30, 60, 300, 1800, 4033}) {
            RealDataSetZoom(s, level, REAL_DATA_WINDOW);
            RealDataSetMinTickStep(s, 0);
            const int own = RealDataTickStep(s);
            RealDataPanTo(s, RealDataPointCount(s) / 2);
            rig.Update(0, true);
            const AxisLabels labels = TimeLabels(rig.widget);
            const QString where = QStringLiteral("%1 px, %2 s per point").arg(width).arg(level);
            QVERIFY2(labels.rects.size() >= 2, qPrintable(where));
            QVERIFY2(labels.Overlap().isEmpty(), qPrintable(where + ": " + labels.Overlap()));
            // Only a step that would overlap is given up; the ticks stay on the grid.
            const int step = RealDataTickStep(s);
            if (width == 640 && level == 4033)
                narrow = step;
            QVERIFY2(width < 985 || level == 4033 ? step >= own : step == own, qPrintable(where));
            const QList<double> major = rig.widget.axisScaleDiv(QwtPlot::xBottom).ticks(
                QwtScaleDiv::MajorTick);
            QCOMPARE(major[1] - major[0], double(step));
            const QDateTime first = rig.Draw()->m_TimeBase.addSecs(qint64(major[0]));
            QCOMPARE(first.time().second(), 0);
            // Every label on a new day names it.
            for (int i = 0; i < labels.texts.size(); ++i) {
                const QDateTime at = rig.Draw()->m_TimeBase.addSecs(qint64(major[i]));
                if (at.date() != at.addSecs(-step).date())
                    QVERIFY2(labels.texts[i].contains(at.toString("yyyy/MM/dd")), qPrintable(where));
            }
        }
    }
    QVERIFY(narrow >= 2 * 86400); // 14 daily labels do not fit in 640 px
}

void TestPlot::setUpCurvesAndRepeatedSetUp()
{
    const QDateTime start = Local(2024, 3, 5, 10, 7, 23);
    Rig rig(6);
    const QColor pens[] = {Qt::blue, Qt::darkGreen, Qt::cyan, Qt::darkYellow, Qt::magenta, Qt::white};
    QCOMPARE(rig.plot.m_Curves.size(), 6);
    for (int i = 0; i < 6; ++i) {
        const QwtPlotCurve *c = rig.plot.m_Curves[i];
        QCOMPARE(c->pen().color(), pens[i]);
        QCOMPARE(c->pen().widthF(), 1.8);
        QCOMPARE(c->plot(), &rig.widget);
    }
    QCOMPARE(rig.plot.SetCurveStyle(6), -1);
    QCOMPARE(rig.plot.SetCurveStyle(~0u), -1);

    QwtPlot &w = rig.widget;
    QCOMPARE(w.axisScaleDiv(QwtPlot::yLeft).upperBound(), 500.0);
    QCOMPARE(w.axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).first(), 60.0);
    QCOMPARE(rig.Draw()->m_TimeBase, start.addSecs(-23));
    GQwtPlotPicker *picker = rig.plot.m_pPicker;
    QCOMPARE(picker->parent(), w.canvas());
    QCOMPARE(picker->rubberBand(), QwtPicker::VLineRubberBand);
    QVERIFY(dynamic_cast<const QwtPickerDragPointMachine *>(picker->stateMachine()));
    QCOMPARE(picker->m_TimeBase, start.addSecs(-23));
    QCOMPARE(rig.plot.m_pBackGround->m_BandMode, 0);

    // Again, on the same widget: a clean plot, nothing dangling (ASan), one picker, and the
    // first bands those of the 0 ... 500 range even after a larger range was shown.
    rig.Show(0, {1}, {900});
    rig.Update(0);
    QCOMPARE(rig.plot.m_pBackGround->m_MaxMinor, 10);
    for (int curves : {0, 2}) {
        QCOMPARE(rig.plot.InitPlot(start, 23, curves), 0);
        QCOMPARE(rig.plot.m_Curves.size(), qMax(curves, 1));
        QCOMPARE(rig.plot.m_Curves[0]->pen().color(), QColor(Qt::blue));
        QCOMPARE(rig.plot.m_pBackGround->m_MaxMinor, 5);
        // Curves, bands, and the legend's keys of the index categories.
        QCOMPARE(w.itemList().size(), rig.plot.m_Curves.size() + 1 + AQI_CATEGORIES);
        QCOMPARE(w.canvas()->findChildren<QwtPicker *>().size(), 1);
    }
    QCOMPARE(rig.plot.m_Curves[1]->pen().color(), QColor(Qt::darkGreen));
    QCOMPARE(rig.plot.ClearCurves(), 1);
    QCOMPARE(rig.plot.ClearCurves(), 1);
    QVERIFY(w.itemList().isEmpty() && !rig.plot.m_pPicker && !rig.plot.m_pBackGround);
    rig.Show(0, {1, 2}, {3, 4});
    rig.Update(0); // no curves left to fill
}

void TestPlot::labels_data()
{
    QTest::addColumn<QDateTime>("base");
    QTest::addColumn<double>("v");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    const QDateTime eight = Local(2024, 3, 5, 8, 0);
    const QDateTime late = Local(2024, 3, 5, 23, 0);
    QTest::newRow("59.9 truncated") << eight << 59.9 << 1 << "08:00:59";
    QTest::newRow("-0.5 names the base") << eight << -0.5 << 1 << "08:00:00";
    QTest::newRow("axis") << eight << 120.0 << 0 << "08:02";
    QTest::newRow("axis midnight") << late << 3600.0 << 0 << "   00:00  \n2024/03/06";
    QTest::newRow("axis after midnight") << late << 3601.0 << 0 << "00:00";
    QTest::newRow("picker midnight") << late << 3600.0 << 1 << "2024/03/06 00:00";
    QTest::newRow("picker after midnight") << late << 3601.0 << 1 << "00:00:01";
    QTest::newRow("midnight with milliseconds") << Local(2024, 3, 5, 23, 59, 59, 700) << 1.0 << 7
                                                << "2024/03/06 00:00";
    QTest::newRow("daily") << eight << 60.0 << 2 << "   08:01  \n2024/03/05";
    QTest::newRow("invalid base") << QDateTime() << 60.0 << 0 << "";
    QTest::newRow("NaN") << eight << std::nan("") << 1 << "";
}

void TestPlot::labels()
{
    QFETCH(QDateTime, base);
    QFETCH(double, v);
    QFETCH(int, mode);
    QFETCH(QString, text);
    QCOMPARE(GTimeToStr(base, v, mode), text);
    const QwtText label = GTimeScaleDraw(base, mode).label(v);
    QCOMPARE(label.text(), text);
    GRecordDataSet set; // a history table that does not apply
    set.histtime = {1709633100};
    set.m_Mode = 2;
    set.m_DevType = 131;
    GlobalSets global(&set);
    QCOMPARE(GTimeToStr(base, v, mode), text);
}

void TestPlot::historyLabels()
{
    const QDateTime base = Local(2024, 3, 5, 8, 0);
    GTimeToStr(base, -1e300, 1); // no sets at all; bounded, so no overflow
    GRecordDataSet set;
    QVERIFY(set.Create());
    GlobalSets global(&set);
    set.m_Mode = 2;
    set.m_DevType = 4; // the history itself knows how it was stamped, not the sensor now attached
    set.m_pHistory->m_bStampedHistory = true;
    MessageCapture log;
    QCOMPARE(GTimeToStr(base, 10, 0), QStringLiteral("0"));
    const uint32_t t0 = uint32_t(Local(2024, 3, 5, 10, 5).toSecsSinceEpoch());
    set.histtime = {t0, t0 + 300, t0 + 600};
    const QString first = QStringLiteral("03-05 \n10:05"), second = QStringLiteral("03-05 \n10:10"),
                  last = QStringLiteral("03-05 \n10:15");
    const std::pair<double, QString> cases[] = {{299, first}, {300, second},   {-299, first},
                                                {-300, last}, {899, last},     {900, last},
                                                {1e300, last}, {std::nan(""), last}};
    for (const auto &c : cases)
        QCOMPARE(GTimeToStr(base, c.first, 1), c.second);
    QCOMPARE(log.Count(QStringLiteral("out of range. v=-300.000000. size=3\n")), 1);
    set.m_Mode = 1; // another stream shown: the clock again
    QCOMPARE(GTimeToStr(base, 300, 1), QStringLiteral("08:05:00"));
}

void TestPlot::bands_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("flag");
    QTest::addColumn<int>("minor");
    QTest::addColumn<double>("top");
    QTest::addColumn<Values>("at"); // value, colour (0xRRGGBB, white: not painted), ...
    const double G = 0x00E400, Y = 0xFFFF00, O = 0xFF7E00, R = 0xFF0000, P = 0x99004C,
                 M = 0x7E0023, W = 0xFFFFFF;
    QTest::newRow("pm 5") << 0 << 0 << 5 << 1000.0
                          << Values{17, G, 50, Y, 95, O, 130, R, 200, P, 400, M, 510, W, 900, W};
    QTest::newRow("pm edges") << 0 << 0 << 5 << 1000.0
                              << Values{34, G, 36, Y, 74, Y, 76, O, 114, O, 116, R,
                                        149, R, 151, P, 249, P, 251, M, 499, M};
    QTest::newRow("pm 8") << 0 << 1 << 8 << 1000.0 << Values{490, M, 510, M, 790, M, 810, W};
    const double EP = 0x8F3F97; // the US EPA's breakpoints and colours, while that index is chosen
    QTest::newRow("epa pm 5") << 0 << 0 << 5 << 1000.0
                              << Values{8, G, 10, Y, 34, Y, 37, O, 54, O, 57, R, 124, R, 127, EP,
                                        224, EP, 227, M, 499, M, 510, W};
    QTest::newRow("pm 10") << 0 << 0 << 10 << 1000.0 << Values{17, G, 900, M, 999, M};
    QTest::newRow("hcho 1") << 1 << 0 << 1 << 3.0 << Values{0.05, G, 0.2, Y, 0.9, O, 1.1, W};
    QTest::newRow("hcho 2") << 1 << 0 << 2 << 3.0 << Values{0.6, O, 0.99, O, 1.0, O, 1.01, O, 2.9, O};
    QTest::newRow("tvoc flag 4") << 1 << 1 << 4 << 7.0
                                 << Values{0.1, G, 0.35, Y, 2.4, O, 2.6, R, 6.5, R, 6.7, W};
    QTest::newRow("tvoc flag 1") << 1 << 1 << 1 << 1.0 << Values{0.1, G, 0.35, Y, 0.9, O};
    QTest::newRow("tvoc 3") << 2 << 0 << 3 << 7.0 << Values{0.1, G, 2.4, O, 2.6, W};
    QTest::newRow("unknown mode") << 3 << 0 << 10 << 1000.0 << Values{17, W, 400, W};
}

void TestPlot::bands()
{
    QFETCH(int, mode);
    QFETCH(int, flag);
    QFETCH(int, minor);
    QFETCH(double, top);
    QFETCH(Values, at);
    QImage image(40, 1000, QImage::Format_RGB32);
    image.fill(Qt::white);
    QwtScaleMap yMap;
    yMap.setScaleInterval(0, top);
    yMap.setPaintInterval(1000, 0);
    const QRectF canvas(10, 0, 20, 1000);
    {
        QPainter painter(&image);
        GBackGround background(minor, mode, flag);
        background.m_bUsEpa = QByteArray(QTest::currentDataTag()).startsWith("epa");
        background.draw(&painter, QwtScaleMap(), yMap, canvas);
    }
    for (size_t i = 0; i + 1 < at.size(); i += 2) {
        const int row = qBound(0, int(yMap.transform(at[i])), 999);
        QCOMPARE(QString::number(image.pixel(20, row) & 0xFFFFFF, 16),
                 QString::number(uint(at[i + 1]), 16));
        QCOMPARE(image.pixel(5, row), qRgb(255, 255, 255)); // outside the canvas rectangle
    }
    // Bands that map to one row, or far beyond the canvas, paint nothing harmful.
    QImage flat(40, 100, QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    yMap.setPaintInterval(50, 50);
    GBackGround(minor, mode, flag).draw(&painter, QwtScaleMap(), yMap, QRectF(0, 0, 40, 100));
    QCOMPARE(flat.pixel(20, 10), qRgb(255, 255, 255));
    yMap.setScaleInterval(0, 1e-9);
    yMap.setPaintInterval(100, 0);
    GBackGround(10, mode, flag).draw(&painter, QwtScaleMap(), yMap, QRectF(0, 0, 40, 100));
    painter.end();
    // The lowest band fills a range far below its top; the others stay off the canvas.
    QCOMPARE(flat.pixel(20, 99) & 0xFFFFFF, mode == 3 ? 0xFFFFFFu : 0x00E400u);
}

void TestPlot::pickerWithoutOwner()
{
    QwtPlot widget;
    GQwtPlotPicker picker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::VLineRubberBand,
                          QwtPicker::ActiveOnly, widget.canvas());
    QCOMPARE(picker.trackerTextF(QPointF(61.5, 37.26)).text(), QStringLiteral("37.3()"));
    picker.SetStartTime(Local(2024, 3, 5, 8, 0));
    const QwtText text = picker.trackerTextF(QPointF(61.5, 37.26));
    QCOMPARE(text.text(), QStringLiteral("37.3(08:01:01)"));
    // Black on a light, nearly opaque box: readable on every band, the maroon one too.
    QCOMPARE(text.color(), QColor(Qt::black));
    QVERIFY(text.backgroundBrush().color().alpha() >= 200 && qGray(text.backgroundBrush().color().rgb()) > 200);
    picker.setRubberBand(QwtPicker::HLineRubberBand);
    QCOMPARE(picker.trackerTextF(QPointF(61.5, 0.0456)).text(), QStringLiteral("0.05"));
}

QTEST_MAIN(TestPlot)
#include "test_plot.moc"
