#include "avgring.h"

#include <QtGlobal>

void AvgRingInit(_SAvgRing *ring, int len)
{
    if (!ring)
        return;
    *ring = _SAvgRing();
    ring->m_Len = qBound(1, len, AVG_RING_SLOTS);
}

void AvgRingPush(_SAvgRing *ring, double a, double b)
{
    if (!ring)
        return;
    // A ring that was never initialised (length 0) or was written from outside must still
    // stay inside its slots.
    const int len = qBound(1, int(ring->m_Len), AVG_RING_SLOTS);
    if (ring->m_Pos < 0 || ring->m_Pos >= len)
        ring->m_Pos = 0;
    const int pos = ring->m_Pos;
    ring->m_Sum0 -= ring->m_Val0[pos];
    ring->m_Val0[pos] = a;
    ring->m_Sum0 += a;
    ring->m_Sum1 -= ring->m_Val1[pos];
    ring->m_Val1[pos] = b;
    ring->m_Sum1 += b;
    if (ring->m_Count < len)
        ring->m_Count += 1;
    ring->m_Pos = pos + 1 == len ? 0 : pos + 1;
}

double AvgRingMean0(const _SAvgRing *ring)
{
    return ring && ring->m_Count > 0 ? ring->m_Sum0 / ring->m_Count : 0.0;
}

double AvgRingMean1(const _SAvgRing *ring)
{
    return ring && ring->m_Count > 0 ? ring->m_Sum1 / ring->m_Count : 0.0;
}
