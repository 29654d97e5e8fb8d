#pragma once
// Protocol layer: request frames, reply decoding and the history stores,
// over whichever link is in use (serial when its port is open, else USB).
#include "frame.h"
#include "gserialport.h"
#include "libusbio.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

class SCodeUsb : public LibUsbIO
{
public:
    static constexpr int HIS_LEN = 4032;
    static constexpr int BLOCK_LEN = 12;
    static constexpr int PARAM_SLOTS = 5;
    static constexpr int HIS_SPACING_SEC = 300;

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
    int m_HisTotalCount = 0;
    uint16_t m_5MinutesCount = 0;
    uint16_t m_RealPM25Count = 0;
    uint16_t m_RealPM10Count = 0;
    std::vector<uint32_t> m_HisTimes;
    uint32_t m_HisBaseTime = 0;
    int m_ReadLen = 0;
    int m_DevType = -1;
    int m_LinkMode = 2;
    unsigned char m_SendBuf[SEND_BUF_LEN] = {};

private:
    bool SerialInUse() const { return m_SerialPort.m_bPortOpen == 1; }
    LibUsbDevice *Entry(int index);
    void DecodeMeasurement(int index, const unsigned char *f, TAG_T_SPM25Data *record);
    void DecodeDeviceInfo(int index, const unsigned char *f);
    void DecodeSerialId(int index, const unsigned char *f);
    void DecodeParamPair(const unsigned char *f);
    void DecodeHistoryPage(const unsigned char *f);
    unsigned char DecodeHistoryBlock(const unsigned char *f);
    void FlushBlock(const uint16_t *block, uint16_t *store, uint16_t *count, bool stamp);
    void AppendTimeStamps(int last, int stored);
};
