// Cost of one live tick's plot work: a sample completes a display point, UpdatePlot sets axes,
// bands and both curves from a full 300-point window and replots, and the shown widget paints
// (offscreen platform). Reported as the median per tick and its share of the 200 ms tick.
#include "gqwtplot.h"
#include "grecorddataset.h"
#include "recordclock.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <qwt_plot.h>
#include <vector>

#include "benchgui.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::TICK_US;


// Counts paint events, so the benchmark knows the canvas really was drawn.
class PaintCounter : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *e) override
    {
        m_Paints += e->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    int m_Paints = 0;
};

void Sample(_SRealData *s, int i)
{
    const double pm25 = 90 + 80 * std::sin(i / 45.0);
    RealDataAdd(s, pm25, pm25 * 1.5 + 20, 1, s->org_pts);
}

void BM_LiveTickPlot(benchmark::State &state)
{
    const QDateTime start(QDate(2024, 3, 5), QTime(10, 7, 23));
    RecordClockSet([start] { return start; });
    GRecordDataSet set;
    set.Create();
    set.StartLive();
    _SRealData *s = set.m_pLive->m_pRealData;
    RealDataRebuild(s);
    int i = 0;
    for (; i < 600; ++i) // the window is full and scrolls
        Sample(s, i);

    QwtPlot widget;
    widget.resize(985, 500); // about the plot's size in the main window
    GQwtPlot plot;
    plot.SetQwtPlot(&widget);
    plot.InitPlot(start, s->org_pts, 2);
    plot.UpdatePlot(&set, 1, 0, 1, true);
    widget.show();
    PaintCounter paints;
    widget.canvas()->installEventFilter(&paints);
    QCoreApplication::processEvents();

    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        Sample(s, i++);
        plot.UpdatePlot(&set, 1, 0, 1, false);
        QCoreApplication::processEvents(); // the paint the replot asked for
        us.push_back(bench::MicrosSince(t0));
    }
    if (paints.m_Paints < int(us.size()))
        state.SkipWithError("the canvas was not painted on every tick");
    const double median = Median(us);
    state.counters["median_us"] = median;
    state.counters["tick_pct"] = 100 * median / TICK_US;
    state.counters["points"] = s->m_ShowCount;
    plot.ClearCurves();
    RecordClockSet({});
}
BENCHMARK(BM_LiveTickPlot)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    return bench::RunWithWidgets(argc, argv);
}
