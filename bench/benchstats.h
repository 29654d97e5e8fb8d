#pragma once
// Small helpers the benchmarks share.
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr double TICK_US = 200000; // the acquisition period

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

inline double MicrosSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
}

// Debug lines would time stderr, not the program.
inline void Discard(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace bench
