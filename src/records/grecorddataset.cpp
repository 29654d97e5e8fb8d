#include "grecorddataset.h"

#include "recordclock.h"

#include <QtGlobal>
#include <new>

GRecordDataSet *g_pRecordSets = nullptr;

namespace {

// Halfway between the value last stored and the new sample, in raw words.
TAG_T_SPM25Data Filler(const GRecordDataPro &live, const TAG_T_SPM25Data &rec, double scale)
{
    auto mid = [](double last, uint16_t next) {
        return static_cast<uint16_t>(qBound(0.0, (last + next) * 0.5, 65535.0));
    };
    TAG_T_SPM25Data f = rec; // m_Diff and m_Base: those of the sample that ends the gap
    f.m_PM25 = mid(live.m_LastValue0 * scale, rec.m_PM25);
    f.m_PM10 = mid(live.m_LastValue1 * scale, rec.m_PM10);
    return f;
}

} // namespace

GRecordDataSet::~GRecordDataSet()
{
    Destroy();
}

bool GRecordDataSet::Create()
{
    Destroy();
    m_pLive = new (std::nothrow) GRecordDataPro();
    m_pFile = new (std::nothrow) GRecordDataPro();
    m_pHistory = new (std::nothrow) GRecordDataPro();
    for (GRecordDataPro *p : {m_pLive, m_pFile, m_pHistory}) {
        if (!p || !p->m_pRealData || !p->m_pRecordData)
            return false;
    }
    return true;
}

bool GRecordDataSet::Destroy()
{
    delete m_pLive;
    delete m_pFile;
    delete m_pHistory;
    m_pLive = m_pFile = m_pHistory = nullptr;
    m_pCurrent = nullptr; // pointed at one of them
    return true;
}

int GRecordDataSet::SetMode(unsigned char mode, unsigned char collect)
{
    m_Mode = mode;
    m_bCollect = collect;
    if (mode == 0)
        m_pCurrent = m_pLive;
    else if (mode == 1)
        m_pCurrent = m_pFile;
    else if (mode == 2)
        m_pCurrent = m_pHistory;
    return 1;
}

GRecordDataPro *GRecordDataSet::GetData(int /*index*/)
{
    if (m_Mode == 1)
        return m_pFile;
    if (m_Mode == 2)
        return m_pHistory;
    return m_pCurrent;
}

bool GRecordDataSet::StartLive()
{
    if (!m_pLive)
        return false;
    m_pLive->SetStartTimeNow();
    m_bCollect = 1;
    m_Mode = 0;
    m_pCurrent = m_pLive;
    return true;
}

void GRecordDataSet::AddLiveData(const TAG_T_SPM25Data &rec, int flag)
{
    GRecordDataPro *live = m_pLive;
    if (!live)
        return;
    if (!live->m_StartTime.isValid())
        live->SetStartTimeNow(); // a sample before StartLive starts the stream
    const qint64 elapsed =
        RecordClockNow().toSecsSinceEpoch() - live->m_StartTime.toSecsSinceEpoch();
    const double scale = live->SetValueScale(flag);
    if (live->m_LiveCount == 0) {
        live->AddOneData(rec, scale);
        return;
    }
    // The position count, not the series' last time: it goes on advancing once the series is
    // full, so a full live stream is not taken for an ever-growing gap.
    const qint64 last = live->m_LiveCount - 1;
    const qint64 gap = elapsed - last;
    if (gap < 0)
        return; // more than one second ahead of the clock
    if (gap > 1)
        live->AddOneData(Filler(*live, rec, scale), scale);
    if (gap > 3)
        live->AddOneData(Filler(*live, rec, scale), scale);
    live->AddOneData(rec, scale);
}
