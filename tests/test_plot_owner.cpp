// The picker's tracker text with the main window as its owner: the recorded values of the shown
// channel at the picked time. The window runs on an empty test bed (no sensor: two channels).
#include "gqwtplotpicker.h"
#include "grecorddataset.h"
#include "pm2_5.h"
#include "simbed.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>
#include <qwt_plot.h>

class TestPlotOwner : public QObject
{
    Q_OBJECT

private slots:
    void trackerShowsRecordedValues();
};

void TestPlotOwner::trackerShowsRecordedValues()
{
    sim::SimBed bed;
    QTimer closer; // the "open device error" box
    connect(&closer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->done(QMessageBox::Ok);
    });
    closer.start(20);
    PM2_5 w;
    QVERIFY(w.m_pRecordSets);

    // Display points at 100, 101.5 and 103 s on both channels.
    const double secs[] = {100, 101.5, 103};
    const double pm[3][2] = {{35.67, 48.25}, {36, 49}, {1.001, 100.1}};
    const double hcho[] = {0.045, 1.001, 0.0999};
    for (int channel : {0, 1}) {
        GRecordDataSet &set = w.m_pRecordSets[channel];
        set.SetMode(0, 0);
        _SRealData *s = set.m_pCurrent->m_pRealData;
        s->m_ShowCount = 3;
        for (int i = 0; i < 3; ++i) {
            s->m_pShowSec[i] = secs[i];
            s->m_pShowData0[i] = channel ? hcho[i] : pm[i][0];
            s->m_pShowData1[i] = channel ? 0 : pm[i][1];
        }
    }

    QwtPlot widget;
    GQwtPlotPicker picker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::VLineRubberBand,
                          QwtPicker::ActiveOnly, widget.canvas());
    picker.SetOwner(&w);
    picker.SetStartTime(QDateTime(QDate(2024, 3, 5), QTime(8, 0)));
    auto tracker = [&](double x) { return picker.trackerTextF(QPointF(x, 999)).text(); };

    w.m_Channel = 0;
    w.m_DevState = 2; // PM2.5 and PM10
    QCOMPARE(tracker(100.9), QStringLiteral("35.6 48.2(08:01:40)"));
    QCOMPARE(tracker(101.9), QStringLiteral("36 49(08:01:41)")); // 101.5 counts as 101
    QCOMPARE(tracker(103), QStringLiteral("1 100.1(08:01:43)"));
    QCOMPARE(tracker(104), QStringLiteral("(08:01:44)")); // after the last point
    w.m_DevState = 1;
    QCOMPARE(picker.ValueText(0, 999), QStringLiteral("35.6"));

    // The second channel keeps its thousandths.
    w.m_Channel = 1;
    QCOMPARE(tracker(99), QStringLiteral("0.045(08:01:39)"));
    QCOMPARE(picker.ValueText(101, 0), QStringLiteral("1.001"));
    QCOMPARE(picker.ValueText(102, 0), QStringLiteral("0.099"));

    // A channel without a set or without a stream gives no value, only the time.
    w.m_Channel = 2;
    QCOMPARE(tracker(100), QStringLiteral("(08:01:40)"));
    w.m_Channel = 0;
    w.m_pRecordSets[0].m_pCurrent = nullptr;
    QCOMPARE(tracker(100), QStringLiteral("(08:01:40)"));
}

QTEST_MAIN(TestPlotOwner)
#include "test_plot_owner.moc"
