#include "grecorddatapro.h"

#include "recordclock.h"
#include "recordfile.h"

#include <QtDebug>
#include <algorithm>
#include <climits>

namespace {

// Records are converted in slices, so loading needs no second array the size of the image.
constexpr int SLICE = 1024;

// Appends the image's records to the series, each word converted to display units; gap
// records become jumps in time.
template <typename Convert>
void AppendRecords(_SRealData *s, const _SRecordData *image, int secPerSample, Convert convert)
{
    const int n = image->m_pItems ? std::max(0, int(image->m_MaxCount)) : 0;
    double a[SLICE];
    double b[SLICE];
    int m = 0;
    auto flush = [&] {
        const bool full = m > 0 && RealDataAddMany(s, a, b, m, secPerSample, s->org_pts) < m;
        m = 0;
        return !full;
    };
    for (int i = 0; i < n; ++i) {
        const _SRecordItem &item = image->m_pItems[i];
        if (RecordIsGap(item)) {
            if (!flush())
                return;
            RealDataSkip(s, secPerSample);
            continue;
        }
        a[m] = convert(item.m_PM25);
        b[m] = convert(item.m_PM10);
        if (++m == SLICE && !flush())
            return; // series full
    }
    flush();
}

} // namespace

GRecordDataPro::GRecordDataPro()
    : m_pRealData(RealDataCreate()),
      m_pRecordData(RecordDataCreate()),
      m_ValueScale(10),
      m_LiveCount(0),
      m_LastValue0(0),
      m_LastValue1(0)
{
}

GRecordDataPro::~GRecordDataPro()
{
    RealDataDestroy(&m_pRealData);
    RecordDataDestroy(&m_pRecordData);
}

double GRecordDataPro::SetValueScale(int flag)
{
    m_ValueScale = flag ? 1000 : 10;
    return m_ValueScale;
}

bool GRecordDataPro::SetStartTimeNow()
{
    m_StartTime = RecordClockNow();
    UpdateTimeOffset();
    return true;
}

void GRecordDataPro::UpdateTimeOffset()
{
    if (!m_pRealData)
        return;
    const QTime utc = m_StartTime.toUTC().time();
    RealDataSetStartTime(m_pRealData, utc.hour(), utc.minute(), utc.second());
}

bool GRecordDataPro::AddOneData(const TAG_T_SPM25Data &rec, double scale)
{
    if (!(scale > 0))
        return false;
    const double a = rec.m_PM25 / scale;
    const double b = rec.m_PM10 / scale;
    if (m_pRealData)
        RealDataAdd(m_pRealData, a, b, 1, m_pRealData->org_pts);
    // Stored at its position in the stream, so a thinned image (m_SecUnit 2, 4, ...) keeps one
    // record per m_SecUnit seconds instead of stretching time.
    if (m_pRecordData)
        RecordDataAdd(m_pRecordData, rec.m_Diff, rec.m_Base, rec.m_PM25, rec.m_PM10, m_LiveCount);
    m_LastValue0 = a;
    m_LastValue1 = b;
    if (m_LiveCount < INT_MAX)
        ++m_LiveCount;
    return true;
}

void GRecordDataPro::SkipLiveSeconds(qint64 seconds)
{
    if (seconds <= 0)
        return;
    seconds = std::min<qint64>(seconds, INT_MAX - m_LiveCount);
    if (m_pRealData)
        RealDataSkip(m_pRealData, int(seconds));
    _SRecordData *image = m_pRecordData;
    for (qint64 k = 0; k < seconds; ++k, ++m_LiveCount) {
        // After thinning a slot holds several seconds: a slot a sample already went into
        // keeps it.
        const int unit = image ? std::max(1, int(image->m_SecUnit)) : 1;
        if (image && (m_LiveCount == 0 || m_LiveCount / unit != (m_LiveCount - 1) / unit))
            RecordDataAdd(image, RECORD_GAP_WORD, RECORD_GAP_WORD, 0, 0, m_LiveCount);
    }
}

void GRecordDataPro::RestartLive()
{
    if (_SRealData *s = m_pRealData) {
        RealDataClear(s);
        RealDataSetZoom(s, s->min_show, s->show_pt_cnt); // no points of the old stretch
    }
    if (m_pRecordData)
        RecordDataInitHeader(m_pRecordData);
    m_LiveCount = 0;
    m_StartTime = QDateTime();
}

bool GRecordDataPro::RecordDataToRealData(uint32_t endTime, int channel, int secPerRecord,
                                          int width)
{
    _SRealData *s = m_pRealData;
    const _SRecordData *image = m_pRecordData;
    if (!s || !image || secPerRecord <= 0 || width <= 0 || width > s->m_MaxDataCount)
        return false;
    const qint64 count = image->m_pItems ? std::max(0, int(image->m_MaxCount)) : 0;
    m_StartTime = QDateTime::fromSecsSinceEpoch(qint64(endTime) - count * secPerRecord);
    UpdateTimeOffset();
    RealDataClear(s);
    s->m_DataSecUnit = secPerRecord;
    m_ValueScale = channel ? 1000 : 10;
    const double scale = m_ValueScale;
    AppendRecords(s, image, secPerRecord, [scale](uint16_t w) { return w / scale; });
    s->m_AvgLen = 1;
    s->m_bShowPartial = 1;
    RealDataSetZoom(s, secPerRecord, width);
    s->m_bNewShow = 1;
    RealDataRebuild(s);
    return true;
}

void GRecordDataPro::RecordDataToRealData2(int channel)
{
    _SRealData *s = m_pRealData;
    const _SRecordData *image = m_pRecordData;
    if (!s || !image)
        return;
    m_StartTime = QDateTime::fromSecsSinceEpoch(image->m_StartTime);
    UpdateTimeOffset();
    RealDataClear(s);
    if (image->m_SecUnit <= 0) {
        // A damaged file: shown as an empty stream rather than divided by.
        qDebug("GRecordDataPro::m_SecUnit=%d refused\n", int(image->m_SecUnit));
        return;
    }
    s->m_DataSecUnit = image->m_SecUnit;
    s->m_bNewShow = 1;
    s->m_bShowPartial = 1;
    m_ValueScale = channel ? 1000 : 10;
    const double scale = m_ValueScale;
    AppendRecords(s, image, s->m_DataSecUnit, [scale](uint16_t w) { return w / scale; });
    qDebug("GRecordDataPro::m_DataSecUnit=%d\n", int(s->m_DataSecUnit));
    qDebug("GRecordDataPro. real=%08llx\n", qulonglong(quintptr(s)));
    s->m_AvgLen = 1;
}

void GRecordDataPro::StampImageStart()
{
    if (m_pRecordData && m_StartTime.isValid())
        m_pRecordData->m_StartTime = uint32_t(m_StartTime.toSecsSinceEpoch());
}

bool GRecordDataPro::SaveRecordFile(QString path, int channel, QString *error)
{
    return RecordDataWrite(m_pRecordData, path.toLocal8Bit().constData(), channel, error) > 0;
}

bool GRecordDataPro::LoadRecordFile(QString path, int channel)
{
    if (!m_pRealData) // a series that could not be allocated cannot show the file
        return false;
    if (RecordDataRead(m_pRecordData, path.toLocal8Bit().constData()) < 0)
        return false;
    RecordDataToRealData2(channel);
    return true;
}
