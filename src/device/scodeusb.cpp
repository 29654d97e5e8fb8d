#include "scodeusb.h"

#include <QDateTime>
#include <QDebug>
#include <QThread>
#include <algorithm>
#include <cstring>

namespace {

QByteArray HexBytes(const unsigned char *p, int n, bool upper)
{
    QByteArray hex = QByteArray(reinterpret_cast<const char *>(p), n).toHex();
    return upper ? hex.toUpper() : hex;
}

// Round up to a whole number of 12-value blocks without wrapping the 16-bit count.
uint16_t RaiseToBlocks(uint16_t count)
{
    const unsigned raised = (count + 11u) / 12u * 12u;
    return uint16_t(std::min(raised, 65535u));
}

bool IsOneOf(int v, std::initializer_list<int> set)
{
    return std::find(set.begin(), set.end(), v) != set.end();
}

} // namespace

SCodeUsb::SCodeUsb() = default;

SCodeUsb::~SCodeUsb() = default;

bool SCodeUsb::SetCheckSum(unsigned char *frame)
{
    return m_SerialPort.SetCheckSum(frame);
}

LibUsbDevice *SCodeUsb::Entry(int index)
{
    if (index < 0 || index >= int(m_DevList.size()))
        return nullptr;
    return &m_DevList[size_t(index)];
}

bool SCodeUsb::AskDeviceInfoUsb(int index)
{
    if (!CheckIndex(index))
        return false;
    std::memset(m_SendBuf, 0, sizeof m_SendBuf);
    m_SendBuf[0] = FRAME_USB_REQUEST;
    m_SendBuf[1] = FRAME_HEAD;
    m_SendBuf[2] = CMD_DEVICE_INFO;
    m_SendBuf[19] = FRAME_TAIL;
    SetCheckSum(m_SendBuf);
    WriteRequest(index, m_SendBuf);
    return true;
}

bool SCodeUsb::AskHistoryPage(int index, int page, int kind)
{
    std::memset(m_SendBuf, 0, sizeof m_SendBuf);
    m_SendBuf[0] = FRAME_USB_REQUEST;
    m_SendBuf[1] = FRAME_HEAD;
    m_SendBuf[3] = static_cast<unsigned char>(page & 0xFF);
    if (IsPageVariant(m_DevType)) {
        m_SendBuf[2] = CMD_HIS_PAGE;
    } else {
        m_SendBuf[2] = CMD_HIS_BLOCK;
        m_SendBuf[4] = static_cast<unsigned char>(kind & 0xFF);
    }
    m_SendBuf[19] = FRAME_TAIL;
    SetCheckSum(m_SendBuf);
    WriteRequest(index, m_SendBuf);
    return true;
}

bool SCodeUsb::AskDeviceInfo()
{
    std::memset(m_SendBuf, 0, sizeof m_SendBuf);
    if (SerialInUse()) {
        m_SerialPort.AskDeviceInfo(m_SendBuf, FRAME_LEN);
        QThread::msleep(20);
        m_SerialPort.AskSerialId(m_SendBuf, FRAME_LEN);
        QThread::msleep(20);
    } else if (!m_DevList.empty()) {
        AskDeviceInfoUsb(0);
        QThread::msleep(20);
    }
    return true;
}

unsigned char SCodeUsb::ReadPM25Data(int index, TAG_T_SPM25Data *record)
{
    m_ReadLen = 0;
    if (SerialInUse()) {
        m_ReadLen = m_SerialPort.ReadBufFromPort(m_SendBuf, FRAME_LEN);
        if (m_ReadLen == 0)
            return REPLY_NONE;
    } else {
        m_ReadLen = ReadData(index, m_SendBuf, FRAME_LEN);
    }
    return DecodePM25ReadData(index, m_SendBuf, m_ReadLen, record);
}

unsigned char SCodeUsb::DecodePM25ReadData(int index, const unsigned char *f, int len,
                                           TAG_T_SPM25Data *record)
{
    m_HisReplyPage = -1;
    // A short read leaves zeros in the image that would pass for values.
    if (len < FRAME_LEN || f[1] != FRAME_HEAD)
        return REPLY_NONE;
    switch (f[2]) {
    case CMD_MEASUREMENT:
        DecodeMeasurement(index, f, record);
        return f[3];
    case CMD_DEVICE_INFO:
        DecodeDeviceInfo(index, f);
        return REPLY_DEVICE_INFO;
    case CMD_PARAM:
        DecodeParamPair(f);
        return REPLY_PARAM;
    case CMD_HIS_PAGE:
        DecodeHistoryPage(f);
        return REPLY_HIS_PAGE;
    case CMD_HIS_BLOCK:
        return DecodeHistoryBlock(f);
    case CMD_SERIAL_ID:
        DecodeSerialId(index, f);
        return REPLY_SERIAL_ID;
    default:
        return REPLY_NONE;
    }
}

void SCodeUsb::DecodeMeasurement(int index, const unsigned char *f, TAG_T_SPM25Data *record)
{
    const uint16_t a = FrameWord(f, 4);
    const uint16_t b = FrameWord(f, 6);
    if (record) {
        record->m_Diff = a > b ? uint16_t(a - b) : 0;
        record->m_Base = b;
        record->m_PM25 = FrameWord(f, 8);
        record->m_PM10 = FrameWord(f, 12);
        record->m_Aux = FrameWord(f, 10);
    }
    if (m_LinkMode == 4) {
        if (LibUsbDevice *dev = Entry(index)) {
            const unsigned char id[4] = {f[10], f[11], f[15], f[16]};
            dev->m_DevName = HexBytes(id, 2, true) + '-' + HexBytes(id + 2, 2, true);
        }
    }
}

void SCodeUsb::DecodeDeviceInfo(int index, const unsigned char *f)
{
    const QByteArray serial = HexBytes(f + 3, 6, false);
    // A name ends at its first NUL: NULs would blank the menus and cut file names short.
    QByteArray identity(reinterpret_cast<const char *>(f + 9), 4);
    const int nul = identity.indexOf('\0');
    if (nul >= 0)
        identity.truncate(nul);
    if (m_DevList.empty()) {
        LibUsbDevice dev;
        dev.m_DevName = f[9] == 0xFF ? QByteArray("ffff") : identity;
        dev.m_DevSerial = serial;
        m_DevList.push_back(dev);
    } else if (LibUsbDevice *dev = Entry(index)) {
        if (!identity.isEmpty()) // no name: the one known stays
            dev->m_DevName = identity;
        dev->m_DevSerial = serial;
    }
    m_DevType = f[13];
}

void SCodeUsb::DecodeSerialId(int index, const unsigned char *f)
{
    m_LinkMode = 4;
    const QByteArray serial = HexBytes(f + 3, 7, false);
    if (m_DevList.empty()) {
        LibUsbDevice dev;
        dev.m_DevSerial = serial;
        m_DevList.push_back(dev);
    } else if (LibUsbDevice *dev = Entry(index)) {
        dev->m_DevSerial = serial;
    }
}

void SCodeUsb::DecodeParamPair(const unsigned char *f)
{
    const int slot = f[4];
    if (slot >= PARAM_SLOTS)
        return;
    m_ParamPairs[slot].m_First = FrameWord(f, 5);
    m_ParamPairs[slot].m_Second = FrameWord(f, 7);
}

void SCodeUsb::DecodeHistoryPage(const unsigned char *f)
{
    if (m_HisVariant == HisVariant::Blocks)
        return; // a stray page must not overwrite the blocks already stored
    const int page = f[3];
    m_HisReplyPage = page;
    if (page == 0)
        m_5MinutesCount = FrameWord(f, 16);
    // 256 pages of 6 values never pass the 4032-value store (last index 1535).
    for (int k = 0; k < 6; ++k)
        m_PM25His[6 * page + k] = FrameWord(f, 4 + 2 * k);
}

unsigned char SCodeUsb::DecodeHistoryBlock(const unsigned char *f)
{
    const int page = f[3] + 256 * (f[17] & 3);
    // During a page download a stray block would overwrite the pages' count and values.
    const bool stray = m_HisVariant == HisVariant::Pages;
    if (page == 0 && !stray) {
        m_ReportedCount = FrameWord(f, 15);
        m_5MinutesCount = RaiseToBlocks(m_ReportedCount);
    }

    switch (f[4]) {
    case HIS_SUB_PM25:
    case HIS_SUB_GAS:
    case HIS_SUB_TVOC:
    case HIS_SUB_PM10:
        if (!stray && AcceptsBlock(f[4])) {
            DecodeBlockPage(f, page, f[4] != HIS_SUB_PM10);
            m_HisReplyPage = page;
        }
        break;
    case HIS_SUB_CLEARED:
        return REPLY_CLEARED;
    case HIS_SUB_COUNT:
        if (!stray)
            m_5MinutesCount = uint16_t(f[3] * 4);
        break;
    default:
        break;
    }
    qDebug("+++++++++++++");
    return REPLY_HIS_BLOCK;
}

bool SCodeUsb::AcceptsBlock(unsigned char sub) const
{
    // A download keeps only the channel it asked for: a sensor that answers with another
    // channel's blocks never gets them shown under the wrong title.
    switch (m_HisKind) {
    case 0:
        return sub == HIS_SUB_PM25 || sub == HIS_SUB_PM10;
    case HIS_SUB_GAS:
    case HIS_SUB_TVOC:
        return sub == HIS_SUB_GAS || sub == HIS_SUB_TVOC;
    default:
        return sub == m_HisKind;
    }
}

// dated: a PM2.5 or second-channel block, whose first page carries the block date and whose
// values get time stamps; PM10 blocks carry neither.
void SCodeUsb::DecodeBlockPage(const unsigned char *f, int page, bool dated)
{
    uint16_t *block = dated ? m_PM25Block : m_PM10Block;
    BlockAssembly &a = dated ? m_PM25Asm : m_PM10Asm;
    const int blockNo = page / 3;
    const int phase = page % 3;
    // A block starts afresh at its first page or at a page of another block, so values of a
    // block with a lost page never reach the next one.
    if (phase == 0 || a.m_Block != blockNo) {
        std::fill(block, block + BLOCK_LEN, 0);
        a.m_Block = blockNo;
        a.m_Pages = 0;
    }
    a.m_Pages |= 1u << phase;
    if (phase == 0) {
        if (dated)
            m_HisBaseTime = uint32_t(f[5] | f[6] << 8 | f[7] << 16 | uint32_t(f[8]) << 24);
        for (int k = 0; k < 3; ++k)
            block[k] = FrameWord(f, 9 + 2 * k);
    } else if (phase == 1) {
        for (int k = 0; k < 5; ++k)
            block[3 + k] = FrameWord(f, 5 + 2 * k);
    } else {
        for (int k = 0; k < 4; ++k)
            block[8 + k] = FrameWord(f, 5 + 2 * k);
        if (a.m_Pages == 7u)
            FlushBlock(blockNo, dated);
        a.m_Block = -1;
    }
}

void SCodeUsb::FlushBlock(int blockNo, bool dated)
{
    BlockAssembly &a = dated ? m_PM25Asm : m_PM10Asm;
    if (a.m_Flushed.test(size_t(blockNo)))
        return; // a repeated reply must not store its block twice
    const uint16_t *block = dated ? m_PM25Block : m_PM10Block;
    int last = BLOCK_LEN - 1;
    while (last >= 0 && (block[last] == 0 || block[last] == 0xFFFF))
        --last;
    if (last < 0)
        return;
    int64_t base = 0;
    if (dated && !BlockBase(blockNo, last, &base))
        return;
    uint16_t *store = dated ? m_PM25His : m_PM10His;
    uint16_t &count = dated ? m_RealPM25Count : m_RealPM10Count;
    // A full store keeps what fits; values and their time stamps stay paired.
    const int stored = std::min(last + 1, HIS_LEN - int(count));
    if (stored <= 0)
        return;
    std::copy(block, block + stored, store + count);
    (dated ? m_PM25Spans : m_PM10Spans).push_back({blockNo, int(count), stored});
    count = uint16_t(count + stored);
    a.m_Flushed.set(size_t(blockNo));
    if (dated)
        AppendTimeStamps(base, last, stored);
}

// The time of the block's last kept value minus 300 s: its date, or without a usable date
// the time line of the block directly before it, every value 300 s after the one before.
// False when there is nothing to count from (never a value at the epoch, nor one stamped from
// an older block across a dropped one).
bool SCodeUsb::BlockBase(int blockNo, int last, int64_t *base) const
{
    if (PackedDateToSecs(m_HisBaseTime, base))
        return true;
    if (m_PM25Spans.empty() || m_HisTimes.empty() || m_PM25Spans.back().m_Block != blockNo - 1)
        return false;
    const int before = m_PM25Spans.back().m_Count - 1; // its last kept value's place in its block
    const int places = BLOCK_LEN - 1 + last - before;  // steps from it to one before our last
    *base = int64_t(m_HisTimes.back()) + int64_t(HIS_SPACING_SEC) * places;
    return true;
}

void SCodeUsb::AppendTimeStamps(int64_t base, int last, int stored)
{
    int64_t t = base - int64_t(HIS_SPACING_SEC) * last;
    for (int k = 0; k < stored; ++k) {
        t += HIS_SPACING_SEC;
        m_HisTimes.push_back(uint32_t(t));
        qDebug("mTimeSec=%s\n", qPrintable(QDateTime::fromSecsSinceEpoch(t).toString(
                                    QStringLiteral("yy-MM-dd hh:mm:ss"))));
    }
}

void SCodeUsb::ResetStore(bool pm10)
{
    BlockAssembly &a = pm10 ? m_PM10Asm : m_PM25Asm;
    a = BlockAssembly();
    uint16_t *block = pm10 ? m_PM10Block : m_PM25Block;
    std::fill(block, block + BLOCK_LEN, 0);
    if (pm10) {
        m_RealPM10Count = 0;
        m_PM10Spans.clear();
    } else {
        m_RealPM25Count = 0;
        m_PM25Spans.clear();
        m_HisTimes.clear();
    }
}

void SCodeUsb::ClearHistory()
{
    ResetStore(false);
    ResetStore(true);
    m_ReportedCount = 0;
    std::fill(std::begin(m_PM25His), std::end(m_PM25His), 0);
    std::fill(std::begin(m_PM10His), std::end(m_PM10His), 0);
    m_HisTotalCount = 0;
    m_5MinutesCount = 0;
}

bool SCodeUsb::PackedDateToSecs(uint32_t packed, int64_t *secs)
{
    const int year = 2015 + int((packed >> 4) & 0x0F);
    const int month = int(packed & 0x0F);
    const int day = int((packed >> 8) & 0xFF);
    const int hour = int((packed >> 16) & 0xFF);
    const int minute = int((packed >> 24) & 0xFF);
    if (!QDate::isValid(year, month, day) || !QTime::isValid(hour, minute, 0))
        return false;
    const QDateTime local(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime);
    if (local.isValid()) {
        *secs = local.toSecsSinceEpoch();
        return true;
    }
    // Skipped by a daylight-saving jump: read it with the offset in force just before.
    const QDateTime wall(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
    const QDateTime before = wall.addSecs(-2 * 3600);
    const QDateTime earlier(before.date(), before.time(), Qt::LocalTime);
    if (!earlier.isValid())
        return false;
    *secs = earlier.toSecsSinceEpoch() + 2 * 3600;
    return true;
}

int SCodeUsb::GetDataKind() const
{
    static const std::initializer_list<int> oneChannel = {0,   1,   2,   3,   4,   5,   8,
                                                          40,  50,  100, 120, 130, 131, 150,
                                                          151, 152, 153, 155, 156, 157, 158,
                                                          255};
    return IsOneOf(m_DevType, oneChannel) ? 1 : 2;
}

int SCodeUsb::GetHisInterval() const
{
    if (m_DevType == 2)
        return 311;
    if (m_DevType == 20)
        return 297;
    return 300;
}

QByteArray SCodeUsb::GetModelName() const
{
    struct Model {
        int type;
        const char *name;
    };
    static const Model models[] = {
        {0, "AQ-110"},       {1, "AQ-110"},       {2, "AQ-110-2"},     {3, "AQ-110-3"},
        {4, "AQ-110-4"},     {5, "AQ-110-5"},     {8, "AQ-140-2"},     {10, "AQ-120"},
        {20, "AQ-130"},      {30, "AQ-140"},      {40, "AQ-110-6"},    {50, "AQ-110-7"},
        {60, "AQ-150"},      {100, "AQ-110-8"},   {120, "AQ-310"},     {121, "AQ-320"},
        {126, "AQ-330"},     {130, "AQ-410"},     {131, "AQ-420"},     {132, "AQ-510"},
        {150, "AQ-520-1"},   {151, "AQ-520-2"},   {152, "AQ-520-3"},   {153, "AQ-520-4"},
        {155, "AQ-520-5"},   {156, "AQ-520-6"},   {157, "AQ-520-7"},   {158, "AQ-520-8"},
        {159, "AQ-520-9"},   {160, "AQ-520-10"},  {161, "AQ-520-11"},  {255, "AQ-110-9"},
    };
    for (const Model &m : models)
        if (m.type == m_DevType)
            return m.name;
    return "error";
}
