#pragma once
// The one clock the records read. The wall clock unless a test (or the long-run bed) sets
// another, so gap rules, thinning and day changes can be driven without waiting.
#include <QDateTime>
#include <functional>

using RecordClockFn = std::function<QDateTime()>;

// Current date and time from the clock in use.
QDateTime RecordClockNow();
// Installs a clock; an empty function restores the wall clock.
void RecordClockSet(RecordClockFn clock);
