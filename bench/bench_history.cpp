// A full history download (1005 pages) from a promptly answering simulated sensor, over USB
// and over serial, against its floor measured in the same run on the same link: pages times
// (the 30 ms wait as actually slept + one bare request/reply round trip). Once bare, once with
// the window's progress dialog updated at every page.
#include "historyprogress.h"
#include "scodeusb.h"
#include "simbed.h"
#include "benchbed.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QSerialPort>
#include <QThread>
#include <vector>

#include "benchstats.h"

namespace {

using bench::Clock;

constexpr int kPages = 1005;
constexpr int kSamples = 100;

struct Rig {
    explicit Rig(bool serial)
        : m_Serial(serial)
    {
        m_Id = serial ? m_Bed.addSerialSensor() : m_Bed.addUsbSensor();
        m_Bed.with(m_Id, [](sim::SimSensor &s) {
            s.setDeviceType(4);
            s.setPeriodMs(0); // no measurements in between: only the download's own frames
            s.generateHistory(5000, QDateTime::currentSecsSinceEpoch() / 300 * 300);
        });
        if (serial)
            m_Link.m_SerialPort.m_bPortOpen = m_Link.m_SerialPort.OpenSerialPort();
        else
            m_Link.OpenUsbDevice();
        m_Link.m_DevType = 4;
    }

    // Mean of the wait as QThread::msleep(30) really sleeps it on this machine.
    static double SleptUs()
    {
        std::vector<double> us;
        for (int i = 0; i < kSamples; ++i) {
            const auto t0 = Clock::now();
            QThread::msleep(30);
            us.push_back(bench::MicrosSince(t0));
        }
        double sum = 0;
        for (double u : us)
            sum += u;
        return sum / us.size();
    }

    // Mean of one bare request and its decoded reply, no wait in between.
    double RoundTripUs()
    {
        double sum = 0;
        TAG_T_SPM25Data scratch{};
        for (int i = 0; i < kSamples; ++i) {
            const auto t0 = Clock::now();
            if (m_Serial)
                m_Link.m_SerialPort.AskHistoryData(i % 3, 1, 0);
            else
                m_Link.AskHistoryPage(0, i % 3, 1);
            while (m_Link.ReadPM25Data(0, &scratch) != REPLY_HIS_BLOCK) {
                if (m_Serial)
                    m_Link.m_SerialPort.m_pPort->waitForReadyRead(100);
            }
            sum += bench::MicrosSince(t0);
        }
        return sum / kSamples;
    }

    bool m_Serial;
    sim::SimBed m_Bed;
    int m_Id = 0;
    SCodeUsb m_Link;
};

void BM_FullDownload(benchmark::State &state)
{
    Rig rig(state.range(0) == 1);
    const double slept = Rig::SleptUs();
    const double roundTrip = rig.RoundTripUs();
    const double floorUs = kPages * (slept + roundTrip);
    double us = 0;
    for (auto _ : state) {
        HistoryProgress progress(nullptr, 1);
        if (state.range(1) == 1)
            rig.m_Link.m_HisCallbacks.m_Progress = [&](int kind, int done, int total) {
                return progress.Update(kind, done, total);
            };
        const auto t0 = Clock::now();
        rig.m_Link.ReadHistoryData(0, 1, 0);
        us = bench::MicrosSince(t0);
        rig.m_Link.m_HisCallbacks = HistoryCallbacks();
    }
    if (rig.m_Link.m_RealPM25Count != 4020 || rig.m_Link.m_HisEnd != HisEnd::Complete)
        state.SkipWithError("the download did not bring every value");
    state.counters["download_s"] = us / 1e6;
    state.counters["slept_ms"] = slept / 1e3;
    state.counters["round_trip_us"] = roundTrip;
    state.counters["floor_s"] = floorUs / 1e6;
    state.counters["ratio"] = us / floorUs;
}
BENCHMARK(BM_FullDownload)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"serial", "dialog"})
    ->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    bench::EnsurePreload(argv);
    qInstallMessageHandler(bench::Discard);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv); // the serial port reads through the event loop
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
