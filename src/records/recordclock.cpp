#include "recordclock.h"

#include <utility>

namespace {
RecordClockFn &Clock()
{
    static RecordClockFn clock;
    return clock;
}
} // namespace

QDateTime RecordClockNow()
{
    const RecordClockFn &clock = Clock();
    return clock ? clock() : QDateTime::currentDateTime();
}

void RecordClockSet(RecordClockFn clock)
{
    Clock() = std::move(clock);
}
