#pragma once
// Moving average over the last m_Len block means of two series.
#include <cstdint>

constexpr int AVG_RING_SLOTS = 150;

struct _SAvgRing {
    int32_t m_Count = 0;             // valid slots, at most m_Len
    int32_t m_Pos = 0;               // slot the next push overwrites
    double m_Sum0 = 0, m_Sum1 = 0;   // running sums, never recomputed from the slots
    double m_Val0[AVG_RING_SLOTS] = {};
    double m_Val1[AVG_RING_SLOTS] = {};
    int32_t m_Len = 0;               // window length in use, 1..AVG_RING_SLOTS once initialised
};

// Zeroes the ring and sets its length; lengths outside 1..150 are clamped into it.
void AvgRingInit(_SAvgRing *ring, int len);
void AvgRingPush(_SAvgRing *ring, double a, double b);
double AvgRingMean0(const _SAvgRing *ring);
double AvgRingMean1(const _SAvgRing *ring);
