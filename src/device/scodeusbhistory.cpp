// History download: the block variant (0xAD, 12-value blocks in three pages, both links) and
// the page variant (0xAC, six values a page). The waits pace the requests so that the sensor
// can answer; events run in every wait, so the window stays alive and can cancel.
#include "scodeusb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QThread>
#include <algorithm>
#include <vector>

namespace {

constexpr int BLOCK_TRIES = 50;
constexpr int BLOCK_WAIT_MS = 30;
constexpr int PAGE_TRIES = 50;
constexpr int PAGE_WAIT_MS = 20;
constexpr int REMAINDER_TRIES = 20;
constexpr int REMAINDER_WAIT_MS = 10;
constexpr int PAGE_ZERO_ASKS = 3;     // one lost reply must not empty a full history
constexpr int SILENT_PAGES_STOP = 3;  // a sensor that stopped answering ends the download
constexpr int MAX_BLOCK_COUNT = 4031; // 335 blocks, 1005 pages
constexpr int MAX_FULL_PAGES = 48;
constexpr int PAGE_VALUES = 6;

} // namespace

// The kind and variant of the running download, for the decoder; cleared however it ends.
class SCodeUsb::DownloadScope
{
public:
    DownloadScope(SCodeUsb &link, int kind, HisVariant variant) : m_Link(link)
    {
        m_Link.m_HisKind = kind;
        m_Link.m_HisVariant = variant;
    }
    ~DownloadScope()
    {
        m_Link.m_HisKind = 0;
        m_Link.m_HisVariant = HisVariant::None;
    }
    DownloadScope(const DownloadScope &) = delete;
    DownloadScope &operator=(const DownloadScope &) = delete;

private:
    SCodeUsb &m_Link;
};

bool SCodeUsb::IsPageVariant(int devType)
{
    return devType == 0 || devType == 1 || devType == 3 || devType == 7;
}

bool SCodeUsb::ReadHistoryData(int index, int kind, int mode)
{
    if (IsPageVariant(m_DevType))
        return ReadHistoryDataOld(index, kind);
    return ReadHistoryDataNew(index, kind, mode);
}

unsigned char SCodeUsb::ReadHistoryReply(int index, TAG_T_SPM25Data *record)
{
    const unsigned char code = ReadPM25Data(index, record);
    if (code != REPLY_NONE && code != REPLY_HIS_PAGE && code != REPLY_HIS_BLOCK
        && m_HisCallbacks.m_Reply)
        m_HisCallbacks.m_Reply(code, *record);
    return code;
}

bool SCodeUsb::ReportProgress(int kind, int done, int total)
{
    return !m_HisCallbacks.m_Progress || m_HisCallbacks.m_Progress(kind, done, total);
}

// Page 0 brings the count: asked up to three times. A sensor that answered another page
// instead (it took the request for the continuation of an earlier download) is set back to
// the start before the next try.
bool SCodeUsb::AskPageZero(int kind, const std::function<HisWait()> &ask,
                           const std::function<void()> &reseat)
{
    for (int n = 0; n < PAGE_ZERO_ASKS; ++n) {
        if (!ReportProgress(kind, 0, 0)) {
            m_HisEnd = HisEnd::Cancelled;
            return false;
        }
        const HisWait wait = ask();
        if (wait == HisWait::Answered)
            return true;
        if (wait == HisWait::OtherPage && reseat)
            reseat();
    }
    m_HisEnd = HisEnd::NoReply;
    return false;
}

// Reads replies until the one for `page` (reply code `code`) comes. Any other reply is decoded
// as usual but does not end the wait: a late reply or a count is never taken for this page.
HisWait SCodeUsb::WaitForPage(int index, int page, unsigned char code, int tries, int waitMs,
                              TAG_T_SPM25Data *scratch)
{
    for (int t = 0; t < tries; ++t) {
        QThread::msleep(unsigned(waitMs));
        QCoreApplication::processEvents();
        const unsigned char got = ReadHistoryReply(index, scratch);
        if (code == REPLY_HIS_BLOCK)
            qDebug("mResult=%d", int(got));
        if (got != code || m_HisReplyPage < 0)
            continue;
        if (m_HisReplyPage == page)
            return HisWait::Answered;
        if ((m_HisReplyPage & 0xFF) == (page & 0xFF))
            return HisWait::OtherPage; // asking longer brings nothing else
    }
    return HisWait::Silent;
}

HisWait SCodeUsb::AskOneHisData(int, int page, int mode, int index, TAG_T_SPM25Data scratch,
                                int kind, int tries)
{
    if (SerialInUse())
        m_SerialPort.AskHistoryData(page, kind, mode);
    else
        AskHistoryPage(index, page, kind);
    return WaitForPage(index, page, REPLY_HIS_BLOCK, BLOCK_TRIES - tries, BLOCK_WAIT_MS, &scratch);
}

bool SCodeUsb::ReadHistoryDataNew(int index, int kind, int mode)
{
    const DownloadScope scope(*this, kind, HisVariant::Blocks);
    // Only this kind's store starts afresh: a PM10 pass stays for pairing with the PM2.5 pass.
    ResetStore(kind == HIS_SUB_PM10);
    m_5MinutesCount = 0;
    m_ReportedCount = 0;
    m_HisTotalCount = 0;
    m_HisEnd = HisEnd::Complete;
    const TAG_T_SPM25Data scratch{};
    // A USB request names only the low 8 bits of its page: a request of another kind is the
    // one way the frames leave to make the sensor start a download afresh at page 0.
    const auto reseat = [&] {
        if (SerialInUse())
            return;
        AskHistoryPage(index, 0, kind == HIS_SUB_PM25 ? HIS_SUB_PM10 : HIS_SUB_PM25);
        QThread::msleep(BLOCK_WAIT_MS);
    };
    const auto askZero = [&] { return AskOneHisData(0, 0, mode, index, scratch, kind, 0); };
    if (!AskPageZero(kind, askZero, reseat))
        return false;
    m_HisTotalCount = m_ReportedCount;

    if (m_5MinutesCount >= HIS_LEN)
        m_5MinutesCount = MAX_BLOCK_COUNT;
    const int pages = m_5MinutesCount / BLOCK_LEN * 3;
    qDebug("m_5MinutesCount=%d,mDataHalfHourCountFlash=%d,m_RealPM25Count=%d",
           int(m_5MinutesCount), pages, int(m_RealPM25Count));
    int silent = 0;
    for (int i = 1; i < pages; ++i) {
        if (!ReportProgress(kind, i, pages)) {
            m_HisEnd = HisEnd::Cancelled;
            break;
        }
        qDebug("m_5MinutesCount=%d,i=%d,mDataHalfHourCountFlash=%d", int(m_5MinutesCount), i,
               pages);
        if (AskOneHisData(0, i, mode, index, scratch, kind, 0) == HisWait::Answered) {
            silent = 0;
        } else if (++silent == SILENT_PAGES_STOP) {
            m_HisEnd = HisEnd::NoReply;
            break;
        }
    }
    if (m_HisEnd == HisEnd::Complete)
        ReportProgress(kind, pages, pages);
    return true;
}

HisWait SCodeUsb::AskOnePage(int index, int page, int tries, int waitMs)
{
    if (SerialInUse())
        m_SerialPort.AskHistoryPage(page);
    else
        AskHistoryPage(index, page, 0);
    TAG_T_SPM25Data scratch{};
    return WaitForPage(index, page, REPLY_HIS_PAGE, tries, waitMs, &scratch);
}

bool SCodeUsb::ReadHistoryDataOld(int index, int kind)
{
    const DownloadScope scope(*this, 0, HisVariant::Pages);
    ResetStore(false);
    m_5MinutesCount = 0;
    m_HisTotalCount = 0;
    m_HisEnd = HisEnd::Complete;
    if (!AskPageZero(kind, [&] { return AskOnePage(index, 0, PAGE_TRIES, PAGE_WAIT_MS); }, {}))
        return false;

    const int pages = std::min(m_5MinutesCount / BLOCK_LEN * 2, MAX_FULL_PAGES);
    const int rem = m_5MinutesCount % BLOCK_LEN;
    m_HisTotalCount = rem + PAGE_VALUES * pages;
    const int extra = (rem + PAGE_VALUES - 1) / PAGE_VALUES;
    // After page 0 the rest of the full pages, then up to two remainder pages numbered on
    // from them (without a full page the first remainder page is page 0 again).
    std::vector<int> rest;
    for (int p = 1; p < pages; ++p)
        rest.push_back(p);
    for (int j = 0; j < extra; ++j)
        rest.push_back(pages + j);
    const int total = 1 + int(rest.size());
    for (int k = 0; k < int(rest.size()); ++k) {
        const int done = 1 + k;
        const bool full = rest[size_t(k)] < pages;
        if (!ReportProgress(kind, done, total)) {
            m_HisEnd = HisEnd::Cancelled;
        } else if (AskOnePage(index, rest[size_t(k)], full ? PAGE_TRIES : REMAINDER_TRIES,
                              full ? PAGE_WAIT_MS : REMAINDER_WAIT_MS)
                   != HisWait::Answered) {
            m_HisEnd = HisEnd::NoReply; // the pages before it are kept, as after a cancel
        } else {
            continue;
        }
        StampPages(PAGE_VALUES * done);
        return true;
    }
    ReportProgress(kind, total, total);
    StampPages(m_HisTotalCount);
    return true;
}

// Pages carry no dates: the last value the sensor holds is taken as one interval before the
// download, each earlier one an interval before its successor.
void SCodeUsb::StampPages(int kept)
{
    const int n = std::clamp(kept, 0, std::min(m_HisTotalCount, int(HIS_LEN)));
    m_RealPM25Count = uint16_t(n);
    m_HisTimes.clear();
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    const int64_t interval = GetHisInterval();
    for (int i = 0; i < n; ++i)
        m_HisTimes.push_back(uint32_t(now - (m_HisTotalCount - i) * interval));
}
