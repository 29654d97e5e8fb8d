#pragma once
// Small helpers the benchmarks share.
#include <QtGlobal>
#include <algorithm>
#include <chrono>
#include <vector>
#include <sys/mman.h>
#include <unistd.h>

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

// First use of `bytes` of fresh pages: the kernel's share of filling newly mapped memory.
inline double FirstTouchMicros(size_t bytes)
{
    const auto t0 = Clock::now();
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return 0;
    for (size_t at = 0; at < bytes; at += size_t(sysconf(_SC_PAGESIZE)))
        static_cast<volatile char *>(p)[at] = 1;
    const double us = MicrosSince(t0);
    munmap(p, bytes);
    return us;
}

// Debug lines would time stderr, not the program.
inline void Discard(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace bench
