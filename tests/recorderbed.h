#pragma once
// The recorder's tests on the bed: a settable clock that is also the recorders' steady clock
// (so that only a test's own jumps are jumps), the samples stored counted, ticks driven by the
// test.
#include "appbed.h"
#include "recorder.h"

#include <QElapsedTimer>

struct RecorderBed {
    TestClock clock;
    sim::SimBed bed; // before any sensor: a program started by the test sees an empty bed
    int stored = 0;

    // Every link of `r` on the test's clock, its samples counted (after the recorder's own hook).
    void Hook(Recorder &r)
    {
        for (auto &sensor : r.m_Sensors) {
            sensor->m_SteadyMs = [this] { return clock.now.toMSecsSinceEpoch(); };
            sensor->m_OnSample = [this, inner = sensor->m_OnSample](
                                     unsigned char code, qint64 t, const TAG_T_SPM25Data &rec) {
                ++stored;
                if (inner)
                    inner(code, t, rec);
            };
        }
    }
    // Ticks (events run between ticks) until cond holds or ms pass.
    static bool TickUntil(Recorder &r, const std::function<bool()> &cond, int ms = 5000)
    {
        QElapsedTimer t;
        t.start();
        while (!cond()) {
            if (t.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            r.Tick();
        }
        return true;
    }
    // One particulate sample (value, and value + 100 as PM10) on each sensor given, a second
    // later; ticks until all are stored.
    bool Measure(Recorder &r, const std::vector<int> &ids, uint16_t value)
    {
        clock.Step();
        const int want = stored + int(ids.size());
        for (const int id : ids)
            bed.with(id, [&](sim::SimSensor &s) {
                s.setNextMeasurement(1, 500, 100, value, 0, uint16_t(value + 100));
                s.emitMeasurement(1);
            });
        return TickUntil(r, [&] { return stored >= want; });
    }
};
