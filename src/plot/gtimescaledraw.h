#pragma once
// Clock labels for the time axis and the picker. Axis values are seconds on a series' scale;
// a time base maps them to clock time, or, while the device history of a type-130 sensor is
// shown, the history time table of record set 0 names them.
#include <QDateTime>
#include <QString>
#include <qwt_scale_draw.h>

// mode 0: "hh:mm", with the date under it at midnight; 2: time and date on every label;
// 3: date and time to the second; any other (the picker's 1): "hh:mm:ss", or date and minute
// at midnight. Reads record set 0 through g_pRecordSets; without sets the clock variant applies.
QString GTimeToStr(QDateTime base, double v, int mode);
// The moment axis value v names (local time), by the same rule; invalid when none.
QDateTime GTimeAt(const QDateTime &base, double v);

class GTimeScaleDraw : public QwtScaleDraw
{
public:
    GTimeScaleDraw(const QDateTime &timeBase, int labelMode);
    ~GTimeScaleDraw() override;

    QwtText label(double v) const override;

    QDateTime m_TimeBase;
    int m_LabelMode;
    // Seconds between ticks: in mode 0 the first label of each day carries its date (0: only
    // a tick at midnight does).
    int m_DayStep = 0;
};
