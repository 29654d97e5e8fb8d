#pragma once
// Protocol layer: request frames, reply decoding and the history stores,
// over whichever link is in use (serial when its port is open, else USB).
#include "frame.h"
#include "gserialport.h"
#include "libusbio.h"

#include <QByteArray>
#include <bitset>
#include <cstdint>
#include <functional>
#include <vector>

// What a history download tells its caller and asks of it; no callback is required.
struct HistoryCallbacks {
    // The kind being downloaded, pages done and pages in all (0 while page 0 is awaited);
    // false stops the download before its next page.
    std::function<bool(int kind, int done, int total)> m_Progress;
    // A reply read during the download that is no history data (a measurement, an identity),
    // handed on so that nothing a tick would have taken is lost.
    std::function<void(unsigned char code, const TAG_T_SPM25Data &record)> m_Reply;
};

// How the last history download ended.
enum class HisEnd { Complete, Cancelled, NoReply };

// How the wait for one history page ended: its reply came, the sensor answered another page
// for the request (a USB request carries only the page's low 8 bits), or nothing came.
enum class HisWait { Answered, OtherPage, Silent };

// Values a block-variant download kept from one 12-value block, in the order kept.
struct HisSpan {
    int m_Block; // page / 3
    int m_First; // position in the store
    int m_Count;
};

class SCodeUsb : public LibUsbIO
{
public:
    static constexpr int HIS_LEN = 4032;
    static constexpr int BLOCK_LEN = 12;
    static constexpr int PARAM_SLOTS = 5;
    static constexpr int HIS_SPACING_SEC = 300;
    static constexpr int HIS_MAX_BLOCKS = 342; // page numbers carry 10 bits: pages 0 to 1023

    struct ParamPair {
        uint16_t m_First = 0;
        uint16_t m_Second = 0;
    };

    SCodeUsb();
    ~SCodeUsb() override;

    unsigned char ReadPM25Data(int index, TAG_T_SPM25Data *record);
    unsigned char DecodePM25ReadData(int index, const unsigned char *frame, int len,
                                     TAG_T_SPM25Data *record);
    bool AskDeviceInfo();
    bool AskDeviceInfoUsb(int index);
    bool AskHistoryPage(int index, int page, int kind);
    bool SetCheckSum(unsigned char *frame);

    // History download (scodeusbhistory.cpp). kind: 1 first channel, 2 second, 5 PM10;
    // mode 1 asks the second channel as TVOC on the serial link. False when page 0 never
    // answered or the download was cancelled before it; m_HisEnd tells how it ended.
    bool ReadHistoryData(int index, int kind, int mode);
    bool ReadHistoryDataNew(int index, int kind, int mode);
    bool ReadHistoryDataOld(int index, int kind);
    // One block-variant request and its wait for the reply of that page.
    HisWait AskOneHisData(int ignored, int page, int mode, int index, TAG_T_SPM25Data scratch,
                          int kind, int tries);
    // Empties both history stores, their counts, spans and time stamps.
    void ClearHistory();
    // Types whose sensors answer history requests with six-value pages.
    static bool IsPageVariant(int devType);

    int GetDataKind() const;
    int GetHisInterval() const;
    QByteArray GetModelName() const;

    // Seconds since 1970 of a packed block date read as local time; false when
    // the fields form no valid date and time.
    static bool PackedDateToSecs(uint32_t packed, int64_t *secs);

    GSerialPort m_SerialPort;
    ParamPair m_ParamPairs[PARAM_SLOTS];
    uint16_t m_PM25His[HIS_LEN] = {};
    uint16_t m_PM10His[HIS_LEN] = {};
    uint16_t m_PM25Block[BLOCK_LEN] = {};
    uint16_t m_PM10Block[BLOCK_LEN] = {};
    int m_HisTotalCount = 0; // values the sensor holds: page 0's count, or the pages' total
    uint16_t m_5MinutesCount = 0;
    uint16_t m_RealPM25Count = 0;
    uint16_t m_RealPM10Count = 0;
    std::vector<uint32_t> m_HisTimes;
    uint32_t m_HisBaseTime = 0;
    int m_ReadLen = 0;
    int m_DevType = -1;
    int m_LinkMode = 2;
    unsigned char m_SendBuf[SEND_BUF_LEN] = {};

    HistoryCallbacks m_HisCallbacks;
    HisEnd m_HisEnd = HisEnd::Complete;
    int m_HisKind = 0; // kind of the download running; 0 between downloads
    std::vector<HisSpan> m_PM25Spans;
    std::vector<HisSpan> m_PM10Spans;

private:
    // Which download runs: replies of the other variant are strays and change nothing.
    enum class HisVariant { None, Pages, Blocks };
    class DownloadScope;

    // The block being assembled in m_PM25Block or m_PM10Block.
    struct BlockAssembly {
        int m_Block = -1;
        unsigned m_Pages = 0; // bit k: phase k decoded
        std::bitset<HIS_MAX_BLOCKS> m_Flushed;
    };

    bool SerialInUse() const { return m_SerialPort.m_bPortOpen == 1; }
    LibUsbDevice *Entry(int index);
    void DecodeMeasurement(int index, const unsigned char *f, TAG_T_SPM25Data *record);
    void DecodeDeviceInfo(int index, const unsigned char *f);
    void DecodeSerialId(int index, const unsigned char *f);
    void DecodeParamPair(const unsigned char *f);
    void DecodeHistoryPage(const unsigned char *f);
    unsigned char DecodeHistoryBlock(const unsigned char *f);
    bool AcceptsBlock(unsigned char sub) const;
    void DecodeBlockPage(const unsigned char *f, int page, bool dated);
    void FlushBlock(int blockNo, bool dated);
    bool BlockBase(int blockNo, int last, int64_t *base) const;
    void AppendTimeStamps(int64_t base, int last, int stored);
    void ResetStore(bool pm10);

    // scodeusbhistory.cpp
    unsigned char ReadHistoryReply(int index, TAG_T_SPM25Data *record);
    HisWait WaitForPage(int index, int page, unsigned char code, int tries, int waitMs,
                        TAG_T_SPM25Data *scratch);
    HisWait AskOnePage(int index, int page, int tries, int waitMs);
    bool ReportProgress(int kind, int done, int total);
    bool AskPageZero(int kind, const std::function<HisWait()> &ask,
                     const std::function<void()> &reseat);
    void StampPages(int kept);

    BlockAssembly m_PM25Asm;
    BlockAssembly m_PM10Asm;
    HisVariant m_HisVariant = HisVariant::None;
    int m_HisReplyPage = -1;       // page of the history data the last decode kept; -1 none
    uint16_t m_ReportedCount = 0;  // values page 0 reported, before rounding to whole blocks
};
