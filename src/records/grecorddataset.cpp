#include "grecorddataset.h"

#include "recordclock.h"
#include "recordfile.h"
#include "scodeusb.h"

#include <QtGlobal>
#include <algorithm>
#include <new>
#include <utility>
#include <vector>

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

constexpr int HISTORY_TABLE_DEVICE = 130; // its history starts at time 0, labelled from the stamps
constexpr int DEFAULT_HIS_INTERVAL = 300;
constexpr int HISTORY_MIN_WIDTH = 288;
constexpr int HISTORY_WIDTH = 300;

struct HistoryRow {
    uint16_t m_First; // PM2.5, or the second channel's value
    uint16_t m_PM10;
    uint32_t m_Time;
    int m_Position; // place in the sensor's history: block * 12 + place in the block, or page order
};

// The downloaded values in the order of the sensor's history, each with its PM10 partner, time
// stamp and place. After a PM10 pass the values pair by block: a block kept in one pass only is
// dropped from both.
std::vector<HistoryRow> PairHistory(const SCodeUsb &link, bool withPM10)
{
    std::vector<HistoryRow> rows;
    const int n = std::min(int(link.m_RealPM25Count), int(link.m_HisTimes.size()));
    if (link.m_PM25Spans.empty()) { // six-value pages, one after the other
        for (int i = 0; i < n; ++i)
            rows.push_back({link.m_PM25His[i], 0, link.m_HisTimes[size_t(i)], i});
        return rows;
    }
    std::vector<const HisSpan *> pm10(SCodeUsb::HIS_MAX_BLOCKS, nullptr);
    for (const HisSpan &s : link.m_PM10Spans)
        pm10[size_t(s.m_Block)] = &s;
    for (const HisSpan &s : link.m_PM25Spans) {
        const HisSpan *partner = pm10[size_t(s.m_Block)];
        if (withPM10 && !partner)
            continue;
        for (int k = 0; k < s.m_Count && s.m_First + k < n; ++k) {
            // Trailing empty PM10 values were not kept; the sensor sent 0 or 0xFFFF there.
            const uint16_t b =
                partner && k < partner->m_Count ? link.m_PM10His[partner->m_First + k] : 0;
            const int at = s.m_First + k;
            rows.push_back({link.m_PM25His[at], withPM10 ? b : uint16_t(0),
                            link.m_HisTimes[size_t(at)], SCodeUsb::BLOCK_LEN * s.m_Block + k});
        }
    }
    std::stable_sort(rows.begin(), rows.end(), [](const HistoryRow &x, const HistoryRow &y) {
        return x.m_Position < y.m_Position;
    });
    return rows;
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

void GRecordDataSet::Swap(GRecordDataSet &other)
{
    std::swap(m_pLive, other.m_pLive);
    std::swap(m_pFile, other.m_pFile);
    std::swap(m_pHistory, other.m_pHistory);
    std::swap(m_pCurrent, other.m_pCurrent);
    histtime.swap(other.histtime);
    std::swap(m_bCollect, other.m_bCollect);
    std::swap(m_Mode, other.m_Mode);
    std::swap(m_DevType, other.m_DevType);
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

qint64 GRecordDataSet::ClockJump() const
{
    const GRecordDataPro *live = m_pLive;
    if (!live || live->m_LiveCount == 0 || !live->m_StartTime.isValid())
        return 0;
    const qint64 elapsed =
        RecordClockNow().toSecsSinceEpoch() - live->m_StartTime.toSecsSinceEpoch();
    const qint64 gap = elapsed - (live->m_LiveCount - 1);
    return gap < -JUMP_BACK_SEC || gap > JUMP_ON_SEC ? gap : 0;
}

void GRecordDataSet::AddLiveData(const TAG_T_SPM25Data &rec, int flag)
{
    GRecordDataPro *live = m_pLive;
    if (!live)
        return;
    // A jump is never filled second by second (a year would thin the image for good): the
    // stream starts again. The window saves the stretch before; here nothing else can.
    if (ClockJump() != 0)
        live->RestartLive();
    const double scale = live->SetValueScale(flag);
    if (live->m_LiveCount == 0) {
        // Its own second, however long after the stream was set up the sensor came.
        live->SetStartTimeNow();
        live->AddOneData(rec, scale);
        return;
    }
    const qint64 elapsed =
        RecordClockNow().toSecsSinceEpoch() - live->m_StartTime.toSecsSinceEpoch();
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
    // The sample goes to its own second: whatever the fillers did not cover is a pause.
    live->SkipLiveSeconds(elapsed - live->m_LiveCount);
    live->AddOneData(rec, scale);
}

uint16_t GRecordDataSet::StoreHistory(SCodeUsb *link, int channel, QDateTime now,
                                      int secPerRecord, int tvocFlag, int devState)
{
    if (!link || !m_pHistory || !m_pHistory->m_pRecordData || !m_pHistory->m_pRealData)
        return 0;
    if (secPerRecord <= 0)
        secPerRecord = DEFAULT_HIS_INTERVAL; // the sensor has not reported its interval yet
    // Nothing of an earlier download may show or pair with this one.
    link->ClearHistory();
    const bool withPM10 = devState == 2;
    // A PM10 pass that did not finish leaves nothing to pair with.
    if (withPM10 && (!link->ReadHistoryData(0, HIS_SUB_PM10, tvocFlag)
                     || link->m_HisEnd != HisEnd::Complete))
        return 0;
    if (!link->ReadHistoryData(0, channel + 1, tvocFlag))
        return 0;
    const std::vector<HistoryRow> rows = PairHistory(*link, withPM10);
    const bool endedEarly = link->m_HisEnd != HisEnd::Complete;
    if (endedEarly && rows.empty())
        return 0;

    m_bCollect = 0;
    m_Mode = 2;
    m_pCurrent = m_pHistory;
    m_DevType = link->m_DevType; // the labels' rule must not wait for the next sample
    m_pHistory->m_ValueCount = withPM10 ? 2 : 1;
    m_pHistory->m_bStampedHistory = m_DevType == HISTORY_TABLE_DEVICE;
    const int n = int(rows.size());
    const int first = n > 0 ? rows.front().m_Position : 0;
    const int last = n > 0 ? rows.back().m_Position : -1;
    // One record per place from the first value kept to the last: the places of values not
    // kept (a dropped block) are gap records, so every value keeps its own time.
    const int records = last - first + 1;
    _SRecordData *image = m_pHistory->m_pRecordData;
    RecordDataAlloc(image, records);
    histtime.clear();
    histtime.reserve(records);
    size_t r = 0;
    for (int place = first; place <= last; ++place) {
        if (rows[r].m_Position == place) {
            const HistoryRow &row = rows[r++];
            RecordDataAdd(image, 0, 0, row.m_First, row.m_PM10, -1);
            histtime.append(row.m_Time);
        } else {
            RecordDataAdd(image, RECORD_GAP_WORD, RECORD_GAP_WORD, 0, 0, -1);
            histtime.append(histtime.last() + SCodeUsb::HIS_SPACING_SEC);
        }
    }
    const int width = n >= HISTORY_MIN_WIDTH ? n : HISTORY_WIDTH;
    int64_t endTime = int64_t(records) * secPerRecord;
    if (m_DevType != HISTORY_TABLE_DEVICE) {
        // Counted back from the download: the newest value the sensor holds is one interval old.
        // A download that ended early keeps its values at the same times as a complete one.
        const int total = std::max(link->m_HisTotalCount, last + 1);
        endTime = now.toSecsSinceEpoch() - int64_t(total - last - 1) * secPerRecord;
    }
    m_pHistory->RecordDataToRealData(uint32_t(endTime), channel, secPerRecord, width);
    return uint16_t(n);
}

namespace {

// The slot of each stamped value, HIS_SPACING_SEC apart from the first stamp; empty when the
// stamps do not rise or span more than an image holds (the values then keep their order).
std::vector<int> StampSlots(const QVector<uint32_t> &stamps)
{
    std::vector<int> slots;
    slots.reserve(size_t(stamps.size()));
    for (int i = 0; i < stamps.size(); ++i) {
        const qint64 slot = (qint64(stamps[i]) - stamps[0]) / SCodeUsb::HIS_SPACING_SEC;
        if (slot >= RECORD_DATA_CAPACITY || (i > 0 && slot <= slots.back()))
            return {};
        slots.push_back(int(slot));
    }
    return slots;
}

} // namespace

bool GRecordDataSet::SaveHistoryFile(const QString &path, int channel, QString *error) const
{
    const GRecordDataPro *history = m_pHistory;
    const _SRecordData *image = history ? history->m_pRecordData : nullptr;
    if (m_Mode != 2 || !image || !image->m_pItems || image->m_Count <= 0 || !history->m_pRealData) {
        if (error)
            *error = QStringLiteral("no downloaded history is shown");
        return false;
    }
    _SRecordData out; // the header of the file; the records are the history's or placed anew
    out.m_SecUnit = history->m_pRealData->m_DataSecUnit;
    out.m_StartTime = uint32_t(history->m_StartTime.toSecsSinceEpoch());
    std::vector<_SRecordItem> placed;
    const std::vector<int> slots =
        history->m_bStampedHistory && histtime.size() == image->m_Count ? StampSlots(histtime)
                                                                          : std::vector<int>();
    if (!slots.empty()) {
        out.m_SecUnit = SCodeUsb::HIS_SPACING_SEC;
        out.m_StartTime = histtime[0];
        placed.assign(size_t(slots.back()) + 1, RECORD_GAP_ITEM);
        for (size_t i = 0; i < slots.size(); ++i)
            placed[size_t(slots[i])] = image->m_pItems[i];
    } else {
        placed.assign(image->m_pItems, image->m_pItems + image->m_Count);
    }
    out.m_pItems = placed.data();
    out.m_Count = out.m_MaxCount = int(placed.size());
    const bool written =
        RecordDataWrite(&out, path.toLocal8Bit().constData(), channel, error) > 0;
    out.m_pItems = nullptr; // not the image's to free
    return written;
}
