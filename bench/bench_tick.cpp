// Cost of one whole acquisition tick (read, decode, store, show, plot) against the simulated
// sensor on the umockdev bed, as a share of the 200 ms tick. A tick with nothing to read is
// reported apart: its time is the USB read time-out, pacing rather than work.
#include "grecorddataset.h"
#include "pm2_5.h"
#include "recordclock.h"
#include "simbed.h"
#include "benchbed.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "benchgui.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::TICK_US;


struct Rig {
    explicit Rig(bool serial)
        : m_Serial(serial)
    {
        RecordClockSet([this] { return m_Now; });
        m_Id = serial ? m_Bed.addSerialSensor() : m_Bed.addUsbSensor();
        m_Bed.with(m_Id, [](sim::SimSensor &s) {
            s.setDeviceType(20);
            s.setKinds({1});
            s.setPeriodMs(0); // only the frames the benchmark emits
        });
        m_Window = std::make_unique<PM2_5>();
        m_Window->killTimer(m_Window->m_TimerId);
        m_Window->show();
        while (m_Window->m_bDevInfoOk == 0)
            Tick();
        for (int i = 0; i < 400; ++i) // a full, scrolling 300-point window
            Sample();
    }
    ~Rig()
    {
        m_Window.reset();
        RecordClockSet({});
    }
    void Tick()
    {
        QCoreApplication::processEvents();
        m_Window->PollDevice(0);
    }
    // Queues one measurement and waits (untimed) until the link holds it.
    void Queue()
    {
        m_Now = m_Now.addSecs(1);
        m_Bed.with(m_Id, [this](sim::SimSensor &s) {
            s.setNextMeasurement(1, 500, 100, uint16_t(300 + (m_N++ % 200)), 0, 400);
            s.emitMeasurement(1);
        });
        if (m_Serial) {
            QSerialPort *port = m_Window->m_CodeUsb.m_SerialPort.m_pPort;
            while (port->bytesAvailable() < 19 && port->waitForReadyRead(100)) {
            }
        }
    }
    void Sample()
    {
        Queue();
        Tick();
    }

    bool m_Serial;
    QDateTime m_Now = QDateTime::currentDateTime();
    sim::SimBed m_Bed;
    int m_Id = 0;
    int m_N = 0;
    std::unique_ptr<PM2_5> m_Window;
};

void Report(benchmark::State &state, const std::vector<double> &us)
{
    const double median = Median(us);
    state.counters["median_us"] = median;
    state.counters["tick_pct"] = 100 * median / TICK_US;
}

void BM_TickWithSample(benchmark::State &state)
{
    Rig rig(state.range(0) == 1);
    const int before = rig.m_Window->m_pRecordSets[0].m_pLive->m_pRealData->m_DataCount;
    std::vector<double> us;
    for (auto _ : state) {
        state.PauseTiming();
        rig.Queue();
        state.ResumeTiming();
        const auto t0 = Clock::now();
        rig.Tick(); // read, decode, store, show, plot and the paint it asks for
        QCoreApplication::processEvents();
        us.push_back(bench::MicrosSince(t0));
    }
    const int stored = rig.m_Window->m_pRecordSets[0].m_pLive->m_pRealData->m_DataCount - before;
    if (stored != int(us.size()))
        state.SkipWithError("not every tick stored its sample");
    Report(state, us);
}
BENCHMARK(BM_TickWithSample)->Arg(0)->Arg(1)->ArgName("serial")->Unit(benchmark::kMicrosecond)
    ->UseRealTime()->MinTime(3.0);

void BM_TickWithNothingToRead(benchmark::State &state)
{
    Rig rig(state.range(0) == 1);
    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        rig.Tick();
        us.push_back(bench::MicrosSince(t0));
    }
    Report(state, us);
}
BENCHMARK(BM_TickWithNothingToRead)->Arg(0)->Arg(1)->ArgName("serial")
    ->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0);

// No sensor: every tick watches for one (hot-plug notifications, the serial bridge looked
// for once a second) and must not stall the window while doing so.
void BM_TickWithoutSensor(benchmark::State &state)
{
    sim::SimBed bed;
    bed.addOtherUsbDevice(0x046D, 0xC52B);
    bed.addOtherSerialPort("ttyS0", 0x0403, 0x6001);
    QTimer closer; // the "open device error" box of the start-up
    QObject::connect(&closer, &QTimer::timeout, [&closer] {
        if (QWidget *box = QApplication::activeModalWidget()) {
            box->close();
            closer.stop();
        }
    });
    closer.start(10);
    PM2_5 window;
    window.killTimer(window.m_TimerId);
    std::vector<double> us;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        QCoreApplication::processEvents();
        window.PollDevice(0);
        us.push_back(bench::MicrosSince(t0));
    }
    if (window.m_DevState != 0)
        state.SkipWithError("a sensor was found");
    Report(state, us);
    state.counters["max_us"] = *std::max_element(us.begin(), us.end());
}
BENCHMARK(BM_TickWithoutSensor)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char **argv)
{
    bench::EnsurePreload(argv);
    return bench::RunWithWidgets(argc, argv);
}
