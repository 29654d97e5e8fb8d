#include "gtimescaledraw.h"

#include "grecorddataset.h"

#include <QtDebug>
#include <cmath>
#include <qwt_text.h>

namespace {

constexpr int HISTORY_MODE = 2;
constexpr double SECONDS_PER_HISTORY_ENTRY = 300.0;
// Far beyond any series, and small enough that QDateTime's millisecond arithmetic cannot overflow.
constexpr double MAX_OFFSET_SECS = 1e12;

QString HistoryLabel(uint32_t entry)
{
    return QDateTime::fromSecsSinceEpoch(entry).toString(QStringLiteral("MM-dd \nhh:mm"));
}

QString HistoryTimeToStr(const QVector<uint32_t> &table, double v)
{
    qDebug("v=%f\n", v);
    if (table.isEmpty())
        return QStringLiteral("0");
    // Truncation toward zero: -299 still names entry 0. NaN fails both tests.
    const double idx = std::trunc(v / 60.0 / 5.0);
    if (idx >= 0 && idx < table.size()) {
        const int i = int(idx);
        qDebug(" v=%f. histtime[%d]=%s\n", v, i,
               qPrintable(QDateTime::fromSecsSinceEpoch(table[i]).toString(
                   QStringLiteral("yy-MM-dd hh:mm:ss"))));
        return HistoryLabel(table[i]);
    }
    qDebug("out of range. v=%f. size=%d\n", v, table.size());
    return HistoryLabel(table.last());
}

// The history time table that names axis values, or null when the clock does.
const QVector<uint32_t> *HistoryTable()
{
    // The exit command frees the sets while labels may still be asked for.
    const GRecordDataSet *set0 = g_pRecordSets;
    // The history knows how it was stamped: a sensor plugged in since changes nothing.
    if (set0 && set0->m_Mode == HISTORY_MODE && set0->m_pHistory
        && set0->m_pHistory->m_bStampedHistory)
        return &set0->histtime;
    return nullptr;
}

} // namespace

QDateTime GTimeAt(const QDateTime &base, double v)
{
    if (std::isnan(v))
        return QDateTime();
    if (const QVector<uint32_t> *table = HistoryTable()) {
        if (table->isEmpty())
            return QDateTime();
        const double idx = qBound(0.0, std::trunc(v / SECONDS_PER_HISTORY_ENTRY),
                                  double(table->size() - 1));
        return QDateTime::fromSecsSinceEpoch((*table)[int(idx)]);
    }
    return base.addSecs(qint64(std::trunc(qBound(-MAX_OFFSET_SECS, v, MAX_OFFSET_SECS))));
}

QString GTimeToStr(QDateTime base, double v, int mode)
{
    if (const QVector<uint32_t> *table = HistoryTable())
        return HistoryTimeToStr(*table, v);

    if (std::isnan(v))
        return QString();
    const double secs = std::trunc(qBound(-MAX_OFFSET_SECS, v, MAX_OFFSET_SECS));
    const QDateTime t = base.addSecs(qint64(secs));
    const QTime clock = t.time();
    // Seconds resolution: a base with milliseconds still has its midnight.
    const bool midnight = clock.hour() == 0 && clock.minute() == 0 && clock.second() == 0;
    const QString twoLines = QStringLiteral("   hh:mm  \nyyyy/MM/dd");
    QString format;
    if (mode == 0)
        format = midnight ? twoLines : QStringLiteral("hh:mm");
    else if (mode == 2)
        format = twoLines;
    else if (mode == 3)
        format = QStringLiteral("yyyy/MM/dd hh:mm:ss");
    else
        format = midnight ? QStringLiteral("yyyy/MM/dd hh:mm") : QStringLiteral("hh:mm:ss");
    return t.toString(format);
}

GTimeScaleDraw::GTimeScaleDraw(const QDateTime &timeBase, int labelMode)
    : m_TimeBase(timeBase)
    , m_LabelMode(labelMode)
{
}

GTimeScaleDraw::~GTimeScaleDraw() = default;

QwtText GTimeScaleDraw::label(double v) const
{
    int mode = m_LabelMode;
    // The first tick of a day names it, wherever the ticks fall.
    if (mode == 0 && m_DayStep > 0 && !HistoryTable()) {
        const QDateTime t = GTimeAt(m_TimeBase, v);
        if (t.isValid() && t.date() != t.addSecs(-m_DayStep).date())
            mode = 2;
    }
    return QwtText(GTimeToStr(m_TimeBase, v, mode), QwtText::AutoText);
}
